// The next-timing analysis: every frequency, the calendar roll-over, the
// holidays, ties, disabled lines, and the two changes of clock of a European
// station. The expected moments are written out in the tests (as UTC moments
// where the time zone matters), not computed by the code under test.
#include "planning_fixture.h"

#include <QElapsedTimer>
#include <QTimer>
#include <ctime>

namespace {

class NextTimingTest : public PlanningTest {};

TEST_F(NextTimingTest, DailyLineBeforeAndAfterItsTime) {
    WriteDaily(0, "14", "00");
    clock.set(Local(2024, 3, 19, 13, 59, 59));
    EXPECT_EQ(Analyse(), Local(2024, 3, 19, 14, 0));
    EXPECT_EQ(NextText(), "19/03/2024 14:00:00");
    EXPECT_EQ(NextSlot(), 0);
    EXPECT_EQ(CountTraces("Planning analysis: Task: 0 Start: 19/03/2024 14:00:00"), 1);

    // A fresh start of the planning one second after the time: tomorrow.
    ResetPlanningState();
    clock.set(Local(2024, 3, 19, 14, 0, 1));
    EXPECT_EQ(Analyse(), Local(2024, 3, 20, 14, 0));
    EXPECT_EQ(NextText(), "20/03/2024 14:00:00");
}

TEST_F(NextTimingTest, ALineWaitingForItsTimeIsNotDroppedByALateAnalysis) {
    // Analysed before its time, then again (a save) a second after it, before
    // the timer came: the start is still to be made, now.
    WriteDaily(0, "14", "00");
    clock.set(Local(2024, 3, 19, 13, 59, 59));
    Analyse();
    clock.set(Local(2024, 3, 19, 14, 0, 1));
    EXPECT_EQ(Analyse(), Local(2024, 3, 19, 14, 0));
    // Passed by more than the timer's period and the analysis' wait: gone.
    clock.set(Local(2024, 3, 19, 14, 0, 20));
    EXPECT_EQ(Analyse(), Local(2024, 3, 20, 14, 0));
}

TEST_F(NextTimingTest, YearlyLineOnTheTwentyNinthOfFebruary) {
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Année"}, {"Mois", "02"}, {"Jour", "29"},
                  {"Heure", "08"}, {"Minute", "15"}});
    // 2023 has no 29 February: the calendar rolls over to 1 March.
    clock.set(Local(2023, 1, 10, 12, 0));
    EXPECT_EQ(Analyse(), Local(2023, 3, 1, 8, 15));
    // Past that: the real 29 February of 2024.
    ResetPlanningState();
    clock.set(Local(2023, 3, 5, 12, 0));
    EXPECT_EQ(Analyse(), Local(2024, 2, 29, 8, 15));
}

TEST_F(NextTimingTest, MonthlyLineOnTheThirtyFirstInApril) {
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Mois"}, {"Jour", "31"}, {"Heure", "10"},
                  {"Minute", "00"}});
    clock.set(Local(2024, 4, 10, 9, 0));
    EXPECT_EQ(Analyse(), Local(2024, 5, 1, 10, 0));
    // After 1 May 10:00, the real 31 May.
    ResetPlanningState();
    clock.set(Local(2024, 5, 1, 11, 0));
    EXPECT_EQ(Analyse(), Local(2024, 5, 31, 10, 0));
}

TEST_F(NextTimingTest, PastEventGivesNoTiming) {
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Evénement"}, {"Annee", "2024"}, {"Mois", "03"},
                  {"Jour", "18"}, {"Heure", "09"}, {"Minute", "00"}});
    ::Setup().TextProchainTiming.setText("x");
    EXPECT_FALSE(Analyse().isValid());
    EXPECT_EQ(NextSlot(), -1);
    EXPECT_EQ(NextText(), "");
    // The same event in the future.
    WriteLine(0, {{"Jour", "21"}});
    EXPECT_EQ(Analyse(), Local(2024, 3, 21, 9, 0));
}

TEST_F(NextTimingTest, WeeklyHourlyAndUnknownFrequencies) {
    // Tuesday 19 March 2024, 10:00.
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Semaine"}, {"Semaine", "Mercredi"}, {"Heure", "09"},
                  {"Minute", "00"}});
    EXPECT_EQ(Analyse(), Local(2024, 3, 20, 9, 0));
    WriteLine(0, {{"Semaine", "Mardi"}});  // today, but past: next week
    EXPECT_EQ(Analyse(), Local(2024, 3, 26, 9, 0));
    WriteLine(0, {{"Semaine", "Mardy"}, {"Heure", "11"}});  // no such day: today, then every seven days
    EXPECT_EQ(Analyse(), Local(2024, 3, 19, 11, 0));

    WriteLine(0, {{"Frequence", "Heure"}, {"Minute", "15"}});
    clock.set(Local(2024, 3, 19, 14, 20));
    EXPECT_EQ(Analyse(), Local(2024, 3, 19, 15, 15));
    clock.set(Local(2024, 3, 19, 23, 20));
    EXPECT_EQ(Analyse(), Local(2024, 3, 20, 0, 15));

    WriteLine(0, {{"Frequence", "jour"}});  // compared exactly
    EXPECT_FALSE(Analyse().isValid());
    WriteLine(0, {{"Frequence", "         "}});
    EXPECT_FALSE(Analyse().isValid());
}

TEST_F(NextTimingTest, TiesGoToTheLowerSlotAndDisabledLinesNeverCount) {
    WriteDaily(7, "12", "00");
    WriteDaily(3, "12", "00");
    EXPECT_EQ(Analyse(), Local(2024, 3, 19, 12, 0));
    EXPECT_EQ(NextSlot(), 3);
    EXPECT_EQ(CountTraces("Planning analysis: Task: 7 "), 0) << "a later slot at the same time is no better";

    // The earliest line is disabled: it stays in the table, the next one wins.
    WriteDaily(5, "11", "00");
    WriteLine(5, {{"LigneActive", "N"}});
    EXPECT_EQ(Analyse(), Local(2024, 3, 19, 12, 0));
    EXPECT_EQ(NextSlot(), 3);
    // A free slot ("0FF") keeps its keys and never counts either.
    ASSERT_TRUE(EcritureIni(SettingsPath(), "Planning_003", "Actif", "0FF"));
    EXPECT_EQ(Analyse(), Local(2024, 3, 19, 12, 0));
    EXPECT_EQ(NextSlot(), 7);

    InitGeneralDonneesPlanning();
    EXPECT_EQ(::Setup().PlanningTable[5].Heure, "11");
    EXPECT_FALSE(::Setup().PlanningTable[5].LineEnabled);
}

TEST_F(NextTimingTest, WorkingDaysAroundMondayHolidays) {
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Jour de semaine"}, {"Heure", "18"}, {"Minute", "00"}});
    // Friday 29 March 2024 (Good Friday is no holiday), after the time:
    // Monday 1 April is Easter Monday, so Tuesday.
    clock.set(Local(2024, 3, 29, 19, 0));
    EXPECT_EQ(Analyse(), Local(2024, 4, 2, 18, 0));
    // Friday 17 May 2024, after the time: Whit Monday 20 May, so Tuesday 21.
    clock.set(Local(2024, 5, 17, 19, 0));
    EXPECT_EQ(Analyse(), Local(2024, 5, 21, 18, 0));
    // An ordinary Friday evening: Monday.
    clock.set(Local(2024, 3, 22, 19, 0));
    EXPECT_EQ(Analyse(), Local(2024, 3, 25, 18, 0));
    // On a Saturday before the time: still Monday.
    clock.set(Local(2024, 3, 23, 8, 0));
    EXPECT_EQ(Analyse(), Local(2024, 3, 25, 18, 0));
    // Ascension Thursday 9 May 2024 is skipped.
    clock.set(Local(2024, 5, 8, 19, 0));
    EXPECT_EQ(Analyse(), Local(2024, 5, 10, 18, 0));
}

TEST_F(NextTimingTest, WeekendAndHolidayLines) {
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Jour de we et férié"}, {"Heure", "10"},
                  {"Minute", "00"}});
    // Easter Monday 1 April 2024 before the time: that Monday.
    clock.set(Local(2024, 4, 1, 8, 0));
    EXPECT_EQ(Analyse(), Local(2024, 4, 1, 10, 0));
    // After it: the next Saturday (6 April).
    clock.set(Local(2024, 4, 1, 11, 0));
    EXPECT_EQ(Analyse(), Local(2024, 4, 6, 10, 0));
    // Wednesday 14 August 2024: 15 August, a Thursday holiday.
    clock.set(Local(2024, 8, 14, 11, 0));
    EXPECT_EQ(Analyse(), Local(2024, 8, 15, 10, 0));

    WriteLine(0, {{"Frequence", "Jour de semaine et férié"}});
    // Saturday 15 August 2026 is a holiday: that Saturday.
    clock.set(Local(2026, 8, 15, 8, 0));
    EXPECT_EQ(Analyse(), Local(2026, 8, 15, 10, 0));
    // An ordinary Saturday (23 March 2024): Monday.
    clock.set(Local(2024, 3, 23, 8, 0));
    EXPECT_EQ(Analyse(), Local(2024, 3, 25, 10, 0));
    // Saturday 13 July 2024 after the time: Sunday 14 July, a holiday.
    clock.set(Local(2024, 7, 13, 11, 0));
    EXPECT_EQ(Analyse(), Local(2024, 7, 14, 10, 0));
    // With the Belgian list, 14 July is no holiday: Monday 15.
    SetLocaleCodeForTests("FRB");
    EXPECT_EQ(Analyse(), Local(2024, 7, 15, 10, 0));
}

TEST_F(NextTimingTest, CalendarRollsOverOutOfRangeValues) {
    // Month 13 of 2024 is January 2025; day 0 of March the last of February.
    WriteLine(0, {{"Recorder", "Recorder 1"}, {"Frequence", "Evénement"}, {"Annee", "2024"}, {"Mois", "13"},
                  {"Jour", "05"}, {"Heure", "06"}, {"Minute", "00"}});
    EXPECT_EQ(Analyse(), Local(2025, 1, 5, 6, 0));
    WriteLine(0, {{"Mois", "03"}, {"Jour", "00"}, {"Annee", "2025"}});
    EXPECT_EQ(Analyse(), Local(2025, 2, 28, 6, 0));
    // Minute 75 is a quarter past the next hour; a blank year is no date.
    WriteLine(0, {{"Annee", "2024"}, {"Mois", "12"}, {"Jour", "31"}, {"Heure", "23"}, {"Minute", "75"}});
    EXPECT_EQ(Analyse(), Local(2025, 1, 1, 0, 15));
    WriteLine(0, {{"Annee", ""}});
    EXPECT_FALSE(Analyse().isValid());
}

// ---- changes of clock (Europe/Paris: +01:00 in winter, +02:00 in summer)

TEST_F(NextTimingTest, AutumnChangeStartsADailyLineOnce) {
    ScopedTimeZone paris("Europe/Paris");
    // Sunday 27 October 2024: 03:00 summer time (01:00 UTC) goes back to
    // 02:00 winter time; 02:30 is read twice, at 00:30 and 01:30 UTC.
    WriteDaily(0, "02", "30", "Recorder 2");
    ::Setup().CheckPigeAntenne[1].setChecked(true);  // nothing to record: starts are only traced
    clock.set(Utc(2024, 10, 26, 23, 0).toLocalTime());
    EXPECT_EQ(Analyse(), Utc(2024, 10, 27, 0, 30));
    EXPECT_EQ(NextText(), "27/10/2024 02:30:00");

    RunTimerUntil(Utc(2024, 10, 27, 0, 45).toLocalTime());
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(Planning().nextStart, Utc(2024, 10, 28, 1, 30)) << "next day, 02:30 winter time";

    // The operator saves the settings in the repeated hour: nothing changes.
    clock.set(Utc(2024, 10, 27, 1, 10).toLocalTime());
    EXPECT_EQ(Analyse(), Utc(2024, 10, 28, 1, 30));
    RunTimerUntil(Utc(2024, 10, 27, 2, 0).toLocalTime(), 500);
    EXPECT_EQ(StartsOf(0), 1) << "02:30 winter time is the same line's time again";
}

TEST_F(NextTimingTest, SpringChangeStartsAMissingTimeAtTheEndOfTheGap) {
    ScopedTimeZone paris("Europe/Paris");
    // Sunday 31 March 2024: 02:00 winter time (01:00 UTC) jumps to 03:00
    // summer time; 02:30 does not exist that day.
    WriteDaily(0, "02", "30", "Recorder 2");
    ::Setup().CheckPigeAntenne[1].setChecked(true);
    clock.set(Utc(2024, 3, 30, 22, 0).toLocalTime());
    EXPECT_EQ(Analyse(), Utc(2024, 3, 31, 1, 0));
    EXPECT_EQ(NextText(), "31/03/2024 03:00:00");
    EXPECT_EQ(CountTraces("Planning analysis: Task: 0: 02:30:00 does not exist on 31/03/2024 (change of clock): "
                          "start at 03:00:00"),
              1);
    RunTimerUntil(Utc(2024, 3, 31, 1, 30).toLocalTime());
    EXPECT_EQ(StartsOf(0), 1);
    EXPECT_EQ(Planning().nextStart, Utc(2024, 4, 1, 0, 30)) << "next day, 02:30 summer time";
}

TEST_F(NextTimingTest, HourlyLineStartsEveryRealHourAcrossBothChanges) {
    ScopedTimeZone paris("Europe/Paris");
    WriteLine(0, {{"Recorder", "Recorder 2"}, {"Frequence", "Heure"}, {"Minute", "30"}});
    ::Setup().CheckPigeAntenne[1].setChecked(true);
    // Autumn: 01:30, 02:30 (summer), 02:30 (winter), 03:30: one an hour.
    clock.set(Utc(2024, 10, 26, 23, 20).toLocalTime());
    EXPECT_EQ(Analyse(), Utc(2024, 10, 26, 23, 30));
    RunTimerUntil(Utc(2024, 10, 27, 2, 40).toLocalTime(), 1000);
    EXPECT_EQ(StartsOf(0), 4);
    EXPECT_EQ(CountTraces("Start: 27/10/2024 02:30:00"), 2);
    EXPECT_EQ(CountTraces("Start: 27/10/2024 03:30:00"), 1);
    // Spring: 01:30 winter, then 03:30 summer an hour later.
    ResetPlanningState();
    clock.set(Utc(2024, 3, 31, 0, 20).toLocalTime());
    EXPECT_EQ(Analyse(), Utc(2024, 3, 31, 0, 30));
    RunTimerUntil(Utc(2024, 3, 31, 1, 40).toLocalTime(), 1000);
    EXPECT_EQ(StartsOf(0), 4 + 2);
    EXPECT_EQ(CountTraces("Start: 31/03/2024 03:30:00"), 1);
    EXPECT_EQ(Planning().nextStart, Utc(2024, 3, 31, 2, 30));
}

// The starts of a line walked one by one, each found from the one before
// (the single steps are pinned by the tests above).
PlanningStarts WalkedOneByOne(const PlanningRule& rule, const QDateTime& after, const QDateTime& until) {
    PlanningStarts s;
    QDateTime at = after;
    for (;;) {
        const PlanningOccurrence o = NextOccurrence(rule, at, [&](const QDateTime& t) { return at < t; });
        if (!o.start.isValid() || until < o.start) return s;
        if (s.count++ == 0) s.first = o.start;
        s.last = at = o.start;
    }
}

TEST_F(NextTimingTest, StartsCountedBetweenTwoMomentsAreTheOnesWalkedOneByOne) {
    // Zones whose offset changes by an hour, by half an hour (Lord Howe), by
    // a quarter of an hour (Kathmandu, 1986), at midnight (Santiago), or
    // skips a whole day (Apia, end of 2011).
    struct Span {
        const char* zone;
        QDateTime from, until;
    };
    const Span spans[] = {
        {"Europe/Paris", Utc(2023, 12, 1, 0, 0), Utc(2025, 1, 15, 0, 0)},
        {"Australia/Lord_Howe", Utc(2023, 9, 1, 0, 0), Utc(2024, 5, 1, 0, 0)},
        {"Asia/Kathmandu", Utc(1985, 11, 1, 0, 0), Utc(1986, 3, 1, 0, 0)},
        {"America/Santiago", Utc(2023, 8, 1, 0, 0), Utc(2024, 5, 1, 0, 0)},
        {"Pacific/Apia", Utc(2011, 11, 1, 0, 0), Utc(2012, 2, 1, 0, 0)},
    };
    auto rule = [](const char* f, const char* h, const char* m, const char* jour = "", const char* semaine = "",
                   const char* mois = "") {
        return PlanningRule{f, "", mois, semaine, jour, h, m};
    };
    const PlanningRule rules[] = {
        rule("Heure", "", "00"),
        rule("Heure", "", "15"),
        rule("Heure", "", "45"),
        rule("Jour", "02", "30"),
        rule("Jour", "00", "00"),
        rule("Jour", "23", "45"),
        rule("Jour", "25", "90"),  // 02:30 the next day
        rule("Jour", "-5", "00"),  // 19:00 the day before
        rule("Semaine", "02", "15", "", "Dimanche"),
        rule("Semaine", "00", "00", "", "Jour sans nom"),
        rule("Mois", "02", "30", "31"),
        rule("Année", "10", "00", "29", "", "2"),
        rule("Jour de semaine", "02", "30"),
    };
    for (const Span& span : spans) {
        ScopedTimeZone zone(span.zone);
        for (const PlanningRule& r : rules) {
            for (const QDateTime& after : {span.from, span.from.addSecs(17 * 60 + 17)}) {
                const PlanningStarts walked = WalkedOneByOne(r, after, span.until);
                const PlanningStarts counted = StartsBetween(r, after, span.until);
                const std::string what = std::string(span.zone) + " " + r.Frequence.toStdString() + " " +
                                         r.Heure.toStdString() + ":" + r.Minute.toStdString() + " after " +
                                         after.toString(Qt::ISODate).toStdString();
                if (r.Frequence != "Année") {
                    ASSERT_GT(walked.count, 2) << what;
                }
                EXPECT_EQ(counted.count, walked.count) << what;
                EXPECT_EQ(counted.first, walked.first) << what;
                EXPECT_EQ(counted.last, walked.last) << what;
            }
        }
    }
    // Nothing after the end, nothing before the start.
    const PlanningStarts none = StartsBetween(rule("Jour", "14", "00"), Local(2024, 3, 19, 14, 0),
                                              Local(2024, 3, 20, 13, 59, 59));
    EXPECT_EQ(none.count, 0);
    EXPECT_FALSE(none.first.isValid());
    const PlanningStarts one = StartsBetween(rule("Jour", "14", "00"), Local(2024, 3, 19, 14, 0),
                                             Local(2024, 3, 20, 14, 0));
    EXPECT_EQ(one.count, 1);
    EXPECT_EQ(one.first, Local(2024, 3, 20, 14, 0));
    EXPECT_EQ(one.last, Local(2024, 3, 20, 14, 0));
}

TEST_F(NextTimingTest, TheWaitLetsEventsRunWithoutSpinning) {
    WriteDaily(0, "14", "00");
    SetAnalysisWaitMs(1500);
    bool ran = false;
    QTimer::singleShot(100, [&] { ran = true; });
    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpu0 = std::clock();
    NextTimingAnalysis();
    const double cpuMs = double(std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC;
    EXPECT_GE(wall.elapsed(), 1450);
    EXPECT_LT(wall.elapsed(), 5000);
    EXPECT_TRUE(ran) << "a timer ran during the wait";
    EXPECT_LT(cpuMs, 300.0) << "the wait blocks, it does not spin";
    EXPECT_EQ(NextText(), "19/03/2024 14:00:00");
}

}  // namespace
