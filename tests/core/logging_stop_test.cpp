// The operator's stop of the logging recorder asks first; stops ordered by
// the program (planning, remote commands, slices, shutdown) never ask.
#include "recording_fixture.h"

using namespace h5b;

namespace {

class LoggingStopTest : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        Prepare(0, 1, Folder(QStringLiteral("Pige")), QStringLiteral("Antenne"), /*logging=*/true);
        Record(0);
        platform::WaitInEventLoop([&] { return RecorderEngineRecording(0); }, 5000);
        ASSERT_TRUE(RecorderEngineRecording(0));
    }
};

}  // namespace

TEST_F(LoggingStopTest, UnansweredQuestionKeepsTheLoggingRecording) {
    // STOP: asked, "Non" by default after the usual delay.
    XPButtonStop_Click(0);
    ASSERT_EQ(dialogs.tasks.size(), 1);
    EXPECT_TRUE(dialogs.tasks[0].contains(QStringLiteral("Voulez-vous arrêter la pige Antenne ?")));
    EXPECT_EQ(dialogs.taskTimeouts[0], kLoggingStopQuestionMs);
    platform::LetEventsRunFor(300);
    EXPECT_TRUE(RecorderEngineRecording(0));
    EXPECT_TRUE(RecordButton(0).Checked());

    // REC clicked off: asked too; the button comes back on.
    RecordButton(0).setChecked(false);
    XPButtonRecord_Click(0);
    EXPECT_EQ(dialogs.tasks.size(), 2);
    EXPECT_TRUE(RecordButton(0).Checked());
    platform::LetEventsRunFor(300);
    EXPECT_TRUE(RecorderEngineRecording(0));
    EXPECT_EQ(CountOf(TracesOf(0), QStringLiteral("Pige: stop cancelled, the logging recording goes on")), 2);
}

TEST_F(LoggingStopTest, ConfirmedStopEndsTheFileAndProgramStopsDoNotAsk) {
    dialogs.taskAnswers = {101};  // "Oui"
    const int before = Finalisations(0);
    XPButtonStop_Click(0);
    platform::WaitInEventLoop([&] { return Finalisations(0) > before; }, 10000);
    EXPECT_FALSE(RecorderEngineRecording(0));
    EXPECT_EQ(dialogs.tasks.size(), 1);

    // A stop ordered by the program (planning, remote, slice, shutdown) goes
    // straight to BtnStopOn: no question.
    clock.advanceMs(60000);  // the next slice has its own name
    Record(0);
    platform::WaitInEventLoop([&] { return RecorderEngineRecording(0); }, 5000);
    BtnStopOn(0);
    platform::WaitInEventLoop([&] { return !RecorderEngineRecording(0); }, 5000);
    EXPECT_FALSE(RecorderEngineRecording(0));
    EXPECT_EQ(dialogs.tasks.size(), 1);

    // An ordinary recorder never asks.
    Prepare(1, 1, Folder(QStringLiteral("Studio")), QStringLiteral("Studio"));
    Record(1);
    platform::WaitInEventLoop([&] { return RecorderEngineRecording(1); }, 5000);
    XPButtonStop_Click(1);
    platform::WaitInEventLoop([&] { return !RecorderEngineRecording(1); }, 5000);
    EXPECT_FALSE(RecorderEngineRecording(1));
    EXPECT_EQ(dialogs.tasks.size(), 1);
}
