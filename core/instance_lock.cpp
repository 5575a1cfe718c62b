// One process per instance: two processes of the same instance would record
// the same files and share one trace log and one settings file. The first
// holds a lock that the system releases when it ends, however it ends; a
// second start traces why it stops, tells the operator and ends without
// writing anything but that trace line.
#include "core/frm_main.h"
#include "platform/os.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

QString InstanceText() {
    const int n = App().InstanceNumber;
    return n > 0 ? QStringLiteral("instance ") + QString::number(n) : QStringLiteral("the instance without number");
}

// The log folder as the running process computed it, read only.
QString ExistingLogFolder() {
    const QString config = CheckRep(DetermineDossierConfig_Fichier(DetermineDossierConfig(), 1));
    const QString file = config + QStringLiteral("VM3_Systeme.ini");
    QString log;
    for (int i = 0; i < kRecorders; ++i) {
        QString value = LectureIni(file, QStringLiteral("Base_") + N2S(i + 1, 2, 0, QStringLiteral("0")),
                                   QStringLiteral("Dossier_Log"), QString())
                            .trimmed();
        if (value.isEmpty()) value = platform::DriveRoot() + QStringLiteral("AudioLog/");
        log = CheckRep(value) + QStringLiteral("Histo_VM3_Quillon_Recorder/");
    }
    return log;
}

// The lines traced so far go to the day's log of the running process,
// appended, when its folder exists; nothing is made.
void AppendToRunningLog() {
    const QString folder = ExistingLogFolder();
    if (!QFileInfo(folder).isDir()) return;
    QFile file(folder + D2S(CurrentClock().now()) + QStringLiteral(".Log"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    QByteArray bytes;
    for (const QString& line : Trace().ListeLogTemp) bytes += line.toUtf8() + "\r\n";
    file.write(bytes);
}

}  // namespace

QString InstanceLockPath() {
    const QString settings = SettingsFileOfInstance();
    const QByteArray digest = QCryptographicHash::hash(QFile::encodeName(settings), QCryptographicHash::Sha1).toHex();
    const int n = App().InstanceNumber;
    return platform::RuntimeFolder() + QStringLiteral("VM3_Quillon_Recorder") +
           (n > 0 ? QStringLiteral("_") + QString::number(n) : QString()) + QStringLiteral("-") +
           QString::fromLatin1(digest.left(12)) + QStringLiteral(".lock");
}

bool TakeInstanceLock() {
    QString holder;
    if (platform::AcquireProcessLock(InstanceLockPath(), &holder)) return true;
    const QString why = QStringLiteral("Quillon Recorder already runs for ") + InstanceText() + QStringLiteral(" (") +
                        holder + QStringLiteral(", settings ") + SettingsFileOfInstance() +
                        QStringLiteral("): this second start ends without recording");
    TraceLogEncadre(-1, -1, -1, why, QStringLiteral("="), true);
    AppendToRunningLog();
    std::fprintf(stderr, "%s\n", why.toLocal8Bit().constData());
    const QString title = App().MainWindowCaption.isEmpty() ? QStringLiteral("Velmora: Quillon Recorder")
                                                            : App().MainWindowCaption;
    const int n = App().InstanceNumber;
    const QString instance = n > 0 ? QStringLiteral("l'instance ") + QString::number(n) : QStringLiteral("l'instance sans numéro");
    CurrentDialogs().MessageBox(QStringLiteral("Quillon Recorder est déjà en cours d'exécution pour ") + instance +
                                    QStringLiteral(".\n\nCe second lancement se ferme sans rien enregistrer ni modifier."),
                                title, MsgButtons::Ok, MsgIcon::Warning, MsgOk);
    return false;
}
