// Leaving the program: the exit question, the close reasons, the teardown
// that saves the volumes and ends the recordings, signals and standby.
#include "main_window_sandbox.h"

#include "core/main_window_state.h"
#include "platform/os.h"

#include <QFileInfo>
#include <QProcess>
#include <csignal>

namespace {

class ShutdownTest : public MainWindowSandbox {
protected:
    QString volumeInFile(int recorder) const {
        return LectureIni(settingsPath(), QString("Recorder_%1").arg(recorder, 2, 10, QChar('0')), "Volume", "?");
    }
};

TEST_F(ShutdownTest, CloseBoxDuringStartupDoesNothing) {
    startProgram();
    ASSERT_TRUE(MainTimers().TimerFormat.isActive());
    bool cancel = false;
    Form_QueryUnload(cancel, CloseFromMenu);
    EXPECT_TRUE(cancel);
    EXPECT_TRUE(dialogs.tasks.isEmpty());
    EXPECT_EQ(countLines("Application QueryUnload by system Menu"), 0);
    EXPECT_FALSE(CloseMainWindow(CloseFromMenu));
    EXPECT_EQ(processEnds, 0);

    // Nor can the menu quit before the start-up has finished.
    Mnu01_Click();
    EXPECT_FALSE(S().main.MnuQuitter.enabled());
    finishStartup();
    Mnu01_Click();
    EXPECT_TRUE(S().main.MnuQuitter.enabled());
}

TEST_F(ShutdownTest, AnsweringNoOrNotAnsweringKeepsTheProgramRunning) {
    startProgram();
    finishStartup();
    dialogs.taskAnswer = 102;
    bool cancel = false;
    Form_QueryUnload(cancel, CloseFromMenu);
    EXPECT_TRUE(cancel);
    ASSERT_EQ(dialogs.tasks.size(), 1);
    const auto& task = dialogs.tasks[0];
    EXPECT_EQ(task.title, S().main.caption);
    EXPECT_EQ(task.text, "Voulez-vous quitter le programme ?");
    const QList<QPair<int, QString>> buttons = {{101, "Oui"}, {102, "Non"}};
    EXPECT_EQ(task.buttons, buttons);
    EXPECT_EQ(task.defaultId, 102);
    EXPECT_EQ(task.timeoutMs, 5000);
    EXPECT_FALSE(MainState().QuitRequested);
    // The close request is in the daily file at once.
    EXPECT_TRUE(fileText(todayLog()).contains("Application QueryUnload by system Menu"));

    // Nobody answers: the time limit presses "Non".
    dialogs.taskAnswer = 0;
    MainState().QuitRequested = true;
    Quitter();
    EXPECT_FALSE(MainState().QuitRequested);
    EXPECT_EQ(processEnds, 0);
    EXPECT_TRUE(MainTimers().Timer1.isActive());
    EXPECT_NE(Rec(0).engine(), nullptr);
    EXPECT_EQ(countLines("Application closed by human action"), 0);
}

TEST_F(ShutdownTest, ConfirmedExitSavesTheVolumesForTheNextStart) {
    writeSettings(2, {75, 75, 75, 75, 75, 75, 75, 75});
    startProgram();
    finishStartup();
    S().main.rec[0].Slider1.scrollTo(30);
    S().main.rec[1].Slider1.scrollTo(100);
    AfficherNiveauRecord(5, 90);  // a level put on the slider by the program
    // An edit of the settings, saved on the way out: it must not bring back
    // the volumes of the start.
    ::Setup().TexteLibelleRecorder[0].setText("Studio B");
    dialogs.boxAnswer = MsgYes;
    dialogs.taskAnswer = 101;
    MnuQuitter_Click();

    EXPECT_EQ(processEnds, 1);
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(LectureIni(settingsPath(), "Recorder_00", "Lib", "?"), "Studio B");
    EXPECT_EQ(volumeInFile(0), "30");
    EXPECT_EQ(volumeInFile(1), "100");
    EXPECT_EQ(volumeInFile(4), "75");
    EXPECT_EQ(volumeInFile(5), "90");
    EXPECT_FALSE(MainState().QuitRequested);
    EXPECT_FALSE(MainTimers().Timer1.isActive());
    EXPECT_EQ(Rec(0).engine(), nullptr);
    const QString written = fileText(todayLog());
    const QString human = "Application closed by human action (Menu action)";
    EXPECT_TRUE(written.contains(QString(human.size(), '*') + "\r\n"));
    EXPECT_TRUE(written.contains(human + "\r\n"));
    EXPECT_TRUE(written.contains("Application closed by code action"));
    // Further requests change nothing once the teardown has run.
    EXPECT_TRUE(CloseMainWindow(CloseFromMenu));
    EXPECT_EQ(dialogs.tasks.size(), 1);
    EXPECT_EQ(processEnds, 1);

    restart();
    startProgram();
    EXPECT_EQ(S().main.rec[0].Slider1.value(), 30);
    EXPECT_EQ(S().main.rec[1].Slider1.value(), 100);
    EXPECT_EQ(S().main.rec[5].Slider1.value(), 90);
    EXPECT_EQ(S().main.rec[6].Slider1.value(), 75);
}

TEST_F(ShutdownTest, ConfirmedCloseBoxEndsTheProcessOnce) {
    startProgram();
    finishStartup();
    dialogs.taskAnswer = 101;
    EXPECT_TRUE(CloseMainWindow(CloseFromMenu));
    EXPECT_EQ(dialogs.tasks.size(), 1);
    EXPECT_EQ(processEnds, 1);
    EXPECT_EQ(countLines("Application QueryUnload by system Menu$"), 1);
    EXPECT_EQ(countLines("Application closed by human action \\(Menu action\\)$"), 1);
}

TEST_F(ShutdownTest, SystemShutdownClosesWithoutAQuestion) {
    writeSettings(1, {64});
    startProgram();
    // Start-up not finished, and a record button left checked on an idle recorder.
    ASSERT_TRUE(MainTimers().TimerFormat.isActive());
    S().main.rec[0].XPButtonRecord.setChecked(true);
    EXPECT_TRUE(CloseMainWindow(CloseSystemShutdown));
    EXPECT_TRUE(dialogs.tasks.isEmpty());
    EXPECT_TRUE(MainState().SystemShutdown);
    EXPECT_EQ(processEnds, 1);
    EXPECT_EQ(volumeInFile(0), "64");
    const QString written = fileText(todayLog());
    EXPECT_TRUE(written.contains("Application closed because Windows is shutting down\r\n"));
    EXPECT_FALSE(written.contains("RecorderStop")) << "an idle recorder's stop is not an error";
}

TEST_F(ShutdownTest, SystemShutdownKeepsTheOperatorsEditsWithoutAsking) {
    writeSettings(1);
    startProgram();
    ::Setup().TexteLibelleRecorder[0].setText("Studio A");
    ASSERT_TRUE(SetupFlags().SettingsModified);
    CloseMainWindow(CloseSystemShutdown);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(LectureIni(settingsPath(), "Recorder_00", "Lib", "?"), "Studio A");
    EXPECT_EQ(processEnds, 1);
}

TEST_F(ShutdownTest, TerminationSignalsCloseTheProgram) {
    InstallTerminationHandlers();
    for (int signalNumber : {SIGTERM, SIGHUP}) {
        restart();
        startProgram();
        ::raise(signalNumber);
        EXPECT_TRUE(platform::WaitInEventLoop([this] { return processEnds > 0; }, 5000)) << signalNumber;
        EXPECT_EQ(processEnds, 1);
        EXPECT_TRUE(dialogs.tasks.isEmpty());
        EXPECT_TRUE(fileText(todayLog()).contains("Application closed because Windows is shutting down"));
    }
}

TEST_F(ShutdownTest, EveryCloseReasonIsTraced) {
    const QList<QPair<int, QString>> reasons = {
        {CloseByCode, "Application closed by code action"},
        {CloseTaskManager, "Application closed by the Taskmanager"},
        {CloseParentClosed, "Application closed because MDI Form closed"},
        {CloseByOwner, "Application closed by the owner"},
        {9, "Application closed: Unknow mode: 9"},
    };
    for (const auto& [reason, text] : reasons) {
        bool cancel = true;
        Form_QueryUnload(cancel, reason);
        EXPECT_FALSE(cancel) << reason;
        EXPECT_EQ(countLines(QRegularExpression::escape(text) + "$"), 1) << reason;
    }
    EXPECT_FALSE(MainState().SystemShutdown);
    EXPECT_TRUE(dialogs.tasks.isEmpty());
}

TEST_F(ShutdownTest, RecordingsInProgressEndWithTheirTraceLinesAndCompleteFiles) {
    writeSettings(2);
    startProgram();
    if (!engineReady()) GTEST_SKIP() << "capture engine not available";
    // Recorder 1 in WAV, recorder 2 in Ogg Vorbis, both on the first device.
    const QList<QPair<int, QString>> takes = {{1, drive + "take.wav"}, {4, drive + "take.ogg"}};
    for (int i = 0; i < 2; ++i) {
        platform::ActiveSoundRecorder* e = Rec(i).engine();
        ASSERT_NE(e, nullptr);
        e->Encoder().FormatToUse = takes[i].first;
        e->SetRecordingMode(0);
        const int device = qMax(0, ::Setup().ComboInputDevices[i].listIndex());
        if (e->StartFromDirectSoundDevice(device, qMax(0, ::Setup().ComboInputChannels[i].listIndex()),
                                          takes[i].second) != 0)
            GTEST_SKIP() << "device does not record";
        S().main.rec[i].XPButtonRecord.setChecked(true);
    }
    // Some sound has been taken when the system goes down.
    ASSERT_TRUE(platform::WaitInEventLoop(
        [] { return Rec(1).engine()->RecordingPositionMs() >= 300; }, 5000));

    CloseMainWindow(CloseSystemShutdown);
    EXPECT_EQ(processEnds, 1);
    // The audit trail is on disk before the process ends: each recording's
    // stop and finalisation, after the close request.
    const QString log = fileText(todayLog());
    const int closeAt = log.indexOf("Application closed because Windows is shutting down");
    ASSERT_GE(closeAt, 0);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const QRegularExpression stopped(QString(" : :%1: :RecordingStopped\r$").arg(i), QRegularExpression::MultilineOption);
        const QRegularExpression done(QString(" : :%1: :RecordingFinalizationDone\r$").arg(i),
                                      QRegularExpression::MultilineOption);
        EXPECT_GT(log.lastIndexOf(stopped), closeAt);
        EXPECT_GT(log.lastIndexOf(done), log.lastIndexOf(stopped));
        EXPECT_FALSE(S().main.rec[i].XPButtonRecord.Checked());
    }
    EXPECT_FALSE(log.contains("still being finalised"));
    // Both files are whole: WAV sizes filled in, the Ogg stream decodes to its end.
    QFile f(takes[0].second);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_GT(bytes.size(), 44 + 1000);
    EXPECT_EQ(bytes.left(4), "RIFF");
    const quint32 riffSize = quint8(bytes[4]) | quint8(bytes[5]) << 8 | quint8(bytes[6]) << 16 | quint32(quint8(bytes[7])) << 24;
    EXPECT_EQ(riffSize, quint32(bytes.size() - 8)) << "the file was not finalised";
    for (const auto& take : takes) {
        QProcess ff;
        ff.start("ffmpeg", {"-v", "error", "-i", take.second, "-f", "null", "-"});
        ASSERT_TRUE(ff.waitForFinished(20000));
        EXPECT_EQ(ff.exitCode(), 0) << take.second.toStdString();
        EXPECT_TRUE(ff.readAllStandardError().trimmed().isEmpty()) << take.second.toStdString();
    }
}

TEST_F(ShutdownTest, NoRecordingStartsOnceTheUnloadHasBegun) {
    writeSettings(1);
    startProgram();
    if (!engineReady()) GTEST_SKIP() << "capture engine not available";
    // A start that arrives while the unload waits for the engines.
    MainState().UnloadStarted = true;
    S().main.rec[0].XPButtonRecord.setChecked(true);
    BtnRecordOn(0);
    EXPECT_FALSE(S().main.rec[0].XPButtonRecord.Checked());
    EXPECT_EQ(Rec(0).engine()->RecorderStatus(), platform::StatusNone);
    EXPECT_EQ(countLines(":0: :Record refused: the program is closing$"), 1);
}

TEST_F(ShutdownTest, TerminationSignalDuringTheStartUpWaitsForTheLoad) {
    writeSettings(1, {42});
    InstallTerminationHandlers();
    // The signal arrives while the start-up message is put up, before the
    // recorders exist; the load lets events run right after.
    MainHost().ShowSplash = [] { ::raise(SIGTERM); };
    startProgram();
    EXPECT_EQ(processEnds, 1);
    EXPECT_FALSE(MainState().LoadRunning);
    const QString log = fileText(todayLog());
    const int loadEnd = log.indexOf("Form_Load: End");
    const int close = log.indexOf("Application closed because Windows is shutting down");
    ASSERT_GE(loadEnd, 0);
    EXPECT_GT(close, loadEnd);
    EXPECT_TRUE(log.contains("Close asked during the start-up, carried out now"));
    EXPECT_FALSE(MainTimers().Timer1.isActive());
    EXPECT_EQ(volumeInFile(0), "42");
}

TEST_F(ShutdownTest, StandbyAndSetupWindowThroughTheHost) {
    int hides = 0, trays = 0;
    bool setupShown = false;
    MainHost().HideMain = [&] { ++hides; };
    MainHost().ShowTray = [&] { ++trays; };
    MainHost().SetupVisible = [&] { return setupShown; };
    MainHost().ShowSetup = [&](bool show) { setupShown = show; };
    MainState().WindowShown = true;
    MiseEnVeilleForcee();
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(trays, 1);
    EXPECT_FALSE(MainState().WindowShown);
    EXPECT_EQ(S().main.TrayTip, "Velmora: Quillon Recorder");

    Mnu01Options_Click();
    EXPECT_TRUE(setupShown);
    Mnu01Options_Click();
    EXPECT_FALSE(setupShown);
}

}  // namespace
