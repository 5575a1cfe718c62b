// Leaving the program: the exit question, the close request and its reasons,
// the teardown of the main window, standby, and the termination signals.
#include "core/control_bridge.h"
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "support/app_globals.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kModule = "Frm_Main";
constexpr int kButtonYes = 101;
constexpr int kButtonNo = 102;
// Error code of a stop while the recorder is idle: not an error here.
constexpr int kStopWhileIdle = -100;
// Longest wait of the unload for the engines to finalise their files.
constexpr int kFinalisationWaitMs = 15000;

QString closeReasonText(int reason) {
    switch (reason) {
    case CloseFromMenu: return "Application QueryUnload by system Menu";
    case CloseByCode: return "Application closed by code action";
    case CloseSystemShutdown: return "Application closed because Windows is shutting down";
    case CloseTaskManager: return "Application closed by the Taskmanager";
    case CloseParentClosed: return "Application closed because MDI Form closed";
    case CloseByOwner: return "Application closed by the owner";
    default: return "Application closed: Unknow mode: " + QString::number(reason);
    }
}

// Writes the pending trace lines to the daily file (once the log folder is known).
void flushPendingLines() {
    if (!Trace().LogFolder.isEmpty()) TraceLogFlushPending();
}

bool allEnginesIdle() { return AllEnginesIdle(); }

void endProcess() {
    if (MainHost().Unload) MainHost().Unload();
    if (MainHost().EndProcess)
        MainHost().EndProcess();
    else
        QCoreApplication::exit(0);
}

// Self-pipe of the termination signals: the handler only writes the signal
// number; the event loop reads it and closes the window.
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void onSignalPipeReadable() {
    unsigned char bytes[16];
    ssize_t n;
    bool received = false;
    while ((n = ::read(g_signalPipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t k = 0; k < n; ++k) {
            TraceLog(-1, -1, -1, QString("Termination signal received: %1 (%2)").arg(bytes[k]).arg(strsignal(bytes[k])));
            received = true;
        }
    }
    if (!received) return;
    // While the window is being built the close waits for Form_Load to
    // return (it carries it out): a window half built is not torn down
    // under its feet.
    if (MainState().LoadRunning) {
        MainState().PendingClose = CloseSystemShutdown;
        return;
    }
    CloseMainWindow(CloseSystemShutdown);
}

}  // namespace

void Quitter() {
    ErrorTrap trap(kModule + ":Quitter");
    // One question at a time; none once the program is on its way out.
    if (MainState().QuestionOpen || MainState().UnloadStarted) return;
    int answer = kButtonNo;
    trap(10, [&] {
        MainState().QuestionOpen = true;
        answer = CurrentDialogs().TaskDialog(App().MainWindowCaption, "Voulez-vous quitter le programme ?",
                                             {{kButtonYes, "Oui"}, {kButtonNo, "Non"}}, kButtonNo, 5000);
    });
    MainState().QuestionOpen = false;
    // The system may have closed the program while the question was open.
    if (MainState().UnloadStarted) return;
    if (answer == kButtonYes) {
        trap(20, [&] { TraceLogEncadre(-1, -1, -1, "Application closed by human action (Menu action)", "*"); });
        trap(30, [&] {
            MainState().QuitRequested = true;
            // Asked from a close request: that close goes on by itself.
            if (!MainState().InQueryUnload) UnloadMainWindow();
        });
    } else {
        trap(40, [&] { MainState().QuitRequested = false; });
    }
}

void Form_QueryUnload(bool& cancel, int reason) {
    ErrorTrap trap(kModule + ":Form_QueryUnload");
    if (MainState().UnloadStarted) {
        cancel = false;  // the teardown is already under way
        return;
    }
    // A close of the window after the operator confirmed the exit is the
    // program's own unload: do not ask a second time.
    if (reason == CloseFromMenu && MainState().QuitRequested) reason = CloseByCode;
    if (reason == CloseFromMenu) {
        // Start-up is not finished: refused, unless it waits for something
        // outside the program (the sound server), which may take for ever.
        if (MainTimers().TimerFormat.isActive() && !MainState().StartupWaiting) {
            cancel = true;
            return;
        }
        trap(10, [&] { TraceLogEncadre(-1, -1, -1, closeReasonText(reason), "="); });
        trap(20, [&] { flushPendingLines(); });
        trap(30, [&] {
            MainState().InQueryUnload = true;
            Quitter();
        });
        MainState().InQueryUnload = false;
        cancel = !MainState().QuitRequested;
        return;
    }
    trap(40, [&] {
        if (reason == CloseSystemShutdown) MainState().SystemShutdown = true;
        TraceLogEncadre(-1, -1, -1, closeReasonText(reason), "=");
    });
    trap(50, [&] { flushPendingLines(); });
    cancel = false;
}

void Form_Unload(bool& cancel) {
    if (cancel || MainState().UnloadStarted) return;
    MainState().UnloadStarted = true;
    ErrorTrap trap(kModule + ":Form_Unload");
    const bool loaded = MainState().SlidersLoaded;
    trap(10, [&] {
        // The window's timers end with it.
        MainTimers().Timer1.stop();
        MainTimers().TimerFormat.stop();
        flushPendingLines();
    });
    trap(20, [&] { if (loaded) PositionFeuilleSauvegarde(MainWindowPos(), ""); });
    if (loaded) {
        const QString file = NomFichierSettings(".Ini", "");
        for (int i = 0; i < kRecorders; ++i) {
            trap(30, [&] {
                // The recorder's level, as its slider shows it.
                const int volume = Rec(i).config().Volume;
                EcritureIni(file, "Recorder_" + N2S(i, 2, 0, "0"), "Volume", QString::number(volume));
            });
        }
    }
    // Every recording is stopped; the engines finalise their files side by
    // side while their events run here, so that the stop and finalisation
    // of each recording are in the trace log before the process ends.
    const int count = qBound(1, RecordersInService(), kRecorders);
    for (int i = 0; i < count; ++i) {
        trap(40, [&] {
            platform::ActiveSoundRecorder* e = Rec(i).engine();
            if (!e) return;
            if (!Rec(i).Wanted() && e->RecorderStatus() == platform::StatusNone) return;
            const int code = e->RecorderStop();
            if (code != kStopWhileIdle) AfficherErreurARS(code, i, -1, "RecorderStop", kModule + ":Form_Unload");
        });
    }
    trap(45, [&] {
        const bool done = platform::WaitInEventLoop(allEnginesIdle, kFinalisationWaitMs);
        if (!done)
            TraceLog(-1, -1, -1,
                     "Form_Unload: recordings still being finalised after " + QString::number(kFinalisationWaitMs) +
                         " ms: they are closed without their events",
                     true);
    });
    trap(50, [&] { flushPendingLines(); });
    trap(60, [&] {
        MainState().QuitRequested = false;
        if (MainHost().UnloadSetup) MainHost().UnloadSetup();
    });
    // What the setup window traced on its way out.
    trap(70, [&] { flushPendingLines(); });
    // Ends the recordings still being written and closes their files.
    trap(80, [&] { DeleteCaptureEngines(); });
    trap(85, [&] { CloseControlSocket(); });
    trap(90, [&] { endProcess(); });
}

bool CloseMainWindow(int reason) {
    if (MainState().UnloadStarted) return true;
    bool cancel = false;
    Form_QueryUnload(cancel, reason);
    if (cancel) return false;
    Form_Unload(cancel);
    return true;
}

void UnloadMainWindow() { CloseMainWindow(CloseByCode); }

void MiseEnVeilleForcee() {
    ErrorTrap trap(kModule + ":MiseEnVeilleForcee");
    trap(10, [&] {
        MainState().WindowShown = false;
        if (MainHost().HideMain) MainHost().HideMain();
    });
    trap(20, [&] {
        S().main.TrayTip = "Velmora: Quillon Recorder";
        if (MainHost().ShowTray) MainHost().ShowTray();
    });
}

void Mnu01_Click() {
    ErrorTrap trap(kModule + ":Mnu01_Click");
    trap(10, [&] { S().main.MnuQuitter.setEnabled(!MainTimers().TimerFormat.isActive() || MainState().StartupWaiting); });
}

void Mnu01Options_Click() {
    ErrorTrap trap(kModule + ":Mnu01Options_Click");
    trap(10, [&] {
        const bool visible = MainHost().SetupVisible && MainHost().SetupVisible();
        if (MainHost().ShowSetup) MainHost().ShowSetup(!visible);
    });
}

void MnuQuitter_Click() { Quitter(); }

void CommandQuitter_Click() { Quitter(); }

void InstallTerminationHandlers() {
    static bool installed = false;
    if (installed) return;
    ErrorTrap trap(kModule + ":InstallTerminationHandlers");
    bool ok = trap(10, [&] {
        if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            RaiseError(errno, QString("pipe2: ") + std::strerror(errno));
    });
    if (!ok) return;
    ok = trap(20, [&] {
        if (!QCoreApplication::instance()) RaiseError(kInternalErrorNumber, "No application object");
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { onSignalPipeReadable(); });
    });
    if (!ok) return;
    trap(30, [&] {
        struct sigaction action {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
            if (::sigaction(signalNumber, &action, nullptr) != 0)
                RaiseError(errno, QString("sigaction: ") + std::strerror(errno));
    });
    installed = true;
}
