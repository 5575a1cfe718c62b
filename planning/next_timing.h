#pragma once
// The next-timing analysis: from the planning lines of the settings file,
// the single earliest start to come and the slot it belongs to.
//
// Starts are moments (instants), not wall-clock readings: a line names a
// local date and time, and that names one moment. On the autumn change of
// clock the repeated local times name their first moment (a daily 02:30 line
// starts once, at 02:30 summer time); on the spring change a local time that
// does not exist names the end of the gap (a 02:30 line starts at 03:00).
// An hourly line starts every real hour (twice in the repeated hour, once in
// the missing one).
#include <QDate>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

// What a planning line says about its timing (texts as stored).
struct PlanningRule {
    QString Frequence, Annee, Mois, Semaine, Jour, Heure, Minute;
};

// One start of a line.
struct PlanningOccurrence {
    QDateTime start;      // the moment, in local time; invalid when none
    QDateTime named;      // the local date and time the line names (naive, UTC spec)
    bool shifted = false; // the named time does not exist that day: start is the end of the gap
};

// The moment of a local wall-clock date and time, the calendar rolling over
// out-of-range values (month 13 is January of the next year, day 0 the last
// day of the previous month, minute 75 a quarter past the next hour).
PlanningOccurrence LocalStart(int year, int month, int day, int hour, int minute);

// The first start of the rule that accept() takes, looking forward from the
// local date of `from` (a one-off event has at most one). Invalid when the
// frequency is unknown or blank, or when no start is taken.
PlanningOccurrence NextOccurrence(const PlanningRule& rule, const QDateTime& from,
                                  const std::function<bool(const QDateTime&)>& accept);

// The starts of a line after `after` up to `until` (included), as walking
// them one after the other with NextOccurrence finds them: how many, the
// first and the last. Where the line's starts repeat at a fixed interval
// (hourly, daily, weekly) and the offset from UTC stays the same, they are
// counted, not walked: a gap of years costs a look at the offset a day, not
// an analysis a start.
struct PlanningStarts {
    qint64 count = 0;
    QDateTime first, last;  // invalid when none
};
PlanningStarts StartsBetween(const PlanningRule& rule, const QDateTime& after, const QDateTime& until);

// The rule of planning slot k of the table in force, when the line is
// on ("Actif" is "ON" and "LigneActive" is not "N").
std::optional<PlanningRule> ActivePlanningRule(int k);

// How an analysis looks at the lines at one moment (see ComputeNextTiming):
// no start before `from` is taken but `tie`, nor the last start dealt with
// of a slot again.
struct PlanningLook {
    QDateTime now;
    qint64 tick = 0;  // the monotonic tick at that moment
    QDateTime from, tie;
};
PlanningLook LookAtPlanning(const QDateTime& tie = {}, const QDateTime& since = {});
// The first start of slot k's rule that the look takes; invalid when none.
PlanningOccurrence FirstStartTaken(const PlanningRule& rule, int k, const PlanningLook& look);

// Position of a day name among "Lundi".."Dimanche" (Monday = 1); 0 when none.
int DayNameIndex(const QString& name);

// The timing text of a moment: the display date, a space, the display time.
QString TimingText(const QDateTime& moment);

// The analysis as the program runs it: waits (in the event loop) for the
// start that may have just begun to be in the past, then computes.
void NextTimingAnalysis();
// The computation alone: NextPlanningLine, TextProchainTiming and the
// planning timer's period from the settings file at the current time. `tie`,
// when valid, stays eligible however old it is (the other lines of a start
// in progress at that moment); `traced` writes the "Planning analysis" lines;
// `since`, when valid, looks back to that moment (the last one the planning
// watched) instead of a little before now.
void ComputeNextTiming(const QDateTime& tie = {}, bool traced = true, const QDateTime& since = {});

// A start that was passed by less than this and has not been made is still
// made as planned (a timer tick or an analysis that came a little late, a
// clock corrected by a few seconds). A start passed by more, while the
// planning was not watching (the computer asleep, the program busy, the
// clock put forward), is made late and shortened to its planned end, or
// reported missed when that end has passed too.
constexpr qint64 kPlanningCatchUpMs = 12000;
// A start of a line that names a moment at or before the last start made of
// that line, and that would come within this time of it, is the same start
// again after the clock went back: it is not made twice.
constexpr qint64 kPlanningRepeatWindowMs = 3 * 3600 * 1000;

// Tests: the wait before the computation (default 1500 ms).
void SetAnalysisWaitMs(int ms);
