#include "platform/capture/test_tone.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform::capture {

void TestToneSource::Generate(const CaptureFormat& format, uint64_t first, size_t frames, uint8_t* out) {
    const double step = 2.0 * M_PI * kTestToneFrequency / format.rate;
    const int channels = format.channels;
    for (size_t i = 0; i < frames; ++i) {
        // The phase is taken modulo one period of the tone's cycle over the
        // rate so that it stays exact after months of frames.
        const uint64_t n = (first + i) % static_cast<uint64_t>(format.rate);
        const double v = kTestToneAmplitude * std::sin(step * static_cast<double>(n));
        for (int c = 0; c < channels; ++c) {
            switch (format.bits) {
            case 8:
                *out++ = static_cast<uint8_t>(std::lround(128.0 + v * 127.0));
                break;
            case 16: {
                const int16_t s = static_cast<int16_t>(std::lround(v * 32767.0));
                std::memcpy(out, &s, 2);
                out += 2;
                break;
            }
            default: {
                int32_t s = static_cast<int32_t>(std::llround(v * 2147483647.0));
                if (format.bits == 24) s &= ~0xff;
                std::memcpy(out, &s, 4);
                out += 4;
                break;
            }
            }
        }
    }
}

int TestToneSource::start(CaptureSink* sink, QString* errorText) {
    if (!format_.valid()) {
        if (errorText) *errorText = QStringLiteral("test tone: invalid format");
        return -53;
    }
    stop();
    sink_ = sink;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
    return 0;
}

void TestToneSource::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void TestToneSource::run() {
    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    uint64_t produced = 0;
    std::vector<uint8_t> buffer;
    while (!stop_.load()) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(clock::now() - t0).count();
        const uint64_t due = static_cast<uint64_t>(elapsed) * static_cast<uint64_t>(format_.rate) / 1000000u;
        if (due > produced) {
            const size_t frames = static_cast<size_t>(due - produced);
            buffer.resize(frames * static_cast<size_t>(format_.bytesPerFrame()));
            Generate(format_, produced, frames, buffer.data());
            sink_->onCaptured(buffer.data(), frames);
            produced = due;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace platform::capture
