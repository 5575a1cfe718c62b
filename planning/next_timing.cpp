// The next-timing analysis of the planning lines.
#include "planning/next_timing.h"

#include "planning/planning_state.h"
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

}  // namespace

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
    if (S().QuitRequested) return;
    // A start made a moment ago is then in the past; timers and the other
    // handlers run meanwhile.
    trap(10, [&] { platform::LetEventsRunFor(g_analysisWaitMs); });
    trap(20, [&] { ComputeNextTiming(); });
}

void ComputeNextTiming(const QDateTime& tie, bool traced, const QDateTime& since) {
    ErrorTrap trap(QStringLiteral("FrmSetup:NextTimingAnalysis"));
    FrmSetupControls& c = Setup();
    PlanningRuntime& rt = Planning();
    QDateTime now, from;
    qint64 tick = 0;
    QString file;
    PlanningOccurrence best;
    int bestSlot = -1;
    trap(10, [&] {
        now = CurrentClock().now();
        tick = CurrentClock().tickMs();
        if (!rt.watchSince.isValid()) rt.watchSince = now;
        if (!rt.watched.isValid()) rt.watched = now;
        // Forward from a little before now, or from `since` when that is
        // earlier (what passed unwatched is still to be dealt with); never
        // from before the planning began to watch, never from later than now
        // (a clock set back).
        const QDateTime recent = now.addMSecs(-kPlanningCatchUpMs);
        from = since.isValid() && since < recent ? since : recent;
        from = std::max(from, std::min(rt.watchSince, now));
        file = NomFichierSettings(QStringLiteral(".Ini"), QString());
        c.NextPlanningLine = -1;
    });
    for (int k = 0; k < kPlanningSlots; ++k) {
        trap(20, [&] {
            const QString sec = QStringLiteral("Planning_") + N2S(k, 3, 0, QStringLiteral("0"));
            auto read = [&](const char* key) { return LectureIni(file, sec, QLatin1String(key), QString()); };
            if (LectureIni(file, sec, QStringLiteral("Actif"), QStringLiteral("0FF")) != QStringLiteral("ON")) return;
            if (LectureIni(file, sec, QStringLiteral("LigneActive"), QStringLiteral("O")) == QStringLiteral("N"))
                return;
            const PlanningRule rule{read("Frequence"), read("Annee"), read("Mois"), read("Semaine"),
                                    read("Jour"),      read("Heure"), read("Minute")};
            const PlanningRuntime::Made& made = rt.made[size_t(k)];
            auto accept = [&](const QDateTime& start) {
                if (start < from && !(tie.isValid() && start == tie)) return false;
                if (made.occurrence.isValid() && start <= made.occurrence) {
                    // Where that start would come, in real time, from the one made.
                    const qint64 distance = tick + now.msecsTo(start) - made.tick;
                    if (distance < kPlanningRepeatWindowMs) return false;
                }
                return true;
            };
            // A line whose last start was dealt with since `from` looks on from
            // there: after a long sleep its starts are walked one by one.
            const QDateTime lineFrom =
                made.occurrence.isValid() && from < made.occurrence && !(now < made.occurrence) ? made.occurrence
                                                                                                   : from;
            const PlanningOccurrence o = NextOccurrence(rule, lineFrom, accept);
            if (!o.start.isValid()) return;
            if (bestSlot >= 0 && !(o.start < best.start)) return;  // a later slot never replaces an equal time
            best = o;
            bestSlot = k;
            c.NextPlanningLine = qint16(k);
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
        c.TextProchainTiming.setText(bestSlot >= 0 ? TimingText(best.start) : QString());
    });
    trap(40, [&] { ArmTimerPlanning(now); });
}
