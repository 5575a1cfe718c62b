#pragma once
// The recording layer's procedures: the recorders, the engines' error texts,
// the capture format of a quality text, the devices and the sound server,
// the recovery of lost recordings.
#include "recording/recorder.h"

#include <QString>
#include <array>

// The eight recorders (index 0..7; people see 1..8). They exist for the
// whole process; RecordersInService() of them are in service.
Recorder& Rec(int index);
// A recorder index that is no recorder raises "Subscript out of range" (9).
void CheckRecorderIndex(int index);
int RecordersInService();
void SetRecordersInService(int count);
// A change of recorder i's configuration (a copy edited and handed back).
void EditRecorderConfig(int index, const std::function<void(RecorderConfig&)>& change);
// The configurations of the eight recorders (for the settings file).
std::array<RecorderConfig, kRecorders> RecorderConfigs();
// Tests: every recorder back to its start (engines kept).
void ResetRecorders();

// Component error codes turned into their text and traced, framed with "=",
// on the recorder's line: "Err: " + message + " (" + operation + ")(" + caller + ")".
// Acts only on negative codes.
void AfficherErreurARS(int code, int recorder, int stream, const QString& operation, const QString& caller);
// The message of a component error code (-100 "An unknown error occurred",
// an unlisted code its decimal text).
QString ComponentErrorText(int code);

// The capture format of a quality text ("48000 Hz 16 bits stéréo").
qint32 DetermineFrequence(const QString& text, qint32 defaultValue);
qint32 DetermineChannel(const QString& text, qint32 defaultValue);
qint32 DetermineBit(const QString& text, qint32 defaultValue);
// The extension of a recorder's format (".wav"...).
QString ExtensionFichier(int recorder);
// Name (without extension) of the next recording of a recorder started by
// its button; may change folder.
QString DetermineNomFichier(int recorder, QString& folder, bool askUser);
// The name text the setup window shows for a recorder: the logging name, or
// the pattern as typed.
QString NameTextOf(int recorder);

// Recovery of lost recordings. A recording that is wanted and stopped on a
// failure, or could not start, is lost: one incident with its cause,
// attempts within 2 s and then at most every 10 s (at once when a device
// arrives), one incident when it records again with the length of the gap.
// The stop ends it. notStarted: the recording failed at its start.
void RecorderLost(int index, const QString& cause, bool incident = true, bool notStarted = false);
void RecorderStartAccepted(int index);
bool RecorderQuietRetry(int index);
void RetryRecorderNow(int index);
// One step of the recovery, run by every tick of the main timer.
void RecoveryTick();
QString SoundServerMissingText();
QString DeviceMissingText(const QString& device);
void ResetRecoveryState();

// Capture devices: each recorder finds its device by the sound server's name
// of it ("DeviceName"), else by its stored number; a device that is not
// there keeps the recorder out of recording with an incident that names it
// (never another device in its place).
void BindRecorderDevice(int index, const QString& storedDevice);
void RefreshRecorderDevices(int index);
// The device as the settings name it followed by " (absent)" while it is not
// there; "" when it is.
QString MissingDeviceCaption(int index);
bool RecorderDevicePresent(int index, int entry);
// The state of the sound server, traced when it changes; whether it answers.
bool FollowSoundServer();
// While start-up waits for the sound server, what the start-up message says.
struct SoundServerWaitText {
    std::function<void(const QString&)> Show;
};
SoundServerWaitText& SoundServerWait();
void ResetDeviceBindingState();

// Recordings of every recorder: whether any engine still works on a file.
bool AllEnginesIdle();
