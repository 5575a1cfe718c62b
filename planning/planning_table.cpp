#include "planning/planning_table.h"

#include "settings/settings_model.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QDateTime>
#include <QFileInfo>

QString PlanningSection(int slot) { return QStringLiteral("Planning_") + N2S(slot, 3, 0, QStringLiteral("0")); }

PlanningTable& PlanningLines() {
    static PlanningTable table;
    return table;
}

void PlanningTable::Load() {
    ErrorTrap trap(QStringLiteral("FrmSetup:InitGeneralDonneesPlanning"));
    QString file;
    trap(10, [&] { file = SettingsFilePath(); });
    for (int k = 0; k < kPlanningSlots; ++k) {
        trap(20, [&] {
            const QString sec = PlanningSection(k);
            PlanningLine& line = lines_[size_t(k)];
            line = PlanningLine{};
            if (LectureIni(file, sec, QStringLiteral("Actif"), QStringLiteral("0FF")) != QStringLiteral("ON")) return;  // a free slot
            auto read = [&](const char* key) { return LectureIni(file, sec, QLatin1String(key), QString()); };
            line.Active = true;
            line.Recorder = read("Recorder");
            line.Frequence = read("Frequence");
            line.Annee = read("Annee");
            line.Mois = read("Mois");
            line.Semaine = read("Semaine");
            line.Jour = read("Jour");
            line.Heure = read("Heure");
            line.Minute = read("Minute");
            line.LineEnabled = LectureIni(file, sec, QStringLiteral("LigneActive"), QStringLiteral("O")) != QStringLiteral("N");
            line.Duree = read("Duree");
            line.DossierFichierSon = read("DossierFichierSon");
            line.ASC82Plus = read("ASC82Plus");
            line.PodcastFlux = read("PodcastFlux");
        });
    }
    loaded_ = true;
    const QFileInfo info(file);
    file_ = file;
    stamp_ = info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
    size_ = info.exists() ? info.size() : -1;
}

void PlanningTable::Refresh() {
    const QString file = SettingsFilePath();
    const QFileInfo info(file);
    const qint64 stamp = info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
    const qint64 size = info.exists() ? info.size() : -1;
    if (!loaded_ || file != file_ || stamp != stamp_ || size != size_) Load();
}

int PlanningTable::Save(const std::array<PlanningLine, kPlanningSlots>& lines) {
    ErrorTrap trap(QStringLiteral("FrmSetup:SaveDataPlanning"));
    QString file;
    int failures = 0;
    auto write = [&](const QString& section, const QString& key, const QString& value) {
        if (!EcritureIni(file, section, key, value)) ++failures;
    };
    auto yesNo = [](bool on) { return on ? QStringLiteral("O") : QStringLiteral("N"); };
    trap(20, [&] { file = SettingsFilePath(); });
    for (int k = 0; k < kPlanningSlots; ++k) {
        trap(30, [&] {
            const QString sec = PlanningSection(k);
            const PlanningLine& line = lines[size_t(k)];
            if (line.Recorder.trimmed().isEmpty()) {
                write(sec, QStringLiteral("Actif"), QStringLiteral("0FF"));  // the other keys stay as they are
                return;
            }
            write(sec, QStringLiteral("Actif"), QStringLiteral("ON"));
            write(sec, QStringLiteral("Recorder"), line.Recorder);
            write(sec, QStringLiteral("Frequence"), line.Frequence);
            write(sec, QStringLiteral("Annee"), line.Annee.trimmed());
            write(sec, QStringLiteral("Mois"), line.Mois.trimmed());
            write(sec, QStringLiteral("Semaine"), line.Semaine.trimmed());
            write(sec, QStringLiteral("Jour"), line.Jour.trimmed());
            write(sec, QStringLiteral("Heure"), line.Heure);
            write(sec, QStringLiteral("Minute"), line.Minute);
            write(sec, QStringLiteral("LigneActive"), yesNo(line.LineEnabled));
            write(sec, QStringLiteral("Duree"), line.Duree);
            write(sec, QStringLiteral("DossierFichierSon"), line.DossierFichierSon);
            write(sec, QStringLiteral("ASC82Plus"), line.ASC82Plus);
        });
    }
    trap(35, [&] {
        if (failures > 0)
            TraceLogEncadre(-1, -1, -1,
                            QStringLiteral("Err: SaveDataPlanning: ") + QString::number(failures) +
                                QStringLiteral(" key(s) not written to ") + file,
                            QStringLiteral("="), true);
    });
    Load();
    return failures;
}
