#pragma once
// Loudness alarm of the recorders: a recording whose short-term loudness
// (EBU R 128, 3 s) stays outside its target plus or minus its tolerance for
// longer than a delay is an incident naming the recorder and the side
// ("too loud", "too quiet"), and again when it comes back within the
// tolerance; the UDP target of the silence alarm is told
// "<Do:Alarm><Recorder:n><Loudness:High>", "Low" or "Off". Digital silence
// and what the measure gates out (below -70 LUFS) belong to the silence
// alarm, not to this one.
//
// Settings, per recorder (section Recorder_NN): "LoudnessCible" target in
// LUFS (default -23), "LoudnessTolerance" in LU (default 2), "LoudnessDelai"
// in seconds (default 60; 0 turns the alarm off).
#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

struct LoudnessOptions {
    double targetLufs = -23.0;
    double toleranceLu = 2.0;
    int delaySeconds = 60;
    bool enabled() const { return delaySeconds > 0; }
};
// From the texts of the settings (decimal comma accepted); a text that is
// not a number gives the default; target within -70..0, tolerance 0.5..20,
// delay 0..86400 s.
LoudnessOptions ParseLoudnessOptions(const QString& target, const QString& tolerance, const QString& delay);

class LoudnessWatch {
public:
    enum class Side { Within, High, Low };
    enum class Event { None, Raised, Ended };
    // One look. recording: the recorder records; shortTerm: the live
    // short-term value (empty when not measurable); tickMs: monotonic time.
    Event Tick(qint64 tickMs, bool recording, std::optional<double> shortTerm, const LoudnessOptions& options);
    Side side() const { return alarm_; }
    // How long the loudness was out when the alarm rose, or was out at its end (ms).
    qint64 outMs() const { return outMs_; }
    double lastValue() const { return last_; }

private:
    Side alarm_ = Side::Within;
    Side pending_ = Side::Within;
    qint64 since_ = 0;
    qint64 outStart_ = 0;
    qint64 outMs_ = 0;
    double last_ = 0;
};

// "<Do:Alarm><Recorder:n><Loudness:High>" ("Low", "Off").
QString LoudnessAlarmMessage(int recorder, LoudnessWatch::Side side);
// Tells a UDP target of a loudness alarm: recorder, target 0..8, message.
using LoudnessNotifier = std::function<void(int recorder, int target, const QString& message)>;
void SetLoudnessNotifier(LoudnessNotifier notifier);

// The main timer's step for one recorder in service (once a second is
// enough; more often reads nothing new).
void FollowLoudness(int index);
const LoudnessWatch& LoudnessWatchOf(int index);
void ResetLoudnessWatches();
