#pragma once
// The main window's logic: start-up, recording control, supervision timers
// and shutdown. GUI-free: the Qt window (ui/) shows the controls of
// S().main and calls these procedures from its events.
#include "core/recorder_slot.h"
#include "support/ini.h"

#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

// What the logic asks of the real windows. The Qt program fills these; tests
// and headless runs may leave any of them empty.
struct FrmMainHost {
    std::function<void()> ShowMain;         // show the main window (modeless)
    std::function<void()> HideMain;         // standby: into the notification area
    // Hides the main window for a while (the user selection runs); ShowMain
    // brings it back.
    std::function<void()> HideMainTemporarily;
    std::function<void()> Unload;           // unload the main window: the process ends after Form_Unload
    std::function<void()> ShowSplash;       // start-up message window FrmMsg
    std::function<void()> HideSplash;
    std::function<void(bool)> ShowSetup;    // show/hide the setup window
    std::function<bool()> SetupVisible;
    std::function<void()> ShowTray;         // standby into the notification area
    std::function<quintptr()> WindowHandle;
    std::function<void()> ApplyLook;        // InitGeneralLook / LookFenetre
    // Screen rectangle the main window must stay within (default 1920x1080).
    std::function<QRect()> ScreenGeometry;
    // Installs the mouse-wheel handling of the history grids.
    std::function<void()> InstallGridWheel;
    // Ends the current process once the teardown is done (default:
    // QCoreApplication::exit(0)). Tests put a recorder of the call here.
    std::function<void()> EndProcess;
};
FrmMainHost& MainHost();

// Position of the main window: restored at start-up (PositionFeuille), saved
// at unload. The Qt window moves itself there when shown and writes its
// geometry back here when moved.
WindowPos& MainWindowPos();

// The close of the main window. Every path (close box, menu, code, system
// shutdown) ends in CloseMainWindow: Form_QueryUnload with the reason, then,
// unless refused, Form_Unload, which ends the process. Returns false when the
// close was refused. Once the teardown has started, further close requests
// are accepted without effect.
bool CloseMainWindow(int reason);
// "Unload the main window" from the program's own code (reason 1).
void UnloadMainWindow();
// Close reasons of Form_QueryUnload.
enum CloseReason {
    CloseFromMenu = 0,        // system menu or close box
    CloseByCode = 1,
    CloseSystemShutdown = 2,  // termination signal / session end
    CloseTaskManager = 3,
    CloseParentClosed = 4,
    CloseByOwner = 5,
};
// SIGTERM, SIGINT and SIGHUP become a close request with reason 2 on the
// event-loop thread: no question, the unload runs, the process ends.
void InstallTerminationHandlers();

// The components check of the start-up: the names of missing pieces
// (default: platform::MissingEncoders). An empty function restores it.
void SetComponentsCheck(std::function<QStringList()> check);
// Download address of the components installer ($QUILLON_COMPONENTS_URL or
// the built-in address).
QString ComponentsDownloadAddress();
// The capture engines (created by CreateCaptureEngines) are deleted; a running
// recording is finalised first.
void DeleteCaptureEngines();
// Tests: forgets that the window was loaded or unloaded, stops both timers.
void ResetMainWindowLogic();

// The two timers of the main window (Qt timers on the event-loop thread).
struct FrmMainTimers {
    QTimer Timer1;       // 100 ms
    QTimer TimerFormat;  // 4000 ms
};
FrmMainTimers& MainTimers();

// One process per instance: the lock of this run's instance (and settings
// file). TakeInstanceLock takes it, or, when another process holds it,
// traces why, tells the operator and returns false (the start then ends).
QString InstanceLockPath();
bool TakeInstanceLock();

// Start-up
void Form_Initialize();
void Form_Load();
void InitGeneral();
void InitGeneralDossiers(int index);
void InitPipe(int index);
void AnalyseChaineCommand(const QString& commandLine);
qint32 DetermineFrequence(const QString& text, qint32 defaultValue);
qint32 DetermineChannel(const QString& text, qint32 defaultValue);
qint32 DetermineBit(const QString& text, qint32 defaultValue);
void AfficherNiveauRecord(int index, int level);
void Slider1_Scroll(int index);
// The operator check of the start-up (core/operator_rights.cpp): where an
// operator is mandatory, one with the setup right must be selected; returns
// false when the program must quit.
bool CheckOperatorAtStartup();
// Creates the eight capture engines (once).
void CreateCaptureEngines();

// Recording control
void BtnRecordOn(int index, const QString& folder = {}, const QString& fileName = {}, const QString& extension = {});
void BtnPauseOn(int index);
void BtnStopOn(int index);
void XPButtonRecord_Click(int index);
void XPButtonPause_Click(int index);
void XPButtonStop_Click(int index);
// The operator's stop of the logging recorder while it records: asks "Oui" /
// "Non" ("Non" by default, pressed for the operator after the usual delay).
// True when the stop may go on (always for other recorders).
constexpr int kLoggingStopQuestionMs = 5000;
bool ConfirmLoggingStop(int index);
QString ExtensionFichier(int recorder);
// Name (without extension) of the next recording of a recorder; may change folder.
QString DetermineNomFichier(int recorder, QString& folder, bool askUser);
void ActiveSoundRecorder1_RecordingStarted(int index);
void ActiveSoundRecorder1_RecordingPaused(int index);
void ActiveSoundRecorder1_RecordingResumed(int index);
void ActiveSoundRecorder1_RecordingPosition(int index, qint64 positionMs);
void ActiveSoundRecorder1_RecordingStopped(int index, int result);
void ActiveSoundRecorder1_RecordingFinalizationStarted(int index);
void ActiveSoundRecorder1_RecordingFinalizationDone(int index, bool error);
void ActiveSoundRecorder1_Validate(int index);
void ActiveSoundRecorder1_DeviceChange(int index);
void ActiveSoundRecorder1_InputFormatsAvailable(int index);
// The file being recorded was deleted (or its folder): the folder is made
// again and the recording goes on into a new file.
void ActiveSoundRecorder1_RecordingFileLost(int index, const QString& path);
// Connects the engines' events to the handlers above.
void ConnectCaptureEvents();
// Change of file of a recorder that is recording (the logging slices): the
// next file is named as a start would name it and the engine goes on into it
// with no sample lost. When the engine cannot continue, a stop and a start.
void BtnRecordContinueOn(int index);
// True while the recorder's engine records (into a file or memory) or pauses.
bool RecorderEngineRecording(int index);
// True when the engine records into a file and the next file would be
// recorded with the same encoder settings: the change of file can be gapless.
bool RecorderCanContinue(int index);
// The traces of a finished stop: the pipe-stopped line by RecordKind and the
// free space of the destination.
void ReportRecorderStopped(int index);
// Status follow-up of the main timer: the trace line of a status number
// ("Status changed: ..."), empty for an unknown number.
QString StatusChangedText(int status);
// Click handlers of the recorders' three buttons put on the button models.
void ConnectRecorderButtons();
// Links of the setup window into the recording code (DetermineNomFichier).
// ConnectCaptureEvents installs them too.
void InstallSetupLinks();
// Tests: forgets the take counters of the event handlers and the guards of
// the timers.
void ResetRecordingControlState();
void ResetMainTimerState();

// Supervision
void Timer1_Timer();
void TimerFormat_Timer();

// Recovery of lost recordings. A recording that is wanted (record button
// checked) and stopped on a failure, or could not start, is lost: one
// incident with its cause, attempts within 2 s and then at most every 10 s
// (at once when a device arrives), one incident when it records again with
// the length of the gap. The operator's stop ends it.
// notStarted: the recording failed at its start (nothing was recorded).
void RecorderLost(int index, const QString& cause, bool incident = true, bool notStarted = false);
// A start of the recorder was accepted by its engine.
void RecorderStartAccepted(int index);
// Repeated attempts leave out the routine trace lines of a start.
bool RecorderQuietRetry(int index);
// The next attempt of a lost recording happens at the next tick.
void RetryRecorderNow(int index);
// One step of the recovery, run by every tick of Timer1.
void RecoveryTick();
// A start the program makes by itself for a lost recording: logging
// recorders into the next slice's name, ordinary ones into the file they were
// recording (a new file of that name).
void RestartLostRecording(int index);
// The cause of the engine's last failure: message and the system's words.
QString RecordingFailureCause(int index);
QString SoundServerMissingText();
QString DeviceMissingText(const QString& device);
void ResetRecoveryState();

// Capture devices of the recorders: each recorder finds its device by the
// sound server's name of it ("DeviceName"), else by its stored number; a
// device that is not there keeps the recorder out of recording with an
// incident that names it (never another device in its place).
// At start-up (InitPipe), once the device list is filled.
void BindRecorderDevice(int index, const QString& storedDevice);
// The device list of a recorder filled again from its engine, its device
// found again, and a lost recording tried at once when the device is back.
void RefreshRecorderDevices(int index);
// What the device list of a recorder shows while its device is not there:
// the device as the settings name it (its description when it was seen in
// this run), followed by " (absent)"; "" when the device is there.
QString MissingDeviceCaption(int index);
// Whether entry `entry` of a recorder's device list is a device that is there
// now (an entry of a device gone during the run stays in the list); true when
// the recorder has no engine to ask.
bool RecorderDevicePresent(int index, int entry);
// The state of the sound server: traced, and shown on the start-up message
// while start-up waits for it. Returns whether it is available.
bool FollowSoundServer();
// Tests: the sound server's state is traced anew.
void ResetDeviceBindingState();

// Shutdown and standby
void Quitter();
void Form_QueryUnload(bool& cancel, int reason);
void Form_Unload(bool& cancel);
void MiseEnVeilleForcee();
void Mnu01_Click();
void Mnu01Options_Click();
void MnuQuitter_Click();
void CommandQuitter_Click();
// Log viewer: today's trace lines written out, then the chosen log file
// opened in the desktop's text editor.
void MnuJournal_Click();
