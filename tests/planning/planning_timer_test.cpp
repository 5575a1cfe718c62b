// The planning timer on the manual clock: its periods, one start per line
// and time whatever the timer or the clock does, the starts passed while it
// was not watching (made late to their planned end, or reported missed), the
// traces of a start, and the lines that start nothing. The lines here name a logging recorder or no
// recorder, so that no capture engine is needed (the recordings themselves
// are in planned_recording_test.cpp).
#include "core/main_window_state.h"
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

// Starts of an hourly line at minute m from `since` to `until`, counted in UTC
// (the test zone's offsets are whole hours): the first whole hour plus m at
// or after `since`, then one an hour.
struct HourlyCount {
    qint64 count = 0;
    QDateTime first, last;
};
// A moment as the incidents show it.
QString Shown(const QDateTime& t) { return t.toLocalTime().toString("dd/MM/yyyy hh:mm:ss"); }

HourlyCount HourlyStarts(int m, const QDateTime& since, const QDateTime& until) {
    const qint64 a = since.toSecsSinceEpoch(), b = until.toSecsSinceEpoch();
    const qint64 first = a + (((m * 60 - a % 3600) % 3600) + 3600) % 3600;
    HourlyCount h;
    if (first > b) return h;
    h.count = (b - first) / 3600 + 1;
    h.first = QDateTime::fromSecsSinceEpoch(first);
    h.last = QDateTime::fromSecsSinceEpoch(first + (h.count - 1) * 3600);
    return h;
}

TEST_F(PlanningTimerTest, AClockPutForwardByAYearGivesEveryLineItsExactCountOnce) {
    ScopedTimeZone paris("Europe/Paris");  // both changes of clock in the year
    // Nineteen hourly lines, at minutes 00, 03 ... 54, and a daily one: every
    // slot in use.
    for (int k = 0; k < 19; ++k)
        WriteLine(k, {{"Recorder", "Recorder 2"}, {"Frequence", "Heure"}, {"Minute", N2S(3 * k, 2, 0, "0")},
                      {"Duree", k == 0 ? "90" : "5"}});
    WriteLine(19, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "14"}, {"Minute", "00"},
                   {"Duree", "60"}});
    const QDateTime since = Local(2025, 3, 19, 13, 40, 0), wake = Local(2026, 3, 19, 14, 30, 0);
    clock.set(since);
    EXPECT_EQ(Analyse(), Local(2025, 3, 19, 13, 42));
    clock.set(wake);  // a year forward at once
    TimerPlanning_Timer();

    const QString unwatched = " (computer asleep, busy or clock changed)";
    for (int k = 0; k < 19; ++k) {
        const HourlyCount h = HourlyStarts(3 * k, since, wake);
        ASSERT_GT(h.count, 8700);
        const QString task = "Err: Planning: Task: " + QString::number(k);
        EXPECT_EQ(Trace().ListeIncidents.filter(task + ":").size() + Trace().ListeIncidents.filter(task + " ").size(),
                  1)
            << "slot " << k;
        if (k == 0) {
            // 14:00 to 15:30: still running on waking, made late.
            EXPECT_TRUE(Incident(task + " started late by 1800 s" + unwatched + ": ends at 15:30:00 as planned (" +
                                 QString::number(h.count - 1) + " starts missed since " + Shown(h.first) +
                                 ": not recorded)"));
            EXPECT_EQ(CountTraces("Start planning: Task: 0 Recorder: 2 Duration: 3600000 ms"), 1);
        } else if (k == 9) {
            // 14:27 to 14:32.
            EXPECT_TRUE(Incident(task + " started late by 180 s" + unwatched + ": ends at 14:32:00 as planned (" +
                                 QString::number(h.count - 1) + " starts missed since " + Shown(h.first) +
                                 ": not recorded)"));
            EXPECT_EQ(CountTraces("Start planning: Task: 9 Recorder: 2 Duration: 120000 ms"), 1);
        } else if (k == 10) {
            // 14:30, the moment of waking: made as planned, the ones before reported.
            EXPECT_EQ(h.last, wake);
            EXPECT_TRUE(Incident(task + ": " + QString::number(h.count - 1) + " starts missed since " +
                                 Shown(h.first) + unwatched + ": not recorded"));
            EXPECT_EQ(CountTraces("Start planning: Task: 10 Recorder: 2 Duration: 300000 ms"), 1);
        } else {
            EXPECT_TRUE(Incident(task + ": " + QString::number(h.count) + " starts missed since " +
                                 Shown(h.first) + unwatched + ": not recorded"))
                << "slot " << k << ": " << h.count << " starts";
            EXPECT_EQ(StartsOf(k), 0) << "slot " << k << ": over long ago";
        }
    }
    EXPECT_EQ(Shown(HourlyStarts(0, since, wake).first), "19/03/2025 14:00:00");
    EXPECT_EQ(Shown(HourlyStarts(45, since, wake).first), "19/03/2025 13:45:00");
    // The daily line: every day from the first to the last, the last still running.
    const qint64 days = QDate(2025, 3, 19).daysTo(QDate(2026, 3, 19)) + 1;
    EXPECT_TRUE(Incident("Err: Planning: Task: 19 started late by 1800 s" + unwatched +
                         ": ends at 15:00:00 as planned (" + QString::number(days - 1) +
                         " starts missed since 19/03/2025 14:00:00: not recorded)"));
    EXPECT_EQ(CountTraces("Start planning: Task: 19 Recorder: 2 Duration: 1800000 ms"), 1);
    EXPECT_EQ(Trace().ListeIncidents.filter("Err: Planning: Task:").size(), 20) << "one incident a line";
    // Made in the order of their moments: 14:00 (slots 0 and 19), 14:27, 14:30.
    QList<int> order;
    for (const QString& l : TraceLines())
        for (int k : {0, 19, 9, 10})
            if (l.contains("Start planning: Task: " + QString::number(k) + " ")) order << k;
    EXPECT_EQ(order, (QList<int>{0, 19, 9, 10}));

    // Then on as usual: 14:33 is next, made on time, and nothing twice.
    EXPECT_EQ(Planning().nextStart, Local(2026, 3, 19, 14, 33));
    EXPECT_EQ(NextSlot(), 11);
    RunTimerUntil(Local(2026, 3, 19, 14, 40, 0), 1000);
    EXPECT_EQ(CountTraces("Start planning: Task: 11 Recorder: 2 Duration: 300000 ms"), 1);
    EXPECT_EQ(StartsOf(12), 1) << "14:36";
    EXPECT_EQ(StartsOf(0) + StartsOf(9) + StartsOf(10) + StartsOf(19), 4) << "nothing made twice";
    EXPECT_EQ(Trace().ListeIncidents.filter("Err: Planning: Task:").size(), 20);
    EXPECT_EQ(Planning().nextStart, Local(2026, 3, 19, 14, 42));
}

TEST_F(PlanningTimerTest, AClockSetYearsForwardAtBootCountsEveryFrequency) {
    // A station without a clock battery starts in 2000; the network sets the
    // clock to 2026 a moment later.
    ScopedTimeZone paris("Europe/Paris");
    WriteLine(0, {{"Recorder", "Recorder 2"}, {"Frequence", "Heure"}, {"Minute", "15"}, {"Duree", "5"}});
    WriteLine(1, {{"Recorder", "Recorder 2"}, {"Frequence", "Semaine"}, {"Semaine", "Lundi"}, {"Heure", "08"},
                  {"Minute", "00"}, {"Duree", "60"}});
    WriteLine(2, {{"Recorder", "Recorder 2"}, {"Frequence", "Mois"}, {"Jour", "15"}, {"Heure", "12"},
                  {"Minute", "00"}, {"Duree", "60"}});
    // The 29th of February, the 1st of March in the other years.
    WriteLine(3, {{"Recorder", "Recorder 2"}, {"Frequence", "Année"}, {"Mois", "2"}, {"Jour", "29"},
                  {"Heure", "10"}, {"Minute", "00"}, {"Duree", "60"}});
    WriteLine(4, {{"Recorder", "Recorder 2"}, {"Frequence", "Evénement"}, {"Annee", "2010"}, {"Mois", "6"},
                  {"Jour", "1"}, {"Heure", "10"}, {"Minute", "00"}, {"Duree", "60"}});
    WriteLine(5, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "10"}, {"Minute", "00"},
                  {"Duree", "30"}});
    const QDateTime since = Local(2000, 1, 1, 0, 1, 0), wake = Local(2026, 3, 19, 10, 27, 0);
    clock.set(since);
    EXPECT_EQ(Analyse(), Local(2000, 1, 1, 0, 15));
    clock.set(wake);
    TimerPlanning_Timer();

    const QString unwatched = " (computer asleep, busy or clock changed): not recorded";
    const HourlyCount h = HourlyStarts(15, since, wake);
    ASSERT_GT(h.count, 200000);
    EXPECT_TRUE(Incident("Err: Planning: Task: 0: " + QString::number(h.count) +
                         " starts missed since 01/01/2000 00:15:00" + unwatched));
    // Mondays from the 3rd of January 2000 to the 16th of March 2026.
    ASSERT_EQ(QDate(2000, 1, 3).dayOfWeek(), 1);
    ASSERT_EQ(QDate(2026, 3, 16).dayOfWeek(), 1);
    const qint64 mondays = QDate(2000, 1, 3).daysTo(QDate(2026, 3, 16)) / 7 + 1;
    EXPECT_TRUE(Incident("Err: Planning: Task: 1: " + QString::number(mondays) +
                         " starts missed since 03/01/2000 08:00:00" + unwatched));
    // The 15th of every month from January 2000 to March 2026.
    EXPECT_TRUE(Incident("Err: Planning: Task: 2: " + QString::number(26 * 12 + 3) +
                         " starts missed since 15/01/2000 12:00:00" + unwatched));
    EXPECT_TRUE(Incident("Err: Planning: Task: 3: 27 starts missed since 29/02/2000 10:00:00" + unwatched));
    EXPECT_TRUE(Incident("Err: Planning: Task: 4 start of 01/06/2010 10:00:00 missed" + unwatched));
    // Every day, the last one running till 10:30 (the hourly 10:15 ended at 10:20).
    const qint64 days = QDate(2000, 1, 1).daysTo(QDate(2026, 3, 19)) + 1;
    EXPECT_TRUE(Incident("Err: Planning: Task: 5 started late by 1620 s (computer asleep, busy or clock changed): "
                         "ends at 10:30:00 as planned (" +
                         QString::number(days - 1) + " starts missed since 01/01/2000 10:00:00: not recorded)"));
    EXPECT_EQ(CountTraces("Start planning: Task: 5 Recorder: 2 Duration: 180000 ms"), 1);
    EXPECT_EQ(StartsOf(0) + StartsOf(1) + StartsOf(2) + StartsOf(3) + StartsOf(4), 0);
    EXPECT_EQ(Trace().ListeIncidents.filter("Err: Planning: Task:").size(), 6) << "one incident a line";

    EXPECT_EQ(Planning().nextStart, Local(2026, 3, 19, 11, 15));
    EXPECT_EQ(NextSlot(), 0);
    RunTimerUntil(Local(2026, 3, 19, 11, 16, 0), 1000);
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(StartsOf(5), 1);
    EXPECT_EQ(Trace().ListeIncidents.filter("Err: Planning: Task:").size(), 6);
    EXPECT_EQ(Planning().nextStart, Local(2026, 3, 19, 12, 15));
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
    MainState().QuitRequested = true;
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
