#pragma once
// The recorder slots, the process-wide flags and the main window's controls:
// the state that every part of the program reads and writes. Eight slots
// always exist (index 0..7; people see 1..8); RecorderCount of them are in
// service.
#include "core/recorder_health.h"
#include "support/controls.h"
#include "support/xpbutton.h"

#include <QString>
#include <array>
#include <functional>

namespace platform { class ActiveSoundRecorder; }

constexpr int kRecorders = 8;

enum RecordKindCode { RecordKindNoFile = 0, RecordKindLogging = 1, RecordKindOrdinary = 2 };

struct RecorderSlot {
    bool Active = false;
    qint16 DeviceIndex = 0;
    // The sound server's name of the device (key "DeviceName"): it finds the
    // device again whatever its place in the server's order.
    QString DeviceName;
    qint16 ChannelIndex = 0;
    qint16 QualityIndex = 0;
    QString QualityText;
    qint16 FormatIndex = 1;
    qint16 FormatCharacteristic = 0;
    qint16 RecordKind = RecordKindOrdinary;
    QString RecordFolder;
    QString NetworkFolder;
    int Volume = 75;
    qint32 InputLevel = 0;
    QString LocalFolder;
    QString LocalSoundFolder;
    QString ConfigFolder;
    QString PendingFilePath;
    QString AnnouncedFilePath;
    // The file of the take in progress ("" when none has started).
    QString RecordingFilePath;
    // Recording control
    qint32 PlannedDuration = 0;
    QString PlannedPodcast;
    bool PlanningStartFlag = false;
    bool RemoteCommandActive = false;
    bool KeyboardStart = false;
    // Supervision
    qint32 LastStatus = 0;
    QString SliceEnd;
    QString LastPurgeDay;
    // Failures, recovery, device awaited.
    RecorderHealth Health;
};

// Keyboard table (per recorder and command: record 0, pause 1, stop 2).
struct KeyboardBinding {
    bool Ctrl = false;
    bool Alt = false;
    bool Shift = false;
    int Key = 0;
};
// Contact table.
struct ContactBinding {
    bool Enabled = false;
    qint16 Input = 0;
    bool State = false;
};

// The controls of one recorder's frame in the main window.
struct RecorderFrameControls {
    ControlBase MyFrameRecorder;  // caption = label
    XPButton XPButtonRecord;
    XPButton XPButtonPause;
    XPButton XPButtonStop;
    SliderCtl Slider1;
    LabelCtl LabelChrono;
    ControlBase LabelFondChrono;
    ControlBase Picture1;
    ControlBase Picture4;
    ControlBase Tab;  // the recorder's tab in the main window
};

struct MainWindowControls {
    std::array<RecorderFrameControls, kRecorders> rec;
    XPButton::Siblings buttons;  // every XPButton of the window (group rule)
    ControlBase IncidentsTab;    // the "Incidents" tab
    CheckBoxCtl CheckIncidents;
    ControlBase MnuQuitter;
    ControlBase Mnu01Options;
    ControlBase MnuUserCurrent;  // "Utilisateur en cours"
    ControlBase MnuChangeUser;   // "Changer d'utilisateur..."
    ControlBase MnuJournal;      // the log viewer
    bool visible = false;
    QString caption;
    // Tip of the notification-area icon while the window is in standby.
    QString TrayTip;
};

struct SharedState {
    std::array<RecorderSlot, kRecorders> slot;
    std::array<std::array<KeyboardBinding, 3>, kRecorders> keyboard;
    std::array<std::array<ContactBinding, 3>, kRecorders> contact;
    int RecorderCount = 1;
    bool SettingsModified = false;
    bool SettingsLoading = false;
    bool SetupLoaded = false;
    bool SplashVisible = false;
    bool StartupDone = false;
    bool FormatsAvailable = false;
    // Start-up waits for something outside the program (the sound server, a
    // device's formats): the operator may close the program meanwhile.
    bool StartupWaiting = false;
    bool QuitRequested = false;
    bool RemoteActionRunning = false;
    bool Force128Kbits = false;
    bool ComponentsMissing = false;
    // Another process runs this instance: this one ended at once.
    bool InstanceRefused = false;
    // The close request came from the system going down (signal or session
    // end): the unload must not wait for anybody; the setup window saves the
    // operator's edits without asking.
    bool SystemShutdown = false;
    double ControlVersion = 0;
    QString CommandLine;
    QString LogFolder;
    // Text shown on the start-up message window while SplashVisible.
    QString SplashText;
    // The capture engine of each recorder (owned by the main window's logic).
    std::array<platform::ActiveSoundRecorder*, kRecorders> ActiveSoundRecorder1{};
    MainWindowControls main;
};

SharedState& S();
void ResetSharedState();  // tests

// Component error codes turned into their text and traced, framed with "=",
// on the recorder's line: "Err: " + message + " (" + operation + ")(" + caller + ")".
// Acts only on negative codes.
void AfficherErreurARS(int code, int recorder, int stream, const QString& operation, const QString& caller);
// The message of a component error code (-100 "An unknown error occurred",
// an unlisted code its decimal text).
QString ComponentErrorText(int code);

// Hooks that the main window's logic fills for the setup window.
struct MainHooks {
    // Puts a level on the recorder's slider and applies it to the device.
    std::function<void(int recorder, int level)> AfficherNiveauRecord;
};
MainHooks& Hooks();
