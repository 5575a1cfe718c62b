#include "recording/recorder.h"

#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "recording/encoder_choice.h"
#include "recording/recording.h"
#include "settings/settings_model.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QHash>

namespace {

void Trace(int i, const QString& text) { TraceLog(-1, i, -1, text); }

// The last level this program put on each device and line, and for which
// recorder: recorders that share a source share its level.
struct AppliedLevel {
    int recorder = -1;
    int level = -1;
};
QHash<QString, AppliedLevel>& AppliedLevels() {
    static QHash<QString, AppliedLevel> levels;
    return levels;
}
QString LevelKey(int device, int line) { return QString::number(device) + QLatin1Char('/') + QString::number(line); }

}  // namespace

Recorder::Recorder(int index, QObject* parent) : QObject(parent), index_(index) { config_.Index = index; }

Recorder::~Recorder() = default;

void Recorder::SetConfig(const RecorderConfig& config) {
    config_ = config;
    config_.Index = index_;
    emit StateChanged(index_);
}

void Recorder::SetEngine(platform::ActiveSoundRecorder* engine) {
    if (engine_ == engine) return;
    if (engine_) QObject::disconnect(engine_, nullptr, this, nullptr);
    engine_ = engine;
    if (engine_) ConnectEngine();
}

bool Recorder::InService() const { return index_ < RecordersInService(); }

bool Recorder::EngineRecording() const {
    if (!engine_) return false;
    switch (engine_->RecorderStatus()) {
    case platform::StatusRecording:
    case platform::StatusSilent:
    case platform::StatusPaused:
    case platform::StatusRecordingUrl:
    case platform::StatusRecordingFile:
    case platform::StatusRecordingMemory:
    case platform::StatusRecordingClipboard:
        return true;
    default:
        return false;
    }
}

bool Recorder::CanContinue() const {
    if (!engine_) return false;
    const int status = engine_->RecorderStatus();
    if (status != platform::StatusRecording && status != platform::StatusSilent &&
        status != platform::StatusRecordingFile)
        return false;
    // The next file is recorded with the settings in use; a change of format
    // or quality since the start needs a real start to take effect.
    platform::EncoderSettings wanted = engine_->Encoder();
    ConfigureEncoder(config_, CaptureFormatOf(config_, false), false, wanted);
    return SameEncoderSettings(wanted, engine_->Encoder());
}

qint64 Recorder::PositionMs() const { return engine_ ? engine_->RecordingPositionMs() : 0; }

RecorderStatusView Recorder::StatusView() const {
    RecorderStatusView v;
    v.Wanted = wanted_;
    const int status = engine_ ? engine_->RecorderStatus() : platform::StatusNone;
    if (status == platform::StatusPaused) {
        v.Activity = RecorderActivity::Paused;
    } else if (EngineRecording()) {
        v.Activity = RecorderActivity::Recording;
    } else if (health_.WaitingForDevice) {
        v.Activity = RecorderActivity::WaitingForDevice;
        v.Cause = health_.MissingDevice.isEmpty() ? SoundServerMissingText() : DeviceMissingText(health_.MissingDevice);
    } else if (v.Wanted && health_.Lost) {
        v.Activity = RecorderActivity::Failed;
        v.Cause = health_.LastError;
    }
    return v;
}

RecorderState Recorder::State() const {
    if (!InService()) return RecorderState::OutOfService;
    if (stopping_) return RecorderState::Stopping;
    switch (StatusView().Activity) {
    case RecorderActivity::Recording: return RecorderState::Recording;
    case RecorderActivity::Paused: return RecorderState::Paused;
    case RecorderActivity::WaitingForDevice: return RecorderState::Waiting;
    case RecorderActivity::Failed: return RecorderState::Failed;
    case RecorderActivity::Idle: break;
    }
    if (engine_ && !engine_->Idle()) return RecorderState::Stopping;
    return RecorderState::Idle;
}

void Recorder::SetWanted(bool wanted, const QString& sub) {
    const bool changed = wanted != wanted_;
    wanted_ = wanted;
    if (!sub.isEmpty())
        Trace(index_, QStringLiteral("XPButtonRecord.Checked: ") + BoolText(wanted) + QStringLiteral(" |Sub: ") + sub);
    if (changed) emit StateChanged(index_);
}

void Recorder::SetPauseWanted(bool paused) {
    if (paused == pauseWanted_) return;
    pauseWanted_ = paused;
    emit StateChanged(index_);
}

void Recorder::ClearPlanned() {
    runtime_.PlannedDuration = 0;
    runtime_.PlannedPodcast.clear();
}

void Recorder::Pause() {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnPauseOn"));
    SetPauseWanted(true);
    trap(10, [&] {
        if (!engine_) RaiseError(91, QStringLiteral("Object variable or With block variable not set"));
        const int r = engine_->RecorderPause();
        if (r < 0) AfficherErreurARS(r, index_, 0, QStringLiteral("RecorderPause"), trap.where());
    });
}

void Recorder::Continue() {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnPauseOn"));
    SetPauseWanted(false);
    trap(10, [&] {
        if (!engine_) RaiseError(91, QStringLiteral("Object variable or With block variable not set"));
        const int r = engine_->RecorderResume();
        if (r < 0) AfficherErreurARS(r, index_, 0, QStringLiteral("RecorderResume"), trap.where());
    });
}

void Recorder::TogglePause() {
    if (pauseWanted_) Continue();
    else Pause();
}

namespace {

void TraceStopByKind(const Recorder& r) {
    switch (r.config().RecordKind()) {
    case RecordKindNoFile: Trace(r.index(), QStringLiteral("Pipe stopped")); break;
    case RecordKindLogging: Trace(r.index(), QStringLiteral("Pige: Pipe stopped")); break;
    default: Trace(r.index(), QStringLiteral("Recorder: Pipe stopped")); break;
    }
}

void TraceFreeSpace(const Recorder& r) {
    const FreeSpaceTexts space = FreeSpaceOf(r.config().RecordFolder);
    Trace(r.index(), QStringLiteral("Volume occupé: ") + space.Occupied);
    Trace(r.index(), QStringLiteral("Volume total: ") + space.Total);
}

}  // namespace

void Recorder::ReportStopped() {
    ErrorTrap trap(QStringLiteral("Frm_Main:ReportRecorderStopped"));
    trap(20, [&] { TraceStopByKind(*this); });
    trap(40, [&] { TraceFreeSpace(*this); });
    emit Stopped(index_);
}

void Recorder::Stop(StopReason reason) {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnStopOn"));
    Q_UNUSED(reason);
    // A stop ends the wish for the recording: a take that ends on a failure
    // now is not started again.
    const bool wasWanted = wanted_;
    int r = 0;
    stopping_ = true;
    wanted_ = false;
    if (!trap(10, [&] {
            if (!engine_) RaiseError(91, QStringLiteral("Object variable or With block variable not set"));
            r = engine_->RecorderStop();
        })) {
        stopping_ = false;
        wanted_ = wasWanted;
        return;
    }
    trap(20, [&] { platform::LetEventsRunFor(250); });
    stopping_ = false;
    trap(30, [&] {
        if (r < 0 && r != -100) AfficherErreurARS(r, index_, 0, QStringLiteral("RecorderStop"), trap.where());
        else TraceStopByKind(*this);
    });
    trap(35, [&] {
        // Nothing was recording (a recording lost and waiting for its next
        // attempt): the stop ends the wanted state itself.
        if (r == -100 && wasWanted) SetWanted(false, trap.where());
    });
    trap(50, [&] { TraceFreeSpace(*this); });
    // A later recording of this recorder is not a planned one.
    trap(60, [&] { ClearPlanned(); });
    emit Stopped(index_);
    emit StateChanged(index_);
}

QString Recorder::FailureCause() const {
    if (!engine_) return QStringLiteral("no capture engine");
    const QString text = engine_->LastErrorText().trimmed();
    const QString message = ComponentErrorText(engine_->LastError());
    return text.isEmpty() ? message : message + QStringLiteral(": ") + text;
}

QString Recorder::FileExtension() const { return ExtensionFormat(config_.FormatIndex); }

void Recorder::SetBoundDevice(int entry) {
    if (entry == boundDevice_) return;
    boundDevice_ = entry;
    emit DeviceSelected(index_, entry);
}

void Recorder::ChooseDevice(int entry) {
    if (entry < 0) return;
    boundDevice_ = entry;
    config_.DeviceIndex = qint16(entry);
    if (engine_) {
        const QString name = engine_->InputDeviceSystemName(entry);
        if (!name.isEmpty()) config_.DeviceName = name;
        // A device chosen by the operator ends the wait for the one that was missing.
        if (engine_->InputDevicePresent(entry)) {
            health_.WaitingForDevice = false;
            health_.MissingDevice.clear();
        }
    }
    emit StateChanged(index_);
}

void Recorder::ChooseLine(int line) { config_.ChannelIndex = qint16(line); }

void Recorder::SetQuality(int index, const QString& text) {
    config_.QualityIndex = qint16(index);
    config_.QualityText = text;
}

void Recorder::SetFormat(int format, int characteristic) {
    config_.FormatIndex = qint16(format);
    config_.FormatCharacteristic = qint16(characteristic);
    emit StateChanged(index_);
}

void Recorder::SetVolume(int level) {
    config_.Volume = level;
    // The level goes to the device only for recorders in service: the engine
    // of a recorder out of service was never initialised.
    if (!InService() || !engine_) return;
    // The level of a missing device must not land on another one.
    if (health_.WaitingForDevice) return;
    const int device = boundDevice_ >= 0 ? boundDevice_ : config_.DeviceIndex;
    engine_->InputLevelSet(device, config_.ChannelIndex, level);
    AppliedLevels()[LevelKey(device, config_.ChannelIndex)] = {index_, level};
}

bool Recorder::LevelSetForAnother(int level) const {
    const int device = boundDevice_ >= 0 ? boundDevice_ : config_.DeviceIndex;
    const auto it = AppliedLevels().constFind(LevelKey(device, config_.ChannelIndex));
    return it != AppliedLevels().constEnd() && it->recorder != index_ && it->level == level;
}

void Recorder::ResetRuntime() {
    runtime_ = RecorderRuntime{};
    health_ = RecorderHealth{};
    silence_ = SilenceWatch{};
    wanted_ = false;
    pauseWanted_ = false;
    boundDevice_ = -1;
    takesStarted_ = 0;
    takesStopped_ = 0;
    takeFiles_.clear();
    closingFiles_.clear();
    stopFailed_ = false;
    stopping_ = false;
}

void Recorder::ResetTakes() {
    takesStarted_ = 0;
    takesStopped_ = 0;
    takeFiles_.clear();
    closingFiles_.clear();
    stopFailed_ = false;
}

int Recorder::InputFormatCount() const {
    if (!engine_) return 0;
    return engine_->InputFormatCount(boundDevice_);
}
