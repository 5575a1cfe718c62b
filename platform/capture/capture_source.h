#pragma once
// What a capture device delivers and how a recording receives it.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform::capture {

// Interleaved little-endian PCM as it travels from the device to the
// encoder: 8 bits unsigned, 16 bits signed, 24 and 32 bits as signed 32-bit
// words (24-bit samples in the upper three bytes).
struct CaptureFormat {
    int rate = 44100;
    int channels = 2;
    int bits = 16;
    int bytesPerSample() const { return bits == 8 ? 1 : bits == 16 ? 2 : 4; }
    int bytesPerFrame() const { return bytesPerSample() * channels; }
    bool valid() const {
        return rate >= 8000 && rate <= 192000 && (channels == 1 || channels == 2) &&
               (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    }
};

// Receiver of captured audio. Called on the device's own thread; must not
// block.
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    virtual void onCaptured(const uint8_t* data, size_t frames) = 0;
    // The device went away (removed, server gone); no more data will come.
    virtual void onSourceLost(const QString& reason) = 0;
};

class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    // Starts delivering to sink; 0 or a negative engine code, with a text.
    virtual int start(CaptureSink* sink, QString* errorText) = 0;
    // Stops; no call reaches the sink once it returns. Idempotent.
    virtual void stop() = 0;
};

}  // namespace platform::capture
