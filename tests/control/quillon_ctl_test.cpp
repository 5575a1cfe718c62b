// The real quillon-ctl, run as a process against a server in the test: what
// it prints for each command, --json, its exit codes, the search for the
// socket, and follow until SIGINT.
#include "control_test_util.h"

#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>

using namespace ctltest;

namespace {

struct CtlRun {
    int code = -1;
    QString out, err;
};

class CtlTest : public ServerFixture {
protected:
    QProcessEnvironment Environment() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("RUNTIME_DIRECTORY");
        env.remove("SUDO_USER");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("USER", "tester");
        return env;
    }
    void Start(QProcess& p, const QStringList& args) {
        p.setProcessEnvironment(Environment());
        p.start(QR_CTL, args);
        ASSERT_TRUE(p.waitForStarted(5000));
    }
    // Runs quillon-ctl to its end, the server serving meanwhile.
    CtlRun Ctl(const QStringList& args, int timeoutMs = 15000) {
        QProcess p;
        Start(p, args);
        const bool ended = platform::WaitInEventLoop([&] { return p.state() == QProcess::NotRunning; }, timeoutMs);
        EXPECT_TRUE(ended) << args.join(' ').toStdString();
        if (!ended) p.kill(), p.waitForFinished(2000);
        return CtlRun{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                   QString::fromUtf8(p.readAllStandardError())};
    }
    QStringList Socket() { return {"--socket", path}; }

    QTemporaryDir runtime;
};

}  // namespace

TEST_F(CtlTest, StatusIsATableForPeopleAndTheAnswerWithJson) {
    CtlRun r = Ctl(Socket() << "status");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    for (const char* expected :
         {"Quillon Recorder 2026.1211.1628, instance 1, pid 4242", "Antenne (pige)", "Enregistrement", "00:32:05",
          "246 j", "Hors service", "/srv/audio/Antenne/Pige Antenne 20261211_14_00_00.mp3", "Dernier incident",
          "Rec. 1 ", "recording resumed after a gap of 2.1 s", "Arrêté", "34 j"})
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(expected))) << expected << "\n" << r.out.toStdString();
    // One line per recorder under the heading, columns aligned.
    const QStringList lines = r.out.split('\n');
    const int heading = int(lines.indexOf(QRegularExpression("^Rec +Nom +État.*")));
    ASSERT_GE(heading, 0) << r.out.toStdString();
    for (int i = 1; i <= 8; ++i) EXPECT_TRUE(lines.value(heading + i).startsWith(QString::number(i) + " "));
    EXPECT_EQ(lines.value(heading + 3).indexOf("Arrêté"), lines.value(heading).indexOf("État"));

    // A drive nearly full and a silence show up.
    QJsonObject rec3 = target.recorders.at(2).toObject();
    rec3["seconds_left"] = 1800;
    rec3["silence"] = true;
    rec3["silence_s"] = 45;
    target.recorders[2] = rec3;
    r = Ctl(Socket() << "status");
    EXPECT_TRUE(r.out.contains("30 min !"));
    EXPECT_TRUE(r.out.contains("OUI (45 s)"));

    r = Ctl(Socket() << "status" << "--json");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.count('\n'), 1);
    const QJsonObject answer = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_TRUE(answer.value("ok").toBool());
    EXPECT_EQ(answer.value("recorders").toArray(), target.recorders);
    EXPECT_EQ(answer.value("program").toObject(), target.program);
}

TEST_F(CtlTest, CommandsReachTheProgramAndTheirRefusalsExitWithOne) {
    CtlRun r = Ctl(Socket() << "start" << "3" << "--name" << "Essai" << "--folder=extra/" << "--duration" << "60");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QString("Rec. 3 (Rec 3) : Arrêté\n"));
    ASSERT_EQ(target.calls.size(), 1);
    EXPECT_EQ(target.calls[0].args.name, "Essai");
    EXPECT_EQ(target.calls[0].args.folder, "extra/");
    EXPECT_EQ(target.calls[0].args.durationS, 60);
    EXPECT_EQ(target.calls[0].who.user, "tester");
    EXPECT_GT(target.calls[0].who.pid, 0);
    EXPECT_NE(target.calls[0].who.pid, qint64(::getpid()));  // the ctl process's own

    for (const char* what : {"pause", "continue", "stop"}) {
        r = Ctl(Socket() << what << "1");
        EXPECT_EQ(r.code, 0) << what;
        EXPECT_TRUE(r.out.startsWith("Rec. 1 (Antenne) : Enregistrement, /srv/audio/Antenne/")) << r.out.toStdString();
        EXPECT_EQ(target.calls.last().what, what);
    }

    target.results["stop"] = control::CommandResult{false, "refused", "Rec. 2 n'est pas en service", {}};
    r = Ctl(Socket() << "stop" << "2");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err, QString("quillon-ctl : Rec. 2 n'est pas en service\n"));
    r = Ctl(Socket() << "--json" << "stop" << "2");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).object().value("error").toString(), "refused");
}

TEST_F(CtlTest, IncidentsAreListedOldestFirst) {
    target.incidents = QJsonArray{
        QJsonObject{{"seq", 40}, {"time", "2026-12-11T13:50:00+01:00"}, {"text", "Program: started"}, {"acknowledged", true}},
        QJsonObject{{"seq", 41}, {"time", "2026-12-11T13:58:02+01:00"}, {"recorder", 1},
                    {"text", "Rec. 1: recording resumed"}, {"acknowledged", false}}};
    CtlRun r = Ctl(Socket() << "incidents" << "--last" << "20");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(target.calls.last().last, 20);
    EXPECT_LT(r.out.indexOf("Program: started"), r.out.indexOf("Rec. 1: recording resumed"));
    EXPECT_TRUE(r.out.contains(QRegularExpression("41 +\\d\\d/12 \\d\\d:58:02 +1 +NON +Rec. 1: recording resumed")))
        << r.out.toStdString();
    Ctl(Socket() << "incidents");
    EXPECT_EQ(target.calls.last().last, 50);
    target.incidents = QJsonArray();
    EXPECT_EQ(Ctl(Socket() << "incidents").out, QString("Aucun incident.\n"));
}

TEST_F(CtlTest, UsageErrorsExitWithTwoAndReachNothing) {
    const QList<QStringList> wrong = {{},
                                      {"fly"},
                                      {"start"},
                                      {"start", "9"},
                                      {"stop", "x"},
                                      {"stop", "1", "2"},
                                      {"start", "1", "--duration", "0"},
                                      {"start", "1", "--duration", "604801"},
                                      {"incidents", "--last", "1001"},
                                      {"status", "--levels"},
                                      {"stop", "1", "--name", "x"},
                                      {"status", "--colour"},
                                      {"--instance", "-1", "status"},
                                      {"status", "--socket"}};
    for (const QStringList& args : wrong) {
        const CtlRun r = Ctl(Socket() + args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("--help")) << r.err.toStdString();
    }
    EXPECT_TRUE(target.calls.isEmpty());
    CtlRun r = Ctl({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("Codes de sortie"));
    EXPECT_TRUE(r.out.contains("s'il n'y a pas d'instance 0 et qu'un seul programme tourne"));
    r = Ctl({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith("quillon-ctl "));
}

TEST_F(CtlTest, NoProgramExitsWithThree) {
    CtlRun r = Ctl({"--socket", dir.filePath("none.sock"), "status"});
    EXPECT_EQ(r.code, 3);
    EXPECT_FALSE(r.err.isEmpty());
    // A socket file left by a program that died: connection refused.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, dir.filePath("dead.sock").toLocal8Bit().constData());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
        ::close(fd);
    }
    r = Ctl({"--socket", dir.filePath("dead.sock"), "stop", "1"});
    EXPECT_EQ(r.code, 3);
    // A process that listens but never greets.
    const int mute = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, dir.filePath("mute.sock").toLocal8Bit().constData());
    ASSERT_EQ(::bind(mute, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(::listen(mute, 4), 0);
    r = Ctl({"--socket", dir.filePath("mute.sock"), "status"});
    ::close(mute);
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("présenté")) << r.err.toStdString();
    EXPECT_TRUE(target.calls.isEmpty());
}

TEST_F(CtlTest, TheSocketIsFoundByInstanceOrAsTheOnlyOne) {
    control::ControlServer other(target);
    ASSERT_TRUE(QDir().mkpath(runtime.filePath("quillon-recorder")));
    ASSERT_TRUE(other.ListenAt(runtime.filePath("quillon-recorder/2.sock")));
    CtlRun r = Ctl({"status", "--json"});  // no 0.sock: the only one
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    r = Ctl({"--instance", "2", "status"});
    EXPECT_EQ(r.code, 0);
    r = Ctl({"--instance", "0", "status"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("instance 0"));
    control::ControlServer third(target);
    ASSERT_TRUE(third.ListenAt(runtime.filePath("quillon-recorder/3.sock")));
    r = Ctl({"status"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("--instance")) << r.err.toStdString();
}

TEST_F(CtlTest, FollowPrintsEventsUntilInterrupted) {
    for (const bool json : {false, true}) {
        QProcess p;
        QStringList args = Socket() << "follow" << "--levels";
        if (json) args << "--json";
        Start(p, args);
        QByteArray err;
        ASSERT_TRUE(platform::WaitInEventLoop([&] { return (err += p.readAllStandardError()).contains("Ctrl-C"); }, 10000));
        ASSERT_TRUE(server.levelTimerActive());
        server.Publish({{"event", "state"}, {"recorder", 2}, {"state", "recording"}, {"state_text", "Enregistrement"}});
        server.Publish({{"event", "file-finished"}, {"recorder", 2}, {"path", "/srv/audio/Essai.wav"}, {"seconds", 12.48},
                        {"bytes", 2396204}, {"ok", true}});
        QByteArray out;
        ASSERT_TRUE(platform::WaitInEventLoop(
            [&] { return (out += p.readAllStandardOutput()).contains(json ? "file-finished" : "2,4 Mo"); }, 10000))
            << out.toStdString();
        ASSERT_TRUE(platform::WaitInEventLoop([&] { return (out += p.readAllStandardOutput()).contains("levels") ||
                                                           out.contains("niveaux"); }, 10000));
        ::kill(pid_t(p.processId()), SIGINT);
        ASSERT_TRUE(platform::WaitInEventLoop([&] { return p.state() == QProcess::NotRunning; }, 5000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        out += p.readAllStandardOutput();
        if (json) {
            for (const QByteArray& line : out.trimmed().split('\n'))
                EXPECT_TRUE(QJsonDocument::fromJson(line).object().contains("event")) << line.toStdString();
        } else {
            EXPECT_TRUE(out.contains("Rec. 2 : Enregistrement")) << out.toStdString();
            EXPECT_TRUE(out.contains("Rec. 2 : fichier terminé /srv/audio/Essai.wav (12,5 s, 2,4 Mo)")) << out.toStdString();
            EXPECT_TRUE(out.contains("niveaux  1 -12.5/-13.1 dBFS -23.4 LUFS")) << out.toStdString();
        }
        platform::WaitInEventLoop([&] { return server.clientCount() == 0; }, 2000);
        EXPECT_FALSE(server.levelTimerActive());
    }
    // The program going away ends it with 3.
    QProcess p;
    Start(p, Socket() << "follow");
    QByteArray err;
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return (err += p.readAllStandardError()).contains("Ctrl-C"); }, 10000));
    server.Close();
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return p.state() == QProcess::NotRunning; }, 5000));
    EXPECT_EQ(p.exitCode(), 3);
}
