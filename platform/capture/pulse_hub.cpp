#include "platform/capture/pulse_hub.h"

#include <QMetaObject>
#include <QPointer>
#include <QSet>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <pulse/pulseaudio.h>

namespace platform::capture {

namespace {

constexpr int kReconnectDelayMs = 2000;
constexpr pa_usec_t kFragmentUsec = 100000;

int BitsOf(pa_sample_format_t f) {
    switch (f) {
    case PA_SAMPLE_U8: return 8;
    case PA_SAMPLE_S24LE:
    case PA_SAMPLE_S24BE:
    case PA_SAMPLE_S24_32LE:
    case PA_SAMPLE_S24_32BE: return 24;
    case PA_SAMPLE_S32LE:
    case PA_SAMPLE_S32BE:
    case PA_SAMPLE_FLOAT32LE:
    case PA_SAMPLE_FLOAT32BE: return 32;
    default: return 16;
    }
}

int LevelOf(const pa_cvolume& v) {
    if (v.channels == 0) return 0;
    const qint64 avg = pa_cvolume_avg(&v);
    const qint64 level = (avg * 100 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM;
    return static_cast<int>(std::clamp<qint64>(level, 0, 100));
}

SourceInfo Convert(const pa_source_info* i) {
    SourceInfo s;
    s.index = i->index;
    s.name = QString::fromUtf8(i->name ? i->name : "");
    s.description = QString::fromUtf8(i->description ? i->description : i->name ? i->name : "");
    s.monitor = i->monitor_of_sink != PA_INVALID_INDEX;
    s.rate = static_cast<int>(i->sample_spec.rate);
    s.channels = i->sample_spec.channels;
    s.bits = BitsOf(i->sample_spec.format);
    for (uint32_t k = 0; k < i->n_ports; ++k) {
        const pa_source_port_info* p = i->ports[k];
        if (!p) continue;
        s.ports.push_back({QString::fromUtf8(p->name ? p->name : ""),
                           QString::fromUtf8(p->description ? p->description : p->name ? p->name : "")});
        if (p == i->active_port) s.activePort = s.ports.size() - 1;
    }
    s.volumeChannels = i->volume.channels;
    s.level = LevelOf(i->volume);
    return s;
}

// Completion of one server operation awaited by the event-loop thread, which
// may stop waiting before the server answers: the state is shared.
struct OpWaiter {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    bool success = false;
};

void OpSuccess(pa_context*, int success, void* userdata) {
    auto* holder = static_cast<std::shared_ptr<OpWaiter>*>(userdata);
    std::lock_guard<std::mutex> lock((*holder)->m);
    (*holder)->success = success != 0;
}

void OpState(pa_operation* op, void* userdata) {
    if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) return;
    auto* holder = static_cast<std::shared_ptr<OpWaiter>*>(userdata);
    pa_operation_set_state_callback(op, nullptr, nullptr);
    {
        std::lock_guard<std::mutex> lock((*holder)->m);
        (*holder)->done = true;
    }
    (*holder)->cv.notify_all();
    delete holder;
}

}  // namespace

struct PulseHub::Impl {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool started = false;

    // Guarded by m (taken inside main-loop callbacks too: never take the
    // main-loop lock while holding m).
    mutable std::mutex m;
    std::condition_variable cv;
    QVector<SourceInfo> sources;
    bool answered = false;
    bool connected = false;
    bool everListed = false;
    bool gaveUpWaiting = false;
    QString serverText;

    // Main-loop thread only.
    QVector<SourceInfo> pending;
    bool listing = false;
    bool listAgain = false;
    bool lostHandled = false;

    std::mutex listenersMutex;
    int nextListener = 1;
    std::map<int, std::pair<QPointer<QObject>, std::function<void(HubEvent)>>> listeners;

    void notify(HubEvent e) {
        std::lock_guard<std::mutex> lock(listenersMutex);
        for (auto& [id, entry] : listeners) {
            QObject* target = entry.first.data();
            if (!target) continue;
            auto callback = entry.second;
            QMetaObject::invokeMethod(target, [callback, e] { callback(e); }, Qt::QueuedConnection);
        }
    }

    // --- main-loop thread (or with the main-loop lock held) ---
    void connect() {
        lostHandled = false;
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Quillon Recorder");
        if (!context) {
            lost();
            return;
        }
        pa_context_set_state_callback(context, &Impl::contextState, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) lost();
    }

    void lost() {
        if (lostHandled) return;
        lostHandled = true;
        bool hadSources = false;
        {
            std::lock_guard<std::mutex> lock(m);
            hadSources = !sources.isEmpty();
            sources.clear();
            answered = true;
            connected = false;
        }
        cv.notify_all();
        listing = false;
        listAgain = false;
        if (hadSources) notify(HubEvent::DeviceChange);
        timeval tv;
        pa_gettimeofday(&tv);
        pa_timeval_add(&tv, kReconnectDelayMs * PA_USEC_PER_MSEC);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        api->time_new(api, &tv, &Impl::reconnectTimer, this);
    }

    static void reconnectTimer(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        api->time_free(e);
        if (self->context) {
            pa_context_set_state_callback(self->context, nullptr, nullptr);
            pa_context_set_subscribe_callback(self->context, nullptr, nullptr);
            pa_context_disconnect(self->context);
            pa_context_unref(self->context);
            self->context = nullptr;
        }
        self->connect();
    }

    static void contextState(pa_context* c, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        if (c != self->context) return;
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY: {
            {
                std::lock_guard<std::mutex> lock(self->m);
                self->serverText = QStringLiteral("%1 (protocol %2)")
                                       .arg(QString::fromUtf8(pa_context_get_server(c) ? pa_context_get_server(c) : ""))
                                       .arg(pa_context_get_server_protocol_version(c));
            }
            pa_context_set_subscribe_callback(c, &Impl::subscribed, self);
            pa_operation* op = pa_context_subscribe(c, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr);
            if (op) pa_operation_unref(op);
            self->requestList();
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self->lost();
            break;
        default:
            break;
        }
    }

    static void subscribed(pa_context* c, pa_subscription_event_type_t t, uint32_t index, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        if ((t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE) return;
        const auto type = t & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (type == PA_SUBSCRIPTION_EVENT_CHANGE) {
            pa_operation* op = pa_context_get_source_info_by_index(c, index, &Impl::changedInfo, self);
            if (op) pa_operation_unref(op);
        } else {
            self->requestList();
        }
    }

    static void changedInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        if (eol != 0 || !info) return;
        SourceInfo s = Convert(info);
        std::lock_guard<std::mutex> lock(self->m);
        for (SourceInfo& known : self->sources) {
            if (known.index == s.index) known = s;
        }
    }

    void requestList() {
        if (!context || pa_context_get_state(context) != PA_CONTEXT_READY) return;
        if (listing) {
            listAgain = true;
            return;
        }
        listing = true;
        pending.clear();
        pa_operation* op = pa_context_get_source_info_list(context, &Impl::listInfo, this);
        if (op) {
            pa_operation_unref(op);
        } else {
            listing = false;
        }
    }

    static void listInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        if (eol < 0) {
            self->listing = false;
            return;
        }
        if (eol == 0) {
            if (info) self->pending.push_back(Convert(info));
            return;
        }
        self->listing = false;
        if (self->listAgain) {
            self->listAgain = false;
            self->requestList();
            return;
        }
        bool first = false, changed = false, gaveUp = false;
        {
            std::lock_guard<std::mutex> lock(self->m);
            first = !self->everListed;
            self->everListed = true;
            QStringList before, after;
            for (const SourceInfo& s : self->sources) before << s.name;
            for (const SourceInfo& s : self->pending) after << s.name;
            changed = before != after;
            self->sources = self->pending;
            self->answered = true;
            self->connected = true;
            gaveUp = self->gaveUpWaiting;
            self->gaveUpWaiting = false;
        }
        self->cv.notify_all();
        if (changed && (!first || gaveUp)) self->notify(HubEvent::DeviceChange);
        if (first || changed) self->notify(HubEvent::FormatsAvailable);
    }

    // Runs an operation on the main loop and waits for its completion.
    int runOperation(const std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)>& issue,
                     int waitMs, QString* errorText) {
        if (!loop) {
            if (errorText) *errorText = QStringLiteral("the sound server is not available");
            return -50;
        }
        auto waiter = std::make_shared<OpWaiter>();
        pa_threaded_mainloop_lock(loop);
        if (!context || pa_context_get_state(context) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_unlock(loop);
            if (errorText) *errorText = QStringLiteral("the sound server is not available");
            return -50;
        }
        auto* holder = new std::shared_ptr<OpWaiter>(waiter);
        pa_operation* op = issue(context, &OpSuccess, holder);
        if (!op) {
            delete holder;
            const QString why = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
            pa_threaded_mainloop_unlock(loop);
            if (errorText) *errorText = why;
            return -100;
        }
        pa_operation_set_state_callback(op, &OpState, holder);
        pa_operation_unref(op);
        pa_threaded_mainloop_unlock(loop);
        std::unique_lock<std::mutex> lock(waiter->m);
        if (!waiter->cv.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return waiter->done; })) {
            if (errorText) *errorText = QStringLiteral("the sound server did not answer in time");
            return -100;
        }
        if (!waiter->success) {
            if (errorText) *errorText = QStringLiteral("the sound server refused the change");
            return -100;
        }
        return 0;
    }
};

PulseHub::PulseHub() : d(new Impl) {}

PulseHub& PulseHub::Instance() {
    // Deliberately never destroyed: the main-loop thread may still run while
    // the process ends. It is stopped at exit so that no callback runs then.
    static PulseHub* hub = new PulseHub;
    static struct Stopper {
        ~Stopper() {
            if (hub->d->started && hub->d->loop) pa_threaded_mainloop_stop(hub->d->loop);
        }
    } stopper;
    return *hub;
}

void PulseHub::Start(int waitMs) {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(d->m);
        if (!d->started) {
            d->started = true;
            first = true;
            d->loop = pa_threaded_mainloop_new();
            if (!d->loop || pa_threaded_mainloop_start(d->loop) < 0) {
                if (d->loop) pa_threaded_mainloop_free(d->loop);
                d->loop = nullptr;
                d->answered = true;
                return;
            }
        }
    }
    if (first) {
        pa_threaded_mainloop_lock(d->loop);
        d->connect();
        pa_threaded_mainloop_unlock(d->loop);
    }
    std::unique_lock<std::mutex> lock(d->m);
    if (!d->answered) d->cv.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return d->answered; });
    // The caller goes on without the server's sources (no answer in time, or
    // no server at all): their first listing is then a change to announce.
    if (!d->everListed) d->gaveUpWaiting = true;
}

bool PulseHub::Answered() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->answered;
}

bool PulseHub::Connected() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->connected;
}

QVector<SourceInfo> PulseHub::Sources() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->sources;
}

QString PulseHub::ServerText() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->connected ? d->serverText : QString();
}

int PulseHub::SetVolume(const QString& sourceName, int level, int waitMs, QString* errorText) {
    int channels = 0;
    {
        std::lock_guard<std::mutex> lock(d->m);
        for (const SourceInfo& s : d->sources) {
            if (s.name == sourceName) channels = s.volumeChannels > 0 ? s.volumeChannels : s.channels;
        }
    }
    if (channels <= 0) {
        if (errorText) *errorText = QStringLiteral("no such source: %1").arg(sourceName);
        return -50;
    }
    level = std::clamp(level, 0, 100);
    pa_cvolume volume;
    pa_cvolume_set(&volume, static_cast<unsigned>(channels),
                   static_cast<pa_volume_t>((qint64(level) * PA_VOLUME_NORM + 50) / 100));
    const QByteArray name = sourceName.toUtf8();
    const int rc = d->runOperation(
        [&](pa_context* c, pa_context_success_cb_t cb, void* ud) {
            return pa_context_set_source_volume_by_name(c, name.constData(), &volume, cb, ud);
        },
        waitMs, errorText);
    if (rc == 0) {
        std::lock_guard<std::mutex> lock(d->m);
        for (SourceInfo& s : d->sources) {
            if (s.name == sourceName) s.level = level;
        }
    }
    return rc;
}

int PulseHub::SetPort(const QString& sourceName, int port, int waitMs, QString* errorText) {
    QByteArray portName;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(d->m);
        for (const SourceInfo& s : d->sources) {
            if (s.name != sourceName) continue;
            found = true;
            if (port >= 0 && port < s.ports.size()) portName = s.ports[port].name.toUtf8();
        }
    }
    if (!found) {
        if (errorText) *errorText = QStringLiteral("no such source: %1").arg(sourceName);
        return -50;
    }
    if (portName.isEmpty()) {
        if (errorText) *errorText = QStringLiteral("no such line: %1").arg(port);
        return -51;
    }
    const QByteArray name = sourceName.toUtf8();
    const int rc = d->runOperation(
        [&](pa_context* c, pa_context_success_cb_t cb, void* ud) {
            return pa_context_set_source_port_by_name(c, name.constData(), portName.constData(), cb, ud);
        },
        waitMs, errorText);
    if (rc == 0) {
        std::lock_guard<std::mutex> lock(d->m);
        for (SourceInfo& s : d->sources) {
            if (s.name == sourceName) s.activePort = port;
        }
    }
    return rc;
}

int PulseHub::AddListener(QObject* context, std::function<void(HubEvent)> callback) {
    std::lock_guard<std::mutex> lock(d->listenersMutex);
    const int id = d->nextListener++;
    d->listeners[id] = {QPointer<QObject>(context), std::move(callback)};
    return id;
}

void PulseHub::RemoveListener(int id) {
    std::lock_guard<std::mutex> lock(d->listenersMutex);
    d->listeners.erase(id);
}

// ---------------------------------------------------------------------------
// A record stream on one source.

namespace {

class PulseCapture : public CaptureSource {
public:
    PulseCapture(PulseHub::Impl* hub, QString source, CaptureFormat format, QString streamName)
        : hub_(hub), source_(std::move(source)), format_(format), streamName_(std::move(streamName)) {}
    ~PulseCapture() override { stop(); }

    int start(CaptureSink* sink, QString* errorText) override {
        sink_ = sink;
        pa_sample_spec spec;
        spec.format = format_.bits == 8 ? PA_SAMPLE_U8 : format_.bits == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_S32LE;
        spec.rate = static_cast<uint32_t>(format_.rate);
        spec.channels = static_cast<uint8_t>(format_.channels);
        if (!hub_->loop) {
            if (errorText) *errorText = QStringLiteral("the sound server is not available");
            return -50;
        }
        pa_threaded_mainloop_lock(hub_->loop);
        if (!hub_->context || pa_context_get_state(hub_->context) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_unlock(hub_->loop);
            if (errorText) *errorText = QStringLiteral("the sound server is not available");
            return -50;
        }
        stream_ = pa_stream_new(hub_->context, streamName_.toUtf8().constData(), &spec, nullptr);
        if (!stream_) {
            const QString why = QString::fromUtf8(pa_strerror(pa_context_errno(hub_->context)));
            pa_threaded_mainloop_unlock(hub_->loop);
            if (errorText) *errorText = QStringLiteral("cannot open a capture stream: %1").arg(why);
            return -53;
        }
        pa_stream_set_state_callback(stream_, &PulseCapture::stateChanged, this);
        pa_stream_set_read_callback(stream_, &PulseCapture::readable, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        // Fragments of 100 ms: the capture thread and the encoder wake ten times
        // a second per recording, not fifty.
        attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentUsec, &spec));
        // Never let the server move the recording to another source when
        // this one goes away: that ends the recording instead.
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(stream_, source_.toUtf8().constData(), &attr, flags) < 0) {
            const QString why = QString::fromUtf8(pa_strerror(pa_context_errno(hub_->context)));
            dropStream();
            pa_threaded_mainloop_unlock(hub_->loop);
            if (errorText) *errorText = QStringLiteral("cannot record from %1: %2").arg(source_, why);
            return -50;
        }
        pa_threaded_mainloop_unlock(hub_->loop);

        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, std::chrono::seconds(2), [&] { return ready_ || failed_; });
        if (ready_) return 0;
        const QString why = failed_ ? failure_ : QStringLiteral("the sound server did not answer in time");
        lock.unlock();
        stop();
        if (errorText) *errorText = QStringLiteral("cannot record from %1: %2").arg(source_, why);
        return -50;
    }

    void stop() override {
        if (!hub_->loop) return;
        pa_threaded_mainloop_lock(hub_->loop);
        dropStream();
        pa_threaded_mainloop_unlock(hub_->loop);
    }

private:
    void dropStream() {
        if (!stream_) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        if (pa_stream_get_state(stream_) == PA_STREAM_READY || pa_stream_get_state(stream_) == PA_STREAM_CREATING) {
            pa_stream_disconnect(stream_);
        }
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    static void stateChanged(pa_stream* s, void* userdata) {
        auto* self = static_cast<PulseCapture*>(userdata);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_READY) {
            {
                std::lock_guard<std::mutex> lock(self->m_);
                self->ready_ = true;
            }
            self->cv_.notify_all();
        } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            const QString why = QString::fromUtf8(pa_strerror(pa_context_errno(pa_stream_get_context(s))));
            bool wasReady = false;
            {
                std::lock_guard<std::mutex> lock(self->m_);
                wasReady = self->ready_;
                self->failed_ = true;
                self->failure_ = why;
            }
            self->cv_.notify_all();
            if (wasReady && self->sink_) self->sink_->onSourceLost(why);
        }
    }

    static void readable(pa_stream* s, size_t, void* userdata) {
        auto* self = static_cast<PulseCapture*>(userdata);
        const size_t frameBytes = static_cast<size_t>(self->format_.bytesPerFrame());
        while (pa_stream_readable_size(s) > 0) {
            const void* data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) break;
            if (data) {
                self->deliver(static_cast<const uint8_t*>(data), bytes, frameBytes);
            } else {
                // A hole in the stream: keep the timeline with silence.
                std::vector<uint8_t> silence(bytes, self->format_.bits == 8 ? 0x80 : 0);
                self->deliver(silence.data(), bytes, frameBytes);
            }
            pa_stream_drop(s);
        }
    }

    void deliver(const uint8_t* data, size_t bytes, size_t frameBytes) {
        // Frames may in principle straddle fragments: keep the remainder.
        if (!carry_.empty()) {
            const size_t need = frameBytes - carry_.size();
            const size_t take = std::min(need, bytes);
            carry_.insert(carry_.end(), data, data + take);
            data += take;
            bytes -= take;
            if (carry_.size() == frameBytes) {
                sink_->onCaptured(carry_.data(), 1);
                carry_.clear();
            }
        }
        const size_t frames = bytes / frameBytes;
        if (frames) sink_->onCaptured(data, frames);
        const size_t rest = bytes - frames * frameBytes;
        if (rest) carry_.assign(data + frames * frameBytes, data + bytes);
    }

    PulseHub::Impl* hub_;
    QString source_;
    CaptureFormat format_;
    QString streamName_;
    CaptureSink* sink_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::vector<uint8_t> carry_;
    std::mutex m_;
    std::condition_variable cv_;
    bool ready_ = false;
    bool failed_ = false;
    QString failure_;
};

}  // namespace

std::unique_ptr<CaptureSource> PulseHub::CreateCapture(const QString& sourceName, const CaptureFormat& format,
                                                       const QString& streamName) {
    return std::make_unique<PulseCapture>(d, sourceName, format, streamName);
}

}  // namespace platform::capture
