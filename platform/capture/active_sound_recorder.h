#pragma once
// The capture engine of one recorder: records an input line of a capture
// device (PulseAudio sources, or the built-in test tone when it is asked for)
// into a file or into memory, through an FFmpeg encoder, and reports by
// events. All operations are called on the Qt event-loop thread; capture and
// encoding run on worker threads of the engine, which post every event back
// to the event-loop thread as a queued call, in order, carrying the recorder
// index.
//
// Methods return 0 on success or a negative error code:
//   -3 parameter out of range, -8 file creation failed, -49 not initialised,
//   -14 already initialised, -50 invalid input device, -51 invalid input
//   channel, -53 invalid input format, -64 recorder busy, -73 no previous
//   memory take, -83 encoder not available or invalid parameters,
//   -84 encoder failed to start, -100 unknown error (also: stop while idle).
// A recording that ends by itself raises RecordingStopped with result 0 and
// leaves the reason in LastError / LastErrorText: -50 the device went away
// (source removed, sound server gone), -8 the file could not be written
// (the text carries the system's cause, e.g. "No space left on device"),
// -2 the memory take reached its limit. A file is always created anew: a
// start or continuation into the name of an existing file fails with -8
// ("File exists") and leaves that file untouched.
#include "platform/capture/loudness_meter.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// Recorder status numbers.
enum RecorderStatusCode {
    StatusNone = 0,
    StatusRecording = 1,
    StatusSilent = 2,
    StatusCdRipping = 3,
    StatusPaused = 4,
    StatusPlaying = 5,
    StatusPlayingPaused = 6,
    StatusRecordingUrl = 7,
    StatusRecordingFile = 8,
    StatusRecordingMemory = 9,
    StatusRecordingClipboard = 10,
};

// Encoder settings; take effect at the next start.
struct EncoderSettings {
    // 0 memory (PCM kept in memory), 1 WAV, 2 MP3, 3 WMA, 4 Ogg Vorbis, 6 AAC.
    int FormatToUse = 1;
    // Capture format of the next start (parsed from the quality text).
    int CaptureRate = 44100;
    int CaptureChannels = 2;
    int CaptureBits = 16;
    // WAV: sample size code 0 = 8 bits, 1 = 16, 2 = 24, 3 = 32; rate, channels; setting 4 (unused, 0).
    int WavSampleSizeCode = 1;
    int WavRate = 44100;
    int WavChannels = 2;
    int WavSetting4 = 0;
    // MP3: constant (bit rate in bit/s) or variable (quality 0 best .. 2).
    bool Mp3Vbr = false;
    int Mp3VbrQuality = 0;
    int Mp3Bitrate = 128000;
    // WMA: characteristic 0..100.
    int WmaBitrate = 100;
    // Ogg Vorbis: mode 0 = quality; value 0..10.
    int OggMode = 0;
    int OggValue = 10;
    // AAC: mode 0 = constant bit rate; value in kbit/s (10..500, clamped).
    int AacMode = 0;
    int AacValue = 128;
    // Loudness (EBU R 128) of the input while it records: the live values of
    // Loudness() and the loudness report below.
    bool LoudnessAnalysis = true;
    // The true peak in that measure: about 0.26 % of a core per stereo
    // 48000 Hz input, three quarters of the measure's cost
    // (bench/loudness_bench.cpp); off, the true-peak figures stay empty.
    bool LoudnessTruePeak = true;
    // Beside each recorded file (not for memory takes): its loudness report
    // "<file>.loudness.json" (needs LoudnessAnalysis) and its waveform
    // "<file>.peaks.dat". A sidecar that cannot be written is reported once
    // per file as a notice; the recording goes on.
    bool LoudnessSidecar = true;
    bool PeaksSidecar = true;
};

// A live display (peak meter, level history) drawn by the windows from the
// engine's levels.
struct MeterDisplay {
    quintptr window = 0;
    unsigned colors[3] = {0, 0, 0};
    bool enabled = false;
    int Create(quintptr windowHandle) { window = windowHandle; return 0; }
    void SetColors(unsigned background, unsigned color1, unsigned color2) {
        colors[0] = background; colors[1] = color1; colors[2] = color2;
    }
    void Enable(int on) { enabled = on != 0; }
};

class CaptureBackend;
class RecordingSession;

class ActiveSoundRecorder : public QObject {
    Q_OBJECT
public:
    explicit ActiveSoundRecorder(int recorderIndex, QObject* parent = nullptr);
    ~ActiveSoundRecorder() override;

    int index() const { return index_; }

    // The built-in test device ("Test tone 1000 Hz (test only)"), listed
    // after the sound server's sources. Off unless QUILLON_TEST_TONE=1 or
    // switched on here (tests, command line).
    static void EnableTestTone(bool on);
    static bool TestToneEnabled();
    // Largest memory take in bytes (default 1 GiB); a take that reaches it
    // ends with error -2.
    static void SetMemoryTakeLimit(qint64 bytes);

    // Initialisation with the main window's handle; 0 or an error code.
    int InitRecorder(quintptr mainWindowHandle);
    QString ControlVersion() const;  // "4.0" or more
    QString EngineVersion() const;

    // Devices and lines (same order for every recorder).
    int InputDeviceCount();
    QString InputDeviceName(int device);
    // The sound server's own name of a device ("test-tone" for the test device).
    QString InputDeviceSystemName(int device);
    // Index of a device by its system name in the list of the run (-1 when
    // it was never seen), and whether a listed device is there now.
    int InputDeviceIndexOf(const QString& systemName);
    bool InputDevicePresent(int device);
    // The sound server answers (connected and its sources listed).
    static bool SoundServerAvailable();
    int InputChannelCount(int device);
    QString InputChannelName(int device, int line);
    int InputChannelDefaultGet(int device);
    int SetInputDeviceChannelDefault(int device, int line);
    // Level 0..100 of a line (-1 when unknown).
    int InputLevelGet(int device, int line);
    int InputLevelSet(int device, int line, int level);
    // Input formats: negative while enumerating, 0 when none.
    int InputFormatCount(int device);
    QString InputFormatText(int device, int k);

    MeterDisplay MeterDisplay1;
    MeterDisplay MeterDisplay2;
    // Latest peak level per channel, 0..1 (for the meters).
    QVector<float> PeakLevels() const;
    // For the meters: the loudest sample of each channel since the previous
    // call (the latest levels when nothing came meanwhile), so that a meter
    // read 25 times a second misses no crest between its readings.
    QVector<float> TakePeakLevels();
    // Loudest input sample since the previous call, in dBFS (minus infinity
    // for digital silence), from the pass that feeds the meters; empty while
    // the engine does not record or when nothing was captured meanwhile.
    std::optional<double> TakeInputPeakDbfs();
    // Loudness of the input being recorded (EBU R 128): momentary and
    // short-term loudness, the highest true peak since the file started (or
    // since ResetTruePeak), integrated loudness and loudness range of the
    // current file; see loudness_meter.h. Event-loop thread, at any rate (a
    // lock and a copy). Not valid while nothing records, while paused, when
    // LoudnessAnalysis is off, and for a first read after none for two
    // seconds (the live values resume with the next block, 100 ms later).
    capture::LoudnessSnapshot Loudness() const;
    // The operator acknowledged the clip sign: the true-peak maximum starts
    // again (the file's maximum in its report is kept).
    void ResetTruePeak();
    // The time of day that stamps the start of each file in its loudness
    // report (default: the system clock). Read on the event-loop thread when
    // a recording or a continuation is asked for.
    static void SetWallClock(std::function<QDateTime()> now);

    int SetRecordingMode(int mode);
    EncoderSettings& Encoder() { return encoder_; }

    // The last memory take.
    int RecordedSound_FreeMemory();
    // Interleaved little-endian PCM of the capture format: 8 bits unsigned,
    // 16, 24 (packed, three bytes) or 32 bits signed.
    QByteArray RecordedSoundPcm() const;
    int RecordedSoundRate() const { return memoryRate_; }
    int RecordedSoundChannels() const { return memoryChannels_; }
    int RecordedSoundBits() const { return memoryBits_; }

    int StartFromDirectSoundDevice(int device, int line, const QString& path);
    // Ends the current file and continues into a new one with no sample lost
    // or doubled; raises the events of a stop followed by a start.
    int RecorderContinueIntoFile(const QString& path);
    int RecorderPause();
    int RecorderResume();
    int RecorderStop();
    int LastError() const { return lastError_; }
    QString LastErrorText() const { return lastErrorText_; }
    int RecorderStatus() const;
    // Position of the current recording in ms (pauses excluded).
    qint64 RecordingPositionMs() const;
    // Samples dropped because the encoder could not keep up.
    quint64 OverrunCount() const;
    // Nothing records and nothing is being finalised: every event of the
    // past recordings has been delivered.
    bool Idle() const { return !session_ && retiring_.empty(); }

signals:
    void RecordingStarted(int index);
    void RecordingPaused(int index);
    void RecordingResumed(int index);
    void RecordingPosition(int index, qint64 positionMs);
    void RecordingStopped(int index, int result);
    void RecordingFinalizationStarted(int index);
    void RecordingFinalizationDone(int index, bool error);
    void Validate(int index);
    void DeviceChange(int index);
    void InputFormatsAvailable(int index);
    // The file being recorded lost its name on disk (deleted, or its folder
    // deleted) while recording: the recording goes on into nothing until the
    // owner continues it into another file (RecorderContinueIntoFile).
    void RecordingFileLost(int index, const QString& path);

private:
    struct Device;
    bool device(int index, Device* out);
    int fail(int code, const QString& text);
    void post(void (ActiveSoundRecorder::*signal)(int));
    void onSessionFinished(RecordingSession* session);
    void retireEndedSession();

    int index_;
    bool initialised_ = false;
    int mode_ = 0;
    EncoderSettings encoder_;
    int lastError_ = 0;
    QString lastErrorText_;
    std::unique_ptr<RecordingSession> session_;
    std::vector<std::unique_ptr<RecordingSession>> retiring_;
    QByteArray memoryTake_;
    bool hasMemoryTake_ = false;
    int memoryRate_ = 0;
    int memoryChannels_ = 0;
    int memoryBits_ = 0;
    qint64 lastPositionMs_ = 0;
    quint64 lastOverruns_ = 0;
    int lastChannels_ = 2;
    int hubListener_ = 0;
    std::shared_ptr<capture::LoudnessMeter> meter_;  // of the current recording
    friend class RecordingSession;
};

}  // namespace platform
