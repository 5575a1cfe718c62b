#pragma once
// Planned recordings: the planning timer waits for the next timing, starts
// the line's recorder with its file, switcher command and duration, and asks
// for the next analysis. The end of a planned recording is the recording
// control's: the position event stops it at PlannedDuration.
#include <QString>
#include <QtGlobal>

// Timer event of the planning timer (10 s, 1 s from 80 s before a start).
void TimerPlanning_Timer();

// Starts recorder `index` (0..7) for a planned recording: the switcher
// command first (serial link), then a stop of what it records and a start
// into soundFile (blank: the recorder's own naming), limited to durationMs.
// A start that the capture engine refuses is an incident.
void PlanningRecordAuto(int index, qint32 durationMs, const QString& soundFile, const QString& podcast,
                        const QString& command);

// The recorder number of a planning line's "Recorder" text, the word removed
// in any case ("recorder 3": 3); 0 when blank.
int PlannedRecorderNumber(const QString& recorderText);
// Duration of a planned recording in ms from its "Duree" text in minutes;
// blank, 0 or negative: 5 minutes.
qint32 PlannedDurationMs(const QString& duree);
