#pragma once
// What quillon-ctl prints for a person, in French, from the program's
// answers and events.
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace ctl {

// The program's line and a table of the recorders, then their last incidents.
QString StatusText(const QJsonObject& answer);
// "Rec. 3 (Studio) : Enregistrement, /srv/audio/Essai.wav"
QString RecorderSummary(const QJsonObject& recorder);
// One line an incident, oldest first.
QString IncidentsText(const QJsonArray& incidents);
// One line for an event, stamped with the local time it arrived.
QString EventText(const QJsonObject& event, const QDateTime& now);

// "01:02:05"
QString Clock(double seconds);
// Recording time left on a drive: "246 j", "5 h 20 min", "12 min".
QString TimeLeft(double seconds);
// The state in words, as the main window's panel says it when the program
// sent its text.
QString StateWords(const QJsonObject& recorder);

}  // namespace ctl
