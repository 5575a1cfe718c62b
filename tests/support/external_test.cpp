// Documents and programs handed to the system, with a desktop opener of our
// own on the PATH, and waits for real child processes.
#include "support/external.h"

#include "platform/os.h"
#include "support/errors.h"
#include "support/scratch_drive.h"
#include "support/test_ini_reader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>

namespace {

class ExternalPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = qgetenv("PATH");
        bin_ = drive_.makeFolder("bin/");
        // Only our own tools: no desktop opener unless a test installs one.
        qputenv("PATH", bin_.chopped(1).toLocal8Bit());
    }
    void TearDown() override { qputenv("PATH", savedPath_); }

    QString script(const QString& name, const QByteArray& body) {
        const QString path = bin_ + name;
        WriteRawFile(path, "#!/bin/sh\n" + body);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    // A desktop opener that writes what it was asked to open.
    QString installOpener() {
        const QString marker = drive_.path("opened.txt");
        script("xdg-open", "printf '%s\\n' \"$@\" > '" + marker.toUtf8() + ".tmp'; /bin/mv '" + marker.toUtf8() + ".tmp' '" +
                               marker.toUtf8() + "'\n");
        return marker;
    }
    static QByteArray waitForFile(const QString& path) {
        platform::WaitInEventLoop([&] { return QFileInfo::exists(path); }, 10000);
        return ReadRawFile(path);
    }

    ScratchDrive drive_;
    QString bin_;
    QByteArray savedPath_;
};

}  // namespace

TEST_F(ExternalPrograms, MissingFileIsTracedAsError53) {
    const QString file = drive_.path("absent/report.pdf");
    const QString existingFolderFile = drive_.path("report.pdf");
    EXPECT_EQ(ExecuterProgrammeExterne("Open", existingFolderFile, "", "", 1), 2);
    EXPECT_EQ(ScratchDrive::traceLinesWith(QString::fromUtf8("Err: 53: Chemin d'accès non trouvé: ") + existingFolderFile +
                                           " |Source: Lib_Systeme:ExecuterProgrammeExterne:20")
                  .size(),
              1);
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());
    // A path whose folder is missing is error 76, reported as an incident.
    EXPECT_EQ(ExecuterProgrammeExterne("Open", file, "", "", 1), 3);
    EXPECT_EQ(Trace().ListeIncidents.filter(QString::fromUtf8("Chemin d'accès non trouvé")).size(), 1);
}

TEST_F(ExternalPrograms, NoDesktopOpenerMeansNoAssociation) {
    const QString doc = drive_.path("notes.odt");
    WriteRawFile(doc, "x");
    EXPECT_EQ(ExecuterProgrammeExterne("Open", doc, "", "", 1), 31);
    EXPECT_EQ(Trace()
                  .ListeIncidents.filter(QString::fromUtf8("Il n'y a aucune application associée à ce type de fichier"))
                  .size(),
              1);
}

TEST_F(ExternalPrograms, DocumentTypeWithoutDefaultProgram) {
    installOpener();
    script("xdg-mime", "exit 0\n");  // knows no default program for anything
    const QString doc = drive_.path("clip.xyz");
    WriteRawFile(doc, "x");
    EXPECT_EQ(ExecuterProgrammeExterne("Open", doc, "", "", 1), 31);
    EXPECT_FALSE(QFileInfo::exists(drive_.path("opened.txt")));
}

TEST_F(ExternalPrograms, DocumentsFoldersAndAddressesGoToTheDesktopOpener) {
    const QString marker = installOpener();
    const QString doc = drive_.path("Histo/20240319.Log");
    drive_.makeFolder("Histo/");
    WriteRawFile(doc, "line\r\n");
    EXPECT_GT(ExecuterProgrammeExterne("Open", doc, "", "", 1), 32);
    EXPECT_EQ(waitForFile(marker), doc.toUtf8() + "\n");

    QFile::remove(marker);
    EXPECT_GT(ExecuterProgrammeExterne("Open", "https://example.invalid/setup.exe", "", "", 1), 32);
    EXPECT_EQ(waitForFile(marker), "https://example.invalid/setup.exe\n");

    QFile::remove(marker);
    EXPECT_GT(ExecuterProgrammeExterne("Open", drive_.path("Histo/"), "", "", 1), 32);
    EXPECT_EQ(waitForFile(marker), drive_.path("Histo/").toUtf8() + "\n");
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());
}

TEST_F(ExternalPrograms, NotepadOpensTheDocumentInTheTextEditor) {
    const QString marker = installOpener();
    const QString log = drive_.path("20240319.Log");
    WriteRawFile(log, "line\r\n");
    EXPECT_GT(ExecuterProgrammeExterne("Open", "Notepad.exe", log, "", 1), 32);
    EXPECT_EQ(waitForFile(marker), log.toUtf8() + "\n");
    QFile::remove(marker);
    EXPECT_GT(ExecuterProgrammeExterne("Open", "notepad.exe " + log, "", "", 1), 32);
    EXPECT_EQ(waitForFile(marker), log.toUtf8() + "\n");
    // The document must exist.
    EXPECT_EQ(ExecuterProgrammeExterne("Open", "Notepad.exe", drive_.path("none.Log"), "", 1), 2);
}

TEST_F(ExternalPrograms, ProgramsRunWithTheirParametersInTheirFolder) {
    const QString marker = drive_.path("ran.txt");
    const QString work = drive_.makeFolder("work/");
    const QString program =
        script("VM3_Quillon_User", "{ pwd; printf '%s\\n' \"$@\"; } > '" + marker.toUtf8() + ".tmp'; /bin/mv '" +
                                       marker.toUtf8() + ".tmp' '" + marker.toUtf8() + "'\n");
    EXPECT_GT(ExecuterProgrammeExterne("Open", program, "/Close \"two words\"", work, 1), 32);
    EXPECT_EQ(waitForFile(marker), work.chopped(1).toUtf8() + "\n/Close\ntwo words\n");
    // A bare name is looked for on the PATH.
    QFile::remove(marker);
    EXPECT_GT(ExecuterProgrammeExterne("Open", "VM3_Quillon_User", "x", "", 1), 32);
    EXPECT_TRUE(waitForFile(marker).endsWith("\nx\n"));
}

TEST(WaitForProcess, ExitCodeOfAFinishedProcess) {
    const qint64 pid = platform::StartProcess("/bin/sh", {"-c", "exit 3"});
    ASSERT_GT(pid, 0);
    qint32 noLimit = -1;
    EXPECT_EQ(AttenteFinProcessusExterne(pid, noLimit), 3);
    // Asking again gives the same answer.
    qint32 none = 0;
    EXPECT_EQ(AttenteFinProcessusExterne(pid, none), 3);
}

TEST(WaitForProcess, TimeLimitGivesStillActive) {
    const qint64 pid = platform::StartProcess("sleep", {"20"});
    ASSERT_GT(pid, 0);
    qint32 none = 0;
    EXPECT_EQ(AttenteFinProcessusExterne(pid, none), 259);
    QElapsedTimer t;
    t.start();
    qint32 limit = 400;
    EXPECT_EQ(AttenteFinProcessusExterne(pid, limit), 259);
    EXPECT_GE(t.elapsed(), 390);
    EXPECT_LT(t.elapsed(), 10000);
    ::kill(pid_t(pid), SIGTERM);
    qint32 noLimit = -1;
    EXPECT_EQ(AttenteFinProcessusExterne(pid, noLimit), 128 + SIGTERM);
}

TEST(WaitForProcess, EventsKeepRunningDuringTheWait) {
    bool fired = false;
    QTimer::singleShot(50, [&] { fired = true; });
    const qint64 pid = platform::StartProcess("/bin/sh", {"-c", "sleep 0.4; exit 0"});
    ASSERT_GT(pid, 0);
    qint32 noLimit = -1;
    EXPECT_EQ(AttenteFinProcessusExterne(pid, noLimit), 0);
    EXPECT_TRUE(fired);
}
