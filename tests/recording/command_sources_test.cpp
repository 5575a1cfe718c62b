// Every command source reaches a recorder through Recorder::Start with a
// request that says who asks and what for; two sources starting the same
// recorder in the same tick make one recording.
#include "core/local_inputs.h"
#include "core/main_window_state.h"
#include "core/recording_fixture.h"
#include "planning/planning.h"
#include "remote/io_card.h"
#include "remote/udp_messages.h"
#include "remote/udp_transport.h"
#include "tests/remote/scripted_card.h"
#include "ui/setup/setup_pages.h"

#include <QObject>

using namespace h5b;

namespace {

class CommandSources : public RecorderFixture {
protected:
    QList<QPair<int, StartRequest>> asked;
    QObject context;
    QString folder;

    void SetUp() override {
        RecorderFixture::SetUp();
        if (HasFatalFailure()) return;
        MainState().StartupDone = true;
        folder = Folder(QStringLiteral("Sources"));
        Prepare(0, 1, folder);
        ::Setup().TexteNomFichier[0].setText(QStringLiteral("Own_<hh_mm_ss>"));
        for (int i = 0; i < kRecorders; ++i)
            QObject::connect(&Rec(i), &Recorder::StartAsked, &context,
                             [this](int index, const StartRequest& r) { asked.push_back({index, r}); });
    }
    void TearDown() override {
        for (int i = 0; i < 2; ++i)
            if (RecorderEngineRecording(i)) Stop(i);
        ResetUdpRemote();
        RecorderFixture::TearDown();
    }
    // The one request asked so far, of recorder 1.
    StartRequest Only() {
        EXPECT_EQ(asked.size(), 1);
        if (asked.isEmpty()) return {};
        EXPECT_EQ(asked[0].first, 0);
        return asked[0].second;
    }
    QString RecordingFile() { return Rec(0).runtime().RecordingFilePath; }
    // The operator presses the record button with the mouse.
    static void Press(XPButton& b) {
        b.mouseDown(XPButton::LeftButton);
        b.mouseUp(XPButton::LeftButton, true);
    }
};

TEST_F(CommandSources, TheRecordButtonAsksAsTheOperator) {
    Press(S().main.rec[0].XPButtonRecord);
    const StartRequest r = Only();
    EXPECT_EQ(r.Origin, CommandOrigin::Button);
    EXPECT_TRUE(r.MayAsk());
    EXPECT_TRUE(RecorderEngineRecording(0));
    EXPECT_TRUE(S().main.rec[0].XPButtonRecord.Checked()) << "the button shows the recorder's state";
    EXPECT_EQ(RecordingFile(), folder + QStringLiteral("Own_10_20_30.wav"));
    // Pressed again: a stop, which asks for no start.
    Press(S().main.rec[0].XPButtonRecord);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_FALSE(Rec(0).Wanted());
    EXPECT_FALSE(S().main.rec[0].XPButtonRecord.Checked());
}

TEST_F(CommandSources, AKeyboardShortcutAsksWithoutAQuestion) {
    EditRecorderConfig(0, [](RecorderConfig& c) { c.Keys[0] = KeyboardBinding{true, false, false, 18, KeyCodeOfEntry(18)}; });
    ::Setup().CheckNomFichier[0].setChecked(true);  // the button would ask; a key never does
    GestionClavier(KeyCodeOfEntry(18), ShiftMaskCtrl);
    const StartRequest r = Only();
    EXPECT_EQ(r.Origin, CommandOrigin::Key);
    EXPECT_FALSE(r.MayAsk());
    EXPECT_EQ(dialogs.saveCalls, 0);
    EXPECT_EQ(RecordingFile(), folder + QStringLiteral("Own_10_20_30.wav"));
}

TEST_F(CommandSources, AContactAsksWithTheRecordersNameForRemoteStarts) {
    ::Setup().TexteFichierRecordPeripherique[0].setText(QStringLiteral("Contact take"));
    EditRecorderConfig(0, [](RecorderConfig& c) { c.Contacts[0] = ContactBinding{5, true, 4, false}; });
    ContactOn(0, 4);
    const StartRequest r = Only();
    EXPECT_EQ(r.Origin, CommandOrigin::Contact);
    EXPECT_TRUE(r.Remote());
    EXPECT_EQ(RecordingFile(), folder + QStringLiteral("Contact take.wav"));
    ContactOn(0, 4);  // already recording: nothing
    EXPECT_EQ(asked.size(), 1);
}

TEST_F(CommandSources, TheIoCardsClosingEdgeAsksAsAContact) {
    auto script = std::make_shared<CardScript>();
    InstallIoCard([script] { return std::make_unique<ScriptedCard>(script); });
    InstallIoCardPage();
    FrmSetup_InitGeneral();
    ::Setup().CheckP8R8Actif.setChecked(true);
    TimerP8R8().stop();
    EditRecorderConfig(0, [](RecorderConfig& c) { c.Contacts[0] = ContactBinding{3, true, 2, false}; });
    script->inputs = 1u << 2;
    TimerP8R8_Timer();
    const StartRequest r = Only();
    EXPECT_EQ(r.Origin, CommandOrigin::Contact);
    EXPECT_TRUE(RecorderEngineRecording(0));
    ResetIoCard();
}

TEST_F(CommandSources, AUdpMessageAsksWithItsIdentifierAndTheStationsForcing) {
    InstallUdpPage();
    ::Setup().CheckRecord128.setChecked(true);
    PutInInbox(0, QStringLiteral("<Record:Start><Recorder:1><SongId:4711>"));
    const StartRequest r = Only();
    EXPECT_EQ(r.Origin, CommandOrigin::Udp);
    EXPECT_EQ(r.Name, QStringLiteral("4711"));
    EXPECT_TRUE(r.Force128k);
    EXPECT_EQ(RecordingFile(), folder + QStringLiteral("4711.mp3"));
}

TEST_F(CommandSources, ThePlanningAsksWithItsFileAndDuration) {
    const QString planned = Folder(QStringLiteral("Planned"));
    PlanningRecordAuto(0, 90000, planned + QStringLiteral("Journal.wav"), QStringLiteral("Flux"), QString());
    const StartRequest r = Only();
    EXPECT_EQ(r.Origin, CommandOrigin::Planning);
    EXPECT_EQ(r.Path, planned + QStringLiteral("Journal.wav"));
    EXPECT_EQ(r.DurationMs, 90000);
    EXPECT_EQ(r.Podcast, QStringLiteral("Flux"));
    EXPECT_EQ(RecordingFile(), planned + QStringLiteral("Journal.wav"));
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 90000);
}

TEST_F(CommandSources, ThePlanningsRelativeFolderStaysInsideTheRecordersFolder) {
    PlanningRecordAuto(0, 60000, QStringLiteral("Emissions/Journal.wav"), QString(), QString());
    EXPECT_EQ(RecordingFile(), folder + QStringLiteral("Emissions/Journal.wav"));
    Stop(0);
    asked.clear();
    const int before = Trace().ListeIncidents.size();
    PlanningRecordAuto(0, 60000, QStringLiteral("../../../escape/Journal.wav"), QString(), QString());
    EXPECT_FALSE(RecorderEngineRecording(0));
    EXPECT_FALSE(Rec(0).Wanted()) << "refused, not retried";
    EXPECT_FALSE(QDir(drive + QStringLiteral("escape")).exists());
    EXPECT_FALSE(QDir(drive + QStringLiteral("../escape")).exists());
    ASSERT_GT(Trace().ListeIncidents.size(), before);
    EXPECT_TRUE(Trace().ListeIncidents.join('\n').contains(QStringLiteral("leaves the recorder's folder")));
}

TEST_F(CommandSources, TheLoggingSliceAsksForTheNextSlice) {
    Prepare(1, 1, Folder(QStringLiteral("Pige")), QStringLiteral("Antenne"), true);
    MainState().WindowShown = true;
    Timer1_Timer();  // the first slice of the hour
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].first, 1);
    EXPECT_EQ(asked[0].second.Origin, CommandOrigin::SliceTimer);
    EXPECT_TRUE(RecorderEngineRecording(1));
    EXPECT_TRUE(Rec(1).runtime().RecordingFilePath.endsWith(QStringLiteral("Pige Antenne 20240115_10_20_30.wav")));
}

TEST_F(CommandSources, TwoSourcesInTheSameTickMakeOneRecording) {
    InstallUdpPage();
    EditRecorderConfig(0, [](RecorderConfig& c) { c.Contacts[0] = ContactBinding{2, true, 1, false}; });
    // A contact and a UDP message, one after the other with no event between.
    ContactOn(0, 1);
    PutInInbox(0, QStringLiteral("<Record:Start><Recorder:1><SongId:second>"));
    EXPECT_EQ(asked.size(), 1) << "the second finds the recorder recording and asks nothing";
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("Err: Record already started: No action")));
    platform::LetEventsRunFor(300);
    Stop(0);
    EXPECT_EQ(FilesIn(folder).size(), 1) << FilesIn(folder).join(QStringLiteral(", ")).toStdString();
}

}  // namespace
