#pragma once
// Loudness of one input after ITU-R BS.1770 / EBU R 128 (Tech 3341 "EBU mode"
// and Tech 3342 loudness range), measured by libebur128 on the samples the
// engine already reads, in their capture format.
//
// One meter per input. One thread feeds it (the encoder thread of a
// recording, the idle level stream's thread); any thread reads it:
// Snapshot() and ResetTruePeak() take a short lock and copy a few numbers,
// cheap enough for a meter read 25 times a second.
//
// Cost: the momentary and short-term values are computed for every block
// (10 a second) only while somebody reads them (a Snapshot in the last two
// seconds of audio); unattended, the meter only feeds the library (K-weighting,
// the gating blocks of the integrated loudness and of the loudness range, the
// 4x oversampled true peak), and the short-term value is computed when a
// caller asks for it (the sidecar series, once per 10 s).
#include <QtGlobal>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>

namespace platform::capture {

struct CaptureFormat;

constexpr double kNoLoudness = -std::numeric_limits<double>::infinity();

// What the meters, the alarms and the remote views read.
struct LoudnessSnapshot {
    // The measure runs and the live values below are current (false when
    // nothing is measured, while a recording is paused, and for a read that
    // wakes the live values up: the next block, 100 ms later, brings them).
    bool valid = false;
    double momentaryLufs = kNoLoudness;  // 400 ms window
    double shortTermLufs = kNoLoudness;  // 3 s window
    // Highest true peak since the file started (idle: since the measure
    // started) or since the last ResetTruePeak, in dBTP.
    double truePeakDbtp = kNoLoudness;
    // Of the current file (idle: since the measure started), gated as
    // BS.1770 says; minus infinity until a 400 ms block is above -70 LUFS.
    double integratedLufs = kNoLoudness;
    double loudnessRangeLu = 0.0;  // LRA, 0 until there are 3 s blocks
    double seconds = 0.0;          // audio measured in the current file
};

class LoudnessMeter {
public:
    // The capture format of the samples to come (8, 16, 24 or 32 bits, 1 or
    // 2 channels) or 32-bit float (bits 0). truePeak: measure the true peak
    // (4x oversampled, three quarters of the meter's cost; without it the
    // true-peak figures stay minus infinity).
    LoudnessMeter(int rate, int channels, int bits, bool truePeak = true);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;
    // False when the library refused the format or ran out of memory.
    bool ok() const { return file_ != nullptr; }

    // --- feeding thread ---------------------------------------------------
    // Interleaved frames in the format given above. Publishes the snapshot.
    void Add(const void* data, size_t frames);
    // The frames that follow belong to a new file: its integrated loudness,
    // loudness range and true peak start afresh. The live momentary and
    // short-term values go on without a gap (the previous file's measure is
    // fed three more seconds for them).
    void NewFile();
    // The current file's figures, now.
    double ShortTermLufs();
    double IntegratedLufs();
    double LoudnessRangeLu();
    double FileTruePeakDbtp() const;
    quint64 FileFrames() const { return fileFrames_; }
    int rate() const { return rate_; }
    int channels() const { return channels_; }

    // --- any thread ---------------------------------------------------------
    LoudnessSnapshot Snapshot() const;
    // The operator acknowledged the clip sign: the true-peak maximum of the
    // snapshot starts again from the next block (the file's maximum, for
    // its sidecar, is kept).
    void ResetTruePeak();

private:
    struct Measure;  // one state of the library
    std::unique_ptr<Measure> newMeasure() const;
    void feed(Measure& m, const void* data, size_t frames);
    void publish(double blockPeak, size_t frames);

    int rate_;
    int channels_;
    int bits_;
    int mode_;
    std::unique_ptr<Measure> file_;   // the current file's measure
    std::unique_ptr<Measure> carry_;  // the previous file's, for the live values after a change
    qint64 carryLeft_ = 0;            // frames it is still fed
    quint64 fileFrames_ = 0;
    double fileTruePeak_ = 0.0;       // linear
    short* scratch_ = nullptr;        // 8-bit samples widened for the library
    size_t scratchFrames_ = 0;
    quint64 seenReads_ = 0;
    qint64 framesSinceRead_ = std::numeric_limits<qint64>::max() / 2;
    qint64 framesSincePublish_ = 0;

    mutable std::mutex m_;
    LoudnessSnapshot shared_;  // under m_
    mutable std::atomic<quint64> reads_{0};
};

}  // namespace platform::capture
