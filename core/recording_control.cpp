// Start, pause and stop of a recorder, the encoder set-up of a start, the
// naming of the file, and the handlers of the capture engine's events.
#include "archive/history.h"
#include "core/frm_main.h"
#include "core/input_levels.h"
#include "core/recorder_panel.h"
#include "core/main_window_state.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "settings/frm_setup.h"
#include "support/errors.h"
#include "support/file_names.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <array>
#include <filesystem>
#include <system_error>

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
// The last take of a recorder ended on a failure that has been reported: the
// failed finalisation of its file is a consequence, not a second incident.
std::array<bool, kRecorders> g_stopFailed{};

QString RecName(int i) { return QStringLiteral("Rec. ") + QString::number(i + 1); }
void Incident(int i, const QString& text) { TraceLogEncadre(-1, i, -1, text, QStringLiteral("="), true); }

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

// A name made from outside text (label, pattern, remote identifier,
// peripheral file name) must not lead out of its folder: separators become
// "_", ".." and control characters (NUL included) go. Its length is fitted
// to the file system where the file is made (PrepareTarget).
QString SafeFileName(QString name) {
    name = StripControlCharacters(name);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    while (name.contains(QStringLiteral(".."))) name.remove(QStringLiteral(".."));
    return name;
}

QString SafeExtension(QString ext) {
    ext = StripControlCharacters(ext);
    ext.remove(QLatin1Char('/'));
    ext.remove(QLatin1Char('\\'));
    while (ext.contains(QStringLiteral(".."))) ext.replace(QStringLiteral(".."), QStringLiteral("."));
    return ext;
}

struct Target {
    QString folder, name, ext;
    bool folderFromRecordFolder = false;
    bool fromPending = false;
    // The name as built, before a suffix made it the name of a new file.
    QString base;
    int suffix = 0;
    QString path() const { return folder + name + ext; }
};

// The extension of what the encoder writes: a start at 128 kbit/s records MP3
// whatever the recorder's format.
QString FormatExtension(int i) {
    return S().Force128Kbits ? ExtensionFormat(2) : ExtensionFichier(i);
}

QString GeneratedName(int i, QString& folder, bool askUser) {
    QString name = DetermineNomFichier(i, folder, askUser);
    return EvalueNomFichier(name);
}

// Folder, name and extension of the next file, by RecordKind. askUser: the
// save dialog may open (never for a start the program makes by itself).
Target BuildTarget(int i, const QString& folderArg, const QString& nameArg, const QString& extArg,
                   bool askUser = true) {
    Target t;
    RecorderSlot& slot = S().slot[size_t(i)];
    switch (slot.RecordKind) {
    case RecordKindNoFile:
        break;
    case RecordKindLogging: {
        t.folder = slot.RecordFolder;
        t.name = GeneratedName(i, t.folder, askUser);
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
                t.name = GeneratedName(i, t.folder, askUser);
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
            if (SafeFileName(nameArg).trimmed().isEmpty())
                Trace(i, QStringLiteral("File name given has no usable character: recorder's own name kept: ") + t.name);
            else
                t.name = nameArg;
        }
        // A path given without its folder, or with a relative one, stays
        // inside the recorder's folder.
        if (!t.folder.isEmpty() && !QDir::isAbsolutePath(t.folder) && QDir::isAbsolutePath(slot.RecordFolder))
            t.folder = slot.RecordFolder + t.folder;
        else if (t.folder.isEmpty() && (t.fromPending || !folderArg.isEmpty()))
            t.folder = slot.RecordFolder;
        if (!t.folder.isEmpty() && !t.folder.endsWith(QLatin1Char('/'))) t.folder += QLatin1Char('/');
        break;
    }
    }
    t.ext = SafeExtension(t.ext);
    t.name = SafeFileName(t.name);
    t.base = t.name;
    return t;
}

// The recorder records into a file (not into memory, not without a file).
bool RecordsToFile(int i) {
    return S().slot[size_t(i)].RecordKind != RecordKindNoFile && Engine(i).Encoder().FormatToUse != 0;
}

// A recording that is wanted and fails is started again (a file recording:
// a memory take would be lost by the next start).
bool Recoverable(int i) {
    const RecorderSlot& slot = S().slot[size_t(i)];
    return slot.RecordKind != RecordKindNoFile && slot.FormatIndex != 0;
}

// Why the recorder cannot record into the target ("" it can): its device
// or its folder. The folder is made when missing, and the name becomes that
// of a new file (a suffix when the name exists, shortened to fit the file
// system).
QString PrepareTarget(int i, Target& t, bool quiet) {
    const RecorderHealth& h = S().slot[size_t(i)].Health;
    if (h.WaitingForDevice) return h.MissingDevice.isEmpty() ? SoundServerMissingText() : DeviceMissingText(h.MissingDevice);
    if (!RecordsToFile(i)) return {};
    const QString refused = DestinationFolderRefusal(t.folder);
    if (!refused.isEmpty()) return refused;
    std::error_code ec;
    const std::filesystem::path folder(QFile::encodeName(t.folder).toStdString());
    if (!std::filesystem::is_directory(folder, ec)) {
        ec.clear();
        std::filesystem::create_directories(folder, ec);
        if (ec) return QStringLiteral("cannot create the folder ") + t.folder + QStringLiteral(": ") +
                       QString::fromLocal8Bit(ec.message().c_str());
        Trace(i, QStringLiteral("Folder created: ") + t.folder);
    }
    const NewFilePath p = NewFileIn(t.folder, t.base, t.ext, t.suffix);
    if (p.shortened && !quiet)
        Trace(i, QStringLiteral("File name shortened to fit the file system: ") + p.name + t.ext);
    if (p.suffix > 1 && !quiet)
        Trace(i, QStringLiteral("File exists: ") + t.folder + t.base + t.ext + QStringLiteral(", recording into ") +
                     p.path);
    t.name = p.name;
    t.suffix = p.suffix;
    return {};
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
    RecorderStartAccepted(i);
    slot.RecordingFilePath = t.path();
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

// The start did not happen: a recording that is still wanted is lost and
// will be started again.
void StartFailed(int i, const QString& cause) {
    if (!S().main.rec[size_t(i)].XPButtonRecord.Checked() || !Recoverable(i) || RecorderEngineRecording(i)) {
        Incident(i, RecName(i) + QStringLiteral(": recording not started: ") + cause);
        return;
    }
    RecorderLost(i, cause, true, true);
}

// A fresh start: mode, capture format, encoder, free the last take, name, start.
void FreshStart(int i, ErrorTrap& trap, const QString& where, const Target* prebuilt, const QString& folderArg,
                const QString& nameArg, const QString& extArg, bool askUser = true) {
    // Repeated attempts of a lost recording leave out the routine lines.
    const bool quiet = RecorderQuietRetry(i);
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
            if (!quiet) Trace(i, QStringLiteral("SetRecordingMode: Ok"));
            ConfigureEncoder(i, format, Engine(i).Encoder());
        }
    });
    trap(140, [&] {
        const int r = Engine(i).RecordedSound_FreeMemory();
        // -73: no take in memory, nothing to free.
        if (r < 0 && r != -73) AfficherErreurARS(r, i, 0, QStringLiteral("RecordedSound.FreeMemory"), where);
        else if (!quiet) Trace(i, QStringLiteral("RecordedSound.FreeMemory: Ok"));
    });
    trap(150, [&] { target = prebuilt ? *prebuilt : BuildTarget(i, folderArg, nameArg, extArg, askUser); });
    trap(160, [&] {
        if (NameCancelsStart(i, target)) {
            cancelled = true;
            CancelStart(i, where);
        }
    });
    if (cancelled) return;
    trap(165, [&] {
        // The file the take records into: a retry of an ordinary recorder goes
        // on under the same name.
        RecorderHealth& h = S().slot[size_t(i)].Health;
        if (!prebuilt && S().slot[size_t(i)].RecordKind == RecordKindOrdinary) {
            h.RetryFolder = target.folder;
            h.RetryName = target.base;
            h.RetryExtension = target.ext;
        }
    });
    QString refusal;
    trap(170, [&] { refusal = PrepareTarget(i, target, quiet); });
    if (!refusal.isEmpty()) {
        trap(175, [&] {
            if (!quiet) Trace(i, QStringLiteral("Record not started: ") + refusal);
            StartFailed(i, refusal);
        });
        return;
    }
    // The meters' own stream on the device ends first: the recording is the
    // device's only reader from its first sample.
    trap(178, [&] { StopIdleLevelsOf(i); });
    trap(180, [&] {
        const int device = Setup().ComboInputDevices[size_t(i)].listIndex();
        const int line = Setup().ComboInputChannels[size_t(i)].listIndex();
        int r = Engine(i).StartFromDirectSoundDevice(device, line, target.path());
        // The name was taken between the look and the creation of the file:
        // the next suffix (the engine never writes over an existing file).
        for (int k = 0; k < 3 && r == -8 && RecordsToFile(i) && QFileInfo::exists(target.path()); ++k) {
            if (!PrepareTarget(i, target, quiet).isEmpty()) break;
            r = Engine(i).StartFromDirectSoundDevice(device, line, target.path());
        }
        if (r == 0) {
            AnnounceStart(i, target);
            return;
        }
        const QString cause = RecordingFailureCause(i);
        if (!quiet) AfficherErreurARS(r, i, 0, QStringLiteral("StartFromDirectSoundDevice"), where);
        StartFailed(i, cause);
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

namespace {

// The recording goes on into the next file: the engine changes files with no
// sample lost; when it cannot, a stop and a fresh start. prebuilt: the file
// (else the one a start would name).
void ContinueRecording(int index, const QString& where, const Target* prebuilt) {
    ErrorTrap trap(where);
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
            Trace(index, QStringLiteral("XPButtonRecord.Checked: True |Sub: ") + where);
        });
        FreshStart(index, trap, where, prebuilt, {}, {}, {}, !prebuilt);
        return;
    }
    Target target;
    bool cancelled = false;
    QString refusal;
    int r = -100;
    trap(40, [&] { target = prebuilt ? *prebuilt : BuildTarget(index, {}, {}, {}); });
    trap(50, [&] {
        if (NameCancelsStart(index, target)) {
            cancelled = true;
            CancelStart(index, where);
        }
    });
    if (cancelled) return;
    trap(55, [&] { refusal = PrepareTarget(index, target, false); });
    if (refusal.isEmpty()) {
        trap(60, [&] {
            r = Engine(index).RecorderContinueIntoFile(target.path());
            for (int k = 0; k < 3 && r == -8 && QFileInfo::exists(target.path()); ++k) {
                if (!PrepareTarget(index, target, false).isEmpty()) break;
                r = Engine(index).RecorderContinueIntoFile(target.path());
            }
        });
        if (r == 0) {
            trap(70, [&] { AnnounceStart(index, target); });
            return;
        }
        // The engine could not switch files: end the take and start the same file afresh.
        trap(80, [&] {
            AfficherErreurARS(r, index, 0, QStringLiteral("RecorderContinueIntoFile"), where);
        });
    } else {
        trap(85, [&] { Trace(index, QStringLiteral("Record not continued: ") + refusal); });
    }
    trap(90, [&] { BtnStopOn(index); });
    trap(100, [&] {
        S().main.rec[size_t(index)].XPButtonRecord.setChecked(true);
        Trace(index, QStringLiteral("XPButtonRecord.Checked: True |Sub: ") + where);
    });
    FreshStart(index, trap, where, &target, {}, {}, {});
}

// The file an ordinary recorder records into, for a start the program makes
// by itself: the one of its last take.
bool RetryTarget(int index, Target* t) {
    const RecorderSlot& slot = S().slot[size_t(index)];
    const RecorderHealth& h = slot.Health;
    if (slot.RecordKind != RecordKindOrdinary || h.RetryName.isEmpty()) return false;
    t->folder = h.RetryFolder;
    t->name = t->base = h.RetryName;
    t->ext = h.RetryExtension;
    t->folderFromRecordFolder = t->folder == slot.RecordFolder;
    return true;
}

}  // namespace

void BtnRecordContinueOn(int index) { ContinueRecording(index, kBtnRecordContinueOn, nullptr); }

void RestartLostRecording(int index) {
    const QString where = QStringLiteral("Frm_Main:RestartLostRecording");
    ErrorTrap trap(where);
    Target target;
    bool own = false;
    if (!trap(10, [&] {
            CheckIndex(index);
            own = RetryTarget(index, &target);
        }))
        return;
    // Logging recorders: the file is named as the next slice would be.
    FreshStart(index, trap, where, own ? &target : nullptr, {}, {}, {}, false);
}

void ActiveSoundRecorder1_RecordingFileLost(int index, const QString& path) {
    const QString where = QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingFileLost");
    ErrorTrap trap(where);
    bool recording = false;
    trap(10, [&] {
        CheckIndex(index);
        recording = RecorderEngineRecording(index);
        S().slot[size_t(index)].Health.LastError = QStringLiteral("the file being recorded was deleted: ") + path;
        Incident(index, RecName(index) + QStringLiteral(": the file being recorded was deleted (") + path +
                            QStringLiteral("), its folder is made again and the recording goes on into a new file"));
    });
    if (!recording) return;
    Target target;
    bool own = false;
    trap(20, [&] { own = RetryTarget(index, &target); });
    trap(30, [&] { ContinueRecording(index, where, own ? &target : nullptr); });
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
    trap(35, [&] {
        // Nothing was recording (a recording lost and waiting for its next
        // attempt): the stop ends the wanted state itself.
        XPButton& record = S().main.rec[size_t(index)].XPButtonRecord;
        if (r == -100 && record.Checked()) {
            record.setChecked(false);
            Trace(index, QStringLiteral("XPButtonRecord.Checked: False |Sub: ") + trap.where());
        }
    });
    trap(40, [&] { EspaceDispo(index); });
    trap(50, [&] { TraceFreeSpace(index); });
    // A later recording of this recorder is not a planned one.
    trap(60, [&] { ClearPlannedRecording(index); });
}

void XPButtonPause_Click(int index) { BtnPauseOn(index); }

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
        g_stopFailed[size_t(index)] = result != 1;
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
    if (olderTake) {
        trap(25, [&] {
            if (result != 1)
                Incident(index, RecName(index) + QStringLiteral(": the previous file ended on a failure: ") +
                                    RecordingFailureCause(index));
        });
        return;
    }
    // A recording still wanted that failed: kept wanted, started again.
    bool lost = false;
    trap(28, [&] {
        if (result == 1) return;
        const QString cause = RecordingFailureCause(index);
        lost = S().main.rec[size_t(index)].XPButtonRecord.Checked() && !S().QuitRequested &&
               !MainState().UnloadStarted && Recoverable(index);
        if (lost) RecorderLost(index, cause, true);
        else Incident(index, RecName(index) + QStringLiteral(": recording ended on a failure: ") + cause);
    });
    trap(30, [&] {
        RecorderFrameControls& rec = S().main.rec[size_t(index)];
        if (!lost) {
            rec.XPButtonRecord.setChecked(false);
            Trace(index, QStringLiteral("XPButtonRecord.Checked: False |Sub: ") + where);
        }
        rec.XPButtonPause.setChecked(false);
        rec.LabelChrono.setText(QString());
    });
    if (!lost) trap(40, [&] { ClearPlannedRecording(index); });
}

void ActiveSoundRecorder1_RecordingFinalizationDone(int index, bool error) {
    const QString where = QStringLiteral("Frm_Main:ActiveSoundRecorder1_RecordingFinalizationDone");
    ErrorTrap trap(where);
    trap(10, [&] {
        CheckIndex(index);
        const bool afterFailure = g_stopFailed[size_t(index)];
        g_stopFailed[size_t(index)] = false;
        if (error) {
            AfficherErreurARS(Engine(index).LastError(), index, 0, QStringLiteral("RecordingFinalizationDone"), where);
            // The file of a take that failed is closed as far as it can be;
            // that failure was reported with the take's.
            if (!afterFailure)
                Incident(index, RecName(index) + QStringLiteral(": the file could not be closed: ") +
                                    RecordingFailureCause(index));
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
            QObject::connect(e, &ActiveSoundRecorder::RecordingFileLost, ctx, &ActiveSoundRecorder1_RecordingFileLost);
        });
    }
    trap(20, [&] { ConnectRecorderButtons(); });
    trap(30, [&] { InstallSetupLinks(); });
}

void ResetRecordingControlState() {
    g_takes = {};
    ResetTimeLeftSupervision();
    g_stopFailed = {};
    ResetRecoveryState();
    ResetMainTimerState();
}
