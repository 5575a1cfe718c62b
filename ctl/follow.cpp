// quillon-ctl follow. The event loop waits for the socket and for the
// signal's pipe at once; nothing wakes it up otherwise.
#include "follow.h"

#include "control/control_client.h"
#include "render.h"
#include "support/clock.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace ctl {

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void Print(const QJsonObject& event, bool json) {
    const QString line = json ? QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact))
                              : EventText(event, CurrentClock().now());
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void Err(const QString& text) { std::fputs(("quillon-ctl : " + text + "\n").toUtf8().constData(), stderr); }

}  // namespace

int Follow(QCoreApplication& app, control::ControlClient& client, const Options& o) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Err(QStringLiteral("pipe2 impossible"));
        return kRefused;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    const auto answer = client.Call(QJsonObject{{"request", "subscribe"}, {"levels", o.levels}});
    if (!answer) {
        Err(client.errorText());
        return client.failure() == control::ControlClient::Failure::Protocol ? kRefused : kNoProgram;
    }
    if (!answer->value(QLatin1String("ok")).toBool()) {
        Err(answer->value(QLatin1String("message")).toString());
        return kRefused;
    }
    // On the error output, so that --json keeps its output to events.
    std::fputs(QStringLiteral("En écoute des événements de %1 (Ctrl-C pour finir)\n")
                   .arg(client.socket()->fullServerName())
                   .toUtf8()
                   .constData(),
               stderr);
    for (const QJsonObject& e : client.TakeEvents()) Print(e, o.json);

    QSocketNotifier signalNotifier(qintptr(g_signalPipe[0]), QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&app] { app.exit(kDone); });
    QLocalSocket* socket = client.socket();
    auto drain = [&] {
        while (auto e = client.TakeReceived()) {
            if (client.failure() == control::ControlClient::Failure::Protocol) {
                Err(client.errorText());
                app.exit(kRefused);
                return;
            }
            if (e->contains(QLatin1String("event"))) Print(*e, o.json);
        }
    };
    // The connections end with this function: the socket outlives it.
    QObject scope;
    QObject::connect(socket, &QLocalSocket::readyRead, &scope, drain);
    QObject::connect(socket, &QLocalSocket::disconnected, &scope, [&] {
        drain();
        Err(QStringLiteral("le programme a fermé la connexion"));
        app.exit(kNoProgram);
    });
    drain();
    if (socket->state() != QLocalSocket::ConnectedState) {
        Err(QStringLiteral("le programme a fermé la connexion"));
        return kNoProgram;
    }
    return app.exec();
}

}  // namespace ctl
