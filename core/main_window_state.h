#pragma once
// Run-time state of the main window's own life cycle (start-up and shutdown).

struct MainWindowState {
    // Form_Load has set the sliders from the settings file: only then do the
    // slider values and the window position mean something worth saving.
    bool SlidersLoaded = false;
    // Form_Load is running.
    bool LoadRunning = false;
    // A close asked by the system (termination signal) while Form_Load ran:
    // its reason, carried out as soon as the load has returned; -1 none.
    int PendingClose = -1;
    // Form_Unload has begun: the process is ending.
    bool UnloadStarted = false;
    // Form_QueryUnload is running (Quitter then only decides, the close in
    // progress does the unload).
    bool InQueryUnload = false;
    // The exit question is on screen.
    bool QuestionOpen = false;

    // The program is on its way out, or will be as soon as the load returns:
    // waits end and nothing new is begun.
    bool Closing() const { return UnloadStarted || PendingClose >= 0; }
};

MainWindowState& MainState();
