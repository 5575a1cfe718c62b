#pragma once
// The control socket's server, on the event-loop thread: greets each client,
// answers its requests in order through the ControlTarget, and streams the
// events to the clients that subscribed. See docs/control-protocol.md.
//
// A target call may let events run (a stop waits in the event loop). Other
// clients are served meanwhile: requests that only read at once, commands
// one after the other (a command waits until the one running has returned).
// A client that leaves during a call is removed once the call returns.
#include "control/control_target.h"
#include "control/listener.h"
#include "control/protocol.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace control {

class Connection;

class ControlServer : public QObject {
    Q_OBJECT
public:
    explicit ControlServer(ControlTarget& target, QObject* parent = nullptr);
    ~ControlServer() override;

    // Listens at <folder>/<instance>.sock, the folder chosen and prepared
    // by the protocol's rules. False, with error(), when it cannot: another
    // program listening there is never taken over.
    bool Listen(int instance);
    // Listens at this path.
    bool ListenAt(const QString& path);
    // Drops every client, closes the socket and removes its file.
    void Close();

    bool isListening() const { return bound_.fd >= 0; }
    QString socketPath() const { return bound_.path; }
    QString error() const { return error_; }
    int clientCount() const;
    // The level timer runs only while a subscriber asked for levels.
    bool levelTimerActive() const { return levelTimer_.isActive(); }

    // Sends an event ({"event":"state",...}) to every subscriber.
    void Publish(const QJsonObject& event);

signals:
    // A line for the program's trace: listening, each command with who asked
    // and how it ended, clients refused or dropped.
    void traceLine(const QString& text);

private:
    void OnAcceptable();
    void Accept(int fd);
    void Pump();
    // Serves the requests of one client until it has none ready, or must
    // wait for the command of another. True when it served any.
    bool Serve(Connection* c);
    // Serves one request; false when the server went away during the call.
    bool Execute(Connection* c, const Request& request);
    QJsonObject Command(Connection* c, const Request& request);
    QJsonObject Greeting();
    void Answer(Connection* c, const QJsonObject& answer);
    void Drop(Connection* c, const QString& why);
    void Remove(Connection* c);
    void RemoveIfFinished(Connection* c);
    void UpdateLevelTimer();
    void OnLevelTick();

    ControlTarget& target_;
    BoundSocket bound_;
    QString error_;
    QSocketNotifier* acceptNotifier_ = nullptr;
    QHash<quint64, Connection*> connections_;
    QHash<quint64, Request> held_;  // a command waiting for the running one
    quint64 nextId_ = 0;
    bool commandRunning_ = false;
    bool inLevels_ = false;
    QTimer levelTimer_;
    QTimer acceptPause_;  // out of descriptors: accepting waits a moment
};

}  // namespace control
