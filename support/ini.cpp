#include "support/ini.h"

#include "platform/os.h"
#include "platform/profile.h"
#include "support/app_globals.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kLibSysteme = QStringLiteral("Lib_Systeme");
const QString kLibPublic = QStringLiteral("Lib_Public");
const QString kSettingsBaseName = QStringLiteral("VM3_Quillon_Recorder");

QString InstancePart() {
    const int n = App().InstanceNumber;
    return n > 0 ? QStringLiteral("_") + QString::number(n) : QString();
}

}  // namespace

QString ApplicationFolder() {
    const AppGlobals& app = App();
    if (app.UseDefaultRoot || app.ApplicationFolder.trimmed().isEmpty()) return DefaultRoot();
    return CheckRep(app.ApplicationFolder);
}

IniState& IniCache() {
    static IniState state;
    return state;
}

void ResetIniCache() { IniCache() = IniState{}; }

// ---------------------------------------------------------------- read and write

QString LectureIni(const QString& file, const QString& section, const QString& key, const QString& defaultValue) {
    ErrorTrap trap(kLibSysteme + QStringLiteral(":LectureIni"));
    QString result;
    trap(10, [&] {
        if (!NomFichierCorrect(file)) {
            result = defaultValue;
            return;
        }
        result = platform::ProfileRead(file, section, key, defaultValue, platform::kProfileReadMaxChars);
    });
    return result;
}

bool EcritureIni(const QString& file, const QString& section, const QString& key, const QString& value) {
    ErrorTrap trap(kLibSysteme + QStringLiteral(":EcritureIni"));
    bool ok = false;
    if (section.trimmed().isEmpty() || key.trimmed().isEmpty() || !NomFichierCorrect(file)) return false;
    trap(10, [&] { ok = platform::ProfileWrite(file, section, key, value); });
    if (ok) return true;
    trap(20, [&] {
        // The folder chain may be missing: every folder of the path, from the
        // deepest up, is made when it does not exist.
        for (int i = file.size() - 1; i >= 0; --i) {
            if (file.at(i) != QLatin1Char('/')) continue;
            const QString folder = file.left(i + 1);
            if (folder.size() <= 1) continue;
            if (!FolderFound(folder)) VerificationEtCreationRepertoire(folder, true);
        }
    });
    trap(30, [&] { ok = platform::ProfileWrite(file, section, key, value); });
    if (ok) return true;
    trap(40, [&] { File_RemoveFlag(file, 1); });
    trap(50, [&] { ok = platform::ProfileWrite(file, section, key, value); });
    return ok;
}

// ---------------------------------------------------------------- settings folder and file

QString DefaultRoot() { return platform::DriveRoot() + QStringLiteral("Tessaline/Velmora/"); }

QString NomDossierSettings() {
    ErrorTrap trap(kLibPublic + QStringLiteral(":NomDossierSettings"));
    IniState& cache = IniCache();
    QString root;
    trap(10, [&] {
        root = ApplicationFolder();
        cache.SettingsFolder = root + QStringLiteral("Settings/") + kSettingsBaseName + QLatin1Char('/');
    });
    const QString settings = cache.SettingsFolder;
    const QString caller = kLibPublic + QStringLiteral(":NomDossierSettings");

    trap(20, [&] {
        if (FolderFound(settings)) return;
        VerificationEtCreationRepertoire(settings, true);
        const QString older = root + QStringLiteral("Settings/VM3_MultiRecorder/");
        if (!FolderFound(older)) return;

        File_Copy(older + QStringLiteral("*.*"), settings);
        // The older files are only removed once each of them has its copy.
        bool allCopied = true;
        for (const QString& f : platform::FindFiles(older + QStringLiteral("*"), false)) {
            const QFileInfo copy(settings + QFileInfo(f).fileName());
            if (!copy.isFile() || copy.size() != QFileInfo(f).size()) allCopied = false;
        }

        const QString recorderIni = settings + QStringLiteral("VM3_Recorder.Ini");
        const QString ownIni = settings + kSettingsBaseName + QStringLiteral(".Ini");
        if (File_Exist(recorderIni, caller) && !File_Exist(ownIni, caller)) File_Copy(recorderIni, ownIni);
        if (File_Exist(ownIni, caller) || !File_Exist(recorderIni, caller)) File_Delete(recorderIni, caller);

        if (!allCopied) return;
        File_Delete(older + QStringLiteral("*.*"), caller);
        platform::LetEventsRun();
        QDir().rmdir(older.chopped(1));  // fails while anything is left: nothing more to do then
    });

    trap(30, [&] {
        const QString file = NomFichierSettings(QStringLiteral(".Ini"), QString());
        const QString olderFile = platform::WindowsFolder() + kSettingsBaseName + InstancePart() + QStringLiteral(".Ini");
        if (!File_Exist(file, caller) && File_Exist(olderFile, caller)) {
            File_Copy(olderFile, file);
            if (File_Exist(file, caller)) File_Delete(olderFile, caller);
        }
    });
    return cache.SettingsFolder;
}

QString NomFichierSettings(const QString& extension, const QString& suffix) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":NomFichierSettings"));
    QString result;
    trap(10, [&] {
        if (IniCache().SettingsFolder.isEmpty()) NomDossierSettings();
    });
    trap(20, [&] { result = IniCache().SettingsFolder + kSettingsBaseName + InstancePart() + extension + suffix; });
    return result;
}

// ---------------------------------------------------------------- family configuration

QString SettingsFileOfInstance() {
    return ApplicationFolder() + QStringLiteral("Settings/") + kSettingsBaseName + QLatin1Char('/') + kSettingsBaseName +
           InstancePart() + QStringLiteral(".Ini");
}

QString DetermineDossierConfig() {
    ErrorTrap trap(kLibPublic + QStringLiteral(":DetermineDossierConfig"));
    IniState& cache = IniCache();
    if (cache.ConfigDone) return cache.ConfigFilePath;
    QString path;
    trap(10, [&] {
        cache.ConfigFileFound = true;
        path = ApplicationFolder() + QStringLiteral("Settings/VM3_Config.ini");
        // The check for the file, and the message when it is missing, belong
        // to the older systems only: here the file is taken as present.
    });
    trap(20, [&] {
        cache.ConfigFilePath = path;
        cache.ConfigDone = true;
    });
    return path;
}

qint16 DetermineDossierConfig_Bases_Nombre(const QString& file) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":DetermineDossierConfig_Bases_Nombre"));
    qint16 n = 0;
    trap(10, [&] {
        const QString text = IniCache().ConfigFileFound
                                 ? LectureIni(file, QStringLiteral("Sites"), QStringLiteral("NbBase"), QStringLiteral("1"))
                                 : LectureIni(file, QStringLiteral("Tessaline"), QStringLiteral("Nb_Base"), QStringLiteral("0"));
        n = CIntRound(Val(text));
    });
    return n;
}

QString DetermineDossierConfig_Fichier(const QString& file, qint16 baseIndex) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":DetermineDossierConfig_Fichier"));
    QString r;
    QString n2;
    QString defaultFolder;
    trap(10, [&] {
        n2 = N2S(baseIndex, 2, 0, QStringLiteral("0"));
        defaultFolder = ApplicationFolder() + QStringLiteral("Config/");
    });
    trap(20, [&] {
        if (IniCache().ConfigFileFound) {
            r = LectureIni(file, QStringLiteral("Site"), QStringLiteral("Dossier_Config_Global"), QString());
            if (r.trimmed().isEmpty())
                r = CheckRep(LectureIni(file, QStringLiteral("Base_") + n2, QStringLiteral("Dossier_Config_Global"),
                                        defaultFolder));
        } else {
            r = DossierConfigTessaline(file);
            if (r.trimmed().isEmpty())
                r = LectureIni(file, QStringLiteral("Tessaline"), QStringLiteral("Ini_Base_") + n2, QString());
        }
    });
    return r;
}

QString DossierConfigTessaline(const QString& file) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":DossierConfigTessaline"));
    QString r;
    trap(10, [&] {
        const bool unc = LectureIni(file, QStringLiteral("Tessaline"), QStringLiteral("UNC_Actif"),
                                    QStringLiteral("0FF")) == QLatin1String("ON");
        r = CheckRep(LectureIni(file, QStringLiteral("Tessaline"),
                                unc ? QStringLiteral("INI_VELMORA_UNC") : QStringLiteral("INI_VELMORA"),
                                ApplicationFolder() + QStringLiteral("Config/")));
    });
    return r;
}

void CheckValiditeValeurMin(qint32& value, qint32 minimum) {
    if (value < minimum) value = minimum;
}

// ---------------------------------------------------------------- network paths

QString ChangeUNCFolder2LocalFolder(const QString& path, const QString& host) {
    ErrorTrap trap(kLibSysteme + QStringLiteral(":ChangeUNCFolder2LocalFolder"));
    QString result = path;
    QList<platform::Share> shares;
    trap(10, [&] { shares = platform::NetShares(); });
    if (shares.isEmpty()) return result;
    trap(20, [&] {
        TraceLogEncadre(-1, -1, -1, QStringLiteral("Shared Paths List |UNC Path to Change: ") + path,
                        QStringLiteral("="), false);
    });
    for (int i = 0; i < shares.size(); ++i) {
        trap(30, [&] {
            const platform::Share& share = shares.at(i);
            if (share.type != 0) return;
            const QString prefix = QStringLiteral("//") + host + QLatin1Char('/') + share.name + QLatin1Char('/');
            if (!path.startsWith(prefix, Qt::CaseInsensitive)) return;
            QString local = path;
            local.replace(prefix.chopped(1), share.path, Qt::CaseInsensitive);
            // The share's own path may end with "/": no doubled separators.
            while (local.contains(QLatin1String("//"))) local.replace(QLatin1String("//"), QLatin1String("/"));
            const QString n2 = N2S(i, 2, 0, QStringLiteral("0"));
            TraceLog(-1, -1, -1, n2 + QStringLiteral(": UNC: Local Path found: ") + local, false, true);
            if (FolderFound(local)) {
                TraceLog(-1, -1, -1, n2 + QStringLiteral(": UNC: Path change from: ") + path + QStringLiteral(" to: ") + local,
                         false, true);
                result = local;
            }
        });
    }
    return result;
}

// ---------------------------------------------------------------- window positions

namespace {
QString PositionKey(const WindowPos& window, const QString& suffix) {
    return suffix.trimmed().isEmpty() ? window.name : window.name + QLatin1Char('_') + suffix;
}
}  // namespace

void PositionFeuille(WindowPos& window, const QString& suffix, const QRect& screen) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":PositionFeuille"));
    trap(10, [&] {
        const QString file = NomFichierSettings(QStringLiteral(".Ini"), QString());
        const QString key = PositionKey(window, suffix);
        window.left = CLngRound(Val(LectureIni(file, QStringLiteral("FrmPos"), key + QStringLiteral("_Left"), QStringLiteral("0"))));
        window.top = CLngRound(Val(LectureIni(file, QStringLiteral("FrmPos"), key + QStringLiteral("_Top"), QStringLiteral("0"))));
    });
    trap(20, [&] {
        if (!screen.isValid()) return;
        // Back inside the screen: the right and bottom edges first, so that a
        // window larger than the screen keeps its title bar visible.
        if (window.left + window.width > screen.left() + screen.width())
            window.left = screen.left() + screen.width() - window.width;
        if (window.top + window.height > screen.top() + screen.height())
            window.top = screen.top() + screen.height() - window.height;
        if (window.left < screen.left()) window.left = screen.left();
        if (window.top < screen.top()) window.top = screen.top();
    });
}

void PositionFeuilleSauvegarde(const WindowPos& window, const QString& suffix) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":PositionFeuilleSauvegarde"));
    trap(10, [&] {
        const QString file = NomFichierSettings(QStringLiteral(".Ini"), QString());
        const QString key = PositionKey(window, suffix);
        EcritureIni(file, QStringLiteral("FrmPos"), key + QStringLiteral("_Left"), QString::number(window.left));
        EcritureIni(file, QStringLiteral("FrmPos"), key + QStringLiteral("_Top"), QString::number(window.top));
    });
}
