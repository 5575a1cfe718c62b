#pragma once
// The level of a sound-server source while nothing records from it, for the
// meters: a peak-detecting capture stream of 25 frames a second, in 32-bit
// float. The server reduces the audio to its peaks itself, so this process
// receives a few hundred bytes a second per source and does no pass over the
// audio. The monitor has its own connection to the server, on its own
// threaded main loop; the peaks are posted to the event-loop thread, where
// TakePeaks hands them out. Every method is called on the event-loop thread,
// but Loudness and ResetTruePeak (any thread).
//
// On demand (MeasureLoudness), a key's stream carries the audio itself
// instead, at the source's rate in 32-bit float, 100 ms at a time: its
// loudness is measured as a recording measures it (loudness_meter.h), on the
// monitor's own thread, and the meters' peaks come from the same samples.
#include "platform/capture/loudness_meter.h"

#include <QString>
#include <QVector>

namespace platform::capture {

class LevelMonitor {
public:
    static LevelMonitor& Instance();

    static constexpr int kRate = 25;          // frames a second of a stream
    static constexpr int kRetryDelayMs = 2000;  // after a failed stream or connection

    // Measures the source of that server name under `key` (a recorder). The
    // same call again costs nothing; another source replaces the first. A
    // source that is not there, or a server that is not, is tried again
    // every two seconds for as long as the key is watched.
    void Watch(int key, const QString& sourceName);
    void Unwatch(int key);
    void UnwatchAll();
    bool Watching(int key) const;
    // A stream delivers the key's peaks now.
    bool Streaming(int key) const;
    // The loudest peaks (0..1, per channel, two channels) that reached the
    // event-loop thread since the previous call; the previous answer when
    // nothing new came; empty when the key has had no peaks yet.
    QVector<float> TakePeaks(int key);
    // Peaks received by the event-loop thread for this key so far (tests).
    quint64 Deliveries(int key) const;

    // Loudness of the key's source while it is watched, in `channels` (1 or
    // 2, as the recorder would record it; the server mixes), 0 to stop
    // measuring. Kept across Watch calls; a change reopens the stream.
    void MeasureLoudness(int key, int channels);
    // As ActiveSoundRecorder::Loudness, since the measure started: not
    // valid while nothing is measured. Any thread.
    LoudnessSnapshot Loudness(int key) const;
    void ResetTruePeak(int key);

    struct Impl;

private:
    LevelMonitor();
    Impl* d;
};

}  // namespace platform::capture
