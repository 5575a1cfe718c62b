#include "planning/planning.h"

#include "planning/planning_state.h"

PlanningDisplayHooks& PlanningDisplay() {
    static PlanningDisplayHooks hooks;
    return hooks;
}

void ResetPlanningState() {
    Planning() = PlanningRuntime{};
    PlanningLines() = PlanningTable{};
    TimerPlanning().stop();
    TimerPlanning().setInterval(10000);
}
