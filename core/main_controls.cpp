#include "core/main_controls.h"

#include "core/main_window_state.h"
#include "recording/recording.h"
#include "settings/station_config.h"

#include "support/errors.h"
#include "support/tracelog.h"

#include <QHash>

namespace {

// Every XPButton of the main window is a sibling of the others (group rule);
// record and pause are toggles, stop is a push button.
void RegisterMainButtons(SharedState& s) {
    s.main.buttons.clear();
    for (auto& r : s.main.rec) {
        r.XPButtonRecord.setButtonType(3);
        r.XPButtonPause.setButtonType(3);
        r.XPButtonStop.setButtonType(1);
        s.main.buttons.push_back(&r.XPButtonRecord);
        s.main.buttons.push_back(&r.XPButtonPause);
        s.main.buttons.push_back(&r.XPButtonStop);
    }
    for (XPButton* b : s.main.buttons) b->setSiblings(&s.main.buttons);
}

SharedState& State() {
    static SharedState* state = [] {
        auto* s = new SharedState;
        RegisterMainButtons(*s);
        return s;
    }();
    return *state;
}

}  // namespace

SharedState& S() { return State(); }

void ResetSharedState() {
    SharedState& s = State();
    s = SharedState{};
    RegisterMainButtons(s);
    ResetMainState();
    ResetRecorders();
    Station() = StationConfig{};
}

MainWindowState& MainState() {
    static MainWindowState state;
    return state;
}

namespace {
// The recorders see the program's life cycle through these.
const bool g_environment = [] {
    RecordingEnvironment& env = RecordingEnv();
    env.Unloading = [] { return MainState().UnloadStarted; };
    env.Quitting = [] { return MainState().QuitRequested; };
    env.StartupDone = [] { return MainState().StartupDone; };
    return true;
}();
}  // namespace

void ResetMainState() { MainState() = MainWindowState{}; }

MainHooks& Hooks() {
    static MainHooks hooks;
    return hooks;
}

