#pragma once
// What a recorder's panel tells the operator, in words: its state with a
// colour, the reason of a control that cannot be used, and one status line
// (device, format and quality, current file and its size, free space of its
// drive and the recording time left at this rate). The time left is also
// watched while no window is shown: under two hours it is an incident.
#include "settings/recorder_config.h"

#include <QString>
#include <QtGlobal>

enum class PanelTone { Neutral, Good, Warning, Alarm };

struct RecorderPanel {
    QString State;          // "Arrêt", "Enregistrement", "Pause", "En attente du périphérique", "Échec : ..."
    PanelTone StateTone = PanelTone::Neutral;
    bool Writing = false;   // a file is being written (REC lit)
    QString RecordDisabledWhy;  // the record button cannot be used: why ("" when it can)
    QString Status;         // the status line
    PanelTone TimeLeftTone = PanelTone::Neutral;
    qint64 SecondsLeft = -1;    // recording time left on the drive at this rate (-1 unknown)
};

constexpr qint64 kTimeLeftWarningSeconds = 24 * 3600;
constexpr qint64 kTimeLeftAlarmSeconds = 2 * 3600;

// The panel of recorder i (0..7) now.
RecorderPanel RecorderPanelOf(int recorder);
// Bytes a second written by the recorder's take in progress: measured once
// the take has run a few seconds, else from its format (0 when unknown).
double RecordingByteRate(int recorder);
// The recorder's format, characteristic and quality in words
// ("mp3 CBR 192 Kbps, 48000 Hz 16 bits stéréo").
QString FormatWords(const RecorderConfig& config);
// "3 h 20 min", "45 min", "12 j 4 h".
QString DurationWords(qint64 seconds);
// One check of every recording recorder's time left, at most every few
// seconds (the main timer calls it at each tick): an incident when it falls
// under two hours, once until it is above again.
void SuperviseTimeLeft();
void ResetTimeLeftSupervision();  // tests
