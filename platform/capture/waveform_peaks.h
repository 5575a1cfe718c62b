#pragma once
// "<file>.peaks.dat", the waveform of a recorded file for the web archive,
// in the binary waveform data format read by peaks.js / waveform-data.js
// (format version 1, little-endian):
//   offset 0  int32   version (1)
//   offset 4  uint32  flags (bit 0 set: 8-bit values)
//   offset 8  int32   sample rate of the audio
//   offset 12 int32   samples per pixel
//   offset 16 uint32  length: number of points
//   offset 20 int8    min, max of each point, one point after the other
// One point is the lowest and the highest sample of all channels over
// samples-per-pixel frames, as 8-bit values (a 16-bit sample shifted right by
// 8 bits: -128..127); the last point of a finished file covers what remains.
// Samples per pixel: 512 up to 51200 Hz, doubled until there are at most 100
// points a second (48000 Hz: 93.75 points a second, 675 kB an hour).
// The points are appended as they come and the length in the header is
// brought up to date at each flush (every second) and at the end: a process
// that dies leaves a file whose header counts only points that are there.
#include "platform/capture/capture_source.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace platform::capture {

class PeaksWriter {
public:
    static constexpr int kHeaderBytes = 20;
    static int SamplesPerPixel(int rate);

    PeaksWriter() = default;
    ~PeaksWriter();
    PeaksWriter(const PeaksWriter&) = delete;
    PeaksWriter& operator=(const PeaksWriter&) = delete;

    // Creates (or replaces) the file and writes its header; false with the
    // system's cause.
    bool Open(const QString& path, const CaptureFormat& format, QString* errorText);
    bool isOpen() const { return fd_ >= 0; }
    // Interleaved frames in the capture format.
    void Add(const uint8_t* data, size_t frames);
    // Writes the points made so far and the header's length.
    bool Flush(QString* errorText);
    // The last, partial point too; closes the file.
    bool Finish(QString* errorText);
    quint32 points() const { return written_ + quint32(pending_.size() / 2); }

private:
    void point();
    bool fail(int code, QString* errorText);

    QString path_;
    CaptureFormat format_;
    int fd_ = -1;
    int perPixel_ = 512;
    int inPixel_ = 0;  // frames in the point being made
    int lo_ = 127, hi_ = -128;
    std::vector<int8_t> pending_;  // min, max pairs not yet written
    quint32 written_ = 0;          // points in the file and its header
    bool failed_ = false;
};

}  // namespace platform::capture
