#pragma once
// The built-in test device: a 1000 Hz sine at -6 dBFS, produced in real time
// at the requested format by a timer thread. Only listed when asked for.
#include "platform/capture/capture_source.h"

#include <atomic>
#include <thread>

namespace platform::capture {

constexpr double kTestToneFrequency = 1000.0;
constexpr double kTestToneAmplitude = 0.5;  // -6 dBFS

class TestToneSource : public CaptureSource {
public:
    explicit TestToneSource(const CaptureFormat& format) : format_(format) {}
    ~TestToneSource() override { stop(); }
    int start(CaptureSink* sink, QString* errorText) override;
    void stop() override;

    // Fills `frames` frames of the tone starting at absolute frame `first`.
    static void Generate(const CaptureFormat& format, uint64_t first, size_t frames, uint8_t* out);

private:
    void run();
    CaptureFormat format_;
    CaptureSink* sink_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace platform::capture
