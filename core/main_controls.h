#pragma once
// The main window's controls as models: what the windows show of each
// recorder (its frame, buttons, level slider, elapsed time) and of the
// program (menus, tabs, caption, tray tip). The logic writes them; the Qt
// window shows them and hands the operator's actions back as commands.
#include "settings/recorder_config.h"
#include "support/controls.h"
#include "support/xpbutton.h"

#include <QString>
#include <array>

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
    QString caption;
    // Tip of the notification-area icon while the window is in standby.
    QString TrayTip;
};

struct SharedState {
    MainWindowControls main;
};

SharedState& S();
// Tests: fresh controls, the life-cycle state back to its start, every
// recorder back to its start (engines kept), the station's settings to
// their defaults.
void ResetSharedState();

// Hooks that the main window's logic fills for the setup window.
struct MainHooks {
    // Puts a level on the recorder's slider and applies it to the device.
    std::function<void(int recorder, int level)> AfficherNiveauRecord;
};
MainHooks& Hooks();
