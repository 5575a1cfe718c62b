#include "recording/loudness_alarm.h"

#include "recording/input_levels.h"
#include "recording/recording.h"
#include "recording/silence_alarm.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/tracelog.h"

#include <QTimer>
#include <array>
#include <cmath>

namespace {

constexpr double kGate = -70.0;  // LUFS: below, the measure counts no audio

std::array<LoudnessWatch, kRecorders>& Watches() {
    static std::array<LoudnessWatch, kRecorders> w;
    return w;
}

std::array<int, kRecorders>& Told() {
    static std::array<int, kRecorders> told = [] {
        std::array<int, kRecorders> a;
        a.fill(-1);
        return a;
    }();
    return told;
}

LoudnessNotifier& Notifier() {
    static LoudnessNotifier n;
    return n;
}

std::optional<double> Number(QString text) {
    text = text.trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

QString One(double v) { return QString::number(v, 'f', 1); }

QString Who(int i) {
    const QString label = Rec(i).config().Label.trimmed();
    const QString name = QStringLiteral("Rec. ") + QString::number(i + 1);
    return label.isEmpty() ? name : name + QStringLiteral(" (") + label + QLatin1Char(')');
}

}  // namespace

LoudnessOptions ParseLoudnessOptions(const QString& target, const QString& tolerance, const QString& delay) {
    LoudnessOptions o;
    if (const auto t = Number(target)) o.targetLufs = qBound(-70.0, *t, 0.0);
    if (const auto t = Number(tolerance)) o.toleranceLu = qBound(0.5, *t, 20.0);
    if (const auto d = Number(delay)) o.delaySeconds = int(qBound(0.0, std::round(*d), 86400.0));
    return o;
}

LoudnessWatch::Event LoudnessWatch::Tick(qint64 tickMs, bool recording, std::optional<double> value,
                                         const LoudnessOptions& options) {
    if (!recording || !options.enabled()) {
        pending_ = Side::Within;
        if (alarm_ == Side::Within) return Event::None;
        outMs_ = tickMs - outStart_;
        alarm_ = Side::Within;
        return Event::Ended;
    }
    Side now = Side::Within;
    if (value && *value > kGate) {
        last_ = *value;
        if (*value > options.targetLufs + options.toleranceLu) now = Side::High;
        else if (*value < options.targetLufs - options.toleranceLu) now = Side::Low;
    } else if (!value) {
        return Event::None;  // nothing measured: no change either way
    }
    if (now != pending_) {
        pending_ = now;
        since_ = tickMs;
    }
    if (alarm_ != Side::Within && now != alarm_) {
        // Back within the tolerance (or over to the other side: a new alarm follows).
        outMs_ = tickMs - outStart_;
        alarm_ = Side::Within;
        return Event::Ended;
    }
    if (alarm_ == Side::Within && now != Side::Within && tickMs - since_ >= qint64(options.delaySeconds) * 1000) {
        alarm_ = now;
        outStart_ = since_;
        outMs_ = tickMs - since_;
        return Event::Raised;
    }
    return Event::None;
}

QString LoudnessAlarmMessage(int recorder, LoudnessWatch::Side side) {
    const QString word = side == LoudnessWatch::Side::High ? QStringLiteral("High")
                         : side == LoudnessWatch::Side::Low ? QStringLiteral("Low")
                                                             : QStringLiteral("Off");
    return QStringLiteral("<Do:Alarm><Recorder:") + QString::number(recorder + 1) + QStringLiteral("><Loudness:") +
           word + QLatin1Char('>');
}

void SetLoudnessNotifier(LoudnessNotifier notifier) { Notifier() = std::move(notifier); }

void FollowLoudness(int index) {
    if (index < 0 || index >= kRecorders) return;
    ErrorTrap trap(QStringLiteral("Frm_Main:FollowLoudness"));
    Recorder& rec = Rec(index);
    LoudnessWatch& watch = Watches()[size_t(index)];
    const RecorderConfig& c = rec.config();
    const LoudnessOptions options = ParseLoudnessOptions(c.LoudnessTarget, c.LoudnessTolerance, c.LoudnessDelay);
    const bool recording = rec.EngineRecording() && !rec.PauseWanted();
    std::optional<double> value;
    if (recording && options.enabled()) {
        const platform::capture::LoudnessSnapshot s = RecorderLoudness(index);
        if (s.valid && std::isfinite(s.shortTermLufs)) value = s.shortTermLufs;
    }
    const LoudnessWatch::Side before = watch.side();
    const LoudnessWatch::Event event = watch.Tick(CurrentClock().tickMs(), recording, value, options);
    if (event == LoudnessWatch::Event::None) return;
    trap(10, [&] {
        const QString range = One(options.targetLufs) + QStringLiteral(" LUFS \u00b1 ") + One(options.toleranceLu) + QStringLiteral(" LU");
        QString text;
        if (event == LoudnessWatch::Event::Raised) {
            text = Who(index) + (watch.side() == LoudnessWatch::Side::High ? QStringLiteral(": too loud for ")
                                                                             : QStringLiteral(": too quiet for ")) +
                   SilenceDurationText(watch.outMs()) + QStringLiteral(": short-term loudness ") + One(watch.lastValue()) +
                   QStringLiteral(" LUFS, target ") + range;
        } else {
            text = Who(index) + QStringLiteral(": end of loudness alarm (") +
                   (before == LoudnessWatch::Side::High ? QStringLiteral("too loud") : QStringLiteral("too quiet")) +
                   QStringLiteral(") after ") + SilenceDurationText(watch.outMs()) +
                   (recording ? QString() : QStringLiteral(", recording stopped"));
        }
        TraceLogEncadre(-1, index, -1, text, QStringLiteral("="), true);
        emit rec.StateChanged(index);
    });
    trap(20, [&] {
        int& told = Told()[size_t(index)];
        if (event == LoudnessWatch::Event::Raised) {
            const int entry = c.SilenceUdpEntry;
            told = entry >= 1 && entry <= 9 ? entry - 1 : -1;
        }
        const int target = told;
        if (event == LoudnessWatch::Event::Ended) told = -1;
        if (target < 0 || !Notifier()) return;
        const QString message = LoudnessAlarmMessage(index, watch.side());
        // Sent after the main timer's tick: a send waits in the event loop.
        QTimer::singleShot(0, [index, target, message] {
            if (Notifier()) Notifier()(index, target, message);
        });
    });
}

const LoudnessWatch& LoudnessWatchOf(int index) { return Watches()[size_t(qBound(0, index, kRecorders - 1))]; }

void ResetLoudnessWatches() {
    Watches().fill(LoudnessWatch{});
    Told().fill(-1);
}
