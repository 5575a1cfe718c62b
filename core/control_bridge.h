#pragma once
// The control socket of the program: its requests answered from the
// recorders, its commands carried out through the recorders' own Start,
// Pause, Continue and Stop (as the control interface), and the recorders'
// events published to its subscribers.
#include "control/control_target.h"

#include <QJsonObject>
#include <QString>

namespace control { class ControlServer; }

class RecorderControl : public control::ControlTarget {
public:
    QJsonObject Program() override;
    QJsonArray RecorderStatus() override;
    control::CommandResult Start(int recorder, const control::StartArgs& args, const control::Caller& who) override;
    control::CommandResult Pause(int recorder, const control::Caller& who) override;
    control::CommandResult Continue(int recorder, const control::Caller& who) override;
    control::CommandResult Stop(int recorder, const control::Caller& who) override;
    QJsonArray Incidents(int last) override;
    control::CommandResult Acknowledge(qint64 seq, bool all, const control::Caller& who) override;
    QStringList TraceLines(int last) override;
    QJsonArray Levels() override;

    // The status object of recorder i (0..7).
    static QJsonObject StatusOf(int i);
};

// The program's socket: opened once the instance is the program's own
// (a trace line says where, or why not), closed at the end of the unload.
void OpenControlSocket();
void CloseControlSocket();
control::ControlServer* ControlSocket();
