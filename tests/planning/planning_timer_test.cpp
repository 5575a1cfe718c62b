// The planning timer on the manual clock: its periods, one start per line
// and time whatever the timer or the clock does, the starts passed while it
// was not watching (made late to their planned end, or reported missed), the
// traces of a start, and the lines that start nothing. The lines here name a logging recorder or no
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

TEST_F(PlanningTimerTest, ALateTimerStartsTheLineOnceShortenedToItsPlannedEnd) {
    WriteDaily(0, "14", "00", "Recorder 2");  // blank duration: 14:00 to 14:05
    clock.set(Local(2024, 3, 19, 13, 59, 0));
    Analyse();
    // The program was busy: the next tick comes four minutes late.
    clock.advanceMs(4 * 60 * 1000);
    TimerPlanning_Timer();
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(CountTraces("Start planning: Task: 0 Recorder: 2 Duration: 120000 ms"), 1)
        << "what is left of 14:00 to 14:05";
    EXPECT_TRUE(Incident("Err: Planning: Task: 0 started late by 180 s (computer asleep, busy or clock changed): "
                         "ends at 14:05:00 as planned"));
    RunTimerUntil(Local(2024, 3, 19, 14, 10, 0), 500);
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(CountTraces("Err: Planning: Task: 0 "), 1) << "said once";
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 14, 0)) << "then forward from now";
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
    // Passed by 66 s: late, to end at 14:05 as planned; 6 s is on time.
    EXPECT_EQ(CountTraces("Start planning: Task: 0 Recorder: 2 Duration: 234000 ms"), 1);
    EXPECT_EQ(CountTraces("Start planning: Task: 2 Recorder: 2 Duration: 234000 ms"), 1);
    EXPECT_EQ(CountTraces("Start planning: Task: 1 Recorder: 2 Duration: 300000 ms"), 1);
    EXPECT_TRUE(Incident("Err: Planning: Task: 0 started late by 66 s"));
    EXPECT_TRUE(Incident("Err: Planning: Task: 2 started late by 66 s"));
    EXPECT_FALSE(Incident("Task: 1 ")) << "within the catch-up, as planned";
    EXPECT_FALSE(Incident("Task: 3 ")) << "before the last moment watched: not the jump's";
    RunTimerUntil(Local(2024, 3, 19, 14, 5, 0), 500);
    EXPECT_EQ(StartsOf(0) + StartsOf(1) + StartsOf(2), 3);
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 13, 50));
}

TEST_F(PlanningTimerTest, AStartAsleepPastItsEndIsReportedMissed) {
    WriteLine(0, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "30"}});
    clock.set(Local(2024, 3, 19, 13, 58, 0));
    Analyse();
    RunTimerUntil(Local(2024, 3, 19, 13, 59, 0), 1000);
    // Asleep from 13:59 to 14:45: the wall clock went on, the ticks did not.
    clock.set(Local(2024, 3, 19, 14, 45, 0));
    TimerPlanning_Timer();
    EXPECT_EQ(StartsOf(0), 0) << "14:00 to 14:30 is over";
    EXPECT_TRUE(Incident("Err: Planning: Task: 0 start of 19/03/2024 14:00:00 missed (computer asleep, busy or "
                         "clock changed): not recorded"));
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 14, 0));
    RunTimerUntil(Local(2024, 3, 19, 14, 50, 0), 1000);
    EXPECT_EQ(StartsOf(0), 0);
    EXPECT_EQ(CountTraces("Err: Planning: Task: 0 "), 1) << "reported once";
}

TEST_F(PlanningTimerTest, ASaveOnWakingBeforeTheTimerLosesNoStart) {
    WriteLine(0, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "60"}});
    clock.set(Local(2024, 3, 19, 13, 59, 0));
    Analyse();
    clock.set(Local(2024, 3, 19, 14, 30, 0));
    // The operator saves the settings before the timer's first tick.
    EXPECT_EQ(Analyse(), Local(2024, 3, 20, 14, 0));
    TimerPlanning_Timer();
    EXPECT_EQ(CountTraces("Start planning: Task: 0 Recorder: 2 Duration: 1800000 ms"), 1);
    EXPECT_TRUE(Incident("Err: Planning: Task: 0 started late by 1800 s"));
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 20, 14, 0));
}

TEST_F(PlanningTimerTest, EveryLineOfTheSpanAsleepIsStartedLateOrReported) {
    auto line = [&](int k, const char* h, const char* m, const char* duree) {
        WriteLine(k, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", h}, {"Minute", m},
                      {"Duree", duree}});
    };
    line(0, "14", "00", "60");  // 14:00-15:00: still running at 14:30
    line(1, "14", "10", "5");   // 14:10-14:15: over
    line(2, "14", "20", "60");  // 14:20-15:20, with slot 5 at the same time
    line(5, "14", "20", "0");   // 14:20-14:25: over (a blank or 0 duration is 5 minutes)
    line(3, "14", "40", "10");  // after the wake-up: on time
    line(4, "13", "50", "60");  // before the last moment watched: already made or not, not the sleep's
    clock.set(Local(2024, 3, 19, 13, 59, 50));
    Analyse();
    clock.set(Local(2024, 3, 19, 14, 30, 0));
    TimerPlanning_Timer();

    EXPECT_EQ(CountTraces("Start planning: Task: 0 Recorder: 2 Duration: 1800000 ms"), 1);
    EXPECT_TRUE(Incident("Err: Planning: Task: 0 started late by 1800 s (computer asleep, busy or clock changed): "
                         "ends at 15:00:00 as planned"));
    EXPECT_EQ(StartsOf(1), 0);
    EXPECT_TRUE(Incident("Err: Planning: Task: 1 start of 19/03/2024 14:10:00 missed"));
    EXPECT_EQ(CountTraces("Start planning: Task: 2 Recorder: 2 Duration: 3000000 ms"), 1);
    EXPECT_TRUE(Incident("Err: Planning: Task: 2 started late by 600 s (computer asleep, busy or clock changed): "
                         "ends at 15:20:00 as planned"));
    EXPECT_EQ(StartsOf(5), 0);
    EXPECT_TRUE(Incident("Err: Planning: Task: 5 start of 19/03/2024 14:20:00 missed"));
    EXPECT_EQ(StartsOf(3), 0);
    EXPECT_EQ(StartsOf(4), 0);
    EXPECT_FALSE(Incident("Task: 4 "));
    // In the order of their moments.
    const QStringList lines = TraceLines();
    int first = -1, second = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (first < 0 && lines[i].contains("Start planning: Task: 0 ")) first = i;
        if (second < 0 && lines[i].contains("Start planning: Task: 2 ")) second = i;
    }
    EXPECT_LT(first, second);
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 19, 14, 40));

    RunTimerUntil(Local(2024, 3, 19, 14, 41, 0), 1000);
    EXPECT_EQ(CountTraces("Start planning: Task: 3 Recorder: 2 Duration: 600000 ms"), 1);
    EXPECT_FALSE(Incident("Task: 3 "));
    EXPECT_EQ(StartsOf(0) + StartsOf(1) + StartsOf(2) + StartsOf(5), 2) << "nothing made twice";
    EXPECT_EQ(Trace().ListeIncidents.filter("Err: Planning: Task:").size(), 4);
}

TEST_F(PlanningTimerTest, AJumpOfDaysGivesOneIncidentALine) {
    WriteLine(0, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "30"}});
    WriteLine(1, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "30"},
                  {"Duree", "60"}});
    WriteLine(2, {{"Recorder", "Recorder 2"}, {"Frequence", "Heure"}, {"Minute", "05"}, {"Duree", "5"}});
    clock.set(Local(2024, 3, 19, 13, 59, 0));
    Analyse();
    // Three days and an hour forward at once.
    clock.set(Local(2024, 3, 22, 15, 0, 0));
    TimerPlanning_Timer();

    EXPECT_EQ(CountTraces("Err: Planning: Task: 0"), 1);
    EXPECT_TRUE(Incident("Err: Planning: Task: 0: 4 starts missed since 19/03/2024 14:00:00 (computer asleep, busy "
                         "or clock changed): not recorded"));
    // The last start of slot 1 runs till 15:30: made late, the three before it said in the same line.
    EXPECT_EQ(CountTraces("Err: Planning: Task: 1"), 1);
    EXPECT_TRUE(Incident("Err: Planning: Task: 1 started late by 1800 s (computer asleep, busy or clock changed): "
                         "ends at 15:30:00 as planned (3 starts missed since 19/03/2024 14:30:00: not recorded)"));
    EXPECT_EQ(CountTraces("Start planning: Task: 1 Recorder: 2 Duration: 1800000 ms"), 1);
    // Every hour from 14:05 on the first day to 14:05 on the last.
    EXPECT_EQ(CountTraces("Err: Planning: Task: 2"), 1);
    EXPECT_TRUE(Incident("Err: Planning: Task: 2: 73 starts missed since 19/03/2024 14:05:00"));
    EXPECT_EQ(StartsOf(0) + StartsOf(2), 0);
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 22, 15, 5));
    EXPECT_EQ(NextSlot(), 2);
}

TEST_F(PlanningTimerTest, AWakeUpJustAfterAStartMakesItAndReportsTheOnesBefore) {
    WriteLine(0, {{"Recorder", "Recorder 2"}, {"Frequence", "Heure"}, {"Minute", "00"}, {"Duree", "5"}});
    clock.set(Local(2024, 3, 19, 10, 59, 50));
    Analyse();
    clock.set(Local(2024, 3, 19, 13, 0, 5));  // asleep over 11:00 and 12:00
    TimerPlanning_Timer();
    EXPECT_EQ(CountTraces("Start planning: Task: 0 Recorder: 2 Duration: 300000 ms"), 1) << "13:00, as planned";
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_TRUE(Incident("Err: Planning: Task: 0: 2 starts missed since 19/03/2024 11:00:00 (computer asleep, busy "
                         "or clock changed): not recorded"));
    EXPECT_EQ(CountTraces("Err: Planning: Task: 0"), 1);
    EXPECT_EQ(Planning().nextStart, Local(2024, 3, 19, 14, 0));
}

TEST_F(PlanningTimerTest, WithinTheCatchUpAStartIsMadeAsPlannedAndTheStartUpReportsNoPast) {
    WriteDaily(0, "14", "00", "Recorder 2");
    clock.set(Local(2024, 3, 19, 13, 59, 58));
    Analyse();
    clock.set(Local(2024, 3, 19, 14, 0, 10));  // a jump of 12 s, 10 s past the start
    TimerPlanning_Timer();
    EXPECT_EQ(CountTraces("Start planning: Task: 0 Recorder: 2 Duration: 300000 ms"), 1);
    EXPECT_FALSE(Incident("Err: Planning: Task: 0 "));

    // A program started at 14:30 says nothing of the 14:00 line it never watched.
    ResetPlanningState();
    ResetTraceState();
    Trace().LogFolder = drive + "Logs/";
    QDir(drive + "Logs").removeRecursively();
    QDir().mkpath(drive + "Logs");
    WriteLine(1, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                  {"Duree", "60"}});
    clock.set(Local(2024, 3, 19, 14, 30, 0));
    EXPECT_EQ(Analyse(), Local(2024, 3, 20, 14, 0));
    RunTimerUntil(Local(2024, 3, 19, 14, 31, 0), 1000);
    EXPECT_EQ(StartsOf(0) + StartsOf(1), 0);
    EXPECT_TRUE(Trace().ListeIncidents.filter("Err: Planning:").isEmpty());
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
