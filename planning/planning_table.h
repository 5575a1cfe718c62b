#pragma once
// The planning table: twenty lines ("Planning_000" to "Planning_019" of the
// settings file), each a recording planned on a recorder at moments its
// frequency gives. The table in force is the one in the settings file: it
// is loaded once, and again after each save of the setup window's editor.
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

constexpr int kPlanningSlots = 20;

struct PlanningLine {
    QString Recorder, Frequence, Annee, Mois, Semaine, Jour, Heure, Minute;
    bool LineEnabled = false;
    QString Duree, DossierFichierSon, ASC82Plus;
    // Written by other programs only ("PodcastFlux").
    QString PodcastFlux;
    // "Actif": the slot holds a line (a slot with no recorder is free).
    bool Active = false;
};

// "Planning_007".
QString PlanningSection(int slot);

class PlanningTable {
public:
    // Reads the twenty lines from the settings file.
    void Load();
    // Reads them again when the settings file changed since (saved by the
    // setup window, or edited by hand); otherwise nothing.
    void Refresh();
    // Writes `lines` (the editor's) to the settings file, then reads the
    // table in force again. Returns the number of keys not written.
    int Save(const std::array<PlanningLine, kPlanningSlots>& lines);
    const PlanningLine& Line(int slot) const { return lines_[size_t(slot)]; }
    const std::array<PlanningLine, kPlanningSlots>& Lines() const { return lines_; }
    bool Loaded() const { return loaded_; }

private:
    std::array<PlanningLine, kPlanningSlots> lines_{};
    bool loaded_ = false;
    QString file_;
    qint64 stamp_ = -1, size_ = -1;
};

// The table in force.
PlanningTable& PlanningLines();
