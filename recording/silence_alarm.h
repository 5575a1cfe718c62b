#pragma once
// Silence alarm of the recorders. An input that stays below a threshold for
// longer than a delay while its recorder captures is written as an incident
// naming the recorder ("silence"), and again when the sound comes back. The
// level is the loudest sample the capture engine saw between two ticks of the
// main timer (the pass that feeds the meters); durations are measured on the
// program clock's monotonic tick, so that a change of the wall clock neither
// raises nor hides an alarm.
//
// Settings, per recorder (section Recorder_NN of the settings file, fields of
// the recorder's tab of the setup window):
//   "SilenceSeuil"  threshold in dBFS, default "-50" (TexteSilenceSeuil)
//   "SilenceDelai"  delay in seconds, default "30"; 0 turns the alarm off
//                   (TexteSilenceDelai)
//   "SilenceUDP"    "00" no notification, "01".."09" the UDP target told of
//                   the alarm (ComboSilenceUDP)
#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

constexpr double kSilenceThresholdDefault = -50.0;  // dBFS
constexpr int kSilenceDelayDefault = 30;            // seconds
constexpr double kSilenceThresholdLowest = -120.0;  // dBFS
constexpr int kSilenceDelayLongest = 86400;         // seconds

struct SilenceOptions {
    double thresholdDbfs = kSilenceThresholdDefault;
    int delaySeconds = kSilenceDelayDefault;
    bool enabled() const { return delaySeconds > 0; }
};

// The options from the texts of the two fields. A text that is not a number
// gives the default (a decimal comma is accepted); the threshold is kept
// within -120..0 dBFS, the delay within 0..86400 s (negative means off).
SilenceOptions ParseSilenceOptions(const QString& thresholdText, const QString& delayText);

// The watch of one recorder, driven by the main timer.
class SilenceWatch {
public:
    enum class Event {
        None,
        Raised,     // silent for the delay: the alarm is on
        SoundBack,  // the alarm was on and the input is above the threshold again
        Ended,      // the alarm was on and the watch stopped (recording ended, alarm turned off)
    };

    // One tick. capturing: the recorder's engine records or pauses; peakDbfs:
    // the loudest sample since the previous tick (empty when nothing was
    // captured meanwhile, which counts as silence); tickMs: monotonic time.
    Event Tick(qint64 tickMs, bool capturing, std::optional<double> peakDbfs, const SilenceOptions& options);

    bool alarmOn() const { return alarm_; }
    // Length of the silence at the last event (ms).
    qint64 silenceMs() const { return silenceMs_; }

private:
    bool watching_ = false;
    bool alarm_ = false;
    qint64 lastSound_ = 0;
    qint64 silenceMs_ = 0;
};

// "45 s", "1 min 05 s", "2 h 03 min 10 s".
QString SilenceDurationText(qint64 ms);

// Tells another system of a silence: recorder index, UDP target (0..8) and
// whether the silence begins (true) or ends. Installed by the remote-control
// part of the program; the alarm itself works without it.
using SilenceNotifier = std::function<void(int recorder, int target, bool on)>;
void SetSilenceNotifier(SilenceNotifier notifier);
// The datagram of a silence notification:
// "<Do:Alarm><Recorder:" + (recorder + 1) + "><Silence:On>" (or "Off").
QString SilenceAlarmMessage(int recorder, bool on);

// The main timer's step for one recorder in service: options from the setup
// window, level from the engine, incidents in the trace log.
void FollowSilence(int index);
// The watch of a recorder (tests).
const SilenceWatch& SilenceWatchOf(int index);
// Tests: every watch back to its start.
void ResetSilenceWatches();
