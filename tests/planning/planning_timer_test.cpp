// The planning timer on the manual clock: its periods, one start per line
// and time whatever the timer or the clock does, the traces of a start, and
// the lines that start nothing. The lines here name a logging recorder or no
// recorder, so that no capture engine is needed (the recordings themselves
// are in planned_recording_test.cpp).
#include "planning_fixture.h"

namespace {

class PlanningTimerTest : public PlanningTest {
protected:
    void SetUp() override {
        PlanningTest::SetUp();
        // Recorder 2 is the logging recorder: its lines are traced and refused.
        ::Setup().CheckPigeAntenne[1].setChecked(true);
    }
    // The time stamp (hh:mm:ss) of the first trace line holding text.
    QString StampOf(const QString& text) const {
        for (const QString& l : TraceLines())
            if (l.contains(text)) return l.left(8);
        return {};
    }
};

TEST_F(PlanningTimerTest, ALineStartsOnceAtItsTimeWithTheTimerPeriods) {
    WriteDaily(0, "14", "00", "Recorder 2");
    clock.set(Local(2024, 3, 19, 13, 57, 0));
    Analyse();
    EXPECT_EQ(TimerPlanning().interval(), 10000);
    EXPECT_TRUE(TimerPlanning().isActive()) << "the timer runs once the planning is analysed";

    RunTimerUntil(Local(2024, 3, 19, 13, 58, 35));
    EXPECT_EQ(TimerPlanning().interval(), 10000) << "more than 80 s before the start";
    RunTimerUntil(Local(2024, 3, 19, 13, 58, 50));
    EXPECT_EQ(TimerPlanning().interval(), 1000) << "within 80 s of the start";
    RunTimerUntil(Local(2024, 3, 19, 13, 59, 59, 500));
    EXPECT_EQ(StartsOf(0), 0);
    EXPECT_LE(TimerPlanning().interval(), 1000);

    RunTimerUntil(Local(2024, 3, 19, 14, 3, 0));
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(StampOf("Start planning: Task: 0 "), "14:00:00");
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 14, 0));
    EXPECT_EQ(NextText(), "20/03/2024 14:00:00");
    EXPECT_EQ(TimerPlanning().interval(), 10000);
}

TEST_F(PlanningTimerTest, ALateTimerStartsTheLineOnce) {
    WriteDaily(0, "14", "00", "Recorder 2");
    clock.set(Local(2024, 3, 19, 13, 59, 0));
    Analyse();
    // The program was busy: the next tick comes four minutes late.
    clock.advanceMs(4 * 60 * 1000);
    TimerPlanning_Timer();
    EXPECT_EQ(StartsOf(0), 1);
    RunTimerUntil(Local(2024, 3, 19, 14, 10, 0), 500);
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 14, 0)) << "no catch-up: forward from now";
}

TEST_F(PlanningTimerTest, AClockSetBackAfterAStartDoesNotStartItAgain) {
    WriteDaily(0, "14", "00", "Recorder 2");
    WriteDaily(1, "13", "59", "Recorder 2");
    clock.set(Local(2024, 3, 19, 13, 58, 30));
    InitGeneralDonneesPlanning();  // the table as the setup window loads it
    RunTimerUntil(Local(2024, 3, 19, 14, 0, 20));
    ASSERT_EQ(StartsOf(1), 1);
    ASSERT_EQ(StartsOf(0), 1);
    // A time correction puts the clock back two minutes; then the operator saves.
    clock.set(Local(2024, 3, 19, 13, 58, 20));
    SaveDataPlanning();
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 13, 59));
    RunTimerUntil(Local(2024, 3, 19, 14, 5, 0), 500);
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(StartsOf(1), 1);

    // A clock that was a day ahead and is put right: tomorrow's start is a
    // new one, made again.
    ResetPlanningState();
    clock.set(Local(2024, 3, 20, 13, 59, 50));
    Analyse();
    RunTimerUntil(Local(2024, 3, 20, 14, 0, 10));
    ASSERT_EQ(StartsOf(0), 2);
    clock.set(Local(2024, 3, 19, 14, 0, 30));
    EXPECT_EQ(Analyse(), Local(2024, 3, 20, 13, 59));
    RunTimerUntil(Local(2024, 3, 20, 14, 0, 10), 1000);
    EXPECT_EQ(StartsOf(0), 3);
}

TEST_F(PlanningTimerTest, AClockThatJumpsForwardMissesNoLineItPassed) {
    WriteDaily(0, "14", "00", "Recorder 2");
    WriteDaily(1, "14", "01", "Recorder 2");
    WriteDaily(2, "14", "00", "Recorder 2");  // same time as slot 0
    WriteDaily(3, "13", "50", "Recorder 2");  // long past when the clock jumps
    clock.set(Local(2024, 3, 19, 13, 59, 58));
    Analyse();
    EXPECT_EQ(NextSlot(), 0);
    clock.set(Local(2024, 3, 19, 14, 1, 6));
    TimerPlanning_Timer();
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(StartsOf(2), 1) << "the line of the same time";
    EXPECT_EQ(StartsOf(1), 1) << "passed by 6 s when the clock jumped";
    EXPECT_EQ(StartsOf(3), 0);
    RunTimerUntil(Local(2024, 3, 19, 14, 5, 0), 500);
    EXPECT_EQ(StartsOf(0) + StartsOf(1) + StartsOf(2), 3);
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 13, 50));
}

TEST_F(PlanningTimerTest, LinesOfTheSameTimeStartTogether) {
    WriteDaily(4, "14", "00", "Recorder 2");
    WriteDaily(9, "14", "00", "Recorder 2");
    clock.set(Local(2024, 3, 19, 13, 59, 59));
    Analyse();
    RunTimerUntil(Local(2024, 3, 19, 14, 0, 1));
    EXPECT_EQ(StartsOf(4), 1);
    EXPECT_EQ(StartsOf(9), 1);
    EXPECT_EQ(StampOf("Start planning: Task: 9 "), "14:00:00");
}

TEST_F(PlanningTimerTest, TheTracesOfAStartAndTheRefusals) {
    WriteLine(0, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", ""}, {"DossierFichierSon", "/srv/sons/Journal <yyyyMMdd_hh_mm>.mp3"},
                  {"PodcastFlux", "Flux matin"}});
    WriteLine(1, {{"Recorder", "Recorder"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "90"}});
    clock.set(Local(2024, 3, 19, 13, 59, 59));
    Analyse();
    RunTimerUntil(Local(2024, 3, 19, 14, 0, 2));
    EXPECT_EQ(CountTraces("Start planning: Task: 0 Recorder: 2 Duration: 300000 ms"), 1);
    EXPECT_EQ(CountTraces("Start planning: Sound file: /srv/sons/Journal 20240319_14_00.mp3"), 1);
    EXPECT_EQ(CountTraces("Start planning: Podcast: Flux matin"), 1);
    EXPECT_EQ(CountTraces(":Planning: Task wished but Pipe on Pige mode"), 1);
    EXPECT_TRUE(Incident("Planning: Task wished but Pipe on Pige mode")) << "the operator learns it";
    // A line without a recorder number starts nothing, says so, and stays planned.
    EXPECT_EQ(CountTraces("Start planning: Task: 1 Recorder: 0 Duration: 5400000 ms"), 1);
    EXPECT_TRUE(Incident("Err: Start planning: Task: 1: no recorder 1 to 8 in 'Recorder': nothing recorded"));
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 14, 0));
}

TEST_F(PlanningTimerTest, RecorderAndDurationOfALine) {
    EXPECT_EQ(PlannedRecorderNumber("recorder 3"), 3);
    EXPECT_EQ(PlannedRecorderNumber("RECORDER 8"), 8);
    EXPECT_EQ(PlannedRecorderNumber("Recorder 1 "), 1);
    EXPECT_EQ(PlannedRecorderNumber("         "), 0);
    EXPECT_EQ(PlannedDurationMs(""), 300000);
    EXPECT_EQ(PlannedDurationMs("0"), 300000);
    EXPECT_EQ(PlannedDurationMs("-3"), 300000) << "a recording that would never end";
    EXPECT_EQ(PlannedDurationMs("1"), 60000);
    EXPECT_EQ(PlannedDurationMs("90"), 5400000);
    EXPECT_EQ(PlannedDurationMs("99999999"), 2147483647) << "the longest a recording can be given";
}

TEST_F(PlanningTimerTest, QuitStopsTheTimer) {
    WriteDaily(0, "14", "00", "Recorder 2");
    clock.set(Local(2024, 3, 19, 13, 59, 59));
    Analyse();
    ASSERT_TRUE(TimerPlanning().isActive());
    S().QuitRequested = true;
    clock.advanceMs(2000);
    TimerPlanning_Timer();
    EXPECT_FALSE(TimerPlanning().isActive());
    EXPECT_EQ(StartsOf(0), 0);
}

TEST_F(PlanningTimerTest, TheAnalysisOfTheSettingsLoadRunsTheTimer) {
    // The real timer, on the real event loop: the setup window's load analyses
    // the table and the timer starts the line that is due.
    WriteDaily(0, "14", "00", "Recorder 2");
    clock.set(Local(2024, 3, 19, 13, 59, 59, 900));
    InitGeneralDonneesPlanning();
    EXPECT_EQ(::Setup().PlanningTable[0].Recorder, "Recorder 2");
    EXPECT_EQ(::Setup().ListView1.rowCount(), kPlanningSlots);
    ASSERT_TRUE(TimerPlanning().isActive());
    EXPECT_LE(TimerPlanning().interval(), 1000);
    clock.advanceMs(200);
    platform::WaitInEventLoop([&] { return StartsOf(0) > 0; }, 3000);
    EXPECT_EQ(StartsOf(0), 1);
}

}  // namespace
