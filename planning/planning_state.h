#pragma once
// Run-time state of the planning engine, shared by the analysis and the
// execution.
#include "planning/planning_table.h"

#include <functional>

#include <QDateTime>
#include <QTimer>
#include <array>

struct PlanningRuntime {
    // The moment of the next start (the one TextProchainTiming shows);
    // invalid when none.
    QDateTime nextStart;
    // When the planning began to watch the clock (first analysis): a start
    // before it was never due.
    QDateTime watchSince;
    // The last moment the planning looked at the clock (its last tick, or
    // the first analysis): every start up to it has been made or reported.
    // A start between it and now passed unwatched (the computer asleep, the
    // program busy, the clock put forward).
    QDateTime watched;
    // The last start dealt with of each slot (made, or reported missed): the
    // moment it named and the monotonic tick when it was dealt with.
    struct Made {
        QDateTime occurrence;
        qint64 tick = 0;
    };
    std::array<Made, kPlanningSlots> made{};
    // A tick of the planning timer is starting lines (its waits let the
    // timer run again).
    bool firing = false;
    // The slot of the next start (-1 none).
    int nextLine = -1;
};

PlanningRuntime& Planning();

// What the setup window shows of the planning: the next start's moment
// ("" none). Set by the window; the planning works without it.
struct PlanningDisplayHooks {
    std::function<void(const QString& text)> ShowNextTiming;
};
PlanningDisplayHooks& PlanningDisplay();

// The planning timer of the setup window (TimerPlanning): created on first
// use and kept for the whole process.
QTimer& TimerPlanning();

// Sets the timer's period for the next start (10 s, 1 s from 80 s before,
// and the last period ends on the start) and keeps it running.
void ArmTimerPlanning(const QDateTime& now);
