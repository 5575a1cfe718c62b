// The hooks of the real main window and the window's two timers.
#include "core/frm_main.h"

FrmMainHost& MainHost() {
    static FrmMainHost host;
    return host;
}

FrmMainTimers& MainTimers() {
    // Created on first use on the event-loop thread and kept for the whole
    // process: a timer destroyed after the application object would outlive
    // its event dispatcher.
    static FrmMainTimers* timers = [] {
        auto* t = new FrmMainTimers;
        t->Timer1.setInterval(100);
        t->TimerFormat.setInterval(4000);
        QObject::connect(&t->Timer1, &QTimer::timeout, [] { Timer1_Timer(); });
        QObject::connect(&t->TimerFormat, &QTimer::timeout, [] { TimerFormat_Timer(); });
        return t;
    }();
    return *timers;
}

WindowPos& MainWindowPos() {
    static WindowPos pos{"Frm_Main"};
    return pos;
}

#include "core/main_window_state.h"
#include "recording/recording.h"

void ResetMainWindowLogic() {
    ResetMainState();
    ResetDeviceBindingState();
    ResetRecordingControlState();
    MainTimers().Timer1.stop();
    MainTimers().TimerFormat.stop();
}
