// The capture engine's events, handled by its recorder.
#include "platform/capture/active_sound_recorder.h"
#include "recording/recording.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QFileInfo>

namespace {

void Trace(int i, const QString& text) { TraceLog(-1, i, -1, text); }
void Framed(int i, const QString& text) { TraceLogEncadre(-1, i, -1, text, QStringLiteral("=")); }
void Incident(int i, const QString& text) { TraceLogEncadre(-1, i, -1, text, QStringLiteral("="), true); }

bool Recoverable(const Recorder& r) {
    return r.config().RecordKind() != RecordKindNoFile && r.config().FormatIndex != FormatMemory;
}

}  // namespace

class RecorderEvents {
public:
    static void Started(Recorder& r) {
        ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingStarted"));
        trap(10, [&] { Framed(r.index(), QStringLiteral("RecordingStarted")); });
        emit r.StateChanged(r.index());
    }
    static void Paused(Recorder& r) {
        ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingPaused"));
        trap(10, [&] { Framed(r.index(), QStringLiteral("RecordingPaused")); });
        emit r.StateChanged(r.index());
    }
    static void Resumed(Recorder& r) {
        ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingResumed"));
        trap(10, [&] { Framed(r.index(), QStringLiteral("RecordingResumed")); });
        emit r.StateChanged(r.index());
    }
    static void FinalizationStarted(Recorder& r) {
        ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingFinalizationStarted"));
        trap(10, [&] { Framed(r.index(), QStringLiteral("RecordingFinalizationStarted")); });
    }
    static void Validate(Recorder& r) {
        ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_Validate"));
        trap(10, [&] { Framed(r.index(), QStringLiteral("ActiveSoundRecorderValidate")); });
    }
    static void FormatsAvailable(Recorder& r) {
        ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_InputFormatsAvailable"));
        // Every engine announces the formats; a recorder out of service has
        // no device list and would only clear the flag of those in service.
        trap(10, [&] {
            if (r.InService()) emit r.InputFormatsAvailable(r.index());
        });
    }
    static void DeviceChange(Recorder& r) {
        ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_DeviceChange"));
        trap(10, [&] { Trace(r.index(), QStringLiteral("DeviceChange")); });
        trap(20, [&] { RefreshRecorderDevices(r.index()); });
    }

    static void Position(Recorder& r, qint64 positionMs) {
        ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingPosition"));
        // Positions of a file that has already been replaced by the next one.
        if (r.takesStarted_ - r.takesStopped_ > 1) return;
        const int i = r.index();
        emit r.Position(i, positionMs);
        trap(30, [&] {
            RecorderRuntime& rt = r.runtime_;
            if (rt.PlannedDuration > 0 && rt.PlannedDuration < positionMs) {
                const qint32 planned = rt.PlannedDuration;
                // Cleared first: positions that arrive during the stop must not stop it again.
                rt.PlannedDuration = 0;
                Trace(i, QStringLiteral("Max duration reached: ") + QString::number(planned) + QStringLiteral(" ms"));
                r.SetWanted(false, QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingPosition"));
                r.Stop(StopReason::Duration);
                r.ClearPlanned();
            }
        });
    }

    static void Stopped(Recorder& r, int result) {
        const QString where = QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingStopped");
        ErrorTrap trap(where);
        const int i = r.index();
        bool olderTake = false;
        r.takesStopped_++;
        // The end of a file whose successor is already recording.
        olderTake = r.takesStarted_ > r.takesStopped_ && r.EngineRecording();
        if (!olderTake) r.takesStopped_ = r.takesStarted_;
        // The takes end in the order they began: this is the oldest one's file.
        const QString path = r.takeFiles_.empty() ? QString() : r.takeFiles_.front();
        if (!r.takeFiles_.empty()) r.takeFiles_.pop_front();
        r.closingFiles_.push_back(path);
        trap(20, [&] {
            r.stopFailed_ = result != 1;
            if (result == 1) {
                Framed(i, QStringLiteral("RecordingStopped"));
                return;
            }
            const int code = r.engine() ? r.engine()->LastError() : -100;
            AfficherErreurARS(code, i, 0, QStringLiteral("RecordingStopped"), where);
            if (code == -84)
                Framed(i, QStringLiteral("Record non démarré. Veuilez vérifier dans le Setup les paramètres d'encodage"));
            else
                Framed(i, QStringLiteral("RecordingStopped, Err: ") + QString::number(code));
        });
        if (olderTake) {
            trap(25, [&] {
                if (result != 1)
                    Incident(i, r.RecName() + QStringLiteral(": the previous file ended on a failure: ") + r.FailureCause());
            });
            return;
        }
        // A recording still wanted that failed: kept wanted, started again.
        bool lost = false;
        trap(28, [&] {
            if (result == 1) return;
            const QString cause = r.FailureCause();
            lost = r.Wanted() && !ProgramQuitting() && !ProgramUnloading() && Recoverable(r);
            if (lost) RecorderLost(i, cause, true);
            else Incident(i, r.RecName() + QStringLiteral(": recording ended on a failure: ") + cause);
        });
        trap(30, [&] {
            if (!lost) r.SetWanted(false, where);
            r.SetPauseWanted(false);
            r.runtime_.RecordingFilePath.clear();
        });
        if (!lost) trap(40, [&] { r.ClearPlanned(); });
        emit r.TakeEnded(i);
        emit r.StateChanged(i);
    }

    static void FinalizationDone(Recorder& r, bool error) {
        const QString where = QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingFinalizationDone");
        ErrorTrap trap(where);
        const int i = r.index();
        trap(10, [&] {
            const bool afterFailure = r.stopFailed_;
            r.stopFailed_ = false;
            if (error) {
                AfficherErreurARS(r.engine() ? r.engine()->LastError() : -100, i, 0,
                                  QStringLiteral("RecordingFinalizationDone"), where);
                // The file of a take that failed is closed as far as it can
                // be; that failure was reported with the take's.
                if (!afterFailure)
                    Incident(i, r.RecName() + QStringLiteral(": the file could not be closed: ") + r.FailureCause());
            } else {
                Framed(i, QStringLiteral("RecordingFinalizationDone"));
            }
        });
        // The finished file (the history grid shows it at once).
        trap(20, [&] {
            const QString path = r.closingFiles_.empty() ? QString() : r.closingFiles_.front();
            if (!r.closingFiles_.empty()) r.closingFiles_.pop_front();
            if (!path.isEmpty()) r.runtime_.BytesDone += QFileInfo(path).size();
            emit r.FileFinished(i, path, !error);
        });
        emit r.StateChanged(i);
    }
};

void Recorder::ConnectEngine() {
    using platform::ActiveSoundRecorder;
    ActiveSoundRecorder* e = engine_;
    connect(e, &ActiveSoundRecorder::RecordingStarted, this, [this](int) { RecorderEvents::Started(*this); });
    connect(e, &ActiveSoundRecorder::RecordingPaused, this, [this](int) { RecorderEvents::Paused(*this); });
    connect(e, &ActiveSoundRecorder::RecordingResumed, this, [this](int) { RecorderEvents::Resumed(*this); });
    connect(e, &ActiveSoundRecorder::RecordingPosition, this,
            [this](int, qint64 ms) { RecorderEvents::Position(*this, ms); });
    connect(e, &ActiveSoundRecorder::RecordingStopped, this,
            [this](int, int result) { RecorderEvents::Stopped(*this, result); });
    connect(e, &ActiveSoundRecorder::RecordingFinalizationStarted, this,
            [this](int) { RecorderEvents::FinalizationStarted(*this); });
    connect(e, &ActiveSoundRecorder::RecordingFinalizationDone, this,
            [this](int, bool error) { RecorderEvents::FinalizationDone(*this, error); });
    connect(e, &ActiveSoundRecorder::Validate, this, [this](int) { RecorderEvents::Validate(*this); });
    connect(e, &ActiveSoundRecorder::DeviceChange, this, [this](int) { RecorderEvents::DeviceChange(*this); });
    connect(e, &ActiveSoundRecorder::InputFormatsAvailable, this,
            [this](int) { RecorderEvents::FormatsAvailable(*this); });
    connect(e, &ActiveSoundRecorder::RecordingFileLost, this,
            [this](int, const QString& path) { FileLost(path); });
}
