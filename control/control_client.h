#pragma once
// A blocking client of the control socket, for quillon-ctl, the benchmark
// and scripts written in C++: every wait has a time limit and blocks in the
// socket's poll, not in an event loop.
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

class QLocalSocket;

namespace control {

struct ClientTimeouts {
    int connectMs = 3000;
    int greetingMs = 5000;
    int answerMs = 30000;
};

class ControlClient {
public:
    using Timeouts = ClientTimeouts;
    enum class Failure {
        None,
        NoProgram,       // no socket, connection refused, or no greeting in time
        TooManyClients,  // the program answered with too-many-clients
        Protocol,        // not a greeting of protocol 1, or a line that is not JSON
        Lost,            // the program closed the connection
        Timeout,         // no answer in time
    };

    explicit ControlClient(const ClientTimeouts& timeouts = ClientTimeouts());
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    // Connects and reads the greeting.
    bool Connect(const QString& path);
    const QJsonObject& greeting() const { return greeting_; }

    // Sends a request, with an "id" of its own when it has none, and waits
    // for the answer that carries it back (error answers included). Events
    // that arrive meanwhile are kept for NextEvent / TakeEvents.
    std::optional<QJsonObject> Call(QJsonObject request);
    // The next event: one kept, else one read within timeoutMs.
    std::optional<QJsonObject> NextEvent(int timeoutMs);
    // The events kept so far.
    QList<QJsonObject> TakeEvents();
    // The next line already received, without waiting (for event-loop use
    // of socket() once the requests are done).
    std::optional<QJsonObject> TakeReceived();

    Failure failure() const { return failure_; }
    // French, for the operator.
    QString errorText() const { return error_; }
    QLocalSocket* socket() { return socket_; }

private:
    // One line within the time limit; nullopt with failure_ set.
    std::optional<QJsonObject> ReadObject(int timeoutMs, Failure onTimeout);
    bool Fail(Failure failure, const QString& text);

    Timeouts timeouts_;
    QLocalSocket* socket_;
    QJsonObject greeting_;
    QList<QJsonObject> events_;
    qint64 nextId_ = 1;
    Failure failure_ = Failure::None;
    QString error_;
    QString path_;
};

}  // namespace control
