// INI access: files laid out as the Windows members of the family write
// them are read back the way the profile functions read them, and the files
// we write are checked on disk with an independent reader.
#include "support/ini.h"

#include "support/app_globals.h"
#include "support/files.h"
#include "support/scratch_drive.h"
#include "support/test_ini_reader.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QByteArray kWindowsLayout =
    "; Settings written on a studio machine\r\n"
    "[General]\r\n"
    "Version=3.4\r\n"
    "\r\n"
    "[Recorder_00]\r\n"
    "  Actif   =   ON   \r\n"
    "Libelle=\"  Studio A  \"\r\n"
    "Dossier='/srv/audio/'\r\n"
    "Quote=\"unbalanced\r\n"
    "NoValue\r\n"
    "Empty=\r\n"
    "Volume=75\r\n"
    "VOLUME=12\r\n"
    "; comment inside a section\r\n"
    "\r\n"
    "[recorder_00]\r\n"
    "Actif=0FF\r\n"
    "OnlyInSecond=yes\r\n"
    "[ Planning_000 ]\r\n"
    "Heure = 14:05:09 \r\n";

QString Drop(const ScratchDrive& drive, const QString& name, const QByteArray& bytes) {
    const QString file = drive.path(name);
    EXPECT_TRUE(WriteRawFile(file, bytes));
    return file;
}

}  // namespace

TEST(IniRead, ReadsWindowsLayoutAsTheProfileFunctionsDo) {
    ScratchDrive drive;
    const QString file = Drop(drive, "Layout.Ini", kWindowsLayout);

    // Names ignore case; blanks around "=" and the value are dropped.
    EXPECT_EQ(LectureIni(file, "RECORDER_00", "actif", "x"), "ON");
    EXPECT_EQ(LectureIni(file, "general", "VERSION", "x"), "3.4");
    // A pair of quotes goes, the blanks inside stay.
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Libelle", "x"), "  Studio A  ");
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Dossier", "x"), "/srv/audio/");
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Quote", "x"), "\"unbalanced");
    // Present but empty is a value, not the default.
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Empty", "x"), "");
    EXPECT_EQ(LectureIni(file, "Recorder_00", "NoValue", "x"), "");
    // The first key wins over a later one of another case, and the first
    // section over a later one of the same name.
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Volume", "x"), "75");
    EXPECT_EQ(LectureIni(file, "Recorder_00", "OnlyInSecond", "x"), "x");
    // Blanks inside the brackets do not count.
    EXPECT_EQ(LectureIni(file, "Planning_000", "Heure", "x"), "14:05:09");
    // Comments are no keys.
    EXPECT_EQ(LectureIni(file, "Recorder_00", "; comment inside a section", "x"), "x");
}

TEST(IniRead, MissingPiecesGiveTheDefaultExactly) {
    ScratchDrive drive;
    const QString file = Drop(drive, "Layout.Ini", kWindowsLayout);
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Absent", ""), "");
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Absent", "  dflt "), "  dflt ");
    EXPECT_EQ(LectureIni(file, "Recorder_07", "Actif", "0FF"), "0FF");
    EXPECT_EQ(LectureIni(drive.path("Nothing.Ini"), "Recorder_00", "Actif", "N"), "N");
    EXPECT_EQ(LectureIni(drive.path("Missing/Folder/Nothing.Ini"), "A", "B", "d"), "d");
    // Names a file cannot have: the default, whatever the disk holds.
    EXPECT_EQ(LectureIni(drive.path("Lay*out.Ini"), "Recorder_00", "Actif", "d"), "d");
    EXPECT_EQ(LectureIni(file + "|", "Recorder_00", "Actif", "d"), "d");
    EXPECT_EQ(LectureIni("\"" + file + "\"", "Recorder_00", "Actif", "d"), "d");
}

TEST(IniRead, AcceptsLineFeedsAndOlderCodePage) {
    ScratchDrive drive;
    const QString lf = Drop(drive, "Lf.Ini", "[Sec]\nKey = value\nAutre=é\n");
    EXPECT_EQ(LectureIni(lf, "Sec", "Key", "x"), "value");
    EXPECT_EQ(LectureIni(lf, "Sec", "Autre", "x"), QString::fromUtf8("é"));
    // Written by a Windows member of the family: Western code page bytes.
    const QString western = Drop(drive, "Western.Ini", "[Sec]\r\nLibelle=R\xE9gie \x80\r\n");
    EXPECT_EQ(LectureIni(western, "Sec", "Libelle", "x"), QString::fromUtf8("Régie €"));
    const QString bom = Drop(drive, "Bom.Ini", "\xEF\xBB\xBF[Sec]\r\nKey=1\r\n");
    EXPECT_EQ(LectureIni(bom, "Sec", "Key", "x"), "1");
}

TEST(IniRead, ReturnsAtMost254Characters) {
    ScratchDrive drive;
    const QString file = drive.path("Long.Ini");
    QString value;
    for (int i = 0; i < 300; ++i) value += QChar('a' + i % 26);
    ASSERT_TRUE(EcritureIni(file, "Sec", "Long", value));
    // The whole value is on disk; a read gives its first 254 characters.
    EXPECT_EQ(TestIniValue(file, "Sec", "Long"), value);
    EXPECT_EQ(LectureIni(file, "Sec", "Long", ""), value.left(254));
    ASSERT_TRUE(EcritureIni(file, "Sec", "Exact", value.left(254)));
    EXPECT_EQ(LectureIni(file, "Sec", "Exact", ""), value.left(254));
}

TEST(IniWrite, CreatesTheFileWithCrLfAndReadsBack) {
    ScratchDrive drive;
    const QString file = drive.path("New.Ini");
    ASSERT_TRUE(EcritureIni(file, "Recorder_00", "Actif", "ON"));
    ASSERT_TRUE(EcritureIni(file, "Recorder_00", "Libelle", "Régie finale"));
    ASSERT_TRUE(EcritureIni(file, "Recorder_01", "Actif", "0FF"));
    EXPECT_EQ(ReadRawFile(file), QByteArray("[Recorder_00]\r\nActif=ON\r\nLibelle=R\xC3\xA9gie finale\r\n"
                                            "[Recorder_01]\r\nActif=0FF\r\n"));
    EXPECT_EQ(LectureIni(file, "recorder_00", "LIBELLE", ""), "Régie finale");
    EXPECT_EQ(LectureIni(file, "Recorder_01", "Actif", ""), "0FF");
}

TEST(IniWrite, ReplacesInPlaceAndKeepsEveryOtherLine) {
    ScratchDrive drive;
    const QString file = Drop(drive, "Layout.Ini", kWindowsLayout);
    ASSERT_TRUE(EcritureIni(file, "recorder_00", "VOLUME", "90"));
    // The existing key keeps its spelling; every other line is unchanged.
    QByteArray expected = kWindowsLayout;
    expected.replace("Volume=75\r\n", "Volume=90\r\n");
    EXPECT_EQ(ReadRawFile(file), expected);
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Volume", ""), "90");
    EXPECT_EQ(TestIniValue(file, "Recorder_00", "VOLUME"), "12");
}

TEST(IniWrite, NewKeyGoesAfterTheLastKeyOfItsSection) {
    ScratchDrive drive;
    const QString file = Drop(drive, "Layout.Ini", kWindowsLayout);
    ASSERT_TRUE(EcritureIni(file, "General", "Added", "1"));
    ASSERT_TRUE(EcritureIni(file, "Recorder_00", "Label2", "B"));
    ASSERT_TRUE(EcritureIni(file, "Planning_000", "Duree", "60"));
    ASSERT_TRUE(EcritureIni(file, "Brand_New", "K", "v"));
    QByteArray expected = kWindowsLayout;
    expected.replace("Version=3.4\r\n", "Version=3.4\r\nAdded=1\r\n");
    expected.replace("VOLUME=12\r\n", "VOLUME=12\r\nLabel2=B\r\n");
    expected += "Duree=60\r\n[Brand_New]\r\nK=v\r\n";
    EXPECT_EQ(ReadRawFile(file), expected);
    EXPECT_EQ(TestIniValue(file, "Brand_New", "K"), "v");
}

TEST(IniWrite, LineFeedFileIsRewrittenWithCrLf) {
    ScratchDrive drive;
    const QString file = Drop(drive, "Lf.Ini", "[Sec]\nA=1\nB=2");
    ASSERT_TRUE(EcritureIni(file, "Sec", "B", "3"));
    EXPECT_EQ(ReadRawFile(file), QByteArray("[Sec]\r\nA=1\r\nB=3\r\n"));
}

TEST(IniWrite, LineBreaksInAValueCannotForgeEntries) {
    ScratchDrive drive;
    const QString file = drive.path("Inject.Ini");
    ASSERT_TRUE(EcritureIni(file, "Sec", "Libelle", "x\r\n[Other]\r\nActif=ON"));
    EXPECT_EQ(TestIniValue(file, "Other", "Actif"), "<absent>");
    EXPECT_EQ(LectureIni(file, "Other", "Actif", "none"), "none");
    EXPECT_EQ(LectureIni(file, "Sec", "Libelle", ""), "x  [Other]  Actif=ON");
}

TEST(IniWrite, RefusesBlankNamesAndBadFileNames) {
    ScratchDrive drive;
    const QString file = drive.path("Refused.Ini");
    EXPECT_FALSE(EcritureIni(file, "Sec", "   ", "v"));
    EXPECT_FALSE(EcritureIni(file, "", "Key", "v"));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(EcritureIni(drive.path("Bad?.Ini"), "Sec", "Key", "v"));
    EXPECT_FALSE(QFileInfo::exists(drive.path("Bad?.Ini")));
}

TEST(IniWrite, CreatesTheMissingFolderChain) {
    ScratchDrive drive;
    const QString file = drive.path("Tessaline/Velmora/Settings/Deep/Test.Ini");
    ASSERT_TRUE(EcritureIni(file, "Sec", "Key", "v"));
    EXPECT_EQ(TestIniValue(file, "Sec", "Key"), "v");
    // A folder that cannot be made (a file stands in its way): false.
    WriteRawFile(drive.path("Blocker"), "x");
    EXPECT_FALSE(EcritureIni(drive.path("Blocker/Sub/Test.Ini"), "Sec", "Key", "v"));
}

TEST(IniWrite, ReadOnlyFileLosesTheAttributeAndIsWritten) {
    ScratchDrive drive;
    const QString file = Drop(drive, "ReadOnly.Ini", "[Sec]\r\nKey=old\r\n");
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_TRUE(EcritureIni(file, "Sec", "Key", "new"));
    EXPECT_EQ(TestIniValue(file, "Sec", "Key"), "new");
    EXPECT_TRUE(QFile::permissions(file) & QFile::WriteOwner);
}

TEST(IniWrite, ReplacesTheFileWholeSoReadersNeverSeeHalfOfIt) {
    ScratchDrive drive;
    const QString file = drive.path("Atomic.Ini");
    ASSERT_TRUE(EcritureIni(file, "Sec", "Key", "first"));
    const QByteArray before = ReadRawFile(file);
    // A reader that opened the file before the write keeps reading the whole
    // old content: the new one arrives as another file renamed over it.
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(EcritureIni(file, "Sec", "Key", "second value, longer than the first"));
    char buf[256] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    EXPECT_EQ(QByteArray(buf, int(n)), before);
    EXPECT_EQ(TestIniValue(file, "Sec", "Key"), "second value, longer than the first");
    // No temporary file is left behind.
    EXPECT_EQ(QDir(drive.root()).entryList(QDir::Files), QStringList{"Atomic.Ini"});
}

TEST(SettingsPaths, FolderAndFileNames) {
    ScratchDrive drive;
    EXPECT_EQ(DefaultRoot(), drive.root() + "Tessaline/Velmora/");
    const QString folder = NomDossierSettings();
    EXPECT_EQ(folder, drive.root() + "Tessaline/Velmora/Settings/VM3_Quillon_Recorder/");
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(NomFichierSettings(".Ini", ""), folder + "VM3_Quillon_Recorder.Ini");

    App().InstanceNumber = 3;
    EXPECT_EQ(NomFichierSettings(".Ini", ""), folder + "VM3_Quillon_Recorder_3.Ini");
    App().InstanceNumber = 10;
    EXPECT_EQ(NomFichierSettings(".Ini", ".bak"), folder + "VM3_Quillon_Recorder_10.Ini.bak");
}

TEST(SettingsPaths, ProgramFolderComesFromTheApplication) {
    ScratchDrive drive;
    App().ApplicationFolder = drive.path("opt/quillon");
    EXPECT_EQ(NomDossierSettings(), drive.path("opt/quillon/Settings/VM3_Quillon_Recorder/"));
    ResetIniCache();
    App().UseDefaultRoot = true;
    EXPECT_EQ(NomFichierSettings(".Ini", ""),
              drive.root() + "Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder.Ini");
}

TEST(SettingsPaths, MigratesTheOlderSettingsFolder) {
    ScratchDrive drive;
    const QString older = drive.makeFolder("Tessaline/Velmora/Settings/VM3_MultiRecorder/");
    WriteRawFile(older + "VM3_Recorder.Ini", "[Recorder_00]\r\nActif=ON\r\n");
    WriteRawFile(older + "Planning.txt", "plan");

    const QString folder = NomDossierSettings();
    EXPECT_EQ(LectureIni(folder + "VM3_Quillon_Recorder.Ini", "Recorder_00", "Actif", ""), "ON");
    EXPECT_EQ(ReadRawFile(folder + "Planning.txt"), "plan");
    EXPECT_FALSE(QFileInfo::exists(folder + "VM3_Recorder.Ini"));
    EXPECT_FALSE(QFileInfo::exists(older));
}

TEST(SettingsPaths, OlderFolderIsKeptWhenItsFilesCouldNotBeCopied) {
    ScratchDrive drive;
    const QString older = drive.makeFolder("Tessaline/Velmora/Settings/VM3_MultiRecorder/");
    WriteRawFile(older + "VM3_Recorder.Ini", "[Recorder_00]\r\nActif=ON\r\n");
    // The new settings folder cannot be made: a file stands in its place.
    WriteRawFile(drive.path("Tessaline/Velmora/Settings/VM3_Quillon_Recorder"), "in the way");
    NomDossierSettings();
    EXPECT_EQ(ReadRawFile(older + "VM3_Recorder.Ini"), "[Recorder_00]\r\nActif=ON\r\n");
}

TEST(SettingsPaths, MigratesTheOlderSettingsFileOfTheInstance) {
    ScratchDrive drive;
    App().InstanceNumber = 2;
    const QString windows = drive.makeFolder("Windows/");
    WriteRawFile(windows + "VM3_Quillon_Recorder_2.Ini", "[Recorder_00]\r\nLibelle=Deux\r\n");
    WriteRawFile(windows + "VM3_Quillon_Recorder.Ini", "[Recorder_00]\r\nLibelle=Zero\r\n");
    const QString file = NomFichierSettings(".Ini", "");
    EXPECT_EQ(LectureIni(file, "Recorder_00", "Libelle", ""), "Deux");
    EXPECT_FALSE(QFileInfo::exists(windows + "VM3_Quillon_Recorder_2.Ini"));
    // The file of another instance is left alone.
    EXPECT_TRUE(QFileInfo::exists(windows + "VM3_Quillon_Recorder.Ini"));
}

TEST(SettingsPaths, ExistingSettingsAreNeverOverwritten) {
    ScratchDrive drive;
    const QString folder = drive.makeFolder("Tessaline/Velmora/Settings/VM3_Quillon_Recorder/");
    WriteRawFile(folder + "VM3_Quillon_Recorder.Ini", "[Recorder_00]\r\nLibelle=Current\r\n");
    const QString older = drive.makeFolder("Tessaline/Velmora/Settings/VM3_MultiRecorder/");
    WriteRawFile(older + "VM3_Recorder.Ini", "[Recorder_00]\r\nLibelle=Old\r\n");
    WriteRawFile(drive.makeFolder("Windows/") + "VM3_Quillon_Recorder.Ini", "[Recorder_00]\r\nLibelle=Older\r\n");
    NomDossierSettings();
    EXPECT_EQ(LectureIni(folder + "VM3_Quillon_Recorder.Ini", "Recorder_00", "Libelle", ""), "Current");
    EXPECT_TRUE(QFileInfo::exists(older + "VM3_Recorder.Ini"));
    EXPECT_TRUE(QFileInfo::exists(drive.path("Windows/VM3_Quillon_Recorder.Ini")));
}

TEST(FamilyConfig, ConfigurationFileAndItsBases) {
    ScratchDrive drive;
    const QString path = DetermineDossierConfig();
    EXPECT_EQ(path, drive.root() + "Tessaline/Velmora/Settings/VM3_Config.ini");
    EXPECT_TRUE(IniCache().ConfigFileFound);
    // Cached for the whole run.
    App().ApplicationFolder = drive.path("elsewhere/");
    EXPECT_EQ(DetermineDossierConfig(), path);

    EXPECT_EQ(DetermineDossierConfig_Bases_Nombre(path), 1);
    EXPECT_EQ(DetermineDossierConfig_Fichier(path, 1), drive.path("elsewhere/Config/"));
    ASSERT_TRUE(EcritureIni(path, "Sites", "NbBase", "3"));
    ASSERT_TRUE(EcritureIni(path, "Base_02", "Dossier_Config_Global", "/srv/velmora/base2"));
    EXPECT_EQ(DetermineDossierConfig_Bases_Nombre(path), 3);
    EXPECT_EQ(DetermineDossierConfig_Fichier(path, 2), "/srv/velmora/base2/");
    // One folder for every base when the site names it.
    ASSERT_TRUE(EcritureIni(path, "Site", "Dossier_Config_Global", "/srv/velmora/site/"));
    EXPECT_EQ(DetermineDossierConfig_Fichier(path, 2), "/srv/velmora/site/");
}

TEST(FamilyConfig, OlderWinIniKeys) {
    ScratchDrive drive;
    IniCache().ConfigFileFound = false;
    const QString winIni = drive.makeFolder("Windows/") + "Win.ini";
    EXPECT_EQ(DetermineDossierConfig_Bases_Nombre(winIni), 0);
    EXPECT_EQ(DetermineDossierConfig_Fichier(winIni, 1), drive.root() + "Tessaline/Velmora/Config/");
    WriteRawFile(winIni, "[Tessaline]\r\nNb_Base=2\r\nINI_VELMORA=/srv/local\r\nINI_VELMORA_UNC=//server/velmora\r\n");
    EXPECT_EQ(DetermineDossierConfig_Bases_Nombre(winIni), 2);
    EXPECT_EQ(DetermineDossierConfig_Fichier(winIni, 1), "/srv/local/");
    ASSERT_TRUE(EcritureIni(winIni, "Tessaline", "UNC_Actif", "ON"));
    EXPECT_EQ(DetermineDossierConfig_Fichier(winIni, 1), "//server/velmora/");
    // Blank folder: the base's own key.
    ASSERT_TRUE(EcritureIni(winIni, "Tessaline", "INI_VELMORA_UNC", ""));
    ASSERT_TRUE(EcritureIni(winIni, "Tessaline", "Ini_Base_01", "/srv/base1/"));
    EXPECT_EQ(DetermineDossierConfig_Fichier(winIni, 1), "/srv/base1/");
}

class NetworkPaths : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = qgetenv("VELMORA_SMB_CONF");
        audio_ = drive_.makeFolder("srv/audio/Rec/");
        WriteRawFile(drive_.path("smb.conf"),
                     "[global]\n   workgroup = STATION\n   path = /should/not/count\n"
                     "[printers]\n   path = /var/spool/samba\n   printable = yes\n"
                     "[Audio]\n   comment = recordings\n   path = " + drive_.path("srv/audio/").toUtf8() + "\n"
                     "[Archives]\n   path = " + drive_.path("srv/missing").toUtf8() + "\n");
        qputenv("VELMORA_SMB_CONF", drive_.path("smb.conf").toLocal8Bit());
    }
    void TearDown() override { qputenv("VELMORA_SMB_CONF", saved_); }
    ScratchDrive drive_;
    QString audio_;
    QByteArray saved_;
};

TEST_F(NetworkPaths, OwnShareBecomesTheLocalFolder) {
    const QString local = ChangeUNCFolder2LocalFolder("//Studio1/AUDIO/Rec/", "STUDIO1");
    EXPECT_EQ(local, audio_);
    EXPECT_EQ(ScratchDrive::traceLinesWith("Shared Paths List |UNC Path to Change: //Studio1/AUDIO/Rec/").size(), 1);
    EXPECT_EQ(ScratchDrive::traceLinesWith("00: UNC: Local Path found: " + audio_).size(), 1);
    EXPECT_EQ(ScratchDrive::traceLinesWith("00: UNC: Path change from: //Studio1/AUDIO/Rec/ to: " + audio_).size(), 1);
}

TEST_F(NetworkPaths, OtherPathsStayAsTheyAre) {
    // A share of this computer whose folder does not exist.
    EXPECT_EQ(ChangeUNCFolder2LocalFolder("//studio1/Archives/2024/", "studio1"), "//studio1/Archives/2024/");
    EXPECT_EQ(ScratchDrive::traceLinesWith("01: UNC: Local Path found: " + drive_.path("srv/missing/2024/")).size(), 1);
    EXPECT_TRUE(ScratchDrive::traceLinesWith("UNC: Path change from").isEmpty());
    // Another computer, or a share name that only begins the same way.
    EXPECT_EQ(ChangeUNCFolder2LocalFolder("//studio2/Audio/Rec/", "studio1"), "//studio2/Audio/Rec/");
    EXPECT_EQ(ChangeUNCFolder2LocalFolder("//studio1/AudioX/Rec/", "studio1"), "//studio1/AudioX/Rec/");
    EXPECT_EQ(ChangeUNCFolder2LocalFolder("/local/folder/", "studio1"), "/local/folder/");
}

TEST_F(NetworkPaths, WithoutSharesNothingIsTraced) {
    qputenv("VELMORA_SMB_CONF", drive_.path("no-such-smb.conf").toLocal8Bit());
    EXPECT_EQ(ChangeUNCFolder2LocalFolder("//studio1/Audio/Rec/", "studio1"), "//studio1/Audio/Rec/");
    EXPECT_TRUE(ScratchDrive::traceLines().isEmpty());
}

TEST(WindowPositions, SavedThenRestoredInsideTheScreen) {
    ScratchDrive drive;
    const QRect screen(0, 0, 1920, 1080);
    WindowPos w{"Frm_Main", 300, 200, 800, 600};
    PositionFeuilleSauvegarde(w, "");
    const QString file = NomFichierSettings(".Ini", "");
    EXPECT_EQ(TestIniValue(file, "FrmPos", "Frm_Main_Left"), "300");
    EXPECT_EQ(TestIniValue(file, "FrmPos", "Frm_Main_Top"), "200");

    WindowPos restored{"Frm_Main", 0, 0, 800, 600};
    PositionFeuille(restored, "", screen);
    EXPECT_EQ(restored.left, 300);
    EXPECT_EQ(restored.top, 200);

    // With a suffix, its own keys.
    WindowPos setup{"FrmSetup", 5000, -40, 700, 500};
    PositionFeuilleSauvegarde(setup, "2");
    EXPECT_EQ(TestIniValue(file, "FrmPos", "FrmSetup_2_Left"), "5000");
    WindowPos back{"FrmSetup", 0, 0, 700, 500};
    PositionFeuille(back, "2", screen);
    EXPECT_EQ(back.left, 1920 - 700);
    EXPECT_EQ(back.top, 0);

    // Nothing saved: the top left corner.
    WindowPos fresh{"Frm_Debug", 77, 77, 300, 200};
    PositionFeuille(fresh, "", screen);
    EXPECT_EQ(fresh.left, 0);
    EXPECT_EQ(fresh.top, 0);
}
