// The next-timing analysis of the planning lines.
#include "planning/next_timing.h"

#include "planning/planning_state.h"
#include "recording/recording.h"
#include "platform/os.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

int g_analysisWaitMs = 1500;

constexpr qint64 kDayMs = 86400000;

// Local offset from UTC, in seconds, at a moment (ms since the epoch).
int OffsetAt(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc(); }

// Numeric value of a field; a blank reads 0. Values that no calendar can
// hold read as an impossible date.
int Number(const QString& text) {
    const double v = Val(text);
    if (!std::isfinite(v) || std::fabs(v) > 1e6) return std::numeric_limits<int>::min();
    return int(v);
}

bool Usable(int v) { return v != std::numeric_limits<int>::min(); }

QDate RollDate(int year, int month, int day) {
    if (!Usable(year) || !Usable(month) || !Usable(day)) return {};
    const QDate first(year, 1, 1);
    if (!first.isValid()) return {};
    return first.addMonths(month - 1).addDays(qint64(day) - 1);
}

PlanningOccurrence LocalStartOn(const QDate& day, int hour, int minute) {
    PlanningOccurrence o;
    if (!day.isValid() || !Usable(hour) || !Usable(minute)) return o;
    o.named = QDateTime(day, QTime(0, 0), Qt::UTC).addSecs(qint64(hour) * 3600 + qint64(minute) * 60);
    if (!o.named.isValid()) return o;
    const qint64 wall = o.named.toMSecsSinceEpoch();  // the local reading, taken as if it were UTC
    // The offsets in force around that reading: a moment that shows the
    // reading has one of them.
    QList<int> offsets;
    for (qint64 probe : {wall - kDayMs, wall, wall + kDayMs}) {
        const int off = OffsetAt(probe);
        if (!offsets.contains(off)) offsets << off;
    }
    std::sort(offsets.begin(), offsets.end());
    qint64 first = std::numeric_limits<qint64>::max();
    for (int off : offsets) {
        const qint64 moment = wall - qint64(off) * 1000;
        if (OffsetAt(moment) == off) first = std::min(first, moment);
    }
    if (first != std::numeric_limits<qint64>::max()) {
        o.start = QDateTime::fromMSecsSinceEpoch(first);
        return o;
    }
    if (offsets.size() < 2) return o;
    // Nothing shows the reading: the clock jumped over it. The start is the
    // moment of the jump (the first moment whose reading is later).
    qint64 lo = wall - qint64(offsets.last()) * 1000;   // before the jump
    qint64 hi = wall - qint64(offsets.first()) * 1000;  // after it
    const int after = OffsetAt(hi);
    while (hi - lo > 1000) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (OffsetAt(mid) == after) hi = mid;
        else lo = mid;
    }
    o.start = QDateTime::fromMSecsSinceEpoch(hi - hi % 1000);
    if (OffsetAt(o.start.toMSecsSinceEpoch()) != after) o.start = QDateTime::fromMSecsSinceEpoch(hi);
    o.shifted = true;
    return o;
}

// Walks candidate days from `first` (at most `count`), each kept by `keep`,
// and returns the first start that accept() takes.
template <class Keep>
PlanningOccurrence FirstOnDays(QDate day, int count, int step, Keep keep, int hour, int minute,
                               const std::function<bool(const QDateTime&)>& accept) {
    for (int n = 0; n < count && day.isValid(); ++n, day = day.addDays(step)) {
        if (!keep(day)) continue;
        PlanningOccurrence o = LocalStartOn(day, hour, minute);
        if (o.start.isValid() && accept(o.start)) return o;
    }
    return {};
}

PlanningOccurrence Hourly(int minute, const QDateTime& from, const std::function<bool(const QDateTime&)>& accept) {
    PlanningOccurrence none;
    if (!Usable(minute)) return none;
    const int m = ((minute % 60) + 60) % 60;
    // Whole minutes from the one before `from`; every real hour has one
    // moment whose local minute is m.
    qint64 t = from.toMSecsSinceEpoch();
    t -= ((t % 60000) + 60000) % 60000;
    t -= 60000;
    for (int n = 0; n < 6 * 60; ++n, t += 60000) {
        const QDateTime moment = QDateTime::fromMSecsSinceEpoch(t);
        if (moment.time().minute() != m) continue;
        if (!accept(moment)) {
            t += 59 * 60000;  // the next hour is the next chance (the loop adds the last minute)
            continue;
        }
        PlanningOccurrence o;
        o.start = moment;
        o.named = QDateTime(moment.date(), moment.time(), Qt::UTC);
        return o;
    }
    return none;
}

bool WeekendOrHoliday(const QDate& d) { return JourFerie(d, true, true); }

// The interval at which a rule's starts repeat, each found from the one
// before as that one was from its own, while the offset from UTC stays the
// same: an hour, a day, a week. 0 when the calendar makes them differ
// (months, years, holidays, a one-off event).
qint64 RepeatMs(const PlanningRule& rule) {
    const QString& f = rule.Frequence;
    if (f == QStringLiteral("Heure")) return 3600000;
    if (f == QStringLiteral("Jour")) return kDayMs;
    if (f == QStringLiteral("Semaine")) return 7 * kDayMs;
    return 0;
}

// How far from a start the search for the next one looks at the clock, at
// most: an hourly line from the minute before; the others from the eve, a
// day around each reading, and as far as the named hour and minute roll the
// day over.
qint64 ReachMs(const PlanningRule& rule) {
    if (rule.Frequence == QStringLiteral("Heure")) return 3600000;
    const int hour = Number(rule.Heure), minute = Number(rule.Minute);
    const qint64 roll = Usable(hour) && Usable(minute) ? qint64(hour) * 3600000 + qint64(minute) * 60000 : 0;
    return 4 * kDayMs + (roll < 0 ? -roll : roll);
}

// The last moment up to `limit` at which the offset from UTC is still the
// one of `from`: looked at once a day (its changes come months apart), then
// to the second around a change.
qint64 SameOffsetUntil(qint64 from, qint64 limit) {
    const int offset = OffsetAt(from);
    qint64 lo = from;
    while (lo < limit) {
        qint64 hi = std::min(lo + kDayMs, limit);
        if (OffsetAt(hi) == offset) {
            lo = hi;
            continue;
        }
        while (hi - lo > 1000) {
            const qint64 mid = lo + (hi - lo) / 2;
            if (OffsetAt(mid) == offset) lo = mid;
            else hi = mid;
        }
        return lo;
    }
    return lo;
}

}  // namespace

PlanningStarts StartsBetween(const PlanningRule& rule, const QDateTime& after, const QDateTime& until) {
    PlanningStarts s;
    if (!after.isValid() || !until.isValid()) return s;
    const qint64 repeat = RepeatMs(rule), reach = ReachMs(rule), end = until.toMSecsSinceEpoch();
    QDateTime at = after;
    bool onStart = false;  // `at` is a start of the line
    for (;;) {
        const QDateTime prev = at;
        const PlanningOccurrence o = NextOccurrence(rule, prev, [&](const QDateTime& t) { return prev < t; });
        if (!o.start.isValid() || until < o.start) break;
        if (s.count++ == 0) s.first = o.start;
        s.last = at = o.start;
        const bool repeated = onStart && repeat > 0 && prev.msecsTo(o.start) == repeat;
        onStart = true;
        if (!repeated) continue;
        // One interval from the start before. Where the offset stays the same,
        // the search from each start is that search moved on by an interval:
        // the starts that follow come an interval apart as far as it holds.
        const qint64 base = prev.toMSecsSinceEpoch();
        const qint64 lastBy = std::min(end, SameOffsetUntil(base - reach, end + reach) - reach);
        const qint64 n = lastBy < base ? 0 : (lastBy - base) / repeat;  // base + n intervals, at most
        if (n < 2) continue;
        s.count += n - 1;
        s.last = at = QDateTime::fromMSecsSinceEpoch(base + n * repeat);
    }
    return s;
}

PlanningOccurrence LocalStart(int year, int month, int day, int hour, int minute) {
    return LocalStartOn(RollDate(year, month, day), hour, minute);
}

int DayNameIndex(const QString& name) {
    for (int w = 1; w <= 7; ++w)
        if (Libelle_Fra(QStringLiteral("Jour"), w, 0) == name) return w;
    return 0;
}

PlanningOccurrence NextOccurrence(const PlanningRule& rule, const QDateTime& from,
                                  const std::function<bool(const QDateTime&)>& accept) {
    const QString& f = rule.Frequence;
    const int hour = Number(rule.Heure), minute = Number(rule.Minute);
    const QDate today = from.date();
    // Days are walked from the day before: a start named on the eve may fall
    // on the day of `from` once its hour rolls over.
    const QDate eve = today.addDays(-1);
    auto any = [](const QDate&) { return true; };

    if (f == QStringLiteral("Evénement")) {
        PlanningOccurrence o = LocalStart(Number(rule.Annee), Number(rule.Mois), Number(rule.Jour), hour, minute);
        return o.start.isValid() && accept(o.start) ? o : PlanningOccurrence{};
    }
    if (f == QStringLiteral("Année")) {
        for (int y = today.year() - 1; y <= today.year() + 9; ++y) {
            PlanningOccurrence o = LocalStart(y, Number(rule.Mois), Number(rule.Jour), hour, minute);
            if (o.start.isValid() && accept(o.start)) return o;
        }
        return {};
    }
    if (f == QStringLiteral("Mois")) {
        for (int k = -1; k <= 24; ++k) {
            const QDate month = QDate(today.year(), today.month(), 1).addMonths(k);
            PlanningOccurrence o = LocalStart(month.year(), month.month(), Number(rule.Jour), hour, minute);
            if (o.start.isValid() && accept(o.start)) return o;
        }
        return {};
    }
    if (f == QStringLiteral("Semaine")) {
        // A name that matches no day keeps the day of the analysis.
        const int w = DayNameIndex(rule.Semaine);
        QDate first = w > 0 ? eve : today;
        while (w > 0 && first.dayOfWeek() != w) first = first.addDays(1);
        return FirstOnDays(first, 60, 7, any, hour, minute, accept);
    }
    if (f == QStringLiteral("Jour")) return FirstOnDays(eve, 400, 1, any, hour, minute, accept);
    if (f == QStringLiteral("Heure")) return Hourly(minute, from, accept);
    if (f == QStringLiteral("Jour de semaine"))
        return FirstOnDays(eve, 400, 1, [](const QDate& d) { return !WeekendOrHoliday(d); }, hour, minute, accept);
    if (f == QStringLiteral("Jour de we et férié"))
        return FirstOnDays(eve, 400, 1, WeekendOrHoliday, hour, minute, accept);
    if (f == QStringLiteral("Jour de semaine et férié"))
        return FirstOnDays(
            eve, 400, 1, [](const QDate& d) { return JourFerie(d, false, false) || d.dayOfWeek() <= 5; }, hour,
            minute, accept);
    return {};
}

QString TimingText(const QDateTime& moment) {
    return Date2StringEx(moment, App().DateDisplayFormat) + QLatin1Char(' ') +
           Date2StringEx(moment, App().TimeDisplayFormat);
}

void SetAnalysisWaitMs(int ms) { g_analysisWaitMs = ms; }

void NextTimingAnalysis() {
    ErrorTrap trap(QStringLiteral("FrmSetup:NextTimingAnalysis"));
    // At shutdown (the settings saved on the way out) nothing will start.
    if (ProgramQuitting()) return;
    // A start made a moment ago is then in the past; timers and the other
    // handlers run meanwhile.
    trap(10, [&] { platform::LetEventsRunFor(g_analysisWaitMs); });
    trap(20, [&] { ComputeNextTiming(); });
}

std::optional<PlanningRule> ActivePlanningRule(int k) {
    PlanningTable& table = PlanningLines();
    table.Refresh();
    if (k < 0 || k >= kPlanningSlots) return std::nullopt;
    const PlanningLine& line = table.Line(k);
    if (!line.Active || !line.LineEnabled) return std::nullopt;
    return PlanningRule{line.Frequence, line.Annee, line.Mois, line.Semaine, line.Jour, line.Heure, line.Minute};
}

PlanningLook LookAtPlanning(const QDateTime& tie, const QDateTime& since) {
    const PlanningRuntime& rt = Planning();
    PlanningLook look;
    look.now = CurrentClock().now();
    look.tick = CurrentClock().tickMs();
    look.tie = tie;
    // Forward from a little before now, or from `since` when that is
    // earlier (what passed unwatched is still to be dealt with); never from
    // before the planning began to watch, never from later than now (a clock
    // set back).
    const QDateTime recent = look.now.addMSecs(-kPlanningCatchUpMs);
    const QDateTime watchSince = rt.watchSince.isValid() ? rt.watchSince : look.now;
    look.from = since.isValid() && since < recent ? since : recent;
    look.from = std::max(look.from, std::min(watchSince, look.now));
    return look;
}

PlanningOccurrence FirstStartTaken(const PlanningRule& rule, int k, const PlanningLook& look) {
    if (k < 0 || k >= kPlanningSlots) return {};
    const PlanningRuntime::Made& made = Planning().made[size_t(k)];
    auto accept = [&](const QDateTime& start) {
        if (start < look.from && !(look.tie.isValid() && start == look.tie)) return false;
        if (made.occurrence.isValid() && start <= made.occurrence) {
            // Where that start would come, in real time, from the one made.
            const qint64 distance = look.tick + look.now.msecsTo(start) - made.tick;
            if (distance < kPlanningRepeatWindowMs) return false;
        }
        return true;
    };
    // A line whose last start was dealt with since `from` looks on from there.
    const QDateTime lineFrom =
        made.occurrence.isValid() && look.from < made.occurrence && !(look.now < made.occurrence) ? made.occurrence
                                                                                                 : look.from;
    return NextOccurrence(rule, lineFrom, accept);
}

void ComputeNextTiming(const QDateTime& tie, bool traced, const QDateTime& since) {
    ErrorTrap trap(QStringLiteral("FrmSetup:NextTimingAnalysis"));
    PlanningRuntime& rt = Planning();
    PlanningLook look;
    PlanningOccurrence best;
    int bestSlot = -1;
    trap(10, [&] {
        look = LookAtPlanning(tie, since);
        if (!rt.watchSince.isValid()) rt.watchSince = look.now;
        if (!rt.watched.isValid()) rt.watched = look.now;
        rt.nextLine = -1;
    });
    for (int k = 0; k < kPlanningSlots; ++k) {
        trap(20, [&] {
            const std::optional<PlanningRule> rule = ActivePlanningRule(k);
            if (!rule) return;
            const PlanningOccurrence o = FirstStartTaken(*rule, k, look);
            if (!o.start.isValid()) return;
            if (bestSlot >= 0 && !(o.start < best.start)) return;  // a later slot never replaces an equal time
            best = o;
            bestSlot = k;
            rt.nextLine = k;
            if (!traced) return;
            if (o.shifted)
                TraceLog(-1, -1, -1,
                         QStringLiteral("Planning analysis: Task: ") + QString::number(k) + QStringLiteral(": ") +
                             Date2StringEx(o.named, App().TimeDisplayFormat) + QStringLiteral(" does not exist on ") +
                             Date2StringEx(o.named, App().DateDisplayFormat) +
                             QStringLiteral(" (change of clock): start at ") +
                             Date2StringEx(o.start, App().TimeDisplayFormat));
            TraceLog(-1, -1, -1,
                     QStringLiteral("Planning analysis: Task: ") + QString::number(k) + QStringLiteral(" Start: ") +
                         TimingText(o.start));
        });
    }
    trap(30, [&] {
        rt.nextStart = bestSlot >= 0 ? best.start : QDateTime();
        if (PlanningDisplay().ShowNextTiming)
            PlanningDisplay().ShowNextTiming(bestSlot >= 0 ? TimingText(best.start) : QString());
    });
    trap(40, [&] { ArmTimerPlanning(look.now); });
}
