#include "recording/input_levels.h"

#include "platform/capture/active_sound_recorder.h"
#include "platform/capture/level_monitor.h"
#include "recording/recording.h"

#include <array>

namespace {

using platform::capture::LevelMonitor;

// The sound server's name of the device each recorder shows, looked up again
// only when its choice of device changes.
struct Choice {
    int device = -2;
    QString source;
};
std::array<Choice, kRecorders> g_choice;

QString SourceOf(int i, platform::ActiveSoundRecorder* engine) {
    const int device = Rec(i).BoundDevice();
    Choice& c = g_choice[size_t(i)];
    if (device != c.device) {
        c.device = device;
        c.source = device >= 0 ? engine->InputDeviceSystemName(device) : QString();
        // The built-in test tone is no source of the sound server.
        if (c.source == QStringLiteral("test-tone")) c.source.clear();
    }
    return c.source;
}

void Stop(int i) {
    if (LevelMonitor::Instance().Watching(i)) LevelMonitor::Instance().Unwatch(i);
}

}  // namespace

QVector<float> RecorderInputPeaks(int i) {
    if (i < 0 || i >= kRecorders) return {};
    platform::ActiveSoundRecorder* engine = Rec(i).engine();
    if (!engine || i >= RecordersInService()) {
        Stop(i);
        return {};
    }
    if (engine->RecorderStatus() != platform::StatusNone) {
        // Recording: the engine's own levels; no second stream on the device.
        Stop(i);
        return engine->TakePeakLevels();
    }
    // A device that is not there shows no level, never another device's.
    const QString source = Rec(i).health().WaitingForDevice ? QString() : SourceOf(i, engine);
    if (source.isEmpty()) {
        Stop(i);
        return {};
    }
    LevelMonitor::Instance().Watch(i, source);
    // The idle stream measures the loudness too, in the recorder's channels.
    const QString quality = Rec(i).config().QualityText;
    LevelMonitor::Instance().MeasureLoudness(i, quality.contains(QStringLiteral("mono"), Qt::CaseInsensitive) ? 1 : 2);
    return LevelMonitor::Instance().TakePeaks(i);
}

platform::capture::LoudnessSnapshot RecorderLoudness(int i) {
    if (i < 0 || i >= kRecorders) return {};
    platform::ActiveSoundRecorder* engine = Rec(i).engine();
    if (engine && Rec(i).EngineRecording()) return engine->Loudness();
    if (LevelMonitor::Instance().Watching(i)) return LevelMonitor::Instance().Loudness(i);
    return {};
}

void ResetRecorderTruePeak(int i) {
    if (i < 0 || i >= kRecorders) return;
    platform::ActiveSoundRecorder* engine = Rec(i).engine();
    if (engine && Rec(i).EngineRecording()) engine->ResetTruePeak();
    else if (LevelMonitor::Instance().Watching(i)) LevelMonitor::Instance().ResetTruePeak(i);
}

bool IdleLevelsRunning(int i) { return LevelMonitor::Instance().Watching(i); }

QString IdleLevelsSource(int i) {
    if (!IdleLevelsRunning(i) || i < 0 || i >= kRecorders) return {};
    return g_choice[size_t(i)].source;
}

void StopIdleLevelsOf(int i) {
    if (i >= 0 && i < kRecorders) Stop(i);
}

void StopIdleLevels() {
    LevelMonitor::Instance().UnwatchAll();
    for (Choice& c : g_choice) c = Choice{};
}
