// Start, pause and stop of a recorder, the encoder set-up of a start, the
// naming of the file, and the handlers of the capture engine's events.
#include "archive/history.h"
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "settings/frm_setup.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QObject>
#include <array>

namespace {

const QString kBtnRecordOn = QStringLiteral("Frm_Main:BtnRecordOn");
const QString kBtnRecordContinueOn = QStringLiteral("Frm_Main:BtnRecordContinueOn");

void CheckIndex(int i) {
    if (i < 0 || i >= kRecorders) RaiseError(9, QStringLiteral("Subscript out of range"));
}

platform::ActiveSoundRecorder& Engine(int i) {
    CheckIndex(i);
    platform::ActiveSoundRecorder* engine = S().ActiveSoundRecorder1[size_t(i)];
    if (!engine) RaiseError(91, QStringLiteral("Object variable or With block variable not set"));
    return *engine;
}

void Trace(int i, const QString& text) { TraceLog(-1, i, -1, text); }
void Framed(int i, const QString& text) { TraceLogEncadre(-1, i, -1, text, QStringLiteral("=")); }

// Every take that the engine accepted ends with exactly one RecordingStopped
// event. Counting both tells the events of a file that has already been
// replaced (a continuation, or a stop followed at once by a new start) from
// those of the take in progress.
struct TakeCounters {
    qint64 started = 0;
    qint64 stopped = 0;
};
std::array<TakeCounters, kRecorders> g_takes;

// The placeholder entries of the quality list: not qualities.
bool IsQualityPlaceholder(const QString& text) {
    const QString t = text.trimmed();
    return t == QStringLiteral("_") || t == QStringLiteral("Enumerating...");
}

struct CaptureFormat {
    int rate = 44100;
    int channels = 2;
    int bits = 16;
};

CaptureFormat CaptureFormatOf(int i) {
    CaptureFormat f;
    if (S().Force128Kbits) return f;
    const RecorderSlot& slot = S().slot[size_t(i)];
    if (!slot.QualityText.trimmed().isEmpty()) {
        f.rate = DetermineFrequence(slot.QualityText, f.rate);
        f.channels = DetermineChannel(slot.QualityText, f.channels);
        f.bits = DetermineBit(slot.QualityText, f.bits);
    }
    const ComboCtl& quality = Setup().ComboInputQuality[size_t(i)];
    const QString text = quality.text();
    if (quality.count() > 0 && !text.trimmed().isEmpty() && !IsQualityPlaceholder(text)) {
        f.rate = DetermineFrequence(text, f.rate);
        f.channels = DetermineChannel(text, f.channels);
        f.bits = DetermineBit(text, f.bits);
    }
    return f;
}

int WavSizeCode(int bits) {
    switch (bits) {
    case 8: return 0;
    case 16: return 1;
    case 24: return 2;
    case 32: return 3;
    default: return 1;
    }
}

// The encoder settings of the recorder's format.
void ConfigureEncoder(int i, const CaptureFormat& f, platform::EncoderSettings& e) {
    e.CaptureRate = f.rate;
    e.CaptureChannels = f.channels;
    e.CaptureBits = f.bits;
    if (S().Force128Kbits) {
        e.FormatToUse = 2;
        e.Mp3Vbr = false;
        e.Mp3Bitrate = 128000;
        return;
    }
    const ComboCtl& characteristic = Setup().ComboFormatCaracteristiques[size_t(i)];
    const int format = S().slot[size_t(i)].FormatIndex;
    switch (format) {
    case 0:
        e.FormatToUse = 0;
        break;
    case 1:
        e.FormatToUse = 1;
        e.WavSampleSizeCode = WavSizeCode(f.bits);
        e.WavRate = f.rate;
        e.WavChannels = f.channels;
        e.WavSetting4 = 0;
        break;
    case 2:
        e.FormatToUse = 2;
        switch (characteristic.listIndex()) {
        case 0: e.Mp3Vbr = true; e.Mp3VbrQuality = 1; break;
        case 1: e.Mp3Vbr = true; e.Mp3VbrQuality = 0; break;
        case 2: e.Mp3Vbr = true; e.Mp3VbrQuality = 2; break;
        case 3: e.Mp3Vbr = false; e.Mp3Bitrate = 320000; break;
        case 4: e.Mp3Vbr = false; e.Mp3Bitrate = 192000; break;
        case 5: e.Mp3Vbr = false; e.Mp3Bitrate = 128000; break;
        default: break;  // no selection: as it was
        }
        break;
    case 3:
        e.FormatToUse = 3;
        e.WmaBitrate = int(Val(characteristic.text()));
        break;
    case 4:
        e.FormatToUse = 4;
        e.OggMode = 0;
        e.OggValue = int(Val(characteristic.text()));
        break;
    case 5:
        e.FormatToUse = 6;
        e.AacMode = 0;
        e.AacValue = int(Val(characteristic.text()));
        break;
    default:
        e.FormatToUse = 1;
        break;
    }
}

bool SameEncoderSettings(const platform::EncoderSettings& a, const platform::EncoderSettings& b) {
    return a.FormatToUse == b.FormatToUse && a.CaptureRate == b.CaptureRate &&
           a.CaptureChannels == b.CaptureChannels && a.CaptureBits == b.CaptureBits &&
           a.WavSampleSizeCode == b.WavSampleSizeCode && a.WavRate == b.WavRate &&
           a.WavChannels == b.WavChannels && a.WavSetting4 == b.WavSetting4 && a.Mp3Vbr == b.Mp3Vbr &&
           a.Mp3VbrQuality == b.Mp3VbrQuality && a.Mp3Bitrate == b.Mp3Bitrate && a.WmaBitrate == b.WmaBitrate &&
           a.OggMode == b.OggMode && a.OggValue == b.OggValue && a.AacMode == b.AacMode &&
           a.AacValue == b.AacValue;
}

// Longest file name (bytes, extension included) that the file systems take.
constexpr int kFileNameMaxBytes = 255;

// A name made from outside text (label, pattern, remote identifier,
// peripheral file name) must not lead out of its folder: separators become
// "_", ".." and control characters (NUL included) go, and the name is cut so
// that with its extension it fits the file system.
QString SafeFileName(QString name, const QString& extension) {
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    name.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0);
    });
    while (name.contains(QStringLiteral(".."))) name.remove(QStringLiteral(".."));
    const qsizetype room = kFileNameMaxBytes - extension.toUtf8().size();
    while (!name.isEmpty() && name.toUtf8().size() > room) {
        name.chop(1);
        if (!name.isEmpty() && name.back().isHighSurrogate()) name.chop(1);
    }
    return name;
}

QString SafeExtension(QString ext) {
    ext.remove(QLatin1Char('/'));
    ext.remove(QLatin1Char('\\'));
    while (ext.contains(QStringLiteral(".."))) ext.replace(QStringLiteral(".."), QStringLiteral("."));
    return ext;
}

struct Target {
    QString folder, name, ext;
    bool folderFromRecordFolder = false;
    bool fromPending = false;
    QString path() const { return folder + name + ext; }
};

// The extension of what the encoder writes: a start at 128 kbit/s records MP3
// whatever the recorder's format.
QString FormatExtension(int i) {
    return S().Force128Kbits ? ExtensionFormat(2) : ExtensionFichier(i);
}

QString GeneratedName(int i, QString& folder) {
    QString name = DetermineNomFichier(i, folder, true);
    return EvalueNomFichier(name);
}

// Folder, name and extension of the next file, by RecordKind.
Target BuildTarget(int i, const QString& folderArg, const QString& nameArg, const QString& extArg) {
    Target t;
    RecorderSlot& slot = S().slot[size_t(i)];
    switch (slot.RecordKind) {
    case RecordKindNoFile:
        break;
    case RecordKindLogging: {
        t.folder = slot.RecordFolder;
        t.name = GeneratedName(i, t.folder);
        t.folderFromRecordFolder = t.folder == slot.RecordFolder;
        t.ext = FormatExtension(i);
        break;
    }
    default: {
        if (!slot.PendingFilePath.trimmed().isEmpty()) {
            const PathPieces p = EclateRepFicExt(slot.PendingFilePath);
            slot.PendingFilePath.clear();
            t.folder = p.PathFolder;
            t.name = p.PathBaseName;
            // A path given without extension gets the one of the format.
            t.ext = p.PathExtension.isEmpty() ? FormatExtension(i) : p.PathExtension;
            t.fromPending = true;
        } else {
            t.folder = slot.RecordFolder;
            const QString peripheral = Setup().TexteFichierRecordPeripherique[size_t(i)].text();
            if (!peripheral.trimmed().isEmpty() && S().RemoteActionRunning) {
                t.name = peripheral.trimmed();
            } else {
                t.name = GeneratedName(i, t.folder);
            }
            t.folderFromRecordFolder = t.folder == slot.RecordFolder;
            t.ext = FormatExtension(i);
        }
        if (!folderArg.isEmpty()) {
            t.folder = folderArg;
            t.folderFromRecordFolder = false;
            t.fromPending = false;
        }
        if (!extArg.isEmpty()) t.ext = extArg;
        if (!nameArg.isEmpty()) {
            // A given name with nothing usable left keeps the recorder's own.
            if (SafeFileName(nameArg, SafeExtension(t.ext)).trimmed().isEmpty())
                Trace(i, QStringLiteral("File name given has no usable character: recorder's own name kept: ") + t.name);
            else
                t.name = nameArg;
        }
        break;
    }
    }
    t.ext = SafeExtension(t.ext);
    t.name = SafeFileName(t.name, t.ext);
    return t;
}

bool NameCancelsStart(int i, const Target& t) {
    const int kind = S().slot[size_t(i)].RecordKind;
    return (kind == RecordKindLogging || kind == RecordKindOrdinary) && t.name.trimmed().isEmpty();
}

void CancelStart(int i, const QString& where) {
    S().main.rec[size_t(i)].XPButtonRecord.setChecked(false);
    Trace(i, QStringLiteral("XPButtonRecord.Checked: False |Sub: ") + where);
    BtnStopOn(i);
}

// A take has begun in the target file.
void AnnounceStart(int i, const Target& t) {
    RecorderSlot& slot = S().slot[size_t(i)];
    g_takes[size_t(i)].started++;
    Trace(i, QStringLiteral("Recording File: ") + t.path());
    if (slot.AnnouncedFilePath.trimmed().isEmpty()) {
        QString folder = t.folder;
        if (t.fromPending) folder.clear();
        else if (t.folderFromRecordFolder) folder = slot.NetworkFolder;
        slot.AnnouncedFilePath = folder + t.name + t.ext;
        Trace(i, QStringLiteral("UDP Recording File: ") + slot.AnnouncedFilePath);
    }
}

// The planning sets the planned values just before it stops and restarts a
// recorder: they belong to the coming recording and must survive that stop.
void ClearPlannedRecording(int i) {
    RecorderSlot& slot = S().slot[size_t(i)];
    if (slot.PlanningStartFlag) return;
    slot.PlannedDuration = 0;
    slot.PlannedPodcast.clear();
}

// A fresh start: mode, capture format, encoder, free the last take, name, start.
void FreshStart(int i, ErrorTrap& trap, const QString& where, const Target* prebuilt, const QString& folderArg,
                const QString& nameArg, const QString& extArg) {
    int mode = 0;
    CaptureFormat format;
    Target target;
    bool cancelled = false;
    trap(110, [&] { mode = Engine(i).SetRecordingMode(0); });
    trap(120, [&] { format = CaptureFormatOf(i); });
    trap(130, [&] {
        if (mode < 0) {
            AfficherErreurARS(mode, i, 0, QStringLiteral("SetRecordingMode"), where);
        } else {
            Trace(i, QStringLiteral("SetRecordingMode: Ok"));
            ConfigureEncoder(i, format, Engine(i).Encoder());
        }
    });
    trap(140, [&] {
        const int r = Engine(i).RecordedSound_FreeMemory();
        // -73: no take in memory, nothing to free.
        if (r < 0 && r != -73) AfficherErreurARS(r, i, 0, QStringLiteral("RecordedSound.FreeMemory"), where);
        else Trace(i, QStringLiteral("RecordedSound.FreeMemory: Ok"));
    });
    trap(150, [&] { target = prebuilt ? *prebuilt : BuildTarget(i, folderArg, nameArg, extArg); });
    trap(160, [&] {
        if (NameCancelsStart(i, target)) {
            cancelled = true;
            CancelStart(i, where);
        }
    });
    if (cancelled) return;
    trap(170, [&] {
        const int device = Setup().ComboInputDevices[size_t(i)].listIndex();
        const int line = Setup().ComboInputChannels[size_t(i)].listIndex();
        const int r = Engine(i).StartFromDirectSoundDevice(device, line, target.path());
        if (r == 0) AnnounceStart(i, target);
        else AfficherErreurARS(r, i, 0, QStringLiteral("StartFromDirectSoundDevice"), where);
    });
}

}  // namespace

QString ExtensionFichier(int recorder) {
    ErrorTrap trap(QStringLiteral("Lib_Systeme:ExtensionFichier"));
    QString ext;
    trap(10, [&] {
        CheckIndex(recorder);
        ext = ExtensionFormat(S().slot[size_t(recorder)].FormatIndex);
    });
    return ext;
}

void BtnRecordOn(int index, const QString& folder, const QString& fileName, const QString& extension) {
    ErrorTrap trap(kBtnRecordOn);
    bool wanted = false;
    if (!trap(10, [&] {
            CheckIndex(index);
            wanted = S().main.rec[size_t(index)].XPButtonRecord.Checked();
        }))
        return;
    if (!wanted) {
        trap(20, [&] { BtnStopOn(index); });
        return;
    }
    // The unload is stopping the recorders and waits for their files: a
    // start now (a remote command, a planned start) would be cut at once.
    if (MainState().UnloadStarted) {
        trap(30, [&] {
            S().main.rec[size_t(index)].XPButtonRecord.setChecked(false);
            Framed(index, QStringLiteral("Record refused: the program is closing"));
        });
        return;
    }
    FreshStart(index, trap, kBtnRecordOn, nullptr, folder, fileName, extension);
}

void BtnRecordContinueOn(int index) {
    ErrorTrap trap(kBtnRecordContinueOn);
    bool canContinue = false;
    if (!trap(10, [&] {
            CheckIndex(index);
            canContinue = RecorderCanContinue(index);
        }))
        return;
    if (!canContinue) {
        // Nothing to continue: a plain stop and start.
        trap(20, [&] { BtnStopOn(index); });
        trap(30, [&] {
            S().main.rec[size_t(index)].XPButtonRecord.setChecked(true);
            Trace(index, QStringLiteral("XPButtonRecord.Checked: True |Sub: ") + kBtnRecordContinueOn);
        });
        FreshStart(index, trap, kBtnRecordContinueOn, nullptr, {}, {}, {});
        return;
    }
    Target target;
    bool cancelled = false;
    int r = -100;
    trap(40, [&] { target = BuildTarget(index, {}, {}, {}); });
    trap(50, [&] {
        if (NameCancelsStart(index, target)) {
            cancelled = true;
            CancelStart(index, kBtnRecordContinueOn);
        }
    });
    if (cancelled) return;
    trap(60, [&] { r = Engine(index).RecorderContinueIntoFile(target.path()); });
    if (r == 0) {
        trap(70, [&] { AnnounceStart(index, target); });
        return;
    }
    // The engine could not switch files: end the take and start the same file afresh.
    trap(80, [&] { AfficherErreurARS(r, index, 0, QStringLiteral("RecorderContinueIntoFile"), kBtnRecordContinueOn); });
    trap(90, [&] { BtnStopOn(index); });
    trap(100, [&] {
        S().main.rec[size_t(index)].XPButtonRecord.setChecked(true);
        Trace(index, QStringLiteral("XPButtonRecord.Checked: True |Sub: ") + kBtnRecordContinueOn);
    });
    FreshStart(index, trap, kBtnRecordContinueOn, &target, {}, {}, {});
}

bool RecorderEngineRecording(int index) {
    if (index < 0 || index >= kRecorders || !S().ActiveSoundRecorder1[size_t(index)]) return false;
    switch (S().ActiveSoundRecorder1[size_t(index)]->RecorderStatus()) {
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

bool RecorderCanContinue(int index) {
    if (index < 0 || index >= kRecorders || !S().ActiveSoundRecorder1[size_t(index)]) return false;
    platform::ActiveSoundRecorder& engine = *S().ActiveSoundRecorder1[size_t(index)];
    const int status = engine.RecorderStatus();
    if (status != platform::StatusRecording && status != platform::StatusSilent &&
        status != platform::StatusRecordingFile)
        return false;
    // The next file is recorded with the settings in use; a change of format
    // or quality since the start needs a real start to take effect.
    platform::EncoderSettings wanted = engine.Encoder();
    ConfigureEncoder(index, CaptureFormatOf(index), wanted);
    return SameEncoderSettings(wanted, engine.Encoder());
}

void BtnPauseOn(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnPauseOn"));
    trap(10, [&] {
        CheckIndex(index);
        if (S().main.rec[size_t(index)].XPButtonPause.Checked()) {
            const int r = Engine(index).RecorderPause();
            if (r < 0) AfficherErreurARS(r, index, 0, QStringLiteral("RecorderPause"), trap.where());
        } else {
            const int r = Engine(index).RecorderResume();
            if (r < 0) AfficherErreurARS(r, index, 0, QStringLiteral("RecorderResume"), trap.where());
        }
    });
}

namespace {
void TraceStopByKind(int index) {
    switch (S().slot[size_t(index)].RecordKind) {
    case RecordKindNoFile: Trace(index, QStringLiteral("Pipe stopped")); break;
    case RecordKindLogging: Trace(index, QStringLiteral("Pige: Pipe stopped")); break;
    default: Trace(index, QStringLiteral("Recorder: Pipe stopped")); break;
    }
}

void TraceFreeSpace(int index) {
    const FreeSpaceDisplay& space = Setup().FreeSpace[size_t(index)];
    Trace(index, QStringLiteral("Volume occupé: ") + space.LabelVolumeOccupe.text());
    Trace(index, QStringLiteral("Volume total: ") + space.LabelVolumeTotal.text());
}
}  // namespace

void ReportRecorderStopped(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ReportRecorderStopped"));
    if (!trap(10, [&] { CheckIndex(index); })) return;
    trap(20, [&] { TraceStopByKind(index); });
    trap(30, [&] { EspaceDispo(index); });
    trap(40, [&] { TraceFreeSpace(index); });
}

void BtnStopOn(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnStopOn"));
    int r = 0;
    if (!trap(10, [&] { r = Engine(index).RecorderStop(); })) return;
    trap(20, [&] { platform::LetEventsRunFor(250); });
    trap(30, [&] {
        if (r < 0 && r != -100) AfficherErreurARS(r, index, 0, QStringLiteral("RecorderStop"), trap.where());
        else TraceStopByKind(index);
    });
    trap(40, [&] { EspaceDispo(index); });
    trap(50, [&] { TraceFreeSpace(index); });
    // A later recording of this recorder is not a planned one.
    trap(60, [&] { ClearPlannedRecording(index); });
}

void XPButtonRecord_Click(int index) { BtnRecordOn(index); }
void XPButtonPause_Click(int index) { BtnPauseOn(index); }
void XPButtonStop_Click(int index) { BtnStopOn(index); }

// Events of the capture engines

void ActiveSoundRecorder1_RecordingStarted(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingStarted"));
    trap(10, [&] { Framed(index, QStringLiteral("RecordingStarted")); });
}

void ActiveSoundRecorder1_RecordingPaused(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingPaused"));
    trap(10, [&] { Framed(index, QStringLiteral("RecordingPaused")); });
}

void ActiveSoundRecorder1_RecordingResumed(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingResumed"));
    trap(10, [&] { Framed(index, QStringLiteral("RecordingResumed")); });
}

void ActiveSoundRecorder1_RecordingFinalizationStarted(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingFinalizationStarted"));
    trap(10, [&] { Framed(index, QStringLiteral("RecordingFinalizationStarted")); });
}

void ActiveSoundRecorder1_Validate(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_Validate"));
    trap(10, [&] { Framed(index, QStringLiteral("ActiveSoundRecorderValidate")); });
}

void ActiveSoundRecorder1_DeviceChange(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_DeviceChange"));
    trap(10, [&] { Trace(index, QStringLiteral("DeviceChange")); });
}

void ActiveSoundRecorder1_InputFormatsAvailable(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_InputFormatsAvailable"));
    trap(10, [&] {
        CheckIndex(index);
        // Every engine announces the formats; a recorder out of service has
        // no device list and would only clear the flag of those in service.
        if (index < S().RecorderCount) DirectXUpdateInputFormats(index);
    });
}

void ActiveSoundRecorder1_RecordingPosition(int index, qint64 positionMs) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingPosition"));
    bool current = true;
    trap(10, [&] {
        CheckIndex(index);
        // Positions of a file that has already been replaced by the next one.
        const TakeCounters& takes = g_takes[size_t(index)];
        current = takes.started - takes.stopped <= 1;
    });
    if (!current) return;
    trap(20, [&] {
        // Minutes and seconds: the duration text without its hundredths.
        const QString text = Tps2MinSecCen(double(positionMs), 2, QStringLiteral("0"));
        S().main.rec[size_t(index)].LabelChrono.setText(text.left(text.lastIndexOf(QLatin1Char(':'))));
    });
    trap(30, [&] {
        RecorderSlot& slot = S().slot[size_t(index)];
        if (slot.PlannedDuration > 0 && slot.PlannedDuration < positionMs) {
            const qint32 planned = slot.PlannedDuration;
            // Cleared first: positions that arrive during the stop must not stop it again.
            slot.PlannedDuration = 0;
            Trace(index, QStringLiteral("Max duration reached: ") + QString::number(planned) + QStringLiteral(" ms"));
            S().main.rec[size_t(index)].XPButtonRecord.setChecked(false);
            Trace(index,
                  QStringLiteral("XPButtonRecord.Checked: False |Sub: Frm_Main:ActiveSoundRecorder1_RecordingPosition"));
            BtnStopOn(index);
            slot.PlannedDuration = 0;
            slot.PlannedPodcast.clear();
        }
    });
}

void ActiveSoundRecorder1_RecordingStopped(int index, int result) {
    const QString where = QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingStopped");
    ErrorTrap trap(where);
    bool olderTake = false;
    if (!trap(10, [&] {
            CheckIndex(index);
            TakeCounters& takes = g_takes[size_t(index)];
            takes.stopped++;
            // The end of a file whose successor is already recording.
            olderTake = takes.started > takes.stopped && RecorderEngineRecording(index);
            if (!olderTake) takes.stopped = takes.started;
        }))
        return;
    trap(20, [&] {
        if (result == 1) {
            Framed(index, QStringLiteral("RecordingStopped"));
            return;
        }
        const int code = Engine(index).LastError();
        AfficherErreurARS(code, index, 0, QStringLiteral("RecordingStopped"), where);
        if (code == -84)
            Framed(index, QStringLiteral("Record non démarré. Veuilez vérifier dans le Setup les paramètres d'encodage"));
        else
            Framed(index, QStringLiteral("RecordingStopped, Err: ") + QString::number(code));
    });
    if (olderTake) return;
    trap(30, [&] {
        RecorderFrameControls& rec = S().main.rec[size_t(index)];
        rec.XPButtonRecord.setChecked(false);
        Trace(index, QStringLiteral("XPButtonRecord.Checked: False |Sub: ") + where);
        rec.XPButtonPause.setChecked(false);
        rec.LabelChrono.setText(QString());
    });
    trap(40, [&] { ClearPlannedRecording(index); });
}

void ActiveSoundRecorder1_RecordingFinalizationDone(int index, bool error) {
    const QString where = QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingFinalizationDone");
    ErrorTrap trap(where);
    trap(10, [&] {
        if (error) {
            AfficherErreurARS(Engine(index).LastError(), index, 0, QStringLiteral("RecordingFinalizationDone"), where);
        } else {
            Framed(index, QStringLiteral("RecordingFinalizationDone"));
        }
    });
    // The finished file appears in the recorder's history grid at once.
    trap(20, [&] {
        if (index < S().RecorderCount && !MainState().UnloadStarted) InitAffichageHisto(index);
    });
}

namespace {
QObject& EventsContext() {
    static QObject context;
    return context;
}
}  // namespace

void ConnectRecorderButtons() {
    for (int i = 0; i < kRecorders; ++i) {
        RecorderFrameControls& rec = S().main.rec[size_t(i)];
        rec.XPButtonRecord.Click = [i] { XPButtonRecord_Click(i); };
        rec.XPButtonPause.Click = [i] { XPButtonPause_Click(i); };
        rec.XPButtonStop.Click = [i] { XPButtonStop_Click(i); };
    }
}

void ConnectCaptureEvents() {
    ErrorTrap trap(QStringLiteral("Frm_Main:ConnectCaptureEvents"));
    using platform::ActiveSoundRecorder;
    QObject* ctx = &EventsContext();
    for (int i = 0; i < kRecorders; ++i) {
        trap(10, [&] {
            ActiveSoundRecorder* e = S().ActiveSoundRecorder1[size_t(i)];
            if (!e) return;
            QObject::disconnect(e, nullptr, ctx, nullptr);
            QObject::connect(e, &ActiveSoundRecorder::RecordingStarted, ctx, &ActiveSoundRecorder1_RecordingStarted);
            QObject::connect(e, &ActiveSoundRecorder::RecordingPaused, ctx, &ActiveSoundRecorder1_RecordingPaused);
            QObject::connect(e, &ActiveSoundRecorder::RecordingResumed, ctx, &ActiveSoundRecorder1_RecordingResumed);
            QObject::connect(e, &ActiveSoundRecorder::RecordingPosition, ctx, &ActiveSoundRecorder1_RecordingPosition);
            QObject::connect(e, &ActiveSoundRecorder::RecordingStopped, ctx, &ActiveSoundRecorder1_RecordingStopped);
            QObject::connect(e, &ActiveSoundRecorder::RecordingFinalizationStarted, ctx,
                             &ActiveSoundRecorder1_RecordingFinalizationStarted);
            QObject::connect(e, &ActiveSoundRecorder::RecordingFinalizationDone, ctx,
                             &ActiveSoundRecorder1_RecordingFinalizationDone);
            QObject::connect(e, &ActiveSoundRecorder::Validate, ctx, &ActiveSoundRecorder1_Validate);
            QObject::connect(e, &ActiveSoundRecorder::DeviceChange, ctx, &ActiveSoundRecorder1_DeviceChange);
            QObject::connect(e, &ActiveSoundRecorder::InputFormatsAvailable, ctx,
                             &ActiveSoundRecorder1_InputFormatsAvailable);
        });
    }
    trap(20, [&] { ConnectRecorderButtons(); });
    trap(30, [&] { InstallSetupLinks(); });
}

void ResetRecordingControlState() {
    g_takes = {};
    ResetMainTimerState();
}
