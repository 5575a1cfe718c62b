#pragma once
// One recording of an engine: the capture source feeds a bounded lock-free
// ring from its own thread; one encoder thread drains the ring into the
// encoder (or into memory), flushes the file every second, reports the
// position every 100 ms, and finalises the file when the recording ends.
// Every event goes to the engine as a queued call on its thread, in order.
// The encoder thread also feeds the input's loudness measure and each file's
// sidecars with the blocks it encodes (recording_analysis.h).
#include "platform/capture/active_sound_recorder.h"
#include "platform/capture/capture_source.h"
#include "platform/capture/encoder_core.h"
#include "platform/capture/recording_analysis.h"
#include "platform/capture/spsc_ring.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

class RecordingSession : public capture::CaptureSink {
public:
    struct Config {
        int index = 0;
        capture::CaptureFormat format;
        bool memory = false;
        qint64 memoryLimitBytes = 0;
        // The ring holds this much audio: room for the encoder or the disk
        // to fall behind for a while; it is drained as soon as data arrives.
        int ringSeconds = 4;
        // With no data arriving (source stalled, recording paused), the
        // encoder thread still wakes this often to flush the file, watch
        // that it still exists and report overruns.
        int idleWakeMs = 1000;
        // The loudness measure of the input, and the first file's sidecars.
        bool measureLoudness = true;
        bool measureTruePeak = true;
        capture::RecordingAnalysis::FilePlan firstFile;
    };

    RecordingSession(ActiveSoundRecorder* owner, const Config& config, std::unique_ptr<capture::EncoderCore> encoder);
    ~RecordingSession() override;

    // Starts the capture; 0 or an engine code with a text.
    int StartCapture(std::unique_ptr<capture::CaptureSource> source, QString* errorText);
    // Starts the encoder thread (after RecordingStarted was posted).
    void Run();

    void RequestStop();
    void SetPaused(bool paused) { paused_ = paused; }
    bool Paused() const { return paused_.load(); }
    // The recording no longer runs: stop asked, or it ended by itself.
    bool Ending() const { return stop_.load() || ended_.load(); }
    bool IsMemory() const { return config_.memory; }
    const capture::CaptureFormat& Format() const { return config_.format; }
    // Hands over the next file; the switch happens between two blocks of
    // samples, so the new file starts with the sample after the old file's
    // last. False when a switch is already waiting. plan: the new file's
    // sidecars.
    bool ContinueInto(std::unique_ptr<capture::EncoderCore> next,
                      const capture::RecordingAnalysis::FilePlan& plan = {});
    void Join();

    qint64 PositionMs() const;
    quint64 Overruns() const { return overruns_.load(); }
    // Times the encoder thread woke up (for data, a stop, the next file, or
    // its idle period).
    quint64 DrainWakeups() const { return wakeups_.load(std::memory_order_relaxed); }
    QVector<float> Peaks() const;
    // Loudest sample of all channels (0..1) captured since the previous call;
    // -1 when nothing was captured meanwhile.
    float TakePeakHold() { return peakHold_.exchange(-1.0f, std::memory_order_relaxed); }
    // Loudest sample of each channel (0..1) captured since the previous call,
    // for the meters, whatever the size of the blocks; empty when nothing
    // was captured meanwhile.
    QVector<float> TakeMeterPeaks();
    // The input's loudness measure (null when not measured); read from any
    // thread.
    std::shared_ptr<capture::LoudnessMeter> Meter() const { return meter_; }

    // Capture thread.
    void onCaptured(const uint8_t* data, size_t frames) override;
    void onSourceLost(const QString& reason) override;

private:
    void post(std::function<void(ActiveSoundRecorder*)> call);
    void run();
    bool drain(int* errorCode, QString* errorText);
    void appendToMemory(const uint8_t* data, size_t frames);
    void switchFile(std::unique_ptr<capture::EncoderCore> next, const capture::RecordingAnalysis::FilePlan& plan);
    void postPosition();

    ActiveSoundRecorder* owner_;
    Config config_;
    std::unique_ptr<capture::EncoderCore> encoder_;
    capture::RecordingAnalysis analysis_;  // encoder thread
    std::shared_ptr<capture::LoudnessMeter> meter_;
    std::unique_ptr<capture::CaptureSource> source_;
    capture::SpscRing ring_;
    std::vector<uint8_t> chunk_;
    QByteArray memory_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> lost_{false};
    std::atomic<bool> ended_{false};
    std::atomic<bool> paused_{false};
    bool fileLostReported_ = false;  // encoder thread
    std::atomic<float> meterPeaks_[2] = {-1.0f, -1.0f};  // -1: nothing since the last take
    std::atomic<quint64> frames_{0};
    std::atomic<quint64> overruns_{0};
    std::atomic<float> peaks_[2] = {0.0f, 0.0f};
    std::atomic<float> peakHold_{-1.0f};
    std::atomic<quint64> wakeups_{0};

    std::mutex m_;
    std::condition_variable cv_;
    QString lostReason_;
    bool dataReady_ = false;  // guarded by m_: the capture wrote into the ring
    std::unique_ptr<capture::EncoderCore> next_;
    capture::RecordingAnalysis::FilePlan nextPlan_;
    std::thread thread_;
};

}  // namespace platform
