// Control socket benchmark: the round trip of "status" (p50, p99 over many
// requests, one after the other on one connection), and what one subscriber
// with levels costs the program: the server process's CPU time over a window
// without, then with, that subscriber, in the same run.
//
//   control_bench [SOCKET] [--requests N] [--window SECONDS]
//
// With a socket path, it measures the program listening there (its pid
// comes from the greeting). Without, it starts a server of its own (this
// same binary, --serve) with eight scripted recorders.
#include "control/control_client.h"
#include "control/control_server.h"
#include "scripted_target.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

// CPU seconds a process has used so far (all its threads), from its CPU
// clock, else from /proc (10 ms steps).
double CpuSeconds(qint64 pid) {
    clockid_t clock;
    timespec ts {};
    if (clock_getcpuclockid(pid_t(pid), &clock) == 0 && clock_gettime(clock, &ts) == 0)
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> f = stat.readAll().split(')').value(1).trimmed().split(' ');
    // Fields 14 and 15 of the file (utime, stime): 12 and 13 after the name.
    return (f.value(11).toDouble() + f.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

int Serve(const QString& path) {
    ctltest::ScriptedTarget target;
    target.program["pid"] = qint64(::getpid());
    target.levels = QJsonArray();
    for (int r = 1; r <= 8; ++r)
        target.levels.append(QJsonObject{{"recorder", r}, {"peak_dbfs", QJsonArray{-12.5, -13.1}},
                                         {"short_term_lufs", -23.4}, {"momentary_lufs", -22.1}});
    control::ControlServer server(target);
    if (!server.ListenAt(path)) {
        std::fprintf(stderr, "%s\n", server.error().toUtf8().constData());
        return 1;
    }
    return QCoreApplication::exec();
}

struct Window {
    double cpuSeconds = 0;
    int events = 0;
};

// The server's CPU over the window; with a subscriber, its events are read
// all along.
Window Measure(qint64 pid, double seconds, control::ControlClient* subscriber) {
    Window w;
    const double cpu0 = CpuSeconds(pid);
    QDeadlineTimer end(qint64(seconds * 1000));
    if (subscriber) {
        while (!end.hasExpired())
            if (subscriber->NextEvent(int(qMax<qint64>(end.remainingTime(), 1)))) ++w.events;
    } else {
        QThread::msleep(quint64(seconds * 1000));
    }
    w.cpuSeconds = CpuSeconds(pid) - cpu0;
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--serve")) return Serve(args.value(1));

    int requests = 2000;
    double window = 5;
    QString path;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--requests")) requests = args.value(++i).toInt();
        else if (args[i] == QLatin1String("--window")) window = args.value(++i).toDouble();
        else path = args[i];
    }
    if (requests < 10 || window <= 0) {
        std::fprintf(stderr, "usage: control_bench [SOCKET] [--requests N>=10] [--window SECONDS]\n");
        return 2;
    }

    QTemporaryDir dir;
    QProcess own;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("bench.sock"));
        own.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        own.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve"), path});
        if (!own.waitForStarted(5000)) {
            std::fprintf(stderr, "cannot start its own server\n");
            return 1;
        }
        QDeadlineTimer ready(5000);
        while (!QFile::exists(path) && !ready.hasExpired()) QThread::msleep(10);
    }

    control::ControlClient client;
    if (!client.Connect(path)) {
        std::fprintf(stderr, "%s\n", client.errorText().toUtf8().constData());
        return 1;
    }
    const qint64 pid = client.greeting().value(QStringLiteral("pid")).toInteger();
    std::printf("server %s, pid %lld, version %s%s\n", path.toUtf8().constData(), static_cast<long long>(pid),
                client.greeting().value(QStringLiteral("version")).toString().toUtf8().constData(),
                own.state() == QProcess::Running ? " (this benchmark's own, 8 scripted recorders)" : "");

    // Round trips.
    std::vector<double> ms;
    ms.reserve(size_t(requests));
    qint64 bytes = 0;
    const double cpuBefore = CpuSeconds(pid);
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < requests; ++i) {
        QElapsedTimer t;
        t.start();
        const auto answer = client.Call(QJsonObject{{"request", "status"}});
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!answer || !answer->value(QStringLiteral("ok")).toBool()) {
            std::fprintf(stderr, "status %d failed: %s\n", i, client.errorText().toUtf8().constData());
            return 1;
        }
        if (i == 0) bytes = QJsonDocument(*answer).toJson(QJsonDocument::Compact).size();
    }
    const double wall = double(all.nsecsElapsed()) / 1e9;
    const double serverCpu = CpuSeconds(pid) - cpuBefore;
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
    std::printf("status round trip over %d requests (answer %lld bytes): p50 %.3f ms, p99 %.3f ms, max %.3f ms; "
                "%.0f requests/s; server CPU %.1f us per request\n",
                requests, static_cast<long long>(bytes), at(0.50), at(0.99), ms.back(), requests / wall,
                serverCpu / requests * 1e6);

    // One subscriber with levels, against the same window without it.
    const Window quiet = Measure(pid, window, nullptr);
    control::ControlClient subscriber;
    if (!subscriber.Connect(path)) return 1;
    const auto ok = subscriber.Call(QJsonObject{{"request", "subscribe"}, {"levels", true}});
    if (!ok || !ok->value(QStringLiteral("ok")).toBool()) return 1;
    const Window levels = Measure(pid, window, &subscriber);
    std::printf("server CPU over %.0f s: %.2f ms/s with no subscriber, %.2f ms/s with one levels subscriber "
                "(%.1f level events/s): +%.2f ms/s, %.3f%% of one core\n",
                window, quiet.cpuSeconds / window * 1e3, levels.cpuSeconds / window * 1e3, levels.events / window,
                (levels.cpuSeconds - quiet.cpuSeconds) / window * 1e3,
                (levels.cpuSeconds - quiet.cpuSeconds) / window * 100);

    if (own.state() == QProcess::Running) {
        own.terminate();
        own.waitForFinished(3000);
    }
    return 0;
}
