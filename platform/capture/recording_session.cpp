#include "platform/capture/recording_session.h"

#include "platform/os.h"

#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <cstring>

namespace platform {

using namespace capture;

namespace {
// Positions are posted with the blocks of data as they arrive (about every
// 100 ms), at most once per this period.
constexpr int kPositionIntervalMs = 90;
constexpr int kFlushIntervalMs = 1000;
constexpr int kOverrunNoticeIntervalMs = 1000;
}  // namespace

RecordingSession::RecordingSession(ActiveSoundRecorder* owner, const Config& config,
                                   std::unique_ptr<EncoderCore> encoder)
    : owner_(owner),
      config_(config),
      encoder_(std::move(encoder)),
      analysis_(config.format, config.measureLoudness, config.measureTruePeak,
                [this](const QString& text) {
                    const QString line = QStringLiteral("Rec. %1: %2").arg(config_.index + 1).arg(text);
                    post([line](ActiveSoundRecorder*) { platform::Notice(line); });
                }),
      meter_(analysis_.meter()),
      ring_(static_cast<size_t>(config.format.rate) * config.format.bytesPerFrame() * config.ringSeconds) {
    // Blocks of 100 ms from the ring to the encoder.
    chunk_.resize(static_cast<size_t>(std::max(1, config.format.rate / 10)) * config.format.bytesPerFrame());
}

RecordingSession::~RecordingSession() {
    RequestStop();
    Join();
    if (source_) source_->stop();
}

int RecordingSession::StartCapture(std::unique_ptr<CaptureSource> source, QString* errorText) {
    source_ = std::move(source);
    const int rc = source_->start(this, errorText);
    if (rc != 0) {
        source_->stop();
        ended_ = true;
    }
    return rc;
}

void RecordingSession::Run() {
    thread_ = std::thread([this] { run(); });
}

void RecordingSession::RequestStop() {
    {
        // Under the lock: the encoder thread may be between its test of the
        // flags and its wait, and would miss a notice given outside it.
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
}

void RecordingSession::Join() {
    if (thread_.joinable()) thread_.join();
}

bool RecordingSession::ContinueInto(std::unique_ptr<EncoderCore> next, const RecordingAnalysis::FilePlan& plan) {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (next_) return false;
        next_ = std::move(next);
        nextPlan_ = plan;
    }
    cv_.notify_all();
    return true;
}

qint64 RecordingSession::PositionMs() const {
    return static_cast<qint64>(frames_.load() * 1000 / static_cast<quint64>(config_.format.rate));
}

QVector<float> RecordingSession::Peaks() const {
    QVector<float> peaks;
    for (int c = 0; c < config_.format.channels; ++c) peaks << peaks_[c].load(std::memory_order_relaxed);
    return peaks;
}

QVector<float> RecordingSession::TakeMeterPeaks() {
    QVector<float> peaks;
    bool any = false;
    for (int c = 0; c < config_.format.channels; ++c) {
        const float v = meterPeaks_[c].exchange(-1.0f, std::memory_order_relaxed);
        any = any || v >= 0.0f;
        peaks << std::max(v, 0.0f);
    }
    return any ? peaks : QVector<float>();
}

void RecordingSession::post(std::function<void(ActiveSoundRecorder*)> call) {
    ActiveSoundRecorder* owner = owner_;
    QMetaObject::invokeMethod(owner, [owner, call = std::move(call)] { call(owner); }, Qt::QueuedConnection);
}

// --- capture thread ---------------------------------------------------------

namespace {

// Loudest magnitude of each channel of a block, in one integer pass (no
// division, no conversion per sample). Full scale: 128, 32768 or 2^31.
template <int Channels>
void BlockPeaks(const uint8_t* data, size_t frames, int bits, uint32_t* peak) {
    uint32_t p[Channels] = {};
    switch (bits) {
    case 8:
        for (size_t f = 0; f < frames; ++f, data += Channels) {
            for (int c = 0; c < Channels; ++c) {
                const int v = int(data[c]) - 128;
                const uint32_t a = uint32_t(v < 0 ? -v : v);
                if (a > p[c]) p[c] = a;
            }
        }
        break;
    case 16:
        for (size_t f = 0; f < frames; ++f, data += 2 * Channels) {
            for (int c = 0; c < Channels; ++c) {
                int16_t s;
                std::memcpy(&s, data + 2 * c, 2);
                const int v = s;
                const uint32_t a = uint32_t(v < 0 ? -v : v);
                if (a > p[c]) p[c] = a;
            }
        }
        break;
    default:
        for (size_t f = 0; f < frames; ++f, data += 4 * Channels) {
            for (int c = 0; c < Channels; ++c) {
                int32_t s;
                std::memcpy(&s, data + 4 * c, 4);
                const uint32_t a = s < 0 ? 0u - uint32_t(s) : uint32_t(s);
                if (a > p[c]) p[c] = a;
            }
        }
        break;
    }
    for (int c = 0; c < Channels; ++c) peak[c] = p[c];
}

}  // namespace

void RecordingSession::onCaptured(const uint8_t* data, size_t frames) {
    if (stop_.load(std::memory_order_relaxed) || lost_.load(std::memory_order_relaxed)) return;
    const int channels = config_.format.channels;
    const int bits = config_.format.bits;
    // The levels of the meters and of the silence watch come from this one
    // pass over the block the ring is about to take.
    uint32_t magnitude[2] = {0, 0};
    if (channels == 2) BlockPeaks<2>(data, frames, bits, magnitude);
    else BlockPeaks<1>(data, frames, bits, magnitude);
    const float fullScale = bits == 8 ? 128.0f : bits == 16 ? 32768.0f : 2147483648.0f;
    float peak[2] = {0.0f, 0.0f};
    for (int c = 0; c < channels; ++c) {
        peak[c] = std::min(float(magnitude[c]) / fullScale, 1.0f);
        peaks_[c].store(peak[c], std::memory_order_relaxed);
    }
    // The same peaks, held until the supervision takes them (silence watch).
    const float loudest = std::max(peak[0], peak[1]);
    float held = peakHold_.load(std::memory_order_relaxed);
    while (loudest > held && !peakHold_.compare_exchange_weak(held, loudest, std::memory_order_relaxed)) {
    }
    // And for the meters, per channel, until they read them.
    for (int c = 0; c < channels; ++c) {
        const float v = std::min(peak[c], 1.0f);
        float m = meterPeaks_[c].load(std::memory_order_relaxed);
        while (v > m && !meterPeaks_[c].compare_exchange_weak(m, v, std::memory_order_relaxed)) {
        }
    }
    if (paused_.load(std::memory_order_relaxed)) return;
    const size_t frameBytes = static_cast<size_t>(config_.format.bytesPerFrame());
    const size_t fit = std::min(frames, ring_.freeBytes() / frameBytes);
    if (fit) ring_.write(data, fit * frameBytes);
    if (fit < frames) overruns_.fetch_add(frames - fit, std::memory_order_relaxed);
    // The encoder thread sleeps until data arrives: wake it.
    {
        std::lock_guard<std::mutex> lock(m_);
        dataReady_ = true;
    }
    cv_.notify_one();
}

void RecordingSession::onSourceLost(const QString& reason) {
    {
        std::lock_guard<std::mutex> lock(m_);
        lostReason_ = reason;
        lost_ = true;
    }
    cv_.notify_all();
}

// --- encoder thread ---------------------------------------------------------

void RecordingSession::appendToMemory(const uint8_t* data, size_t frames) {
    const size_t samples = frames * static_cast<size_t>(config_.format.channels);
    if (config_.format.bits != 24) {
        memory_.append(reinterpret_cast<const char*>(data),
                       static_cast<qsizetype>(samples * static_cast<size_t>(config_.format.bytesPerSample())));
        return;
    }
    // 24-bit takes are kept packed, three bytes a sample.
    const qsizetype at = memory_.size();
    memory_.resize(at + static_cast<qsizetype>(samples * 3));
    char* out = memory_.data() + at;
    for (size_t i = 0; i < samples; ++i) std::memcpy(out + 3 * i, data + 4 * i + 1, 3);
}

bool RecordingSession::drain(int* errorCode, QString* errorText) {
    const size_t frameBytes = static_cast<size_t>(config_.format.bytesPerFrame());
    for (;;) {
        const size_t available = ring_.availableBytes() / frameBytes * frameBytes;
        if (available == 0) return true;
        const size_t bytes = ring_.read(chunk_.data(), std::min(available, chunk_.size()));
        const size_t frames = bytes / frameBytes;
        if (config_.memory) {
            const qint64 bytesPerTakeFrame =
                qint64(config_.format.channels) * (config_.format.bits == 24 ? 3 : config_.format.bytesPerSample());
            if (memory_.size() + qint64(frames) * bytesPerTakeFrame > config_.memoryLimitBytes) {
                *errorCode = -2;
                *errorText = QStringLiteral("the memory take reached its limit of %1 bytes")
                                 .arg(config_.memoryLimitBytes);
                return false;
            }
            appendToMemory(chunk_.data(), frames);
        } else {
            const int rc = encoder_->Write(chunk_.data(), frames, errorText);
            if (rc != 0) {
                *errorCode = rc;
                return false;
            }
        }
        analysis_.Add(chunk_.data(), frames, ring_.availableBytes() / frameBytes);
        frames_.fetch_add(frames);
    }
}

void RecordingSession::postPosition() {
    const int index = config_.index;
    const qint64 position = PositionMs();
    post([index, position](ActiveSoundRecorder* o) { emit o->RecordingPosition(index, position); });
}

void RecordingSession::switchFile(std::unique_ptr<EncoderCore> next, const RecordingAnalysis::FilePlan& plan) {
    const int index = config_.index;
    postPosition();
    post([index](ActiveSoundRecorder* o) { emit o->RecordingFinalizationStarted(index); });
    post([index](ActiveSoundRecorder* o) { emit o->RecordingStopped(index, 1); });
    QString text;
    const int rc = encoder_->Finish(&text);
    analysis_.EndFile(QFile::exists(encoder_->path()));
    post([index, rc, text](ActiveSoundRecorder* o) {
        if (rc != 0) {
            o->lastError_ = rc;
            o->lastErrorText_ = text;
        }
        emit o->RecordingFinalizationDone(index, rc != 0);
    });
    encoder_ = std::move(next);
    analysis_.BeginFile(plan);
    fileLostReported_ = false;
    frames_ = 0;
    post([index](ActiveSoundRecorder* o) { emit o->RecordingStarted(index); });
}

void RecordingSession::run() {
    using clock = std::chrono::steady_clock;
    const int index = config_.index;
    auto lastPosition = clock::now();
    auto lastFlush = clock::now();
    auto lastNotice = clock::now();
    quint64 reportedOverruns = 0;
    int result = 1;
    int errorCode = 0;
    QString errorText;
    analysis_.BeginFile(config_.firstFile);

    for (;;) {
        const bool stopping = stop_.load();
        const bool lost = lost_.load();
        if (stopping || lost) source_->stop();  // nothing more arrives after this
        if (!drain(&errorCode, &errorText)) {
            result = 0;
            break;
        }
        if (lost && !stopping) {
            std::lock_guard<std::mutex> lock(m_);
            result = 0;
            errorCode = -50;
            errorText = QStringLiteral("capture device lost: %1").arg(lostReason_);
        }
        if (stopping || lost) break;

        std::unique_ptr<EncoderCore> next;
        RecordingAnalysis::FilePlan plan;
        {
            std::lock_guard<std::mutex> lock(m_);
            next = std::move(next_);
            plan = nextPlan_;
        }
        if (next) {
            switchFile(std::move(next), plan);
            lastPosition = lastFlush = clock::now();
        }

        const auto now = clock::now();
        if (now - lastPosition >= std::chrono::milliseconds(kPositionIntervalMs)) {
            lastPosition = now;
            postPosition();
        }
        if (!config_.memory && now - lastFlush >= std::chrono::milliseconds(kFlushIntervalMs)) {
            lastFlush = now;
            encoder_->Flush();
            analysis_.Flush();
            // Writing on into a file that was deleted (or whose folder was)
            // records into nothing: the engine's owner is told once per file.
            if (!fileLostReported_ && encoder_->FileGone()) {
                fileLostReported_ = true;
                const QString path = encoder_->path();
                post([index, path](ActiveSoundRecorder* o) { emit o->RecordingFileLost(index, path); });
            }
        }
        if (now - lastNotice >= std::chrono::milliseconds(kOverrunNoticeIntervalMs)) {
            lastNotice = now;
            const quint64 overruns = overruns_.load();
            if (overruns != reportedOverruns) {
                const QString text = QStringLiteral("Rec. %1: %2 samples lost (%3 in all): the recording could not "
                                                    "keep up with the capture")
                                         .arg(index + 1)
                                         .arg(overruns - reportedOverruns)
                                         .arg(overruns);
                reportedOverruns = overruns;
                post([text](ActiveSoundRecorder*) { platform::Notice(text); });
            }
        }
        // Sleep until the capture brings data (or a stop, a loss, the next
        // file); nothing polls the ring.
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, std::chrono::milliseconds(config_.idleWakeMs),
                     [&] { return dataReady_ || stop_.load() || lost_.load() || next_ != nullptr; });
        dataReady_ = false;
        wakeups_.fetch_add(1, std::memory_order_relaxed);
    }
    ended_ = true;
    source_->stop();

    // A continuation that was handed over but not reached: its file stays
    // empty; close it.
    std::unique_ptr<EncoderCore> unused;
    {
        std::lock_guard<std::mutex> lock(m_);
        unused = std::move(next_);
    }
    if (unused) {
        QString ignored;
        unused->Finish(&ignored);
    }

    postPosition();
    const qint64 finalPosition = PositionMs();
    const quint64 finalOverruns = overruns_.load();
    post([index, finalPosition, finalOverruns](ActiveSoundRecorder* o) {
        o->lastPositionMs_ = finalPosition;
        o->lastOverruns_ = finalOverruns;
        emit o->RecordingFinalizationStarted(index);
    });
    post([index, result, errorCode, errorText](ActiveSoundRecorder* o) {
        if (result != 1) {
            o->lastError_ = errorCode;
            o->lastErrorText_ = errorText;
        }
        emit o->RecordingStopped(index, result);
    });
    int rc = 0;
    QString finishText;
    if (config_.memory) {
        auto take = std::make_shared<QByteArray>(std::move(memory_));
        const CaptureFormat format = config_.format;
        post([take, format](ActiveSoundRecorder* o) {
            o->memoryTake_ = std::move(*take);
            o->hasMemoryTake_ = true;
            o->memoryRate_ = format.rate;
            o->memoryChannels_ = format.channels;
            o->memoryBits_ = format.bits;
        });
    } else if (encoder_) {
        rc = encoder_->Finish(&finishText);
        analysis_.EndFile(QFile::exists(encoder_->path()));
    }
    post([index, rc, finishText](ActiveSoundRecorder* o) {
        if (rc != 0) {
            o->lastError_ = rc;
            o->lastErrorText_ = finishText;
        }
        emit o->RecordingFinalizationDone(index, rc != 0);
    });
    RecordingSession* self = this;
    post([self](ActiveSoundRecorder* o) { o->onSessionFinished(self); });
}

}  // namespace platform
