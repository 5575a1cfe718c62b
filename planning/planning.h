#pragma once
// The planning module: the table editor, the next-timing analysis and the
// planned recordings. InstallPlanning() puts them into the hooks of the
// setup window (list view, row stored at a save, analysis) and connects the
// editor's controls; the program calls it before the main window's load,
// tests before they load the setup window.
#include "planning/next_timing.h"
#include "planning/planning_editor.h"
#include "planning/planning_execution.h"

void InstallPlanning();
// Tests: forgets the starts made, the next start and the watch, and stops
// the planning timer.
void ResetPlanningState();
