// Planned recordings with real capture engines on the test tone: the line's
// recorder starts into the line's file, a recorder that records is started
// afresh, the recording ends at its planned duration (decoded back with
// FFmpeg), and a start that the engine refuses is an incident.
#include "ui/setup/setup_pages.h"
#include "core/recording_fixture.h"
#include "planning/planning_fixture.h"
#include "planning/planning.h"
#include "planning/planning_state.h"
#include "support/app_globals.h"
#include "remote/serial_link.h"
#include "support/ini.h"
#include "tests/remote/pty_pair.h"

namespace {

using namespace h5b;

class PlannedRecordingTest : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        if (HasFatalFailure()) return;
        // A third engine: lines name recorders 1 to 3.
        SetRecordersInService(3);
        Rec(2).SetEngine(new platform::ActiveSoundRecorder(2));
        ASSERT_EQ(Rec(2).engine()->InitRecorder(0), 0);
        ConnectRecorderButtons();
        InstallPlanningForTest();
        clock.set(QDateTime(QDate(2024, 1, 15), QTime(13, 59, 58)));
    }
    void TearDown() override {
        ResetPlanningState();
        RecorderFixture::TearDown();
    }

    QString Ini() const { return NomFichierSettings(".Ini", ""); }
    void WriteLine(int k, const QMap<QString, QString>& keys) {
        const QString sec = "Planning_" + N2S(k, 3, 0, "0");
        ASSERT_TRUE(EcritureIni(Ini(), sec, "Actif", "ON"));
        for (auto it = keys.begin(); it != keys.end(); ++it) ASSERT_TRUE(EcritureIni(Ini(), sec, it.key(), it.value()));
    }
    // The timer's ticks from now to the planned time and a little after.
    void RunToTwoPm() {
        ComputeNextTiming();
        while (clock.now() < QDateTime(QDate(2024, 1, 15), QTime(14, 0, 1))) {
            clock.advanceMs(250);
            TimerPlanning_Timer();
        }
    }
    bool Incident(const QString& text) const {
        for (const QString& l : Trace().ListeIncidents)
            if (l.contains(text)) return true;
        return false;
    }
};

TEST_F(PlannedRecordingTest, ALineInLowerCaseStartsItsRecorderIntoItsFile) {
    const QString folder = Folder("Journal");
    Prepare(2, 1, Folder("Rec3"));
    QDir().mkpath(folder);
    WriteLine(0, {{"Recorder", "recorder 3"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", ""}, {"DossierFichierSon", folder + "Journal <yyyyMMdd_hh_mm>.wav"},
                  {"PodcastFlux", "Flux journal"}});
    RunToTwoPm();

    const QString file = folder + "Journal 20240115_14_00.wav";
    EXPECT_TRUE(RecorderEngineRecording(2));
    EXPECT_TRUE(QFileInfo::exists(file)) << FilesIn(folder).join(", ").toStdString();
    EXPECT_EQ(Rec(2).runtime().PlannedDuration, 300000) << "a blank duration is five minutes";
    EXPECT_EQ(Rec(2).runtime().PlannedPodcast, "Flux journal");
    EXPECT_EQ(CountOf(TracesOf(2), "XPButtonRecord.Checked: True |Sub: Frm_Main:PlanningRecordAuto"), 1);
    EXPECT_EQ(CountOf(TracesOf(2), "Recording File: " + file), 1);
    EXPECT_FALSE(RecorderEngineRecording(0));
    EXPECT_FALSE(RecorderEngineRecording(1));
    Stop(2);
    EXPECT_TRUE(ProbeFile(file).ok);
}

TEST_F(PlannedRecordingTest, ARecorderThatRecordsIsStoppedAndStartedAfresh) {
    Prepare(0, 1, Folder("Rec1"));
    ::Setup().TexteNomFichier[0].setText("Rec <hh_mm_ss>");
    Record(0);
    ASSERT_TRUE(RecorderEngineRecording(0));
    const QStringList before = FilesIn(Folder("Rec1"));
    ASSERT_EQ(before.size(), 1);
    WriteLine(3, {{"Recorder", "Recorder 1"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "0"}});
    const int finalised = Finalisations(0);
    RunToTwoPm();

    platform::WaitInEventLoop([&] { return Finalisations(0) > finalised; }, 5000);
    EXPECT_EQ(Finalisations(0), finalised + 1) << "the first recording ended";
    EXPECT_TRUE(RecorderEngineRecording(0)) << "and a new one runs";
    const QStringList after = FilesIn(Folder("Rec1"));
    ASSERT_EQ(after.size(), 2);
    // No file named by the line: the recorder's own naming, at the start.
    EXPECT_TRUE(after.contains("Rec 13_59_58.wav")) << after.join(", ").toStdString();
    EXPECT_TRUE(after.contains("Rec 14_00_00.wav")) << after.join(", ").toStdString();
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 300000);
    EXPECT_TRUE(ProbeFile(Folder("Rec1") + before[0]).ok) << "the interrupted file is whole";
    Stop(0);
}

TEST_F(PlannedRecordingTest, TheRecordingEndsAtItsPlannedDuration) {
    Prepare(0, 1, Folder("Rec1"));
    const QString file = Folder("Rec1") + "Court.wav";
    PlanningRecordAuto(0, 1500, file, "Flux court", "");
    ASSERT_TRUE(RecorderEngineRecording(0));
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 1500);
    platform::WaitInEventLoop([&] { return Finalisations(0) > 0; }, 10000);
    ASSERT_EQ(Finalisations(0), 1);
    const QStringList traces = TracesOf(0);
    EXPECT_EQ(CountOf(traces, "Max duration reached: 1500 ms"), 1);
    EXPECT_EQ(CountOf(traces, "XPButtonRecord.Checked: False |Sub: Frm_Main:ActiveSoundRecorder1_RecordingPosition"),
              1);
    EXPECT_FALSE(RecordButton(0).Checked());
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 0);
    EXPECT_TRUE(Rec(0).runtime().PlannedPodcast.isEmpty());
    const Probe p = ProbeFile(file);
    ASSERT_TRUE(p.ok);
    EXPECT_GE(p.duration, 1.5);
    EXPECT_LT(p.duration, 2.2) << "the stop comes with the first position past the duration";
}

TEST_F(PlannedRecordingTest, AStartTheEngineRefusesIsAnIncident) {
    Prepare(1, 1, Folder("Rec2"));
    // The device chosen for the recorder went away from the list.
    Rec(1).SetBoundDevice(-1);
    const QString file = Folder("Absent") + "Essai.wav";
    PlanningRecordAuto(1, 60000, file, "", "");
    EXPECT_FALSE(RecorderEngineRecording(1));
    EXPECT_TRUE(Incident("Err: Start planning: Recorder 2 did not start: the planned recording is not made (" + file +
                         ")"));
    EXPECT_TRUE(Trace().CheckIncidents);
    // Kept for the attempts of the lost recording; a manual recording after a
    // stop is not cut by it.
    BtnStopOn(1);
    EXPECT_EQ(Rec(1).runtime().PlannedDuration, 0) << "a later manual recording is not cut";
}

TEST_F(PlannedRecordingTest, TheSwitcherCommandReachesThePortBeforeTheRecordingStarts) {
    PtyPair pty;
    ASSERT_TRUE(pty.ready()) << "socat could not make a pseudo-terminal pair";
    ASSERT_TRUE(pty.openPeer());
    ResetSerialLink();
    InstallSerialPage();
    ASSERT_TRUE(EcritureIni(Ini(), "PortCOM", "Actif", "1"));
    ASSERT_TRUE(EcritureIni(Ini(), "PortCOM", "NoPort", "2"));
    ASSERT_TRUE(EcritureIni(Ini(), "PortCOM", "Device_3", pty.a));
    InitGeneralPortCOM();
    ASSERT_TRUE(SerialPortOpen());

    Prepare(0, 1, Folder("Rec1"));
    ::Setup().TexteNomFichier[0].setText("Journal <hh_mm>");
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "30"}, {"ASC82Plus", "SW IN3 OUT1"}});
    RunToTwoPm();
    EXPECT_EQ(pty.peerRead("\r\n", 3000), QByteArray("SW IN3 OUT1\r\n")) << "the switcher received the line";
    ASSERT_TRUE(RecorderEngineRecording(0));
    // In the trace: the line written and drained, then the recording.
    QStringList texts;
    for (const TraceLine& t : AllTraceLines()) texts << t.text;
    const int toSend = int(texts.indexOf("COM: Data to send: SW IN3 OUT1"));
    const int sent = int(texts.indexOf("COM: Data sended: SW IN3 OUT1"));
    const int recording = int(texts.indexOf("Recording File: " + Folder("Rec1") + "Journal 14_00.wav"));
    ASSERT_GE(toSend, 0);
    ASSERT_GE(sent, 0);
    ASSERT_GE(recording, 0);
    EXPECT_LT(toSend, sent);
    EXPECT_LT(sent, recording);
    Stop(0);
    ResetSerialLink();

    // Port closed: said so, and the recording starts all the same.
    ResetPlanningState();
    clock.set(QDateTime(QDate(2024, 1, 15), QTime(13, 59, 58)));
    ASSERT_FALSE(SerialPortOpen());
    ::Setup().TexteNomFichier[0].setText("Second <hh_mm>");
    RunToTwoPm();
    EXPECT_TRUE(RecorderEngineRecording(0));
    EXPECT_EQ(CountOf(TracesOf(-1), "Err: COM: Port COM not Open. Data not sended: SW IN3 OUT1"), 1);
    EXPECT_TRUE(QFileInfo::exists(Folder("Rec1") + "Second 14_00.wav"));
    Stop(0);
}

TEST_F(PlannedRecordingTest, AStartPassedAsleepRecordsTillItsPlannedEnd) {
    Prepare(0, 1, Folder("Rec1"));
    const QString folder = Folder("Matin");
    QDir().mkpath(folder);
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "60"}, {"DossierFichierSon", folder + "Matin <hh_mm>.wav"}});
    ComputeNextTiming();
    // Asleep over 14:00: the wall clock went on to 14:30, the ticks did not.
    clock.set(QDateTime(QDate(2024, 1, 15), QTime(14, 30, 0)));
    TimerPlanning_Timer();
    ASSERT_TRUE(RecorderEngineRecording(0));
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 30 * 60 * 1000) << "to 15:00 as planned, not to 15:30";
    EXPECT_TRUE(QFileInfo::exists(folder + "Matin 14_30.wav")) << FilesIn(folder).join(", ").toStdString();
    EXPECT_TRUE(Incident("Err: Planning: Task: 0 started late by 1800 s (computer asleep, busy or clock changed): "
                         "ends at 15:00:00 as planned"));
    // Woken again later: the start is not made twice.
    for (int i = 0; i < 20; ++i) {
        clock.advanceMs(500);
        TimerPlanning_Timer();
    }
    EXPECT_EQ(CountOf(TracesOf(0), "XPButtonRecord.Checked: True |Sub: Frm_Main:PlanningRecordAuto"), 1);
    Stop(0);
}

TEST_F(PlannedRecordingTest, ALineForTheLoggingRecorderStartsNothing) {
    Prepare(0, 1, Folder("Pige"), "Antenne", true);
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "60"}});
    RunToTwoPm();
    EXPECT_FALSE(RecorderEngineRecording(0));
    EXPECT_EQ(CountOf(TracesOf(0), "Planning: Task wished but Pipe on Pige mode"), 1);
    EXPECT_TRUE(FilesIn(Folder("Pige")).isEmpty());
    EXPECT_EQ(Planning().nextStart, QDateTime(QDate(2024, 1, 16), QTime(14, 0))) << "the line stays planned";
}

}  // namespace
