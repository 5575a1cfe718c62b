// File operations on real files of a scratch drive, with the trace lines
// they leave, and the name functions used to build recording paths.
#include "support/files.h"

#include "support/clock.h"
#include "support/scratch_drive.h"
#include "support/test_ini_reader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {
const QString kCaller = QStringLiteral("Test:Files");
}

TEST(FileDelete, MissingFileTracesCode2) {
    ScratchDrive drive;
    const QString path = drive.path("absent.wav");
    EXPECT_FALSE(File_Delete(path, kCaller));
    const QStringList lines = ScratchDrive::traceLinesWith(
        "File_Delete: Warning: 2 |File not found: " + path + " |Sub: Test:Files>Lib_Systeme:File_Delete");
    EXPECT_EQ(lines.size(), 1);
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());
}

TEST(FileDelete, BlankNameIsAWarning) {
    ScratchDrive drive;
    EXPECT_FALSE(File_Delete("   ", kCaller));
    EXPECT_EQ(ScratchDrive::traceLinesWith(
                  "Warning: File_Delete: File name null |Sub: Test:Files>Lib_Systeme:File_Delete")
                  .size(),
              1);
}

TEST(FileDelete, WildcardsDeleteMatchingFilesOnly) {
    ScratchDrive drive;
    const QString folder = drive.makeFolder("rec/");
    WriteRawFile(folder + "a.wav", "1");
    WriteRawFile(folder + "B.WAV", "2");
    WriteRawFile(folder + "keep.mp3", "3");
    QDir().mkpath(folder + "sub.wav");
    EXPECT_TRUE(File_Delete(folder + "*.wav", kCaller));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), (QStringList{"keep.mp3", "sub.wav"}));
    // Nothing left to match.
    EXPECT_FALSE(File_Delete(folder + "*.wav", kCaller));
    EXPECT_TRUE(File_Delete(folder + "keep.mp3", kCaller));
    EXPECT_FALSE(QFileInfo::exists(folder + "keep.mp3"));
}

TEST(FileCopy, CopiesAndReportsFreeSpace) {
    ScratchDrive drive;
    const QString source = drive.path("take.wav");
    WriteRawFile(source, "RIFF....WAVE");
    const QString target = drive.path("archive/2024/take.wav");
    File_Copy(source, target);
    EXPECT_EQ(ReadRawFile(target), "RIFF....WAVE");
    const QStringList lines = ScratchDrive::traceLinesWith("Free space for ");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(QRegularExpression(": [0-9,]+\\.[0-9]{2} (Octets|Ko|Mo|Go|To|Po)$"))) << lines[0].toStdString();
    // Copying again replaces the target.
    WriteRawFile(source, "second");
    File_Copy(source, target);
    EXPECT_EQ(ReadRawFile(target), "second");
}

TEST(FileCopy, SameSourceAndTargetTraces113) {
    ScratchDrive drive;
    const QString file = drive.path("same.wav");
    WriteRawFile(file, "data");
    File_Copy(file, file);
    EXPECT_EQ(ScratchDrive::traceLinesWith("File_Copy: Err: 113 |Fichiers source et cible identiques. Source: " + file +
                                           "  Target: " + file)
                  .size(),
              1);
    EXPECT_EQ(ReadRawFile(file), "data");
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());
}

TEST(FileCopy, MissingOrBlankSourceIsOnlyTraced) {
    ScratchDrive drive;
    File_Copy(drive.path("nothing.wav"), drive.path("copy.wav"));
    EXPECT_EQ(ScratchDrive::traceLinesWith("Warning: File_Copy: File not found: " + drive.path("nothing.wav")).size(), 1);
    File_Copy(" ", drive.path("copy.wav"));
    EXPECT_EQ(ScratchDrive::traceLinesWith("Warning: File_Copy: File name null").size(), 1);
    EXPECT_FALSE(QFileInfo::exists(drive.path("copy.wav")));
}

TEST(FileCopy, TargetFolderThatCannotBeMadeIsAnIncident) {
    ScratchDrive drive;
    const QString source = drive.path("take.wav");
    WriteRawFile(source, "x");
    WriteRawFile(drive.path("blocker"), "file, not folder");
    File_Copy(source, drive.path("blocker/take.wav"));
    EXPECT_EQ(ScratchDrive::traceLinesWith("File_Copy: Err: 53 |Folder not found. Source: " + source).size(), 1);
    EXPECT_EQ(Trace().ListeIncidents.filter("File_Copy: Err: 53").size(), 1);
}

TEST(FileCopy, WildcardSourceCopiesIntoTheFolder) {
    ScratchDrive drive;
    const QString from = drive.makeFolder("from/");
    WriteRawFile(from + "one.Ini", "1");
    WriteRawFile(from + "two.ini", "2");
    WriteRawFile(from + "three.txt", "3");
    File_Copy(from + "*.ini", drive.path("to/"));
    EXPECT_EQ(QDir(drive.path("to/")).entryList(QDir::Files), (QStringList{"one.Ini", "two.ini"}));
}

TEST(DeleteFileTest, DeletesReadOnlyFilesAndTracesIt) {
    ScratchDrive drive;
    const QString file = drive.path("old slice.wav");
    WriteRawFile(file, "x");
    QFile::setPermissions(file, QFile::ReadOwner);
    DeleteFile(file, "Frm_Main:SuppressionHistoriquePige");
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(ScratchDrive::traceLinesWith("File '" + file + "' deleted |Sub: Frm_Main:SuppressionHistoriquePige").size(), 1);
}

TEST(DeleteFileTest, FoldersAndMissingFilesAreLeftAlone) {
    ScratchDrive drive;
    const QString folder = drive.makeFolder("slices/");
    WriteRawFile(folder + "inside.wav", "x");
    DeleteFile(folder.chopped(1), kCaller);
    EXPECT_TRUE(QFileInfo::exists(folder + "inside.wav"));
    EXPECT_TRUE(ScratchDrive::traceLinesWith("deleted").isEmpty());
    DeleteFile(drive.path("absent.wav"), kCaller);
    EXPECT_TRUE(ScratchDrive::traceLinesWith("deleted").isEmpty());
    DeleteFile(folder + "*.wav", kCaller);
    EXPECT_FALSE(QFileInfo::exists(folder + "inside.wav"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST(FileExist, LookupRules) {
    ScratchDrive drive;
    const QString folder = drive.makeFolder("rec/");
    WriteRawFile(folder + "take.wav", "data");
    WriteRawFile(folder + "empty.wav", "");
    EXPECT_TRUE(File_Exist(folder + "take.wav", kCaller));
    // A blank before the extension dot is not kept.
    EXPECT_TRUE(File_Exist("  " + folder + "take  .wav ", kCaller));
    EXPECT_TRUE(File_Exist(folder + "T*.WAV", kCaller));
    EXPECT_FALSE(File_Exist(folder + "*.mp3", kCaller));
    EXPECT_TRUE(File_Exist(folder.chopped(1), kCaller));
    EXPECT_FALSE(File_Exist(folder, kCaller));
    EXPECT_FALSE(File_Exist("", kCaller));
    EXPECT_TRUE(File_Exist(folder + "empty.wav", kCaller));
    EXPECT_FALSE(File_Exist(folder + "empty.wav", kCaller, true));
    EXPECT_TRUE(File_Exist(folder + "take.wav", kCaller, true));
}

TEST(FileExist, SizeAndDates) {
    ScratchDrive drive;
    const QString file = drive.path("take.wav");
    WriteRawFile(file, QByteArray(12345, 'x'));
    EXPECT_EQ(TailleDuFichier(file), 12345);
    EXPECT_EQ(TailleDuFichier(drive.path("absent.wav")), -1);

    const QDateTime when(QDate(2024, 3, 19), QTime(14, 5, 9, 420));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
        ASSERT_TRUE(f.setFileTime(when.addDays(1), QFileDevice::FileAccessTime));
    }
    EXPECT_EQ(DateModificationFichier(0, file, false), QDateTime(QDate(2024, 3, 19), QTime(14, 5, 9)));
    EXPECT_EQ(DateModificationFichier(0, file, true), QDateTime(QDate(2024, 3, 20), QTime(14, 5, 9)));
    EXPECT_FALSE(DateModificationFichier(0, " ", false).isValid());
    EXPECT_FALSE(DateModificationFichier(0, drive.path("absent.wav"), false).isValid());
}

TEST(FileExist, RemovingTheReadOnlyFlag) {
    ScratchDrive drive;
    const QString file = drive.path("settings.Ini");
    WriteRawFile(file, "x");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup);
    File_RemoveFlag(file, 2);  // hidden: nothing to do
    EXPECT_FALSE(QFile::permissions(file) & QFile::WriteOwner);
    File_RemoveFlag(file, 1);
    EXPECT_TRUE(QFile::permissions(file) & QFile::WriteOwner);
    EXPECT_TRUE(QFile::permissions(file) & QFile::ReadGroup);
}

TEST(Folders, CreationOfAFolderChain) {
    ScratchDrive drive;
    const QString deep = drive.path("AudioLog/Histo/2024/");
    EXPECT_FALSE(VerificationEtCreationRepertoire(deep, false));
    EXPECT_FALSE(QFileInfo::exists(drive.path("AudioLog")));
    EXPECT_TRUE(VerificationEtCreationRepertoire(drive.path("AudioLog/Histo/2024"), true));
    EXPECT_TRUE(QFileInfo(deep).isDir());
    EXPECT_TRUE(VerificationEtCreationRepertoire(deep, false));
    EXPECT_TRUE(FolderFound(deep));
    EXPECT_FALSE(FolderFound(drive.path("AudioLog/Other/")));
    EXPECT_FALSE(VerificationEtCreationRepertoire("  ", true));

    WriteRawFile(drive.path("AudioLog/file"), "x");
    EXPECT_FALSE(VerificationEtCreationRepertoire(drive.path("AudioLog/file/sub/"), true));
    EXPECT_EQ(ScratchDrive::traceLinesWith("Folder '" + drive.path("AudioLog/file/") + "' not found").size(), 1);
}

TEST(Folders, NamesAreCleanedBeforeCreation) {
    ScratchDrive drive;
    EXPECT_TRUE(VerificationEtCreationRepertoire(drive.path("Pige: Studio <A>/"), true));
    EXPECT_TRUE(QFileInfo(drive.path("Pige  Studio  A/")).isDir());
}

TEST(PathNames, CheckRepAndSplitting) {
    EXPECT_EQ(CheckRep(""), "");
    EXPECT_EQ(CheckRep("/srv/audio"), "/srv/audio/");
    EXPECT_EQ(CheckRep("/srv/audio/"), "/srv/audio/");

    PathPieces p = EclateRepFicExt("/Logs/20240319.Log");
    EXPECT_EQ(p.PathFolder, "/Logs/");
    EXPECT_EQ(p.PathBaseName, "20240319");
    EXPECT_EQ(p.PathExtension, ".Log");
    EXPECT_EQ(LastPathPieces().PathBaseName, "20240319");

    p = EclateRepFicExt("  take.final.wav ");
    EXPECT_EQ(p.PathFolder, "");
    EXPECT_EQ(p.PathBaseName, "take.final");
    EXPECT_EQ(p.PathExtension, ".wav");

    p = EclateRepFicExt("/srv/audio.d/Pige Studio");
    EXPECT_EQ(p.PathFolder, "/srv/audio.d/");
    EXPECT_EQ(p.PathBaseName, "Pige Studio");
    EXPECT_EQ(p.PathExtension, "");

    p = EclateRepFicExt("/srv/rec/.hidden");
    EXPECT_EQ(p.PathFolder, "/srv/rec/");
    EXPECT_EQ(p.PathBaseName, "");
    EXPECT_EQ(p.PathExtension, ".hidden");

    p = EclateRepFicExt("/srv/rec/");
    EXPECT_EQ(p.PathFolder, "/srv/rec/");
    EXPECT_EQ(p.PathBaseName, "");
    EXPECT_EQ(p.PathExtension, "");

    EXPECT_EQ(LastPathPieces().PathFolder, "/srv/rec/");
}

TEST(PathNames, CorrectNamesAndCleaning) {
    EXPECT_TRUE(NomFichierCorrect("/srv/a<b>.Ini"));
    EXPECT_TRUE(NomFichierCorrect("Régie: 1.Ini"));
    for (const char* bad : {"a*b", "a?b", "a\"b", "a|b"}) EXPECT_FALSE(NomFichierCorrect(bad)) << bad;

    EXPECT_EQ(NettoieNomDeDossier("/srv/Pige: Studio*1/"), "/srv/Pige  Studio 1/");
    EXPECT_EQ(NettoieNomDeDossier("//studio1/audio/Rec/"), "//studio1/audio/Rec/");
    EXPECT_EQ(NettoieNomDeDossier("/srv/../etc/"), "/srv//etc/");
    EXPECT_EQ(NettoieNomDeDossier("/srv/a...b/100%/"), "/srv/ab/100/");
    EXPECT_EQ(NettoieNomDeDossier("/srv/Rec   A    B/"), "/srv/Rec A    B/");
    EXPECT_EQ(NettoieNomDeDossier("/srv/x,y<z>|w  /"), "/srv/x y z  w/");
    EXPECT_EQ(NettoieNomDeDossier("  /srv/win\\path/ "), "/srv/win path/");
    EXPECT_EQ(NettoieNomDeDossier("a:"), "a:");
}

TEST(PathNames, SizeTexts) {
    EXPECT_EQ(SizeText(0), "0.00 Octets");
    EXPECT_EQ(SizeText(1023), "1,023.00 Octets");
    EXPECT_EQ(SizeText(1536), "1.50 Ko");
    EXPECT_EQ(SizeText(5.0 * 1024 * 1024 * 1024), "5.00 Go");
    EXPECT_EQ(SizeText(1024.0 * 1024 * 1024 * 1024 * 1024 * 1024 * 1024 * 1024 * 2048), "2,048.00 Yo");
}

class NamePatterns : public ::testing::Test {
protected:
    ManualClock clock_{QDateTime(QDate(2024, 3, 19), QTime(14, 5, 9))};
    ScopedClock scope_{&clock_};
};

TEST_F(NamePatterns, DefaultPatternAndLetterCases) {
    EXPECT_EQ(EvalueNomFichier("Rec_<yyyyMMdd_hh_mm_ss>"), "Rec_20240319_14_05_09");
    // Upper-case MM is the month, lower-case mm the minute.
    EXPECT_EQ(EvalueNomFichier("<HH-MM>"), "14-03");
    EXPECT_EQ(EvalueNomFichier("<hh-mm>"), "14-05");
    EXPECT_EQ(EvalueNomFichier("<YYYY><yy><DD><SS>"), "2024241909");
    EXPECT_EQ(EvalueNomFichier("Pige <dd>.<MM>.<yyyy> <HH>h"), "Pige 19.03.2024 14h");
}

TEST_F(NamePatterns, SeparatorsAndStrayBracketsGo) {
    EXPECT_EQ(EvalueNomFichier("news/10:00\\flash"), "news1000flash");
    // A "<" without a later ">" opens no token.
    EXPECT_EQ(EvalueNomFichier("a>b<yyyy"), "abyyyy");
    EXPECT_EQ(EvalueNomFichier("<<yyyy>"), "2024");
    EXPECT_EQ(EvalueNomFichier("Jingle <Title>"), "Jingle Title");
    // The same token everywhere in the text is replaced at once.
    EXPECT_EQ(EvalueNomFichier("<hh>_<HH>"), "14_14");
    clock_.set(QDateTime(QDate(2025, 1, 5), QTime(9, 7, 3)));
    EXPECT_EQ(EvalueNomFichier("<yyyyMMdd_hh_mm_ss>"), "20250105_09_07_03");
}
