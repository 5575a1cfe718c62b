#pragma once
// One recorder: its configuration (a value), its capture engine, what it is
// asked to do and what it does, its health and the recovery of a recording
// lost on a failure, its silence watch. Every command source reaches it
// through Start, Pause, Continue and Stop; the windows show its state.
#include "recording/recorder_health.h"
#include "recording/silence_alarm.h"
#include "recording/start_request.h"
#include "settings/recorder_config.h"

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

namespace platform { class ActiveSoundRecorder; struct EncoderSettings; }

// What a recorder is doing, for the status of the control socket and the
// panels.
enum class RecorderState { OutOfService, Idle, Waiting, Recording, Paused, Stopping, Failed };
// "out-of-service", "idle", "waiting", "recording", "paused", "stopping", "failed".
QString StateCode(RecorderState state);

constexpr int kNoSliceOffset = -1000000;

// Run-time values of a recorder that the main timer follows.
struct RecorderRuntime {
    qint32 InputLevel = 0;
    qint32 LastStatus = 0;      // last engine status traced
    QString SliceEnd;           // logging: the hour stamp ("yyyyMMddHH") the slice ends at
    QString LastPurgeDay;       // logging: the day of the last purge
    int SliceOffset = kNoSliceOffset;  // logging: UTC offset (s) when the slice was looked at last
    QString AnnouncedFilePath;  // the file a stop announces to UDP peers
    QString RecordingFilePath;  // the file of the take in progress ("" none)
    qint32 PlannedDuration = 0; // ms; 0 none
    QString PlannedPodcast;
    bool Forced128k = false;    // the take records MP3 128 kbit/s by a UDP option
    CommandOrigin StartedBy = CommandOrigin::Button;
    QString StartedByWho;
    qint64 BytesDone = 0;       // bytes of the files finished in this run
};

class Recorder : public QObject {
    Q_OBJECT
public:
    explicit Recorder(int index, QObject* parent = nullptr);
    ~Recorder() override;

    int index() const { return index_; }
    QString RecName() const { return config_.RecName(); }

    const RecorderConfig& config() const { return config_; }
    void SetConfig(const RecorderConfig& config);

    platform::ActiveSoundRecorder* engine() const { return engine_; }
    // The engine this recorder records with (owned by the program); its
    // events are connected to this recorder.
    void SetEngine(platform::ActiveSoundRecorder* engine);

    // Commands. Start records into a new file (or memory), Stop ends the
    // recording and the wish for it, Pause and Continue hold and resume it;
    // TogglePause is the pause button's and the remote commands' meaning.
    StartResult Start(const StartRequest& request);
    void Stop(StopReason reason = StopReason::Operator);
    void Pause();
    void Continue();
    void TogglePause();
    // The logging recorder goes on into the next slice's file with no
    // sample lost, or stops and starts when the engine cannot.
    void ContinueIntoNextFile();
    // A start the program makes by itself for a lost recording.
    void RestartLost();
    // The recording is no longer wanted without a stop (the planned end of a
    // lost recording passed); `sub` is traced as the procedure that did it.
    void Abandon(const QString& sub) { SetWanted(false, sub); }
    // The file being recorded was deleted: a new file, the recording goes on.
    void FileLost(const QString& path);

    // State.
    bool InService() const;
    // A recording is wanted: started and not stopped (it records, or it is
    // retried after a failure).
    bool Wanted() const { return wanted_; }
    bool PauseWanted() const { return pauseWanted_; }
    bool EngineRecording() const;
    bool CanContinue() const;
    RecorderState State() const;
    RecorderStatusView StatusView() const;
    qint64 PositionMs() const;

    RecorderRuntime& runtime() { return runtime_; }
    const RecorderRuntime& runtime() const { return runtime_; }
    RecorderHealth& health() { return health_; }
    const RecorderHealth& health() const { return health_; }
    SilenceWatch& silence() { return silence_; }
    const SilenceWatch& silence() const { return silence_; }

    // Device binding: the entry of the engine's device list recorded from
    // (-1: the device is not there), and the operator's choice of a device.
    int BoundDevice() const { return boundDevice_; }
    void SetBoundDevice(int entry);
    void ChooseDevice(int entry);
    void ChooseLine(int line);
    void SetQuality(int index, const QString& text);
    void SetFormat(int format, int characteristic);
    void SetVolume(int level);
    // The level read from the device is one this program put on it for
    // another recorder of the same device and line (this recorder does not
    // take it as its own).
    bool LevelSetForAnother(int level) const;
    // The input formats the bound device offers (negative while they are
    // being enumerated, 0 none).
    int InputFormatCount() const;

    // The cause of the engine's last failure: message and the system's words.
    QString FailureCause() const;
    // The traces of a finished stop: "Pipe stopped" by kind and the free space.
    void ReportStopped();
    // The name (without extension) of the next recording of this recorder
    // for a start from `origin`; may change `folder`. askUser: the save
    // dialog may open.
    QString NextFileName(QString& folder, bool askUser, CommandOrigin origin) const;
    QString FileExtension() const;

    // Tests: forgets take counters, health, silence and binding.
    void ResetRuntime();
    // Tests: forgets the take counters and the failure of the last take.
    void ResetTakes();

signals:
    // A start was asked, and by whom (before anything is done about it).
    void StartAsked(int index, const StartRequest& request);
    // Wanted, paused or activity changed.
    void StateChanged(int index);
    // The device recorded from was chosen or found again (-1: not there).
    void DeviceSelected(int index, int entry);
    // The engine's device list changed (a device came or went).
    void DevicesChanged(int index);
    void FileStarted(int index, const QString& path);
    void FileFinished(int index, const QString& path, bool ok);
    void Position(int index, qint64 ms);
    // The take in progress ended (not one replaced by the next file).
    void TakeEnded(int index);
    void Stopped(int index);
    // Files of the recorder's folder were deleted (the retention purge).
    void SpaceChanged(int index);
    // The engine found the device's input formats.
    void InputFormatsAvailable(int index);
    // A configuration value changed by the recorder itself (device found by
    // its name, level): the settings file keeps it at the next save.
    void ConfigChanged(int index);

private:
    friend class RecorderStarter;
    friend class RecorderEvents;
    void SetWanted(bool wanted, const QString& sub);
    void SetPauseWanted(bool paused);
    void ClearPlanned();
    void ConnectEngine();

    int index_;
    RecorderConfig config_;
    platform::ActiveSoundRecorder* engine_ = nullptr;
    RecorderRuntime runtime_;
    RecorderHealth health_;
    SilenceWatch silence_;
    bool wanted_ = false;
    bool pauseWanted_ = false;
    int boundDevice_ = -1;
    // Every take that the engine accepted ends with exactly one
    // RecordingStopped event: counting both tells the events of a replaced
    // file from those of the take in progress.
    qint64 takesStarted_ = 0;
    qint64 takesStopped_ = 0;
    // Files of the takes begun and not yet stopped, and of those stopped and
    // not yet closed, oldest first.
    std::deque<QString> takeFiles_;
    std::deque<QString> closingFiles_;
    // The last take ended on a failure that has been reported.
    bool stopFailed_ = false;
    bool stopping_ = false;
};

// The lifecycle of the program as the recorders see it (the main window's
// logic sets these functions).
struct RecordingEnvironment {
    std::function<bool()> Unloading;     // the unload has begun
    std::function<bool()> Quitting;      // the exit is confirmed or under way
    std::function<bool()> StartupDone;   // start-up finished
};
RecordingEnvironment& RecordingEnv();
bool ProgramUnloading();
bool ProgramQuitting();
