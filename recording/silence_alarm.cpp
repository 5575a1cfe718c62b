#include "recording/silence_alarm.h"

#include "platform/capture/active_sound_recorder.h"
#include "recording/recording.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/tracelog.h"

#include <QTimer>

#include <array>
#include <cmath>

namespace {

SilenceNotifier& Notifier() {
    static SilenceNotifier notifier;
    return notifier;
}

// The UDP target told of each recorder's silence in progress (-1 none): the
// end goes where the beginning went.
std::array<int, kRecorders>& ToldTargets() {
    static std::array<int, kRecorders> told = [] {
        std::array<int, kRecorders> a;
        a.fill(-1);
        return a;
    }();
    return told;
}

// Sent after the main timer's tick: a send waits in the event loop.
void Tell(int index, int target, bool on) {
    if (target < 0 || !Notifier()) return;
    QTimer::singleShot(0, [index, target, on] {
        if (Notifier()) Notifier()(index, target, on);
    });
}

std::optional<double> Number(QString text) {
    text = text.trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

QString Two(qint64 v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); }

// "Rec. 1 (Antenne)", or "Rec. 1" for a recorder without a label.
QString RecorderName(int index) {
    const QString label = Rec(index).config().Label.trimmed();
    const QString name = QStringLiteral("Rec. ") + QString::number(index + 1);
    return label.isEmpty() ? name : name + QStringLiteral(" (") + label + QLatin1Char(')');
}

}  // namespace

SilenceOptions ParseSilenceOptions(const QString& thresholdText, const QString& delayText) {
    SilenceOptions o;
    if (const auto t = Number(thresholdText)) o.thresholdDbfs = qBound(kSilenceThresholdLowest, *t, 0.0);
    if (const auto d = Number(delayText)) o.delaySeconds = int(qBound(0.0, std::round(*d), double(kSilenceDelayLongest)));
    return o;
}

SilenceWatch::Event SilenceWatch::Tick(qint64 tickMs, bool capturing, std::optional<double> peakDbfs,
                                       const SilenceOptions& options) {
    if (!capturing || !options.enabled()) {
        const bool wasOn = alarm_;
        silenceMs_ = wasOn ? tickMs - lastSound_ : 0;
        watching_ = false;
        alarm_ = false;
        return wasOn ? Event::Ended : Event::None;
    }
    // The watch starts with the capture: nothing is known before it.
    if (!watching_ || tickMs < lastSound_) {
        watching_ = true;
        lastSound_ = tickMs;
    }
    if (peakDbfs && *peakDbfs >= options.thresholdDbfs) {
        const bool wasOn = alarm_;
        silenceMs_ = tickMs - lastSound_;
        lastSound_ = tickMs;
        alarm_ = false;
        return wasOn ? Event::SoundBack : Event::None;
    }
    if (!alarm_ && tickMs - lastSound_ >= qint64(options.delaySeconds) * 1000) {
        alarm_ = true;
        silenceMs_ = tickMs - lastSound_;
        return Event::Raised;
    }
    return Event::None;
}

QString SilenceDurationText(qint64 ms) {
    const qint64 s = qMax<qint64>(0, (ms + 500) / 1000);
    if (s < 60) return QString::number(s) + QStringLiteral(" s");
    if (s < 3600) return QString::number(s / 60) + QStringLiteral(" min ") + Two(s % 60) + QStringLiteral(" s");
    return QString::number(s / 3600) + QStringLiteral(" h ") + Two(s / 60 % 60) + QStringLiteral(" min ") +
           Two(s % 60) + QStringLiteral(" s");
}

void FollowSilence(int index) {
    if (index < 0 || index >= kRecorders) return;
    ErrorTrap trap(QStringLiteral("Frm_Main:FollowSilence"));
    Recorder& rec = Rec(index);
    SilenceWatch& watch = rec.silence();
    SilenceOptions options;
    std::optional<double> peak;
    bool capturing = false;
    SilenceWatch::Event event = SilenceWatch::Event::None;
    trap(10, [&] {
        options = ParseSilenceOptions(rec.config().SilenceThreshold, rec.config().SilenceDelay);
    });
    trap(20, [&] {
        // Taken at every tick, so that the next one sees only its own samples.
        if (platform::ActiveSoundRecorder* engine = rec.engine()) {
            peak = engine->TakeInputPeakDbfs();
            capturing = rec.EngineRecording();
        }
    });
    trap(30, [&] { event = watch.Tick(CurrentClock().tickMs(), capturing, peak, options); });
    trap(40, [&] {
        const QString who = RecorderName(index);
        const QString length = SilenceDurationText(watch.silenceMs());
        QString text;
        switch (event) {
        case SilenceWatch::Event::None:
            return;
        case SilenceWatch::Event::Raised:
            text = who + QStringLiteral(": silence for ") + length + QStringLiteral(", input below ") +
                   QString::number(options.thresholdDbfs) + QStringLiteral(" dBFS");
            break;
        case SilenceWatch::Event::SoundBack:
            text = who + QStringLiteral(": end of silence, sound back after ") + length;
            break;
        case SilenceWatch::Event::Ended:
            text = who + QStringLiteral(": end of silence watch after ") + length + QStringLiteral(" of silence (") +
                   (capturing ? QStringLiteral("silence alarm turned off") : QStringLiteral("recording stopped")) +
                   QLatin1Char(')');
            break;
        }
        TraceLogEncadre(-1, index, -1, text, QStringLiteral("="), true);
        emit rec.StateChanged(index);
    });
    trap(50, [&] {
        int& told = ToldTargets()[size_t(index)];
        if (event == SilenceWatch::Event::Raised) {
            const int entry = rec.config().SilenceUdpEntry;
            told = entry >= 1 && entry <= 9 ? entry - 1 : -1;
            Tell(index, told, true);
        } else if (event == SilenceWatch::Event::SoundBack || event == SilenceWatch::Event::Ended) {
            Tell(index, told, false);
            told = -1;
        }
    });
}

void SetSilenceNotifier(SilenceNotifier notifier) { Notifier() = std::move(notifier); }

QString SilenceAlarmMessage(int recorder, bool on) {
    return QStringLiteral("<Do:Alarm><Recorder:") + QString::number(recorder + 1) + QStringLiteral("><Silence:") +
           (on ? QStringLiteral("On") : QStringLiteral("Off")) + QLatin1Char('>');
}

const SilenceWatch& SilenceWatchOf(int index) { return Rec(qBound(0, index, kRecorders - 1)).silence(); }

void ResetSilenceWatches() {
    for (int i = 0; i < kRecorders; ++i) Rec(i).silence() = SilenceWatch{};
    ToldTargets().fill(-1);
}
