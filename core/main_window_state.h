#pragma once
// Run-time state of the main window's own life cycle (start-up and shutdown).

struct MainWindowState {
    // Form_Load has set the sliders from the settings file: only then do the
    // slider values and the window position mean something worth saving.
    bool SlidersLoaded = false;
    // The start-up is building the main window (Form_Initialize up to the
    // window shown by Form_Load).
    bool LoadRunning = false;
    // A close asked by the system (termination signal) while the window was
    // being built: its reason, carried out as soon as Form_Load has
    // returned; -1 none.
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
