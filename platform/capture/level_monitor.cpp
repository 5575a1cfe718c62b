#include "platform/capture/level_monitor.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <pulse/pulseaudio.h>

namespace platform::capture {

namespace {

constexpr int kChannels = 2;

enum ContextState { ContextNone = 0, ContextConnecting = 1, ContextReady = 2, ContextFailed = 3 };

qint64 NowMs() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

struct StreamTag {
    LevelMonitor::Impl* d = nullptr;
    int key = 0;
    pa_stream* stream = nullptr;
    int channels = 0;  // > 0: the audio itself, measured (server thread)
    std::shared_ptr<LoudnessMeter> meter;
};

}  // namespace

struct LevelMonitor::Impl {
    // ---- event-loop thread ----
    struct Entry {
        QString source;
        pa_stream* stream = nullptr;  // changed under the main loop's lock
        StreamTag* tag = nullptr;
        qint64 retryAt = 0;
        QVector<float> delivered;  // loudest since the last take
        bool fresh = false;
        QVector<float> taken;
        quint64 deliveries = 0;
        int streamChannels = 0;  // > 0: the stream carries the audio, measured
    };
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    qint64 contextRetryAt = 0;
    std::map<int, Entry> entries;
    std::map<int, int> loudness;  // keys measured, and in how many channels
    QObject receiver;  // lives on the event-loop thread: the posts land there

    // ---- shared with the server's thread, under m ----
    struct Shared {
        pa_stream* stream = nullptr;
        float peak[kChannels] = {0.0f, 0.0f};
        bool has = false;
        bool posted = false;
        bool ready = false;
        bool failed = false;
        std::shared_ptr<LoudnessMeter> meter;
    };
    std::mutex m;
    std::map<int, Shared> shared;
    std::atomic<int> contextState{ContextNone};

    // Server thread (main loop's lock held): peaks of one read.
    void received(int key, pa_stream* s, const float* peak) {
        std::lock_guard<std::mutex> lock(m);
        auto it = shared.find(key);
        if (it == shared.end() || it->second.stream != s) return;
        Shared& sh = it->second;
        for (int c = 0; c < kChannels; ++c) sh.peak[c] = sh.has ? std::max(sh.peak[c], peak[c]) : peak[c];
        sh.has = true;
        if (sh.posted) return;
        sh.posted = true;
        QMetaObject::invokeMethod(&receiver, [this, key] { deliver(key); }, Qt::QueuedConnection);
    }

    void streamState(int key, pa_stream* s, bool ready, bool failed) {
        std::lock_guard<std::mutex> lock(m);
        auto it = shared.find(key);
        if (it == shared.end() || it->second.stream != s) return;
        it->second.ready = ready;
        it->second.failed = failed;
    }

    // Event-loop thread: the peaks posted by the server's thread.
    void deliver(int key) {
        QVector<float> peaks;
        {
            std::lock_guard<std::mutex> lock(m);
            auto it = shared.find(key);
            if (it == shared.end()) return;
            Shared& sh = it->second;
            sh.posted = false;
            if (!sh.has) return;
            sh.has = false;
            for (int c = 0; c < kChannels; ++c) peaks << sh.peak[c];
        }
        auto it = entries.find(key);
        if (it == entries.end()) return;
        Entry& e = it->second;
        if (e.delivered.size() != peaks.size()) e.delivered = peaks;
        else
            for (int c = 0; c < peaks.size(); ++c) e.delivered[c] = std::max(e.delivered[c], peaks[c]);
        e.fresh = true;
        ++e.deliveries;
    }

    static void OnContextState(pa_context* c, void* u) {
        auto* d = static_cast<Impl*>(u);
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY: d->contextState = ContextReady; break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED: d->contextState = ContextFailed; break;
        default: break;
        }
    }

    static void OnStreamState(pa_stream* s, void* u) {
        auto* tag = static_cast<StreamTag*>(u);
        switch (pa_stream_get_state(s)) {
        case PA_STREAM_READY:
            if (tag->channels > 0) {
                // The rate is the source's own, known now.
                const pa_sample_spec* spec = pa_stream_get_sample_spec(s);
                auto meter = std::make_shared<LoudnessMeter>(int(spec->rate), tag->channels, 0);
                if (meter->ok()) {
                    tag->meter = meter;
                    std::lock_guard<std::mutex> lock(tag->d->m);
                    auto it = tag->d->shared.find(tag->key);
                    if (it != tag->d->shared.end() && it->second.stream == s) it->second.meter = meter;
                }
            }
            tag->d->streamState(tag->key, s, true, false);
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED: tag->d->streamState(tag->key, s, false, true); break;
        default: break;
        }
    }

    static void OnRead(pa_stream* s, size_t, void* u) {
        auto* tag = static_cast<StreamTag*>(u);
        float peak[kChannels] = {0.0f, 0.0f};
        bool any = false;
        while (pa_stream_readable_size(s) > 0) {
            const void* data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) break;
            if (data && tag->channels > 0) {
                // The audio itself: its peaks, and the loudness measure.
                const auto* f = static_cast<const float*>(data);
                const size_t frames = bytes / sizeof(float) / size_t(tag->channels);
                for (size_t i = 0; i < frames * size_t(tag->channels); ++i) {
                    float v = std::fabs(f[i]);
                    if (!(v == v)) v = 0.0f;
                    float& p = peak[i % size_t(tag->channels)];
                    p = std::max(p, std::min(v, 1.0f));
                }
                if (tag->channels == 1) peak[1] = peak[0];
                if (tag->meter) tag->meter->Add(f, frames);
                any = any || frames > 0;
            } else if (data) {
                // Each frame is already the peak of its 40 ms.
                const auto* f = static_cast<const float*>(data);
                const size_t n = bytes / sizeof(float);
                for (size_t i = 0; i < n; ++i) {
                    float v = std::fabs(f[i]);
                    if (!(v == v)) v = 0.0f;  // NaN
                    float& p = peak[i % kChannels];
                    p = std::max(p, std::min(v, 1.0f));
                }
                any = any || n > 0;
            }
            pa_stream_drop(s);
        }
        if (any) tag->d->received(tag->key, s, peak);
    }

    // Main loop's lock held.
    void destroyStreamLocked(int key, Entry& e) {
        if (e.stream) {
            pa_stream_set_state_callback(e.stream, nullptr, nullptr);
            pa_stream_set_read_callback(e.stream, nullptr, nullptr);
            pa_stream_disconnect(e.stream);
            pa_stream_unref(e.stream);
            e.stream = nullptr;
        }
        delete e.tag;
        e.tag = nullptr;
        // A stream that is gone measures nothing: the meter must not keep
        // showing its last level.
        e.delivered.clear();
        e.taken.clear();
        e.fresh = false;
        std::lock_guard<std::mutex> lock(m);
        shared.erase(key);
    }

    void destroyStream(int key, Entry& e) {
        if (!e.stream && !e.tag) {
            std::lock_guard<std::mutex> lock(m);
            shared.erase(key);
            return;
        }
        pa_threaded_mainloop_lock(loop);
        destroyStreamLocked(key, e);
        pa_threaded_mainloop_unlock(loop);
    }

    void dropContext() {
        if (!loop) return;
        pa_threaded_mainloop_lock(loop);
        for (auto& [key, e] : entries) destroyStreamLocked(key, e);
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        pa_threaded_mainloop_unlock(loop);
        contextState = ContextNone;
    }

    // True once the connection is ready; starts or renews it as needed.
    bool ensureContext() {
        if (!loop) {
            loop = pa_threaded_mainloop_new();
            if (!loop) return false;
            pa_threaded_mainloop_set_name(loop, "qr-levels");
            if (pa_threaded_mainloop_start(loop) < 0) {
                pa_threaded_mainloop_free(loop);
                loop = nullptr;
                return false;
            }
        }
        const int state = contextState.load();
        if (state == ContextFailed) {
            dropContext();
            contextRetryAt = NowMs() + kRetryDelayMs;
            return false;
        }
        if (context) return state == ContextReady;
        if (NowMs() < contextRetryAt) return false;
        pa_threaded_mainloop_lock(loop);
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Quillon Recorder (niveaux)");
        pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "quillon-recorder.levels");
        context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop), "Quillon Recorder (niveaux)", props);
        pa_proplist_free(props);
        bool ok = context != nullptr;
        if (ok) {
            contextState = ContextConnecting;
            pa_context_set_state_callback(context, &Impl::OnContextState, this);
            ok = pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
        }
        pa_threaded_mainloop_unlock(loop);
        if (!ok) {
            contextState = ContextFailed;
            contextRetryAt = NowMs() + kRetryDelayMs;
        }
        return false;
    }

    void createStream(int key, Entry& e) {
        auto wanted = loudness.find(key);
        e.streamChannels = wanted == loudness.end() ? 0 : wanted->second;
        const bool audio = e.streamChannels > 0;
        pa_sample_spec spec;
        spec.format = PA_SAMPLE_FLOAT32NE;
        spec.rate = audio ? 48000 : kRate;  // measured: the source's rate (PA_STREAM_FIX_RATE)
        spec.channels = uint8_t(audio ? e.streamChannels : kChannels);
        pa_channel_map map;
        if (spec.channels == 1) pa_channel_map_init_mono(&map);
        else pa_channel_map_init_stereo(&map);
        pa_threaded_mainloop_lock(loop);
        pa_stream* s = pa_stream_new(context, "Niveau d'entrée", &spec, &map);
        bool ok = s != nullptr;
        if (ok) {
            e.stream = s;
            e.tag = new StreamTag{this, key, s, e.streamChannels, nullptr};
            {
                std::lock_guard<std::mutex> lock(m);
                shared[key] = Shared{};
                shared[key].stream = s;
            }
            pa_stream_set_state_callback(s, &Impl::OnStreamState, e.tag);
            pa_stream_set_read_callback(s, &Impl::OnRead, e.tag);
            pa_buffer_attr attr;
            attr.maxlength = uint32_t(-1);
            attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
            // Every frame of peaks as it comes; the audio 100 ms at a time.
            attr.fragsize = audio ? uint32_t(pa_usec_to_bytes(100000, &spec)) : uint32_t(sizeof(float) * kChannels);
            const auto flags = pa_stream_flags_t((audio ? PA_STREAM_FIX_RATE : PA_STREAM_PEAK_DETECT) |
                                                 PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
            const QByteArray name = e.source.toUtf8();
            ok = pa_stream_connect_record(s, name.constData(), &attr, flags) >= 0;
            if (!ok) destroyStreamLocked(key, e);
        }
        pa_threaded_mainloop_unlock(loop);
        if (!ok) e.retryAt = NowMs() + kRetryDelayMs;
    }
};

LevelMonitor& LevelMonitor::Instance() {
    static LevelMonitor monitor;
    return monitor;
}

// The monitor lives until the process ends: its server thread may still
// post while static objects are destroyed.
LevelMonitor::LevelMonitor() : d(new Impl) {}

void LevelMonitor::Watch(int key, const QString& sourceName) {
    Impl::Entry& e = d->entries[key];
    if (e.source != sourceName) {
        d->destroyStream(key, e);
        e = Impl::Entry{};
        e.source = sourceName;
    }
    if (sourceName.isEmpty()) return;
    bool failed = false;
    {
        std::lock_guard<std::mutex> lock(d->m);
        auto it = d->shared.find(key);
        failed = it != d->shared.end() && it->second.failed;
    }
    if (failed) {
        // The source went away or refused the stream: again a little later.
        d->destroyStream(key, e);
        e.retryAt = NowMs() + kRetryDelayMs;
    }
    if (!d->ensureContext()) return;
    if (!e.stream && NowMs() >= e.retryAt) d->createStream(key, e);
}

void LevelMonitor::Unwatch(int key) {
    auto it = d->entries.find(key);
    if (it == d->entries.end()) return;
    d->destroyStream(key, it->second);
    d->entries.erase(it);
    // No source watched: no connection either.
    if (d->entries.empty()) d->dropContext();
}

void LevelMonitor::UnwatchAll() {
    if (d->entries.empty() && !d->context) return;
    d->dropContext();
    d->entries.clear();
}

bool LevelMonitor::Watching(int key) const { return d->entries.count(key) > 0; }

bool LevelMonitor::Streaming(int key) const {
    std::lock_guard<std::mutex> lock(d->m);
    auto it = d->shared.find(key);
    return it != d->shared.end() && it->second.ready;
}

QVector<float> LevelMonitor::TakePeaks(int key) {
    auto it = d->entries.find(key);
    if (it == d->entries.end()) return {};
    Impl::Entry& e = it->second;
    if (e.fresh) {
        e.taken = e.delivered;
        e.delivered.clear();
        e.fresh = false;
    }
    return e.taken;
}

void LevelMonitor::MeasureLoudness(int key, int channels) {
    channels = (channels == 1 || channels == 2) ? channels : 0;
    if (channels) d->loudness[key] = channels;
    else d->loudness.erase(key);
    auto it = d->entries.find(key);
    if (it == d->entries.end() || (!it->second.stream && !it->second.tag) || it->second.streamChannels == channels) return;
    // The next Watch opens the stream of the other kind.
    d->destroyStream(key, it->second);
}

LoudnessSnapshot LevelMonitor::Loudness(int key) const {
    std::shared_ptr<LoudnessMeter> meter;
    {
        std::lock_guard<std::mutex> lock(d->m);
        auto it = d->shared.find(key);
        if (it != d->shared.end()) meter = it->second.meter;
    }
    return meter ? meter->Snapshot() : LoudnessSnapshot{};
}

void LevelMonitor::ResetTruePeak(int key) {
    std::shared_ptr<LoudnessMeter> meter;
    {
        std::lock_guard<std::mutex> lock(d->m);
        auto it = d->shared.find(key);
        if (it != d->shared.end()) meter = it->second.meter;
    }
    if (meter) meter->ResetTruePeak();
}

quint64 LevelMonitor::Deliveries(int key) const {
    auto it = d->entries.find(key);
    return it == d->entries.end() ? 0 : it->second.deliveries;
}

}  // namespace platform::capture
