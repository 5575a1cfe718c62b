// The control socket's server.
#include "control/control_server.h"

#include "control/connection.h"
#include "control/socket_path.h"
#include "support/clock.h"

#include <QJsonArray>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace control {

namespace {

// Level events are skipped, not queued, for a client that has this much
// unread already: they are worth nothing late, and a slow reader keeps its
// state events.
constexpr qint64 kLevelSkipBytes = 64 * 1024;

const QString kProgramName = QStringLiteral("quillon-recorder");

QString Who(const Caller& who) {
    const QString text = CallerText(who);
    return text.isEmpty() ? QStringLiteral("an unknown peer") : text;
}

}  // namespace

ControlServer::ControlServer(ControlTarget& target, QObject* parent) : QObject(parent), target_(target) {
    levelTimer_.setInterval(kLevelIntervalMs);
    connect(&levelTimer_, &QTimer::timeout, this, &ControlServer::OnLevelTick);
    acceptPause_.setSingleShot(true);
    acceptPause_.setInterval(1000);
    connect(&acceptPause_, &QTimer::timeout, this, [this] {
        if (acceptNotifier_) acceptNotifier_->setEnabled(true);
    });
}

ControlServer::~ControlServer() {
    // No trace lines from a server being destroyed: their receivers may be gone.
    blockSignals(true);
    Close();
}

bool ControlServer::Listen(int instance) {
    const SocketFolder folder = ServerSocketFolder();
    QString problem;
    if (!PrepareSocketFolder(folder, &problem)) {
        error_ = problem;
        return false;
    }
    return ListenAt(folder.path + SocketFileName(instance));
}

bool ControlServer::ListenAt(const QString& path) {
    Close();
    bound_ = BindControlSocket(path);
    if (bound_.fd < 0) {
        error_ = bound_.error;
        return false;
    }
    error_.clear();
    acceptNotifier_ = new QSocketNotifier(qintptr(bound_.fd), QSocketNotifier::Read, this);
    connect(acceptNotifier_, &QSocketNotifier::activated, this, &ControlServer::OnAcceptable);
    if (bound_.replacedStale) emit traceLine(QStringLiteral("Control socket: stale file %1 replaced").arg(path));
    emit traceLine(QStringLiteral("Control socket: listening on %1 (mode 0660%2)")
                       .arg(path, bound_.group.isEmpty() ? QString() : QStringLiteral(", group ") + bound_.group));
    return true;
}

void ControlServer::Close() {
    const auto all = connections_.values();
    for (Connection* c : all) Remove(c);
    held_.clear();
    levelTimer_.stop();
    acceptPause_.stop();
    delete acceptNotifier_;
    acceptNotifier_ = nullptr;
    if (bound_.fd >= 0) {
        UnbindControlSocket(bound_);
        emit traceLine(QStringLiteral("Control socket: %1 closed").arg(bound_.path));
    }
}

int ControlServer::clientCount() const {
    int n = 0;
    for (const Connection* c : connections_)
        if (!c->closed()) ++n;
    return n;
}

void ControlServer::OnAcceptable() {
    while (bound_.fd >= 0) {
        const int fd = ::accept4(bound_.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            Accept(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // The pending client stays in the backlog; the notifier would
            // fire again at once.
            acceptNotifier_->setEnabled(false);
            acceptPause_.start();
            emit traceLine(QStringLiteral("Control socket: cannot accept a client (%1), trying again in 1 s")
                               .arg(QString::fromLocal8Bit(strerror(errno))));
        }
        return;
    }
}

void ControlServer::Accept(int fd) {
    if (clientCount() >= kMaxClients) {
        const QByteArray line = Line(ErrorAnswer(QJsonValue::Undefined, err::kTooManyClients,
                                                 QStringLiteral("Trop de clients connectés (64 au plus) : réessayez "
                                                                "plus tard")));
        (void)::send(fd, line.constData(), size_t(line.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        ucred cred {};
        socklen_t len = sizeof(cred);
        Caller who;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0) {
            who.uid = cred.uid;
            who.pid = cred.pid;
        }
        ::close(fd);
        emit traceLine(QStringLiteral("Control socket: client refused (%1): %2 clients already")
                           .arg(Who(who))
                           .arg(kMaxClients));
        return;
    }
    auto* c = new Connection(fd, ++nextId_, this);
    connections_.insert(c->id(), c);
    connect(c, &Connection::readable, this, &ControlServer::Pump);
    connect(c, &Connection::lost, this, [this, c] { Remove(c); });
    connect(c, &Connection::drained, this, [this, c] { RemoveIfFinished(c); });
    Answer(c, Greeting());
}

QJsonObject ControlServer::Greeting() {
    const QJsonObject program = target_.Program();
    return QJsonObject{{QStringLiteral("protocol"), kProtocol},
                       {QStringLiteral("program"), kProgramName},
                       {QStringLiteral("version"), program.value(QStringLiteral("version"))},
                       {QStringLiteral("instance"), program.value(QStringLiteral("instance"))},
                       {QStringLiteral("pid"), program.value(QStringLiteral("pid"))},
                       {QStringLiteral("recorders"), program.value(QStringLiteral("recorders")).toInt(kRecorderCount)}};
}

void ControlServer::Pump() {
    QPointer<ControlServer> self(this);
    bool progress = true;
    while (progress && self) {
        progress = false;
        const auto ids = connections_.keys();
        for (quint64 id : ids) {
            if (!self) return;
            Connection* c = connections_.value(id);
            if (!c || c->busy) continue;
            if (Serve(c)) progress = true;
            if (!self) return;
            RemoveIfFinished(c);
        }
    }
}

bool ControlServer::Serve(Connection* c) {
    QPointer<ControlServer> self(this);
    bool served = false;
    while (!c->closed() && !c->busy) {
        Request request;
        if (held_.contains(c->id())) {
            if (commandRunning_) break;
            request = held_.take(c->id());
        } else {
            const Connection::Taken taken = c->TakeLine();
            if (taken.kind == Connection::Taken::None) break;
            served = true;
            if (taken.kind == Connection::Taken::TooLong) {
                Answer(c, ErrorAnswer(QJsonValue::Undefined, err::kLineTooLong,
                                      QStringLiteral("Ligne de plus de 65 536 octets, ignorée")));
                continue;
            }
            const ParseResult parsed = ParseRequest(taken.line);
            if (parsed.outcome == ParseResult::Blank) continue;
            if (parsed.outcome == ParseResult::Error) {
                Answer(c, ErrorAnswer(parsed.request.id, parsed.error, parsed.message));
                continue;
            }
            request = parsed.request;
            if (IsCommand(request.kind) && commandRunning_) {
                held_.insert(c->id(), request);
                break;
            }
        }
        served = true;
        if (!Execute(c, request) || !self) return served;
    }
    return served;
}

bool ControlServer::Execute(Connection* c, const Request& request) {
    QPointer<ControlServer> self(this);
    QPointer<Connection> client(c);
    QJsonObject answer;
    c->busy = true;
    try {
        switch (request.kind) {
        case RequestKind::Status:
            answer = OkAnswer(request.id);
            answer.insert(QStringLiteral("program"), target_.Program());
            answer.insert(QStringLiteral("recorders"), target_.RecorderStatus());
            break;
        case RequestKind::Incidents:
            answer = OkAnswer(request.id);
            answer.insert(QStringLiteral("incidents"), target_.Incidents(request.last));
            break;
        case RequestKind::Trace:
            answer = OkAnswer(request.id);
            answer.insert(QStringLiteral("lines"), QJsonArray::fromStringList(target_.TraceLines(request.last)));
            break;
        case RequestKind::Subscribe:
            c->subscribed = true;
            c->levels = request.levels;
            answer = OkAnswer(request.id);
            break;
        case RequestKind::Unsubscribe:
            c->subscribed = false;
            c->levels = false;
            answer = OkAnswer(request.id);
            break;
        default:
            answer = Command(c, request);
            break;
        }
    } catch (const std::exception& e) {
        answer = ErrorAnswer(request.id, err::kInternal, QStringLiteral("Erreur interne : %1").arg(e.what()));
    } catch (...) {
        answer = ErrorAnswer(request.id, err::kInternal, QStringLiteral("Erreur interne"));
    }
    if (!self) return false;
    if (!client) return true;
    c->busy = false;
    if (c->closed()) {
        Remove(c);  // left during the call
        return true;
    }
    Answer(c, answer);
    UpdateLevelTimer();
    return true;
}

QJsonObject ControlServer::Command(Connection* c, const Request& request) {
    QPointer<ControlServer> self(this);
    Caller who = c->peer();
    who.user = request.user;
    const QString what = request.kind == RequestKind::Acknowledge
                             ? (request.all ? QStringLiteral("acknowledge all incidents")
                                            : QStringLiteral("acknowledge incident %1").arg(request.seq))
                             : QStringLiteral("%1 Rec. %2").arg(RequestName(request.kind)).arg(request.recorder);
    CommandResult result;
    commandRunning_ = true;
    struct Release {
        QPointer<ControlServer> server;
        ~Release() {
            if (server) server->commandRunning_ = false;
        }
    } release{self};
    switch (request.kind) {
    case RequestKind::Start: result = target_.Start(request.recorder, request.start, who); break;
    case RequestKind::Pause: result = target_.Pause(request.recorder, who); break;
    case RequestKind::Continue: result = target_.Continue(request.recorder, who); break;
    case RequestKind::Stop: result = target_.Stop(request.recorder, who); break;
    case RequestKind::Acknowledge: result = target_.Acknowledge(request.seq, request.all, who); break;
    default: break;
    }
    if (!self) return {};
    if (result.ok) {
        emit traceLine(QStringLiteral("Control socket: %1, asked by %2: done").arg(what, Who(who)));
        QJsonObject answer = OkAnswer(request.id);
        if (!result.recorder.isEmpty()) answer.insert(QStringLiteral("recorder"), result.recorder);
        if (!result.message.isEmpty()) answer.insert(QStringLiteral("message"), result.message);
        return answer;
    }
    QString code = result.error.isEmpty() ? err::kRefused : result.error;
    if (code != err::kRefused && code != err::kBadArgument && code != err::kInternal) code = err::kInternal;
    const QString message = result.message.isEmpty() ? QStringLiteral("Commande refusée") : result.message;
    emit traceLine(QStringLiteral("Control socket: %1, asked by %2: %3 (%4)").arg(what, Who(who), code, message));
    return ErrorAnswer(request.id, code, message);
}

void ControlServer::Answer(Connection* c, const QJsonObject& answer) {
    if (!c->Send(Line(answer))) Drop(c, QStringLiteral("it does not read what it is sent"));
}

void ControlServer::Publish(const QJsonObject& event) {
    const QByteArray line = Line(event);
    const auto all = connections_.values();
    for (Connection* c : all)
        if (c->subscribed && !c->closed() && !c->Send(line)) Drop(c, QStringLiteral("it does not read its events"));
}

void ControlServer::Drop(Connection* c, const QString& why) {
    if (!c->closed())
        emit traceLine(QStringLiteral("Control socket: client dropped (%1): %2, over %3 bytes waiting for it")
                           .arg(Who(c->peer()), why)
                           .arg(kMaxQueuedBytes));
    Remove(c);
}

void ControlServer::Remove(Connection* c) {
    c->Close();
    held_.remove(c->id());
    if (!c->busy && connections_.remove(c->id())) c->deleteLater();
    UpdateLevelTimer();
}

void ControlServer::RemoveIfFinished(Connection* c) {
    if (!c->busy && !held_.contains(c->id()) && c->Finished()) Remove(c);
}

void ControlServer::UpdateLevelTimer() {
    bool wanted = false;
    for (const Connection* c : std::as_const(connections_))
        if (c->subscribed && c->levels && !c->closed()) wanted = true;
    if (wanted && !levelTimer_.isActive())
        levelTimer_.start();
    else if (!wanted)
        levelTimer_.stop();
}

void ControlServer::OnLevelTick() {
    if (inLevels_) return;
    QPointer<ControlServer> self(this);
    inLevels_ = true;
    QJsonArray recorders;
    try {
        recorders = target_.Levels();
    } catch (...) {
    }
    if (!self) return;
    inLevels_ = false;
    const QByteArray line = Line(QJsonObject{{QStringLiteral("event"), QStringLiteral("levels")},
                                             {QStringLiteral("time_ms"), CurrentClock().now().toMSecsSinceEpoch()},
                                             {QStringLiteral("recorders"), recorders}});
    const auto all = connections_.values();
    for (Connection* c : all) {
        if (!c->subscribed || !c->levels || c->closed() || c->Queued() > kLevelSkipBytes) continue;
        if (!c->Send(line)) Drop(c, QStringLiteral("it does not read its events"));
    }
    UpdateLevelTimer();
}

}  // namespace control
