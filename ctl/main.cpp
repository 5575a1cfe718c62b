// quillon-ctl: asks the recorder program what it does and commands it,
// through its control socket. Exit codes: 0 done, 1 refused, 2 usage,
// 3 no program running for the instance.
#include "control/control_client.h"
#include "control/socket_path.h"
#include "follow.h"
#include "options.h"
#include "render.h"
#include "support/app_globals.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <cstdio>

using namespace ctl;

namespace {

void Out(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void Err(const QString& text) {
    std::fputs(("quillon-ctl : " + text + "\n").toUtf8().constData(), stderr);
}

int ExitFor(control::ControlClient::Failure failure) {
    using F = control::ControlClient::Failure;
    return failure == F::TooManyClients || failure == F::Protocol ? kRefused : kNoProgram;
}

QJsonObject RequestFor(const Options& o) {
    QJsonObject r{{"request", o.command}};
    if (o.recorder > 0) r.insert("recorder", o.recorder);
    if (!o.name.isEmpty()) r.insert("name", o.name);
    if (!o.folder.isEmpty()) r.insert("folder", o.folder);
    if (o.duration > 0) r.insert("duration", o.duration);
    if (o.last > 0) r.insert("last", o.last);
    // Commands name the person at the keyboard in the program's trace.
    const QString user = qEnvironmentVariable("SUDO_USER", qEnvironmentVariable("USER"));
    if (o.recorder > 0 && !user.isEmpty()) r.insert("user", user.left(64));
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Options o = ParseOptions(app.arguments().mid(1));
    if (o.help) {
        Out(HelpText());
        return kDone;
    }
    if (o.version) {
        Out(QStringLiteral("quillon-ctl %1 (protocole de commande 1)\n").arg(VersionApplication()));
        return kDone;
    }
    if (!o.error.isEmpty()) {
        Err(o.error + QStringLiteral("\nEssayez « quillon-ctl --help »."));
        return kUsage;
    }

    QString path = o.socket;
    if (path.isEmpty()) {
        const control::SocketSearch found = control::FindSocket(o.instance);
        if (found.path.isEmpty()) {
            Err(found.error);
            return kNoProgram;
        }
        path = found.path;
    }
    control::ControlClient client;
    if (!client.Connect(path)) {
        Err(client.errorText());
        return ExitFor(client.failure());
    }
    if (o.command == QLatin1String("follow")) return Follow(app, client, o);

    const auto answer = client.Call(RequestFor(o));
    if (!answer) {
        Err(client.errorText());
        return ExitFor(client.failure());
    }
    if (o.json) Out(QString::fromUtf8(QJsonDocument(*answer).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
    if (!answer->value(QLatin1String("ok")).toBool()) {
        const QString message = answer->value(QLatin1String("message")).toString();
        Err(message.isEmpty() ? answer->value(QLatin1String("error")).toString() : message);
        return kRefused;
    }
    if (o.json) return kDone;
    if (o.command == QLatin1String("status"))
        Out(StatusText(*answer));
    else if (o.command == QLatin1String("incidents"))
        Out(IncidentsText(answer->value(QLatin1String("incidents")).toArray()));
    else if (answer->value(QLatin1String("recorder")).isObject())
        Out(RecorderSummary(answer->value(QLatin1String("recorder")).toObject()) + QLatin1Char('\n'));
    else
        Out(QStringLiteral("Rec. %1 : %2 fait\n").arg(o.recorder).arg(o.command));
    return kDone;
}
