#pragma once
// The planning module: the table in force, the next-timing analysis and the
// planned recordings.
#include "planning/next_timing.h"
#include "planning/planning_execution.h"
#include "planning/planning_table.h"

// Tests: forgets the starts made, the next start and the watch, and stops
// the planning timer.
void ResetPlanningState();
