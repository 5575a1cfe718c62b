// The blocking client of the control socket.
#include "control/control_client.h"

#include "control/protocol.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QLocalSocket>

namespace control {

namespace {
// No answer of the program comes near this (trace: 5000 lines).
constexpr qint64 kMaxAnswerBytes = 64 * 1024 * 1024;
}  // namespace

ControlClient::ControlClient(const Timeouts& timeouts) : timeouts_(timeouts), socket_(new QLocalSocket) {
    socket_->setReadBufferSize(0);
}

ControlClient::~ControlClient() { delete socket_; }

bool ControlClient::Fail(Failure failure, const QString& text) {
    failure_ = failure;
    error_ = text;
    return false;
}

bool ControlClient::Connect(const QString& path) {
    path_ = path;
    socket_->connectToServer(path);
    if (!socket_->waitForConnected(timeouts_.connectMs)) {
        const auto e = socket_->error();
        if (e == QLocalSocket::ServerNotFoundError || e == QLocalSocket::ConnectionRefusedError ||
            e == QLocalSocket::SocketTimeoutError)
            return Fail(Failure::NoProgram,
                        QStringLiteral("Aucun programme ne répond sur %1 (%2)").arg(path, socket_->errorString()));
        return Fail(Failure::NoProgram, QStringLiteral("Connexion impossible à %1 : %2").arg(path, socket_->errorString()));
    }
    const auto first = ReadObject(timeouts_.greetingMs, Failure::NoProgram);
    if (!first) {
        if (failure_ == Failure::NoProgram || failure_ == Failure::Lost)
            return Fail(Failure::NoProgram, QStringLiteral("Le programme sur %1 ne s'est pas présenté (%2)").arg(path, error_));
        return false;
    }
    if (first->value(QStringLiteral("ok")) == QJsonValue(false)) {
        const QString message = first->value(QStringLiteral("message")).toString();
        return Fail(first->value(QStringLiteral("error")).toString() == err::kTooManyClients ? Failure::TooManyClients
                                                                                            : Failure::Protocol,
                    message.isEmpty() ? QStringLiteral("Connexion refusée par le programme") : message);
    }
    if (first->value(QStringLiteral("protocol")).toInt() != kProtocol)
        return Fail(Failure::Protocol, QStringLiteral("Le programme sur %1 ne parle pas le protocole %2 : %3")
                                           .arg(path)
                                           .arg(kProtocol)
                                           .arg(QString::fromUtf8(QJsonDocument(*first).toJson(QJsonDocument::Compact))));
    greeting_ = *first;
    return true;
}

std::optional<QJsonObject> ControlClient::TakeReceived() {
    if (!socket_->canReadLine()) return std::nullopt;
    QByteArray line = socket_->readLine();
    if (line.endsWith('\n')) line.chop(1);
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    if (!doc.isObject()) {
        Fail(Failure::Protocol, QStringLiteral("Ligne illisible reçue du programme : %1").arg(QString::fromUtf8(line.left(200))));
        return QJsonObject();
    }
    return doc.object();
}

std::optional<QJsonObject> ControlClient::ReadObject(int timeoutMs, Failure onTimeout) {
    QDeadlineTimer deadline(timeoutMs);
    while (!socket_->canReadLine()) {
        if (socket_->bytesAvailable() > kMaxAnswerBytes) {
            Fail(Failure::Protocol, QStringLiteral("Ligne démesurée reçue du programme"));
            return std::nullopt;
        }
        if (socket_->state() != QLocalSocket::ConnectedState) {
            Fail(Failure::Lost, QStringLiteral("Le programme a fermé la connexion"));
            return std::nullopt;
        }
        if (deadline.hasExpired() || !socket_->waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 0)))) {
            if (socket_->state() != QLocalSocket::ConnectedState && !socket_->canReadLine()) {
                Fail(Failure::Lost, QStringLiteral("Le programme a fermé la connexion"));
                return std::nullopt;
            }
            if (socket_->canReadLine()) break;
            if (deadline.hasExpired()) {
                Fail(onTimeout, QStringLiteral("Pas de réponse du programme en %1 s").arg(timeoutMs / 1000.0));
                return std::nullopt;
            }
        }
    }
    auto object = TakeReceived();
    if (failure_ == Failure::Protocol) return std::nullopt;
    return object;
}

std::optional<QJsonObject> ControlClient::Call(QJsonObject request) {
    if (!request.contains(QStringLiteral("id"))) request.insert(QStringLiteral("id"), nextId_++);
    const QJsonValue id = request.value(QStringLiteral("id"));
    socket_->write(Line(request));
    if (!socket_->waitForBytesWritten(timeouts_.answerMs) && socket_->bytesToWrite() > 0) {
        Fail(Failure::Lost, QStringLiteral("Envoi impossible au programme : %1").arg(socket_->errorString()));
        return std::nullopt;
    }
    QDeadlineTimer deadline(timeouts_.answerMs);
    while (true) {
        auto object = ReadObject(int(qMax<qint64>(deadline.remainingTime(), 0)), Failure::Timeout);
        if (!object) return std::nullopt;
        if (object->contains(QStringLiteral("event"))) {
            events_.append(*object);
            continue;
        }
        // An answer without the id (line-too-long, invalid-json) answers the
        // line being sent.
        if (!object->contains(QStringLiteral("id")) || object->value(QStringLiteral("id")) == id) return object;
    }
}

std::optional<QJsonObject> ControlClient::NextEvent(int timeoutMs) {
    if (!events_.isEmpty()) return events_.takeFirst();
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        auto object = ReadObject(int(qMax<qint64>(deadline.remainingTime(), 0)), Failure::Timeout);
        if (!object) return std::nullopt;
        if (object->contains(QStringLiteral("event"))) return object;
    }
}

QList<QJsonObject> ControlClient::TakeEvents() {
    QList<QJsonObject> events;
    events.swap(events_);
    return events;
}

}  // namespace control
