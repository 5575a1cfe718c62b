#pragma once
// INI access with the semantics of the Windows private-profile functions, the
// settings folder tree and the family configuration lookup.
#include <QRect>
#include <QString>

QString LectureIni(const QString& file, const QString& section, const QString& key, const QString& defaultValue);
bool EcritureIni(const QString& file, const QString& section, const QString& key, const QString& value);

QString DefaultRoot();  // <drive>Tessaline/Velmora/
// The family's program folder, ending with "/": App().ApplicationFolder, or
// the default root when it is unknown.
QString ApplicationFolder();
QString NomDossierSettings();
QString NomFichierSettings(const QString& extension, const QString& suffix);
// The settings file (".Ini") of this run's instance, computed without
// looking at the disk (NomFichierSettings may create the folder).
QString SettingsFileOfInstance();
QString DetermineDossierConfig();
qint16 DetermineDossierConfig_Bases_Nombre(const QString& file);
QString DetermineDossierConfig_Fichier(const QString& file, qint16 baseIndex);
// The family configuration folder as the family's Win.ini names it, read
// from `file`: section "Tessaline", key "INI_VELMORA" (or "INI_VELMORA_UNC"
// when "UNC_Actif" reads "ON"); default the program folder + "Config/".
QString DossierConfigTessaline(const QString& file);
void CheckValiditeValeurMin(qint32& value, qint32 minimum);
QString ChangeUNCFolder2LocalFolder(const QString& path, const QString& host);

// Window positions in section "FrmPos" of the settings file.
struct WindowPos {
    QString name;  // the window's name, e.g. "Frm_Main"
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
void PositionFeuille(WindowPos& window, const QString& suffix, const QRect& screen);
void PositionFeuilleSauvegarde(const WindowPos& window, const QString& suffix);

struct IniState {
    QString SettingsFolder;
    bool ConfigFileFound = false;
    QString ConfigFilePath;
    bool ConfigDone = false;
};
IniState& IniCache();
void ResetIniCache();  // tests
