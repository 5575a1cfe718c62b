#include "platform/capture/loudness_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ebur128.h>

namespace platform::capture {

namespace {

// Integrated loudness, loudness range (and true peak) of the file; the
// short-term mode comes with the loudness range. The histogram keeps the
// gating blocks in 1000 bins of 0.1 LU: constant memory and constant cost
// of a reading for a file of any length (a list would grow by 36000 blocks
// an hour, and every reading would walk it).
constexpr int kFileMode = EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_HISTOGRAM;

// The live values are computed block by block while a snapshot was read
// within this much audio.
constexpr int kLiveWindowMs = 2000;
// Unattended, the snapshot's file figures are brought up to date this often.
constexpr int kPublishIntervalMs = 1000;
// After a change of file the previous measure is fed this long, for the
// live short-term value (3 s window).
constexpr int kCarryMs = 3000;

double ToDb(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : kNoLoudness; }

}  // namespace

struct LoudnessMeter::Measure {
    ebur128_state* st = nullptr;
    ~Measure() {
        if (st) ebur128_destroy(&st);
    }
};

LoudnessMeter::LoudnessMeter(int rate, int channels, int bits, bool truePeak)
    : rate_(rate), channels_(channels), bits_(bits), mode_(kFileMode | (truePeak ? EBUR128_MODE_TRUE_PEAK : 0)) {
    if (rate < 8000 || channels < 1 || channels > 2) return;
    if (bits != 0 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return;
    file_ = newMeasure();
}

LoudnessMeter::~LoudnessMeter() { std::free(scratch_); }

std::unique_ptr<LoudnessMeter::Measure> LoudnessMeter::newMeasure() const {
    auto m = std::make_unique<Measure>();
    m->st = ebur128_init(unsigned(channels_), static_cast<unsigned long>(rate_), mode_);
    if (!m->st) return nullptr;
    return m;
}

void LoudnessMeter::feed(Measure& m, const void* data, size_t frames) {
    ebur128_state* st = m.st;
    switch (bits_) {
    case 0:
        ebur128_add_frames_float(st, static_cast<const float*>(data), frames);
        break;
    case 8:
        ebur128_add_frames_short(st, scratch_, frames);
        break;
    case 16:
        ebur128_add_frames_short(st, static_cast<const short*>(data), frames);
        break;
    default:
        // 24-bit samples travel in the upper three bytes of 32-bit words:
        // the library's full scale of int is theirs too.
        ebur128_add_frames_int(st, static_cast<const int*>(data), frames);
        break;
    }
}

void LoudnessMeter::Add(const void* data, size_t frames) {
    if (!file_ || frames == 0) return;
    if (bits_ == 8) {
        if (scratchFrames_ < frames) {
            std::free(scratch_);
            scratch_ = static_cast<short*>(std::malloc(frames * size_t(channels_) * sizeof(short)));
            scratchFrames_ = scratch_ ? frames : 0;
            if (!scratch_) return;
        }
        const auto* in = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < frames * size_t(channels_); ++i) scratch_[i] = short((int(in[i]) - 128) * 256);
    }
    feed(*file_, data, frames);
    double blockPeak = 0.0;
    for (int c = 0; c < channels_ && (mode_ & EBUR128_MODE_TRUE_PEAK) == EBUR128_MODE_TRUE_PEAK; ++c) {
        double p = 0.0;
        if (ebur128_prev_true_peak(file_->st, unsigned(c), &p) == EBUR128_SUCCESS) blockPeak = std::max(blockPeak, p);
    }
    fileTruePeak_ = std::max(fileTruePeak_, blockPeak);
    fileFrames_ += frames;
    if (carry_) {
        feed(*carry_, data, frames);
        carryLeft_ -= qint64(frames);
        if (carryLeft_ <= 0) carry_.reset();
    }
    publish(blockPeak, frames);
}

void LoudnessMeter::NewFile() {
    if (!file_) return;
    std::unique_ptr<Measure> next = newMeasure();
    if (!next) return;  // out of memory: the measure goes on over both files
    carry_ = std::move(file_);
    carryLeft_ = qint64(rate_) * kCarryMs / 1000;
    file_ = std::move(next);
    fileFrames_ = 0;
    fileTruePeak_ = 0.0;
    std::lock_guard<std::mutex> lock(m_);
    shared_.truePeakDbtp = kNoLoudness;
    shared_.integratedLufs = kNoLoudness;
    shared_.loudnessRangeLu = 0.0;
    shared_.seconds = 0.0;
}

double LoudnessMeter::ShortTermLufs() {
    double v = kNoLoudness;
    if (file_) ebur128_loudness_shortterm(file_->st, &v);
    return v;
}

double LoudnessMeter::IntegratedLufs() {
    double v = kNoLoudness;
    if (file_) ebur128_loudness_global(file_->st, &v);
    return v;
}

double LoudnessMeter::LoudnessRangeLu() {
    double v = 0.0;
    if (file_) ebur128_loudness_range(file_->st, &v);
    return v;
}

double LoudnessMeter::FileTruePeakDbtp() const { return ToDb(fileTruePeak_); }

void LoudnessMeter::publish(double blockPeak, size_t frames) {
    const quint64 reads = reads_.load(std::memory_order_relaxed);
    if (reads != seenReads_) {
        seenReads_ = reads;
        framesSinceRead_ = 0;
    } else {
        framesSinceRead_ += qint64(frames);
    }
    const bool live = framesSinceRead_ < qint64(rate_) * kLiveWindowMs / 1000;
    framesSincePublish_ += qint64(frames);
    const bool due = framesSincePublish_ >= qint64(rate_) * kPublishIntervalMs / 1000;
    double momentary = kNoLoudness, shortTerm = kNoLoudness, integrated = kNoLoudness, range = 0.0;
    if (live) {
        // Within three seconds of a change of file the previous file's
        // measure holds the whole window.
        ebur128_state* window = carry_ ? carry_->st : file_->st;
        ebur128_loudness_momentary(window, &momentary);
        ebur128_loudness_shortterm(window, &shortTerm);
    }
    if (live || due) {
        framesSincePublish_ = 0;
        integrated = IntegratedLufs();
        range = LoudnessRangeLu();
    }
    const double peakDb = ToDb(blockPeak);
    std::lock_guard<std::mutex> lock(m_);
    shared_.valid = live;
    if (live) {
        shared_.momentaryLufs = momentary;
        shared_.shortTermLufs = shortTerm;
    }
    if (live || due) {
        shared_.integratedLufs = integrated;
        shared_.loudnessRangeLu = range;
    }
    if (peakDb > shared_.truePeakDbtp) shared_.truePeakDbtp = peakDb;
    shared_.seconds = double(fileFrames_) / rate_;
}

LoudnessSnapshot LoudnessMeter::Snapshot() const {
    reads_.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(m_);
    return shared_;
}

void LoudnessMeter::ResetTruePeak() {
    std::lock_guard<std::mutex> lock(m_);
    shared_.truePeakDbtp = kNoLoudness;
}

}  // namespace platform::capture
