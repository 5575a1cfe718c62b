// Planned recordings: the planning timer and the start of a planned line.
#include "planning/planning_execution.h"

#include "planning/next_timing.h"
#include "recording/recording.h"
#include "planning/planning_state.h"
#include "remote/serial_link.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <algorithm>
#include <array>
#include <vector>
#include <limits>
#include <optional>

namespace {

constexpr int kIdlePeriodMs = 10000;
constexpr int kApproachPeriodMs = 1000;
constexpr qint64 kApproachMs = 80000;

void Trace(const QString& text) { TraceLog(-1, -1, -1, text); }

// Sets a flag for the time of a scope, whatever happens in it.
struct Flag {
    explicit Flag(bool& f) : flag(f) { flag = true; }
    ~Flag() { flag = false; }
    bool& flag;
};

// The duration of planning slot k as its line gives it.
qint32 LineDurationMs(int k) { return PlannedDurationMs(PlanningLines().Line(k).Duree); }

// Starts planning slot k, whose start has come; `shortenedMs`, when above 0,
// replaces the line's duration (a start made late that keeps its planned end).
void StartPlannedLine(int k, qint32 shortenedMs = 0) {
    ErrorTrap trap(QStringLiteral("FrmSetup:TimerPlanning_Timer"));
    const PlanningLine& line = PlanningLines().Line(k);
    QString recorderText, soundFile, podcast, command;
    int number = 0, index = -1;
    qint32 durationMs = 0;
    trap(10, [&] {
        recorderText = line.Recorder;
        number = PlannedRecorderNumber(recorderText);
        index = number >= 1 && number <= kRecorders ? number - 1 : -1;
        durationMs = shortenedMs > 0 ? shortenedMs : PlannedDurationMs(line.Duree);
        soundFile = line.DossierFichierSon;
        command = line.ASC82Plus;
        podcast = line.PodcastFlux;
    });
    trap(20, [&] {
        Trace(QStringLiteral("Start planning: Task: ") + QString::number(k) + QStringLiteral(" Recorder: ") +
              QString::number(number) + QStringLiteral(" Duration: ") + QString::number(durationMs) +
              QStringLiteral(" ms"));
    });
    trap(30, [&] {
        if (soundFile.trimmed().isEmpty()) {
            soundFile.clear();
            return;
        }
        const PathPieces p = EclateRepFicExt(soundFile);
        soundFile = p.PathFolder + EvalueNomFichier(p.PathBaseName) + p.PathExtension;
        Trace(QStringLiteral("Start planning: Sound file: ") + soundFile);
    });
    trap(40, [&] {
        if (!podcast.trimmed().isEmpty()) Trace(QStringLiteral("Start planning: Podcast: ") + podcast);
    });
    trap(50, [&] {
        if (index < 0) {
            // Nothing can be recorded: the operator must learn it.
            TraceLog(-1, -1, -1,
                     QStringLiteral("Err: Start planning: Task: ") + QString::number(k) +
                         QStringLiteral(": no recorder 1 to 8 in '") + recorderText +
                         QStringLiteral("': nothing recorded"),
                     true);
            return;
        }
        if (Rec(index).config().Logging) {
            TraceLog(-1, index, -1, QStringLiteral("Planning: Task wished but Pipe on Pige mode"), true);
            return;
        }
        PlanningRecordAuto(index, durationMs, soundFile, podcast, command);
    });
}

// What a tick found of one line: its starts passed by `now`, the first and
// the last of them.
struct DueLine {
    int slot = -1;
    qint64 count = 0;
    QDateTime first, last;
};

const QString kUnwatched = QStringLiteral("(computer asleep, busy or clock changed)");

// The end of a planned start in the trace: its time, with its date when that
// is not today.
QString EndText(const QDateTime& end, const QDateTime& now) {
    return end.date() == now.date() ? Date2StringEx(end, App().TimeDisplayFormat) : TimingText(end);
}

// Deals with every start due by `now`, from `timing` (the next one) on. A line
// whose start was passed by a few seconds starts as planned. One passed by
// more went by while the planning was not watching: it starts now, shortened
// so that it ends at its planned end, or, when that end has passed as well,
// is not started; either way the operator learns it from an incident, one
// per line however many of its starts went by.
void DealWithDueStarts(const QDateTime& timing, const QDateTime& now, const QDateTime& since) {
    ErrorTrap trap(QStringLiteral("FrmSetup:TimerPlanning_Timer"));
    PlanningRuntime& rt = Planning();
    std::array<DueLine, kPlanningSlots> lines{};
    PlanningLook look;
    trap(10, [&] { look = LookAtPlanning(timing, since); });
    // Each line once, however long the planning was not watching: its first
    // start due as the analysis takes it, then how many follow up to now and
    // the last (counted, not walked one by one).
    for (int k = 0; k < kPlanningSlots; ++k) {
        trap(12, [&] {
            const std::optional<PlanningRule> rule = ActivePlanningRule(k);
            if (!rule) return;
            const PlanningOccurrence first = FirstStartTaken(*rule, k, look);
            if (!first.start.isValid() || now < first.start) return;
            // None of the others before `from` (the first may be the tie, older).
            const QDateTime after = first.start < look.from ? look.from.addMSecs(-1) : first.start;
            const PlanningStarts more = StartsBetween(*rule, after, now);
            DueLine& line = lines[size_t(k)];
            line.slot = k;
            line.count = 1 + more.count;
            line.first = first.start;
            line.last = more.count > 0 ? more.last : first.start;
        });
    }
    // The line the analysis gave is due whatever: the walk always moves on.
    const int next = rt.nextLine;
    if (next >= 0 && next < kPlanningSlots && lines[size_t(next)].count == 0 && timing.isValid() &&
        !(now < timing))
        lines[size_t(next)] = {next, 1, timing, timing};
    QDateTime lastDealt;
    for (const DueLine& line : lines) {
        if (line.count == 0) continue;
        // Dealt with from now on, whatever follows: never the same start twice.
        rt.made[size_t(line.slot)] = {line.last, CurrentClock().tickMs()};
        if (!lastDealt.isValid() || lastDealt < line.last) lastDealt = line.last;
    }
    // The next timing after them.
    if (lastDealt.isValid()) trap(14, [&] { ComputeNextTiming(lastDealt, false, since); });
    // Only the last start of a line can still be made: the earlier ones are
    // over or would be cut short by it. In the order of their moments.
    std::vector<DueLine> due;
    for (const DueLine& line : lines)
        if (line.count > 0) due.push_back(line);
    std::stable_sort(due.begin(), due.end(), [](const DueLine& a, const DueLine& b) { return a.last < b.last; });
    for (const DueLine& line : due) {
        trap(20, [&] {
            const QString task = QStringLiteral("Err: Planning: Task: ") + QString::number(line.slot);
            const qint64 earlier = line.count - 1;
            QString earlierText;
            if (earlier > 0)
                earlierText = QString::number(earlier) +
                              (earlier == 1 ? QStringLiteral(" start") : QStringLiteral(" starts")) +
                              QStringLiteral(" missed since ") + TimingText(line.first);
            // Late or not as the tick found it (the starts before this one may
            // have taken a while); what is left of it, from now.
            const QDateTime at = CurrentClock().now();
            const qint64 lateMs = line.last.msecsTo(now);
            if (lateMs <= kPlanningCatchUpMs) {
                if (earlier > 0)
                    TraceLog(-1, -1, -1, task + QStringLiteral(": ") + earlierText + QLatin1Char(' ') + kUnwatched +
                                             QStringLiteral(": not recorded"),
                             true);
                StartPlannedLine(line.slot);
                return;
            }
            const QDateTime end = line.last.addMSecs(LineDurationMs(line.slot));
            const qint64 leftMs = at.msecsTo(end);
            if (leftMs > 0) {
                TraceLog(-1, -1, -1,
                         task + QStringLiteral(" started late by ") + QString::number(line.last.msecsTo(at) / 1000) +
                             QStringLiteral(" s ") + kUnwatched + QStringLiteral(": ends at ") + EndText(end, at) +
                             QStringLiteral(" as planned") +
                             (earlier > 0 ? QStringLiteral(" (") + earlierText + QStringLiteral(": not recorded)")
                                          : QString()),
                         true);
                StartPlannedLine(line.slot, qint32(std::min<qint64>(leftMs, std::numeric_limits<qint32>::max())));
                return;
            }
            if (line.count == 1)
                TraceLog(-1, -1, -1,
                         task + QStringLiteral(" start of ") + TimingText(line.last) + QStringLiteral(" missed ") +
                             kUnwatched + QStringLiteral(": not recorded"),
                         true);
            else
                TraceLog(-1, -1, -1,
                         task + QStringLiteral(": ") + QString::number(line.count) +
                             QStringLiteral(" starts missed since ") + TimingText(line.first) + QLatin1Char(' ') +
                             kUnwatched + QStringLiteral(": not recorded"),
                         true);
        });
    }
}

}  // namespace

int PlannedRecorderNumber(const QString& recorderText) {
    QString rest = recorderText;
    rest.remove(QStringLiteral("Recorder"), Qt::CaseInsensitive);
    const double r = Val(rest);
    return r >= 0 && r < 1e6 ? int(r) : 0;
}

qint32 PlannedDurationMs(const QString& duree) {
    const double v = Val(duree);
    // Above what 32 bits of milliseconds hold, the longest duration they hold.
    qint64 minutes = v >= 0.5 ? qint64(std::min(v, 1e9) + 0.5) : 0;
    if (minutes <= 0) minutes = 5;
    return qint32(std::min<qint64>(minutes * 60 * 1000, std::numeric_limits<qint32>::max()));
}

PlanningRuntime& Planning() {
    static PlanningRuntime state;
    return state;
}

QTimer& TimerPlanning() {
    // Created on the event-loop thread at first use and kept for the whole
    // process (a timer destroyed after the application object would outlive
    // its event dispatcher).
    static QTimer* timer = [] {
        auto* t = new QTimer;
        t->setInterval(kIdlePeriodMs);
        QObject::connect(t, &QTimer::timeout, [] { TimerPlanning_Timer(); });
        return t;
    }();
    return *timer;
}

void ArmTimerPlanning(const QDateTime& now) {
    QTimer& timer = TimerPlanning();
    int period = kIdlePeriodMs;
    const QDateTime& next = Planning().nextStart;
    if (next.isValid()) {
        const qint64 left = now.msecsTo(next);
        // The last period of the approach ends just after the start.
        if (left <= kApproachMs) period = int(std::clamp<qint64>(left + 2, 10, kApproachPeriodMs));
    }
    if (timer.interval() != period || !timer.isActive()) timer.start(period);
}

void TimerPlanning_Timer() {
    ErrorTrap trap(QStringLiteral("FrmSetup:TimerPlanning_Timer"));
    PlanningRuntime& rt = Planning();
    if (ProgramQuitting()) {
        TimerPlanning().stop();
        return;
    }
    // The starts of this tick let events run: the timer comes back meanwhile.
    if (rt.firing) return;
    QDateTime timing, now;
    trap(10, [&] {
        now = CurrentClock().now();
        timing = rt.nextStart;
        if (timing.isValid()) ArmTimerPlanning(now);
    });
    // The last moment watched, when it is more than a moment ago: the
    // computer slept, the program was busy or the clock was put forward, and
    // what fell due meanwhile is looked for from there.
    const QDateTime since = rt.watched;
    if (timing.isValid() && since.isValid() && since < now.addMSecs(-kPlanningCatchUpMs)) {
        trap(15, [&] { ComputeNextTiming({}, false, since); });
        timing = rt.nextStart;
    }
    if (!timing.isValid() || now < timing) {
        // Nothing was due up to now.
        if (now.isValid()) rt.watched = now;
        return;
    }
    Flag firing(rt.firing);
    // Every start due by now, the lines of one moment together, then the next
    // timing. The starts take time (switcher, engine): what falls due
    // meanwhile is the next round.
    for (int round = 0; round < kPlanningSlots && timing.isValid() && !(now < timing); ++round) {
        trap(20, [&] { DealWithDueStarts(timing, now, since); });
        timing = rt.nextStart;
        now = CurrentClock().now();
    }
    rt.watched = now;
    trap(40, [&] { NextTimingAnalysis(); });
}

void PlanningRecordAuto(int index, qint32 durationMs, const QString& soundFile, const QString& podcast,
                        const QString& command) {
    ErrorTrap trap(QStringLiteral("Frm_Main:PlanningRecordAuto"));
    if (index < 0 || index >= kRecorders) return;
    Recorder& rec = Rec(index);
    // The switcher first: the line must be on the right source when the
    // recording starts. A closed port is traced and the recording goes on.
    trap(10, [&] {
        if (!command.trimmed().isEmpty()) SendPortCOM(command, QStringLiteral("COM: Data sended: "));
    });
    // What the recorder records now ends first.
    trap(30, [&] { rec.Stop(StopReason::Planning); });
    trap(40, [&] { TraceLog(-1, index, -1, QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:PlanningRecordAuto")); });
    trap(50, [&] {
        // The naming of the file asks nobody while the planning starts it.
        StartRequest request;
        request.Origin = CommandOrigin::Planning;
        request.Path = soundFile;
        request.DurationMs = durationMs;
        request.Podcast = podcast;
        rec.Start(request);
    });
    trap(60, [&] {
        if (rec.EngineRecording()) return;
        // Nothing records: the programme is lost unless somebody acts.
        rec.runtime().PlannedPodcast.clear();
        TraceLog(-1, index, -1,
                 QStringLiteral("Err: Start planning: Recorder ") + QString::number(index + 1) +
                     QStringLiteral(" did not start: the planned recording is not made") +
                     (soundFile.isEmpty() ? QString() : QStringLiteral(" (") + soundFile + QStringLiteral(")")),
                 true);
    });
}
