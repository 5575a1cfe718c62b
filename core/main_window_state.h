#pragma once
// Run-time state of the main window's own life cycle (start-up and shutdown).

struct MainWindowState {
    // Form_Load has set the sliders from the settings file: only then do the
    // slider values and the window position mean something worth saving.
    bool SlidersLoaded = false;
    // Form_Unload has begun: the process is ending.
    bool UnloadStarted = false;
    // Form_QueryUnload is running (Quitter then only decides, the close in
    // progress does the unload).
    bool InQueryUnload = false;
    // The exit question is on screen.
    bool QuestionOpen = false;
};

MainWindowState& MainState();
