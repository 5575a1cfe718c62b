#pragma once
// Run-time state of the program's own life cycle (start-up and shutdown),
// kept by the main window's logic.
#include <QString>

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

    // The main window is shown (not hidden in standby, not minimised).
    bool WindowShown = false;
    // The exit is confirmed (or the program ends on its own).
    bool QuitRequested = false;
    // Start-up finished: the operator check passed, the timers run.
    bool StartupDone = false;
    // Every recorder in service has its input formats (start-up waits for them).
    bool FormatsAvailable = false;
    // Start-up waits for something outside the program (the sound server, a
    // device's formats): the operator may close the program meanwhile.
    bool StartupWaiting = false;
    bool ComponentsMissing = false;
    // Another process runs this instance: this one ended at once.
    bool InstanceRefused = false;
    // The close request came from the system going down (signal or session
    // end): the unload must not wait for anybody; the setup window saves the
    // operator's edits without asking.
    bool SystemShutdown = false;
    // The start-up message window is shown, and its text.
    bool SplashVisible = false;
    QString SplashText;
    double ControlVersion = 0;
    QString CommandLine;
    QString LogFolder;

    // The program is on its way out, or will be as soon as the load returns:
    // waits end and nothing new is begun.
    bool Closing() const { return UnloadStarted || PendingClose >= 0; }
};

MainWindowState& MainState();
void ResetMainState();  // tests
