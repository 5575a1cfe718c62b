// Planned recordings: the planning timer and the start of a planned line.
#include "planning/planning_execution.h"

#include "core/frm_main.h"
#include "planning/next_timing.h"
#include "planning/planning_state.h"
#include "remote/serial_link.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <algorithm>
#include <limits>

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

// Starts planning slot k, whose start named `occurrence` has come.
void StartPlannedLine(int k, const QDateTime& occurrence) {
    ErrorTrap trap(QStringLiteral("FrmSetup:TimerPlanning_Timer"));
    PlanningRuntime& rt = Planning();
    // Made from now on, whatever follows: never the same start twice.
    rt.made[size_t(k)] = {occurrence, CurrentClock().tickMs()};
    const QString file = NomFichierSettings(QStringLiteral(".Ini"), QString());
    const QString sec = QStringLiteral("Planning_") + N2S(k, 3, 0, QStringLiteral("0"));
    auto read = [&](const char* key) { return LectureIni(file, sec, QLatin1String(key), QString()); };
    QString recorderText, soundFile, podcast, command;
    int number = 0, index = -1;
    qint32 durationMs = 0;
    trap(10, [&] {
        recorderText = read("Recorder");
        number = PlannedRecorderNumber(recorderText);
        index = number >= 1 && number <= kRecorders ? number - 1 : -1;
        durationMs = PlannedDurationMs(read("Duree"));
        soundFile = read("DossierFichierSon");
        command = read("ASC82Plus");
        podcast = read("PodcastFlux");
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
        if (Setup().CheckPigeAntenne[size_t(index)].checked()) {
            TraceLog(-1, index, -1, QStringLiteral("Planning: Task wished but Pipe on Pige mode"), true);
            return;
        }
        PlanningRecordAuto(index, durationMs, soundFile, podcast, command);
    });
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
    if (S().QuitRequested) {
        TimerPlanning().stop();
        return;
    }
    // The starts of this tick let events run: the timer comes back meanwhile.
    if (rt.firing) return;
    QDateTime timing, now;
    trap(10, [&] {
        if (Setup().TextProchainTiming.text().trimmed().isEmpty()) return;
        timing = rt.nextStart;
        now = CurrentClock().now();
        if (timing.isValid()) ArmTimerPlanning(now);
    });
    if (!timing.isValid() || now < timing) return;
    Flag firing(rt.firing);
    // Every line due now starts, the others of the same moment included; then
    // the next timing.
    for (int n = 0; n < kPlanningSlots && timing.isValid() && !(now < timing); ++n) {
        const int k = Setup().NextPlanningLine;
        if (k < 0 || k >= kPlanningSlots) break;
        const QDateTime started = timing;
        trap(20, [&] { StartPlannedLine(k, started); });
        trap(30, [&] { ComputeNextTiming(started, false); });
        timing = rt.nextStart;
        now = CurrentClock().now();
    }
    trap(40, [&] { NextTimingAnalysis(); });
}

void PlanningRecordAuto(int index, qint32 durationMs, const QString& soundFile, const QString& podcast,
                        const QString& command) {
    ErrorTrap trap(QStringLiteral("Frm_Main:PlanningRecordAuto"));
    if (index < 0 || index >= kRecorders) return;
    RecorderSlot& slot = S().slot[size_t(index)];
    bool started = false;
    // The switcher first: the line must be on the right source when the
    // recording starts. A closed port is traced and the recording goes on.
    trap(10, [&] {
        if (!command.trimmed().isEmpty()) SendPortCOM(command, QStringLiteral("COM: Data sended: "));
    });
    {
        // The naming of the file asks nobody while the planning starts it.
        Flag planning(slot.PlanningStartFlag);
        trap(20, [&] {
            slot.PlannedDuration = 0;
            slot.PendingFilePath = soundFile;
            slot.PlannedPodcast = podcast;
        });
        // What the recorder records now ends first.
        trap(30, [&] { BtnStopOn(index); });
        trap(40, [&] {
            S().main.rec[size_t(index)].XPButtonRecord.setChecked(true);
            TraceLog(-1, index, -1, QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:PlanningRecordAuto"));
        });
        trap(50, [&] { BtnRecordOn(index); });
        trap(60, [&] {
            started = RecorderEngineRecording(index);
            if (started) {
                slot.PlannedDuration = durationMs;
                return;
            }
            // Nothing records: the programme is lost unless somebody acts.
            slot.PendingFilePath.clear();
            slot.PlannedPodcast.clear();
            TraceLog(-1, index, -1,
                     QStringLiteral("Err: Start planning: Recorder ") + QString::number(index + 1) +
                         QStringLiteral(" did not start: the planned recording is not made") +
                         (soundFile.isEmpty() ? QString() : QStringLiteral(" (") + soundFile + QStringLiteral(")")),
                     true);
        });
    }
}
