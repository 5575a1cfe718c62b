// A recording that is wanted (its record button is checked) but whose engine
// stopped on a failure, or could not start, is started again by the program:
// a first attempt within two seconds, then less and less often, at most ten
// seconds apart, and at once when a device arrives. One incident tells the
// loss and its cause, one the recovery and the length of the gap; attempts
// that fail in between are traced when their cause changes, and otherwise
// once every ten minutes.
#include "platform/capture/active_sound_recorder.h"
#include "recording/recording.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/tracelog.h"

namespace {

// First attempt after the loss, then doubling up to the longest interval.
constexpr qint64 kFirstRetryMs = 1000;
constexpr qint64 kLongestRetryMs = 10000;
// A new take ends the loss once it has recorded this long: a take that fails
// at once (a disk still full) continues the same loss.
constexpr qint64 kStableTakeMs = 3000;
// A failed attempt whose cause has not changed is traced this often.
constexpr qint64 kRetryTraceMs = 10 * 60 * 1000;

qint64 Now() { return CurrentClock().tickMs(); }

RecorderHealth& Health(int i) { return Rec(i).health(); }

QString RecName(int i) { return QStringLiteral("Rec. ") + QString::number(i + 1); }

void Incident(int i, const QString& text) { TraceLogEncadre(-1, i, -1, text, QStringLiteral("="), true); }

qint64 RetryDelay(int retries) {
    qint64 delay = kFirstRetryMs;
    for (int k = 1; k < retries && delay < kLongestRetryMs; ++k) delay *= 2;
    return std::min(delay, kLongestRetryMs);
}

// "4.2 s", "3 min 12 s", "2 h 05 min 10 s".
QString GapText(qint64 ms) {
    if (ms < 60000) return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
    const qint64 s = ms / 1000;
    if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min %3 s")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

bool Wanted(int i) { return Rec(i).Wanted(); }

void EndRecovery(int i) {
    RecorderHealth& h = Health(i);
    h.Lost = false;
    h.Retries = 0;
    h.RestartTick = 0;
    h.RetryCause.clear();
    h.IncidentGiven = false;
    h.IncidentCause.clear();
    h.PlannedEndTick = 0;
}

void Recovered(int i) {
    RecorderHealth& h = Health(i);
    const qint64 gap = std::max<qint64>(0, h.RestartTick - h.LostTick);
    Incident(i, RecName(i) + QStringLiteral(": recording resumed after a gap of ") + GapText(gap) +
                    QStringLiteral(" (") + QString::number(h.Retries) + QStringLiteral(" attempt(s))"));
    EndRecovery(i);
}

// A planned recording lost on the way keeps its planned end.
bool PlannedEndPassed(int i) {
    RecorderHealth& h = Health(i);
    if (h.PlannedEndTick == 0) return false;
    const qint64 left = h.PlannedEndTick - Now();
    if (left > 0) {
        Rec(i).runtime().PlannedDuration = qint32(left);
        return false;
    }
    return true;
}

void Attempt(int i) {
    RecorderHealth& h = Health(i);
    h.Retries++;
    h.NextRetryTick = Now() + RetryDelay(h.Retries + 1);
    if (PlannedEndPassed(i)) {
        TraceLog(-1, i, -1, RecName(i) + QStringLiteral(": the planned duration ended during the loss"));
        Rec(i).Abandon(QStringLiteral("Frm_Main:RecoveryTick"));
        Rec(i).runtime().PlannedDuration = 0;
        Rec(i).runtime().PlannedPodcast.clear();
        EndRecovery(i);
        return;
    }
    // Nothing to try while the device is away: its arrival brings the next attempt.
    if (h.WaitingForDevice) {
        RecorderLost(i, h.MissingDevice.isEmpty() ? SoundServerMissingText() : DeviceMissingText(h.MissingDevice),
                     false, false);
        return;
    }
    Rec(i).RestartLost();
}

}  // namespace

QString SoundServerMissingText() { return QStringLiteral("the sound server is not available"); }

QString DeviceMissingText(const QString& device) {
    return QStringLiteral("device ") + device + QStringLiteral(" is not there");
}

void RecorderLost(int index, const QString& cause, bool incident, bool notStarted) {
    ErrorTrap trap(QStringLiteral("Frm_Main:RecorderLost"));
    trap(10, [&] {
        CheckRecorderIndex(index);
        RecorderHealth& h = Health(index);
        h.LastError = cause;
        h.RestartTick = 0;
        const qint64 now = Now();
        if (!h.Lost) {
            h.Lost = true;
            h.LostTick = now;
            h.Retries = 0;
            h.NextRetryTick = now + kFirstRetryMs;
            h.RetryCause = cause;
            h.RetryTraceTick = now;
            const Recorder& r = Rec(index);
            h.PlannedEndTick = 0;
            if (r.runtime().PlannedDuration > 0) {
                const qint64 done = r.PositionMs();
                h.PlannedEndTick = now + std::max<qint64>(0, r.runtime().PlannedDuration - done);
            }
            const QString text = RecName(index) +
                                 (notStarted ? QStringLiteral(": recording not started: ") : QStringLiteral(": recording lost: ")) +
                                 cause + QStringLiteral("; the program keeps trying");
            if (incident && !h.IncidentGiven && cause != h.IncidentCause) {
                h.IncidentGiven = true;
                h.IncidentCause = cause;
                Incident(index, text);
            } else {
                TraceLog(-1, index, -1, text);
            }
            return;
        }
        // A failed attempt: traced when its cause changes, else now and then.
        if (cause != h.RetryCause || now - h.RetryTraceTick >= kRetryTraceMs) {
            TraceLog(-1, index, -1,
                     RecName(index) + QStringLiteral(": not recording since ") + GapText(now - h.LostTick) +
                         QStringLiteral(" (") + QString::number(h.Retries) + QStringLiteral(" attempt(s)): ") + cause +
                         QStringLiteral("; next attempt in ") + GapText(std::max<qint64>(0, h.NextRetryTick - now)));
            h.RetryCause = cause;
            h.RetryTraceTick = now;
        }
    });
}

void RecorderStartAccepted(int index) {
    if (index < 0 || index >= kRecorders) return;
    RecorderHealth& h = Health(index);
    if (h.Lost && h.RestartTick == 0) h.RestartTick = Now();
}

bool RecorderQuietRetry(int index) {
    if (index < 0 || index >= kRecorders) return false;
    const RecorderHealth& h = Health(index);
    return h.Lost && h.Retries > 1;
}

void RetryRecorderNow(int index) {
    if (index < 0 || index >= kRecorders) return;
    RecorderHealth& h = Health(index);
    if (h.Lost) h.NextRetryTick = std::min(h.NextRetryTick, Now());
}

void RecoveryTick() {
    ErrorTrap trap(QStringLiteral("Frm_Main:RecoveryTick"));
    if (ProgramQuitting() || ProgramUnloading()) return;
    const int n = RecordersInService();
    for (int i = 0; i < n; ++i) {
        trap(10, [&] {
            RecorderHealth& h = Health(i);
            if (!h.Lost) return;
            if (!Wanted(i)) {
                TraceLog(-1, i, -1, RecName(i) + QStringLiteral(": recording no longer wanted, no further attempt"));
                EndRecovery(i);
                return;
            }
            if (Rec(i).EngineRecording()) {
                if (h.RestartTick == 0) h.RestartTick = Now();
                if (Now() - h.RestartTick >= kStableTakeMs) Recovered(i);
                return;
            }
            h.RestartTick = 0;
            if (Now() < h.NextRetryTick) return;
            Attempt(i);
        });
        if (ProgramQuitting()) break;
    }
}

void ResetRecoveryState() {
    for (int i = 0; i < kRecorders; ++i) Rec(i).health() = RecorderHealth{};
}
