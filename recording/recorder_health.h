#pragma once
// What a recorder is doing, and why it is not recording when it should: the
// state that the panels of the windows show for each recorder (idle,
// recording, paused, waiting for its device, failed with its cause), and the
// bookkeeping of the recovery of a recording lost on a failure.
#include <QString>
#include <QtGlobal>

enum class RecorderActivity { Idle, Recording, Paused, WaitingForDevice, Failed };

struct RecorderHealth {
    // Cause of the last failure of the recorder ("" none yet), with the
    // system's own words ("No space left on device"). Kept after a recovery.
    QString LastError;
    // The recorder's capture device, or the sound server itself, is not
    // there: the recorder does not record until it comes.
    bool WaitingForDevice = false;
    // What it waits for: the device as the settings name it ("" = the sound
    // server).
    QString MissingDevice;

    // A recording is wanted (record button) but the engine stopped on a
    // failure, or could not start: the program starts it again by itself.
    bool Lost = false;
    qint64 LostTick = 0;        // when it was lost: the start of the gap
    qint64 NextRetryTick = 0;   // next attempt (monotonic clock)
    int Retries = 0;
    qint64 RestartTick = 0;     // start of the take that may end the loss (0 none)
    QString RetryCause;         // cause of the last failed attempt (traced on change)
    qint64 RetryTraceTick = 0;  // last trace of a failed attempt
    // One incident per loss: set when the loss (or the missing device that
    // caused it) has been reported, cleared by the recovery.
    bool IncidentGiven = false;
    // Cause of the last incident about this recorder (a refused setting, a
    // missing device): a loss for that same cause is not told twice.
    QString IncidentCause;
    // Ordinary recorders retry into the file they were recording (a new
    // file of that name, with its suffix); logging recorders take the name
    // of the next slice.
    QString RetryFolder, RetryName, RetryExtension;
    // Planned recordings: tick at which the planned duration ends (0 none).
    qint64 PlannedEndTick = 0;
};

// What a panel shows for a recorder: its wanted state (the record button),
// what it is doing, and the cause when it waits or failed.
struct RecorderStatusView {
    bool Wanted = false;
    RecorderActivity Activity = RecorderActivity::Idle;
    QString Cause;
};
// The view of recorder i (0..7), from its button, its engine and its health.
RecorderStatusView RecorderStatusOf(int recorder);
