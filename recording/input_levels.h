#pragma once
// The input level of each recorder in service, for the meters: the capture
// engine's own peaks while it records (or pauses); otherwise the peaks of a
// cheap peak-detecting stream on the recorder's device, so that an operator
// can check an input before recording. The windows ask only while the meters
// are seen and call StopIdleLevels as soon as they are not: no stream, no
// wake-up while nobody looks.
#include "platform/capture/loudness_meter.h"

#include <QString>
#include <QVector>

// Peaks 0..1 per channel of recorder i now (empty when it has no level to
// show: not in service, no device, its device absent). Call it at each tick
// of the meters; it starts, moves and stops the idle measure as needed.
QVector<float> RecorderInputPeaks(int recorder);
// The idle measure of recorder i runs (a stream is asked for its device).
bool IdleLevelsRunning(int recorder);
// The source whose level the idle measure of recorder i reads ("" none).
QString IdleLevelsSource(int recorder);
// A recording of recorder i starts: its idle measure stops first (the next
// tick of the meters reads the recording).
void StopIdleLevelsOf(int recorder);
// The meters are not seen: every idle measure stops.
void StopIdleLevels();

// Loudness (EBU R 128) of recorder i's input: the recording's own measure
// while it records, the idle measure's while the meters run; nothing
// (valid false) otherwise. Reading keeps the live values computed.
platform::capture::LoudnessSnapshot RecorderLoudness(int recorder);
// The highest true peak shown starts again from now (the operator's click).
void ResetRecorderTruePeak(int recorder);
