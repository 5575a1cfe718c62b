#pragma once
// What the control socket asks of the recorder program. The program
// implements it over its recorder objects; the server calls it on the
// event-loop thread, one call at a time for commands (status, incidents,
// trace and levels may be asked while a command waits in the event loop).
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace control {

// Who asks: the peer's SO_PEERCRED and the request's "user".
struct Caller {
    qint64 uid = -1;
    qint64 pid = -1;
    QString user;
};

// "uid 1000 pid 4242 user web:alice" (the parts that are known), for the
// trace line of a command.
QString CallerText(const Caller& who);

struct StartArgs {
    QString name;       // empty: the recorder's own file name
    QString folder;     // empty: the recorder's folder
    qint64 durationS = 0;  // 0: no limit
};

// ok, or an error code of the protocol ("refused", "bad-argument",
// "internal"; empty means "refused") with its French message. recorder:
// the recorder's object as in status, sent back with a success.
struct CommandResult {
    bool ok = false;
    QString error;
    QString message;
    QJsonObject recorder;
};

class ControlTarget {
public:
    virtual ~ControlTarget() = default;
    // version, instance, pid, startup_done, closing; "recorders" (count,
    // default 8) may be added for the greeting.
    virtual QJsonObject Program() = 0;
    // The "recorders" array of status.
    virtual QJsonArray RecorderStatus() = 0;
    // recorder 1..8
    virtual CommandResult Start(int recorder, const StartArgs& args, const Caller& who) = 0;
    virtual CommandResult Pause(int recorder, const Caller& who) = 0;
    virtual CommandResult Continue(int recorder, const Caller& who) = 0;
    virtual CommandResult Stop(int recorder, const Caller& who) = 0;
    // The last incidents, newest last.
    virtual QJsonArray Incidents(int last) = 0;
    // seq, or every incident when all.
    virtual CommandResult Acknowledge(qint64 seq, bool all, const Caller& who) = 0;
    virtual QStringList TraceLines(int last) = 0;
    // The "recorders" array of a level event: pulled at most 10 times a
    // second, only while a subscriber asked for levels.
    virtual QJsonArray Levels() = 0;
};

}  // namespace control
