// The log viewer of the main window's menu: pending lines written first, the
// daily file proposed, the chosen file handed to the desktop's text editor
// (a stand-in opener on the PATH).
#include "main_window_sandbox.h"

#include "platform/os.h"

namespace {

struct OpenDialog : ScriptedDialogs {
    QString answer;
    QString folder, proposed, filter;
    QString pendingAtOpen;  // the daily file as it was when the dialog opened
    QString logPath;
    int opened = 0;
    QString OpenFile(const QString& f, const QString& p, const QString& flt) override {
        ++opened;
        folder = f;
        proposed = p;
        filter = flt;
        QFile file(logPath);
        if (file.open(QIODevice::ReadOnly)) pendingAtOpen = QString::fromUtf8(file.readAll());
        return answer;
    }
};

class LogViewerTest : public MainWindowSandbox {
protected:
    void SetUp() override {
        MainWindowSandbox::SetUp();
        savedPath_ = qgetenv("PATH");
        const QString bin = drive + "bin/";
        QDir().mkpath(bin);
        marker = drive + "opened.txt";
        QFile script(bin + "xdg-open");
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + marker + ".tmp'; /bin/mv '" + marker + ".tmp' '" +
                      marker + "'\n")
                         .toUtf8());
        script.close();
        QFile::setPermissions(bin + "xdg-open", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin.chopped(1).toLocal8Bit());
        SetDialogs(&open);
    }
    void TearDown() override {
        qputenv("PATH", savedPath_);
        MainWindowSandbox::TearDown();
    }
    QString marker;
    OpenDialog open;

private:
    QByteArray savedPath_;
};

}  // namespace

TEST_F(LogViewerTest, TodaysLogIsWrittenOutProposedAndOpenedInTheTextEditor) {
    writeSettings(1);
    startProgram();
    open.logPath = todayLog();
    TraceLog(-1, -1, -1, "Line still pending");
    ASSERT_FALSE(fileText(todayLog()).contains("Line still pending"));
    open.answer = todayLog();
    MnuJournal_Click();
    EXPECT_EQ(open.opened, 1);
    EXPECT_TRUE(open.pendingAtOpen.contains("Line still pending")) << "pending lines are written before the choice";
    EXPECT_EQ(open.folder, Trace().LogFolder);
    EXPECT_EQ(open.proposed, "20240319.Log");
    EXPECT_EQ(open.filter, "Logs|*.log");
    ASSERT_TRUE(platform::WaitInEventLoop([this] { return QFileInfo::exists(marker); }, 10000));
    EXPECT_EQ(fileText(marker), todayLog() + "\n");
}

TEST_F(LogViewerTest, CancelOpensNothing) {
    writeSettings(1);
    startProgram();
    open.logPath = todayLog();
    open.answer.clear();
    MnuJournal_Click();
    EXPECT_EQ(open.opened, 1);
    platform::LetEventsRunFor(200);
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());
}
