// Start of a recorder: mode, capture format, encoder, name and file, the
// engine's start; the gapless change of file of the logging recorder; the
// program's own starts of a lost recording.
#include "platform/capture/active_sound_recorder.h"
#include "recording/encoder_choice.h"
#include "recording/input_levels.h"
#include "recording/recording.h"
#include "recording/target_file.h"
#include "support/errors.h"
#include "support/file_names.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QFileInfo>

namespace {

const QString kBtnRecordOn = QStringLiteral("Frm_Main:BtnRecordOn");
const QString kBtnRecordContinueOn = QStringLiteral("Frm_Main:BtnRecordContinueOn");

void Trace(int i, const QString& text) { TraceLog(-1, i, -1, text); }
void Framed(int i, const QString& text) { TraceLogEncadre(-1, i, -1, text, QStringLiteral("=")); }
void Incident(int i, const QString& text) { TraceLogEncadre(-1, i, -1, text, QStringLiteral("="), true); }

platform::ActiveSoundRecorder& Engine(const Recorder& r) {
    if (!r.engine()) RaiseError(91, QStringLiteral("Object variable or With block variable not set"));
    return *r.engine();
}

bool RecordsToFile(const Recorder& r) {
    return r.config().RecordKind() != RecordKindNoFile && Engine(r).Encoder().FormatToUse != 0;
}

// A recording that is wanted and fails is started again (a file recording:
// a memory take would be lost by the next start).
bool Recoverable(const Recorder& r) {
    return r.config().RecordKind() != RecordKindNoFile && r.config().FormatIndex != FormatMemory;
}

}  // namespace

// The start procedures of a recorder (friends of Recorder).
class RecorderStarter {
public:
    static void CancelStart(Recorder& r, const QString& where) {
        r.SetWanted(false, where);
        r.Stop(StopReason::Operator);
    }

    // A take has begun in the target file.
    static void AnnounceStart(Recorder& r, const Target& t, const StartRequest& request) {
        const int i = r.index();
        RecorderRuntime& rt = r.runtime_;
        r.takesStarted_++;
        r.takeFiles_.push_back(t.path());
        RecorderStartAccepted(i);
        rt.RecordingFilePath = t.path();
        rt.Forced128k = request.Force128k;
        rt.StartedBy = request.Origin;
        rt.StartedByWho = request.Who;
        Trace(i, QStringLiteral("Recording File: ") + t.path());
        if (rt.AnnouncedFilePath.trimmed().isEmpty()) {
            QString folder = t.folder;
            if (t.fromPending) folder.clear();
            else if (t.folderFromRecordFolder) folder = r.config().NetworkFolder;
            rt.AnnouncedFilePath = folder + t.name + t.ext;
            Trace(i, QStringLiteral("UDP Recording File: ") + rt.AnnouncedFilePath);
        }
        emit r.FileStarted(i, t.path());
        emit r.StateChanged(i);
    }

    // The start did not happen: a recording that is still wanted is lost and
    // will be started again.
    static void StartFailed(Recorder& r, const QString& cause) {
        const int i = r.index();
        if (!r.Wanted() || !Recoverable(r) || r.EngineRecording()) {
            Incident(i, r.RecName() + QStringLiteral(": recording not started: ") + cause);
            return;
        }
        RecorderLost(i, cause, true, true);
        emit r.StateChanged(i);
    }

    // A fresh start: mode, capture format, encoder, free the last take, name, start.
    static void FreshStart(Recorder& r, ErrorTrap& trap, const QString& where, const Target* prebuilt,
                           const StartRequest& request, bool askUser) {
        const int i = r.index();
        // Repeated attempts of a lost recording leave out the routine lines.
        const bool quiet = RecorderQuietRetry(i);
        int mode = 0;
        CaptureFormat format;
        Target target;
        bool cancelled = false;
        trap(110, [&] { mode = Engine(r).SetRecordingMode(0); });
        trap(120, [&] { format = CaptureFormatOf(r.config(), request.Force128k); });
        trap(130, [&] {
            if (mode < 0) {
                AfficherErreurARS(mode, i, 0, QStringLiteral("SetRecordingMode"), where);
            } else {
                if (!quiet) Trace(i, QStringLiteral("SetRecordingMode: Ok"));
                ConfigureEncoder(r.config(), format, request.Force128k, Engine(r).Encoder());
            }
        });
        trap(140, [&] {
            const int res = Engine(r).RecordedSound_FreeMemory();
            // -73: no take in memory, nothing to free.
            if (res < 0 && res != -73) AfficherErreurARS(res, i, 0, QStringLiteral("RecordedSound.FreeMemory"), where);
            else if (!quiet) Trace(i, QStringLiteral("RecordedSound.FreeMemory: Ok"));
        });
        trap(150, [&] { target = prebuilt ? *prebuilt : BuildTarget(r, request, askUser); });
        trap(160, [&] {
            if (NameCancelsStart(r, target)) {
                cancelled = true;
                CancelStart(r, where);
            }
        });
        if (cancelled) return;
        if (!target.refused.isEmpty()) {
            // What the request asks cannot be done: no retry will make it possible.
            trap(162, [&] {
                Incident(i, r.RecName() + QStringLiteral(": recording refused: ") + target.refused);
                CancelStart(r, where);
            });
            return;
        }
        trap(165, [&] {
            // The file the take records into: a retry of an ordinary recorder
            // goes on under the same name.
            RecorderHealth& h = r.health_;
            if (!prebuilt && r.config().RecordKind() == RecordKindOrdinary) {
                h.RetryFolder = target.folder;
                h.RetryName = target.base;
                h.RetryExtension = target.ext;
            }
        });
        QString refusal;
        trap(170, [&] { refusal = PrepareTarget(r, target, quiet); });
        if (!refusal.isEmpty()) {
            trap(175, [&] {
                if (!quiet) Trace(i, QStringLiteral("Record not started: ") + refusal);
                StartFailed(r, refusal);
            });
            return;
        }
        // The meters' own stream on the device ends first: the recording is
        // the device's only reader from its first sample.
        trap(178, [&] { StopIdleLevelsOf(i); });
        trap(180, [&] {
            const int device = r.BoundDevice();
            const int line = r.config().ChannelIndex;
            int res = Engine(r).StartFromDirectSoundDevice(device, line, target.path());
            // The name was taken between the look and the creation of the
            // file: the next suffix (the engine never writes over a file).
            for (int k = 0; k < 3 && res == -8 && RecordsToFile(r) && QFileInfo::exists(target.path()); ++k) {
                if (!PrepareTarget(r, target, quiet).isEmpty()) break;
                res = Engine(r).StartFromDirectSoundDevice(device, line, target.path());
            }
            if (res == 0) {
                AnnounceStart(r, target, request);
                return;
            }
            const QString cause = r.FailureCause();
            if (!quiet) AfficherErreurARS(res, i, 0, QStringLiteral("StartFromDirectSoundDevice"), where);
            StartFailed(r, cause);
        });
    }

    // The file an ordinary recorder records into, for a start the program
    // makes by itself: the one of its last take.
    static bool RetryTarget(const Recorder& r, Target* t) {
        const RecorderHealth& h = r.health();
        if (r.config().RecordKind() != RecordKindOrdinary || h.RetryName.isEmpty()) return false;
        t->folder = h.RetryFolder;
        t->name = t->base = h.RetryName;
        t->ext = h.RetryExtension;
        t->folderFromRecordFolder = t->folder == r.config().RecordFolder;
        return true;
    }

    // The recording goes on into the next file: the engine changes files
    // with no sample lost; when it cannot, a stop and a fresh start.
    static void ContinueRecording(Recorder& r, const QString& where, const Target* prebuilt) {
        ErrorTrap trap(where);
        const int i = r.index();
        StartRequest request;
        request.Origin = CommandOrigin::SliceTimer;
        bool canContinue = false;
        if (!trap(10, [&] { canContinue = r.CanContinue(); })) return;
        if (!canContinue) {
            // Nothing to continue: a plain stop and start.
            trap(20, [&] { r.Stop(StopReason::SliceEnd); });
            trap(30, [&] { r.SetWanted(true, where); });
            FreshStart(r, trap, where, prebuilt, request, !prebuilt);
            return;
        }
        Target target;
        bool cancelled = false;
        QString refusal;
        int res = -100;
        trap(40, [&] { target = prebuilt ? *prebuilt : BuildTarget(r, request, true); });
        trap(50, [&] {
            if (NameCancelsStart(r, target)) {
                cancelled = true;
                CancelStart(r, where);
            }
        });
        if (cancelled) return;
        trap(55, [&] { refusal = PrepareTarget(r, target, false); });
        if (refusal.isEmpty()) {
            trap(60, [&] {
                res = Engine(r).RecorderContinueIntoFile(target.path());
                for (int k = 0; k < 3 && res == -8 && QFileInfo::exists(target.path()); ++k) {
                    if (!PrepareTarget(r, target, false).isEmpty()) break;
                    res = Engine(r).RecorderContinueIntoFile(target.path());
                }
            });
            if (res == 0) {
                trap(70, [&] { AnnounceStart(r, target, request); });
                return;
            }
            // The engine could not switch files: end the take and start the same file afresh.
            trap(80, [&] { AfficherErreurARS(res, i, 0, QStringLiteral("RecorderContinueIntoFile"), where); });
        } else {
            trap(85, [&] { Trace(i, QStringLiteral("Record not continued: ") + refusal); });
        }
        trap(90, [&] { r.Stop(StopReason::SliceEnd); });
        trap(100, [&] { r.SetWanted(true, where); });
        FreshStart(r, trap, where, &target, request, true);
    }
};

StartResult Recorder::Start(const StartRequest& request) {
    ErrorTrap trap(kBtnRecordOn);
    StartResult result;
    emit StartAsked(index_, request);
    // The unload is stopping the recorders and waits for their files: a
    // start now (a remote command, a planned start) would be cut at once.
    if (ProgramUnloading()) {
        trap(30, [&] {
            SetWanted(false, {});
            Framed(index_, QStringLiteral("Record refused: the program is closing"));
        });
        result.Refusal = QStringLiteral("the program is closing");
        emit StateChanged(index_);
        return result;
    }
    if (!trap(10, [&] {
            if (!engine_) RaiseError(91, QStringLiteral("Object variable or With block variable not set"));
        })) {
        result.Refusal = QStringLiteral("no capture engine");
        return result;
    }
    SetWanted(true, {});
    // A planned recording keeps its end even when its start fails and is
    // tried again.
    if (request.DurationMs > 0) runtime_.PlannedDuration = request.DurationMs;
    if (!request.Podcast.isEmpty()) runtime_.PlannedPodcast = request.Podcast;
    if (!request.Who.isEmpty())
        Trace(index_, QStringLiteral("Start asked by ") + OriginName(request.Origin) + QStringLiteral(": ") + request.Who);
    RecorderStarter::FreshStart(*this, trap, kBtnRecordOn, nullptr, request, request.MayAsk());
    emit StateChanged(index_);
    // Recording, or lost and retried until its device or its disk is back.
    result.Accepted = EngineRecording() || (wanted_ && health_.Lost);
    if (!result.Accepted)
        result.Refusal = !wanted_ ? QStringLiteral("the start was cancelled")
                         : health_.LastError.isEmpty() ? QStringLiteral("the recording did not start")
                                                       : health_.LastError;
    return result;
}

void Recorder::ContinueIntoNextFile() { RecorderStarter::ContinueRecording(*this, kBtnRecordContinueOn, nullptr); }

void Recorder::RestartLost() {
    const QString where = QStringLiteral("Frm_Main:RestartLostRecording");
    ErrorTrap trap(where);
    Target target;
    bool own = false;
    if (!trap(10, [&] { own = RecorderStarter::RetryTarget(*this, &target); })) return;
    StartRequest request;
    request.Origin = CommandOrigin::Recovery;
    // Logging recorders: the file is named as the next slice would be.
    RecorderStarter::FreshStart(*this, trap, where, own ? &target : nullptr, request, false);
}

void Recorder::FileLost(const QString& path) {
    const QString where = QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingFileLost");
    ErrorTrap trap(where);
    bool recording = false;
    trap(10, [&] {
        recording = EngineRecording();
        health_.LastError = QStringLiteral("the file being recorded was deleted: ") + path;
        Incident(index_, RecName() + QStringLiteral(": the file being recorded was deleted (") + path +
                             QStringLiteral("), its folder is made again and the recording goes on into a new file"));
    });
    if (!recording) return;
    Target target;
    bool own = false;
    trap(20, [&] { own = RecorderStarter::RetryTarget(*this, &target); });
    trap(30, [&] { RecorderStarter::ContinueRecording(*this, where, own ? &target : nullptr); });
}
