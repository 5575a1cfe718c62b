#include "platform/capture/active_sound_recorder.h"

#include "platform/capture/encoder_core.h"
#include "platform/capture/input_formats.h"
#include "platform/capture/pulse_hub.h"
#include "platform/capture/recording_session.h"
#include "platform/capture/test_tone.h"
#include "platform/os.h"

#include <QFile>
#include <QHash>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <cstdlib>
#include <pulse/version.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace platform {

using namespace capture;

namespace {

constexpr int kServerWaitMs = 2000;
const char kTestToneName[] = "Test tone 1000 Hz (test only)";
const char kTestToneSystemName[] = "test-tone";
const char kTestToneLine[] = "Test tone";
constexpr int kTestToneRate = 48000;
constexpr int kTestToneChannels = 2;

// -1: not decided yet (the environment decides at first use).
std::atomic<int> g_testTone{-1};
std::atomic<int> g_testToneLevel{100};
std::atomic<qint64> g_memoryLimit{qint64(1) << 30};

std::function<QDateTime()>& WallClock() {
    static std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    return now;
}

// The sidecars of a file to be recorded at path.
RecordingAnalysis::FilePlan SidecarPlan(const EncoderSettings& e, const QString& path, bool memory) {
    RecordingAnalysis::FilePlan plan;
    if (!memory) {
        plan.audioPath = path;
        plan.loudnessReport = e.LoudnessAnalysis && e.LoudnessSidecar;
        plan.peaks = e.PeaksSidecar;
    }
    plan.anchorWall = WallClock()();
    plan.anchorBootMs = BootTimeMs();
    return plan;
}

}  // namespace

void ActiveSoundRecorder::SetWallClock(std::function<QDateTime()> now) {
    WallClock() = now ? std::move(now) : [] { return QDateTime::currentDateTime(); };
}

struct ActiveSoundRecorder::Device {
    bool tone = false;
    SourceInfo source;
    int lineCount() const { return tone ? 1 : std::max<int>(1, source.ports.size()); }
    QString lineName(int line) const {
        if (tone) return QString::fromLatin1(kTestToneLine);
        if (source.ports.isEmpty()) return source.description;
        return source.ports[line].description;
    }
    int defaultLine() const { return (tone || source.activePort < 0) ? 0 : source.activePort; }
};

void ActiveSoundRecorder::EnableTestTone(bool on) { g_testTone = on ? 1 : 0; }

bool ActiveSoundRecorder::TestToneEnabled() {
    int v = g_testTone.load();
    if (v < 0) {
        v = qEnvironmentVariable("QUILLON_TEST_TONE").trimmed() == QLatin1String("1") ? 1 : 0;
        int expected = -1;
        g_testTone.compare_exchange_strong(expected, v);
        v = g_testTone.load();
    }
    return v == 1;
}

void ActiveSoundRecorder::SetMemoryTakeLimit(qint64 bytes) { g_memoryLimit = std::max<qint64>(bytes, 0); }

ActiveSoundRecorder::ActiveSoundRecorder(int recorderIndex, QObject* parent)
    : QObject(parent), index_(recorderIndex) {}

ActiveSoundRecorder::~ActiveSoundRecorder() {
    if (hubListener_) PulseHub::Instance().RemoveListener(hubListener_);
    // At process end: the running recording is finalised here, synchronously.
    if (session_) {
        session_->RequestStop();
        session_->Join();
    }
    for (auto& s : retiring_) s->Join();
    session_.reset();
    retiring_.clear();
}

int ActiveSoundRecorder::fail(int code, const QString& text) {
    lastError_ = code;
    lastErrorText_ = text;
    return code;
}

void ActiveSoundRecorder::post(void (ActiveSoundRecorder::*signal)(int)) {
    const int index = index_;
    QMetaObject::invokeMethod(this, [this, signal, index] { emit(this->*signal)(index); }, Qt::QueuedConnection);
}

int ActiveSoundRecorder::InitRecorder(quintptr) {
    if (initialised_) return fail(-14, QStringLiteral("the engine is already initialised"));
    PulseHub& hub = PulseHub::Instance();
    hub.Start(kServerWaitMs);
    hubListener_ = hub.AddListener(this, [this](HubEvent e) {
        if (e == HubEvent::DeviceChange) emit DeviceChange(index_);
        else emit InputFormatsAvailable(index_);
    });
    initialised_ = true;
    post(&ActiveSoundRecorder::Validate);
    if (hub.Answered()) post(&ActiveSoundRecorder::InputFormatsAvailable);
    return 0;
}

QString ActiveSoundRecorder::ControlVersion() const { return QStringLiteral("4.0"); }

QString ActiveSoundRecorder::EngineVersion() const {
    const unsigned f = avformat_version(), c = avcodec_version();
    QString text = QStringLiteral("Quillon capture engine 1.0 (libpulse %1, libavformat %2.%3.%4, libavcodec %5.%6.%7")
                       .arg(QString::fromLatin1(pa_get_library_version()))
                       .arg(f >> 16).arg((f >> 8) & 0xff).arg(f & 0xff)
                       .arg(c >> 16).arg((c >> 8) & 0xff).arg(c & 0xff);
    const QString server = PulseHub::Instance().ServerText();
    text += server.isEmpty() ? QStringLiteral("; no sound server)") : QStringLiteral("; server %1)").arg(server);
    return text;
}

// ---------------------------------------------------------------------------
// Devices and lines

namespace {
// The device list of the process. Its order is the server's order at the first
// listing (the test tone after the server's sources); a device that arrives
// later is added at the end and a device that goes away keeps its place,
// marked absent. A stored device index therefore keeps designating the same
// device for the whole run, whatever is plugged in or out meanwhile.
struct DeviceOrder {
    std::mutex m;
    QStringList names;                  // server names; the test tone under its own name
    QHash<QString, QString> described;  // last description seen, for absent devices
};
DeviceOrder& Order() {
    static DeviceOrder order;
    return order;
}

// Brings the list up to date with the server's sources; returns its length.
int refreshDeviceOrder(QVector<SourceInfo>* present) {
    const QVector<SourceInfo> sources = PulseHub::Instance().Sources();
    DeviceOrder& order = Order();
    std::lock_guard<std::mutex> lock(order.m);
    for (const SourceInfo& s : sources) {
        if (!order.names.contains(s.name)) order.names.push_back(s.name);
        order.described.insert(s.name, s.description);
    }
    const QString tone = QString::fromLatin1(kTestToneSystemName);
    if (ActiveSoundRecorder::TestToneEnabled() && !order.names.contains(tone)) {
        order.names.push_back(tone);
        order.described.insert(tone, QString::fromLatin1(kTestToneName));
    }
    if (present) *present = sources;
    return static_cast<int>(order.names.size());
}

// Name (system name or description) of a listed device, present or not.
QString knownDevice(int index, bool description) {
    if (index < 0) return QString();
    DeviceOrder& order = Order();
    std::lock_guard<std::mutex> lock(order.m);
    if (index >= order.names.size()) return QString();
    const QString& name = order.names[index];
    return description ? order.described.value(name, name) : name;
}
}  // namespace

bool ActiveSoundRecorder::device(int index, Device* out) {
    if (!initialised_ || index < 0) return false;
    QVector<SourceInfo> sources;
    if (index >= refreshDeviceOrder(&sources)) return false;
    QString name;
    {
        DeviceOrder& order = Order();
        std::lock_guard<std::mutex> lock(order.m);
        name = order.names[index];
    }
    if (name == QString::fromLatin1(kTestToneSystemName)) {
        if (!TestToneEnabled()) return false;
        out->tone = true;
        out->source = SourceInfo{};
        out->source.name = name;
        out->source.description = QString::fromLatin1(kTestToneName);
        out->source.rate = kTestToneRate;
        out->source.channels = kTestToneChannels;
        out->source.bits = 16;
        return true;
    }
    for (const SourceInfo& s : sources) {
        if (s.name == name) {
            out->tone = false;
            out->source = s;
            return true;
        }
    }
    return false;  // known, but absent now
}

int ActiveSoundRecorder::InputDeviceCount() {
    if (!initialised_) return 0;
    return refreshDeviceOrder(nullptr);
}

QString ActiveSoundRecorder::InputDeviceName(int index) {
    Device d;
    if (device(index, &d)) return d.source.description;
    return initialised_ ? knownDevice(index, true) : QString();
}

QString ActiveSoundRecorder::InputDeviceSystemName(int index) {
    Device d;
    if (device(index, &d)) return d.source.name;
    return initialised_ ? knownDevice(index, false) : QString();
}

int ActiveSoundRecorder::InputDeviceIndexOf(const QString& systemName) {
    if (!initialised_ || systemName.isEmpty()) return -1;
    refreshDeviceOrder(nullptr);
    DeviceOrder& order = Order();
    std::lock_guard<std::mutex> lock(order.m);
    return int(order.names.indexOf(systemName));
}

bool ActiveSoundRecorder::InputDevicePresent(int index) {
    Device d;
    return device(index, &d);
}

bool ActiveSoundRecorder::SoundServerAvailable() { return PulseHub::Instance().Connected(); }

int ActiveSoundRecorder::InputChannelCount(int index) {
    if (!initialised_) return -49;
    Device d;
    return device(index, &d) ? d.lineCount() : -50;
}

QString ActiveSoundRecorder::InputChannelName(int index, int line) {
    Device d;
    if (!device(index, &d) || line < 0 || line >= d.lineCount()) return QString();
    return d.lineName(line);
}

int ActiveSoundRecorder::InputChannelDefaultGet(int index) {
    if (!initialised_) return -49;
    Device d;
    return device(index, &d) ? d.defaultLine() : -50;
}

int ActiveSoundRecorder::SetInputDeviceChannelDefault(int index, int line) {
    if (!initialised_) return fail(-49, QStringLiteral("the engine is not initialised"));
    Device d;
    if (!device(index, &d)) return fail(-50, QStringLiteral("no input device %1").arg(index));
    if (line < 0 || line >= d.lineCount()) return fail(-51, QStringLiteral("no input line %1").arg(line));
    if (d.tone || d.source.ports.isEmpty() || line == d.source.activePort) return 0;
    QString text;
    const int rc = PulseHub::Instance().SetPort(d.source.name, line, kServerWaitMs, &text);
    return rc == 0 ? 0 : fail(rc, text);
}

int ActiveSoundRecorder::InputLevelGet(int index, int line) {
    Device d;
    if (!device(index, &d) || line < 0 || line >= d.lineCount()) return -1;
    return d.tone ? g_testToneLevel.load() : d.source.level;
}

int ActiveSoundRecorder::InputLevelSet(int index, int line, int level) {
    if (!initialised_) return fail(-49, QStringLiteral("the engine is not initialised"));
    Device d;
    if (!device(index, &d)) return fail(-50, QStringLiteral("no input device %1").arg(index));
    if (line < 0 || line >= d.lineCount()) return fail(-51, QStringLiteral("no input line %1").arg(line));
    if (level < 0 || level > 100) return fail(-3, QStringLiteral("level %1 is outside 0..100").arg(level));
    if (d.tone) {
        g_testToneLevel = level;
        return 0;
    }
    // Always asked of the server: the level it has may not be the one last
    // listed (a source made anew starts at its own level).
    QString text;
    const int rc = PulseHub::Instance().SetVolume(d.source.name, level, kServerWaitMs, &text);
    return rc == 0 ? 0 : fail(rc, text);
}

int ActiveSoundRecorder::InputFormatCount(int index) {
    if (!initialised_) return -49;
    Device d;
    if (!device(index, &d)) return PulseHub::Instance().Answered() ? 0 : -1;
    return static_cast<int>(InputFormatList(d.source.rate, d.source.channels, d.source.bits).size());
}

QString ActiveSoundRecorder::InputFormatText(int index, int k) {
    Device d;
    if (!device(index, &d)) return QString();
    const QStringList list = InputFormatList(d.source.rate, d.source.channels, d.source.bits);
    return (k >= 0 && k < list.size()) ? list[k] : QString();
}

QVector<float> ActiveSoundRecorder::PeakLevels() const {
    if (session_ && !session_->Ending()) return session_->Peaks();
    return QVector<float>(lastChannels_, 0.0f);
}

QVector<float> ActiveSoundRecorder::TakePeakLevels() {
    if (!session_ || session_->Ending()) return PeakLevels();
    const QVector<float> peaks = session_->TakeMeterPeaks();
    return peaks.isEmpty() ? session_->Peaks() : peaks;
}

std::optional<double> ActiveSoundRecorder::TakeInputPeakDbfs() {
    if (!session_ || session_->Ending()) return std::nullopt;
    const float peak = session_->TakePeakHold();
    if (peak < 0.0f) return std::nullopt;
    if (peak <= 0.0f) return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(double(peak));
}

LoudnessSnapshot ActiveSoundRecorder::Loudness() const {
    if (!session_ || session_->Ending() || !meter_) return {};
    LoudnessSnapshot snapshot = meter_->Snapshot();
    if (session_->Paused()) snapshot.valid = false;
    return snapshot;
}

void ActiveSoundRecorder::ResetTruePeak() {
    if (meter_) meter_->ResetTruePeak();
}

// ---------------------------------------------------------------------------
// Recording

int ActiveSoundRecorder::SetRecordingMode(int mode) {
    if (!initialised_) return fail(-49, QStringLiteral("the engine is not initialised"));
    if (mode != 0) return fail(-3, QStringLiteral("recording mode %1 is not available").arg(mode));
    mode_ = mode;
    return 0;
}

int ActiveSoundRecorder::RecordedSound_FreeMemory() {
    if (!hasMemoryTake_) return fail(-73, QStringLiteral("no memory take to free"));
    memoryTake_ = QByteArray();
    hasMemoryTake_ = false;
    memoryRate_ = memoryChannels_ = memoryBits_ = 0;
    return 0;
}

QByteArray ActiveSoundRecorder::RecordedSoundPcm() const { return memoryTake_; }

void ActiveSoundRecorder::retireEndedSession() {
    if (session_ && session_->Ending()) retiring_.push_back(std::move(session_));
}

int ActiveSoundRecorder::StartFromDirectSoundDevice(int index, int line, const QString& path) {
    try {
        if (!initialised_) return fail(-49, QStringLiteral("the engine is not initialised"));
        retireEndedSession();
        if (session_) return fail(-64, QStringLiteral("Rec. %1 is already recording").arg(index_ + 1));
        Device d;
        if (!device(index, &d)) return fail(-50, QStringLiteral("no input device %1").arg(index));
        if (line < 0 || line >= d.lineCount()) return fail(-51, QStringLiteral("no input line %1").arg(line));
        CaptureFormat format;
        format.rate = encoder_.CaptureRate;
        format.channels = encoder_.CaptureChannels;
        format.bits = encoder_.CaptureBits;
        if (!format.valid()) {
            return fail(-53, QStringLiteral("capture format %1 Hz, %2 bits, %3 channel(s) is not available")
                                 .arg(format.rate).arg(format.bits).arg(format.channels));
        }
        // Without a file name the take is kept in memory.
        const bool memory = encoder_.FormatToUse == 0 || path.trimmed().isEmpty();
        std::unique_ptr<EncoderCore> encoder;
        if (!memory) {
            EncoderProfile profile;
            if (!ProfileFor(encoder_, format, &profile)) {
                return fail(-83, QStringLiteral("recording format %1 is not available").arg(encoder_.FormatToUse));
            }
            if (!profile.notice.isEmpty()) Notice(QStringLiteral("Rec. %1: %2").arg(index_ + 1).arg(profile.notice));
            encoder = std::make_unique<EncoderCore>();
            QString text;
            const int rc = encoder->Open(path, profile, format, &text);
            if (rc != 0) return fail(rc, text);
        }
        if (!d.tone && !d.source.ports.isEmpty() && line != d.source.activePort) {
            QString text;
            const int rc = PulseHub::Instance().SetPort(d.source.name, line, kServerWaitMs, &text);
            if (rc != 0) {
                if (encoder) {
                    QString ignored;
                    encoder->Finish(&ignored);
                    QFile::remove(path);
                }
                return fail(-51, text);
            }
        }
        std::unique_ptr<CaptureSource> source;
        if (d.tone) {
            source = std::make_unique<TestToneSource>(format);
        } else {
            source = PulseHub::Instance().CreateCapture(d.source.name, format,
                                                        QStringLiteral("Rec. %1").arg(index_ + 1));
        }
        RecordingSession::Config config;
        config.index = index_;
        config.format = format;
        config.memory = memory;
        config.memoryLimitBytes = g_memoryLimit.load();
        config.measureLoudness = encoder_.LoudnessAnalysis;
        config.measureTruePeak = encoder_.LoudnessTruePeak;
        config.firstFile = SidecarPlan(encoder_, path, memory);
        auto session = std::make_unique<RecordingSession>(this, config, std::move(encoder));
        QString text;
        const int rc = session->StartCapture(std::move(source), &text);
        if (rc != 0) {
            session.reset();
            if (!memory) QFile::remove(path);
            return fail(rc, text);
        }
        post(&ActiveSoundRecorder::RecordingStarted);
        session->Run();
        session_ = std::move(session);
        meter_ = session_->Meter();
        lastChannels_ = format.channels;
        lastPositionMs_ = 0;
        return 0;
    } catch (const std::exception& e) {
        return fail(-100, QString::fromUtf8(e.what()));
    } catch (...) {
        return fail(-100, QStringLiteral("unexpected failure"));
    }
}

int ActiveSoundRecorder::RecorderContinueIntoFile(const QString& path) {
    try {
        if (!initialised_) return fail(-49, QStringLiteral("the engine is not initialised"));
        retireEndedSession();
        if (!session_) return fail(-100, QStringLiteral("Rec. %1 is not recording").arg(index_ + 1));
        if (session_->IsMemory() || encoder_.FormatToUse == 0) {
            return fail(-3, QStringLiteral("a memory take cannot continue into a file"));
        }
        if (path.trimmed().isEmpty()) return fail(-8, QStringLiteral("no file name"));
        EncoderProfile profile;
        if (!ProfileFor(encoder_, session_->Format(), &profile)) {
            return fail(-83, QStringLiteral("recording format %1 is not available").arg(encoder_.FormatToUse));
        }
        if (!profile.notice.isEmpty()) Notice(QStringLiteral("Rec. %1: %2").arg(index_ + 1).arg(profile.notice));
        auto encoder = std::make_unique<EncoderCore>();
        QString text;
        const int rc = encoder->Open(path, profile, session_->Format(), &text);
        if (rc != 0) return fail(rc, text);
        if (!session_->ContinueInto(std::move(encoder), SidecarPlan(encoder_, path, false))) {
            QFile::remove(path);
            return fail(-64, QStringLiteral("Rec. %1 is already changing files").arg(index_ + 1));
        }
        return 0;
    } catch (const std::exception& e) {
        return fail(-100, QString::fromUtf8(e.what()));
    } catch (...) {
        return fail(-100, QStringLiteral("unexpected failure"));
    }
}

int ActiveSoundRecorder::RecorderPause() {
    retireEndedSession();
    if (!session_) return fail(-100, QStringLiteral("Rec. %1 is not recording").arg(index_ + 1));
    if (session_->Paused()) return 0;
    session_->SetPaused(true);
    post(&ActiveSoundRecorder::RecordingPaused);
    return 0;
}

int ActiveSoundRecorder::RecorderResume() {
    retireEndedSession();
    if (!session_) return fail(-100, QStringLiteral("Rec. %1 is not recording").arg(index_ + 1));
    if (!session_->Paused()) return 0;
    session_->SetPaused(false);
    post(&ActiveSoundRecorder::RecordingResumed);
    return 0;
}

int ActiveSoundRecorder::RecorderStop() {
    retireEndedSession();
    if (!session_) return -100;
    // The encoder thread finalises the file; the events follow.
    session_->RequestStop();
    retiring_.push_back(std::move(session_));
    return 0;
}

void ActiveSoundRecorder::onSessionFinished(RecordingSession* session) {
    if (session_.get() == session) retiring_.push_back(std::move(session_));
    for (auto it = retiring_.begin(); it != retiring_.end(); ++it) {
        if (it->get() == session) {
            (*it)->Join();  // its last act was to post this call
            retiring_.erase(it);
            return;
        }
    }
}

int ActiveSoundRecorder::RecorderStatus() const {
    if (!session_ || session_->Ending()) return StatusNone;
    if (session_->Paused()) return StatusPaused;
    return session_->IsMemory() ? StatusRecordingMemory : StatusRecordingFile;
}

qint64 ActiveSoundRecorder::RecordingPositionMs() const {
    if (session_) return session_->PositionMs();
    if (!retiring_.empty()) return retiring_.back()->PositionMs();
    return lastPositionMs_;
}

quint64 ActiveSoundRecorder::OverrunCount() const {
    if (session_) return session_->Overruns();
    if (!retiring_.empty()) return retiring_.back()->Overruns();
    return lastOverruns_;
}

}  // namespace platform
