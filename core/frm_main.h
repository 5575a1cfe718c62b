#pragma once
// The main window's logic: start-up, recording control, supervision timers
// and shutdown. GUI-free: the Qt window (ui/) shows the controls of
// S().main and calls these procedures from its events.
#include "core/main_controls.h"
#include "recording/recording.h"
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
    // The setup window's logic: its load at start-up (between the folders
    // and the capture engines), its unload at the end, the edits of the
    // settings forgotten (nobody edited anything yet), the input formats of a
    // recorder shown again (start-up waits for them).
    std::function<void()> LoadSetup;
    std::function<void()> UnloadSetup;
    std::function<void()> ForgetSettingsEdits;
    std::function<void(int recorder)> RefreshInputFormats;
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
void AfficherNiveauRecord(int index, int level);
void Slider1_Scroll(int index, int level);
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
// Click handlers of the recorders' three buttons put on the button models,
// and the buttons kept showing their recorders' states.
void ConnectRecorderButtons();
// Tests: forgets the take counters of the recorders and the guards of the
// timers.
void ResetRecordingControlState();
void ResetMainTimerState();

// Supervision
void Timer1_Timer();
void TimerFormat_Timer();

// The recording of recorder i as the setup window and the tests reach it:
// the cause of its engine's last failure, and a start the program makes by
// itself for a lost recording.
QString RecordingFailureCause(int index);
void RestartLostRecording(int index);

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
