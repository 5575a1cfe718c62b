#pragma once
// The main window's logic: start-up, recording control, supervision timers
// and shutdown. GUI-free: the Qt window (ui/) shows the controls of
// S().main and calls these procedures from its events.
#include "core/recorder_slot.h"

#include <QString>
#include <QTimer>
#include <functional>

// What the logic asks of the real windows. The Qt program fills these; tests
// and headless runs may leave any of them empty.
struct FrmMainHost {
    std::function<void()> ShowMain;         // show the main window (modeless)
    std::function<void()> HideMain;
    std::function<void()> Unload;           // unload the main window: the process ends after Form_Unload
    std::function<void()> ShowSplash;       // start-up message window FrmMsg
    std::function<void()> HideSplash;
    std::function<void(bool)> ShowSetup;    // show/hide the setup window
    std::function<bool()> SetupVisible;
    std::function<void()> ShowTray;         // standby into the notification area
    std::function<quintptr()> WindowHandle;
    std::function<void()> ApplyLook;        // InitGeneralLook / LookFenetre
};
FrmMainHost& MainHost();

// The two timers of the main window (Qt timers on the event-loop thread).
struct FrmMainTimers {
    QTimer Timer1;       // 100 ms
    QTimer TimerFormat;  // 4000 ms
};
FrmMainTimers& MainTimers();

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
// Seam for the operator check of the start-up; returns false to quit.
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
// Connects the engines' events to the handlers above.
void ConnectCaptureEvents();

// Supervision
void Timer1_Timer();
void TimerFormat_Timer();

// Shutdown and standby
void Quitter();
void Form_QueryUnload(bool& cancel, int reason);
void Form_Unload(bool& cancel);
void MiseEnVeilleForcee();
void Mnu01_Click();
void Mnu01Options_Click();
void MnuQuitter_Click();
void CommandQuitter_Click();
