// Processes killed while they record: the files they leave are read by
// FFmpeg up to their last second or so; a sound server that dies ends the
// recording with an error and a readable file.
#include "capture_test_util.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <sys/types.h>

using namespace capture_test;

namespace {

bool WaitForLine(QProcess& p, const QString& line, int timeoutMs, QString* seen) {
    return WaitFor(
        [&] {
            *seen += QString::fromUtf8(p.readAllStandardOutput());
            return seen->split('\n').contains(line);
        },
        timeoutMs);
}

TEST(KilledRecorder, FilesOfAKilledProcessStayReadable) {
    ScratchDrive drive;
    const QString wav = drive.path("killed.wav"), mp3 = drive.path("killed.mp3");
    QProcess child;
    child.start(QR_CAPTURE_CHILD, {"tone", "0", "1", wav, "2", mp3});
    ASSERT_TRUE(child.waitForStarted(5000));
    QString out;
    ASSERT_TRUE(WaitForLine(child, "STARTED", 10000, &out)) << out.toStdString()
                                                            << child.readAllStandardError().toStdString();
    QElapsedTimer recording;
    recording.start();
    RunEventsFor(3000);
    child.kill();  // SIGKILL: no chance to finish anything
    const double seconds = recording.elapsed() / 1000.0;
    ASSERT_TRUE(child.waitForFinished(5000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    const Decoded w = DecodeFile(wav, true);
    ASSERT_TRUE(w.ok) << w.error.toStdString();
    EXPECT_EQ(w.codec, "pcm_s16le");
    EXPECT_EQ(w.rate, 48000);
    EXPECT_EQ(w.channels, 2);
    EXPECT_GT(w.seconds(), seconds - 1.6) << "more than the last second and a half is missing";
    EXPECT_LT(w.seconds(), seconds + 0.3);
    EXPECT_LT(SineFitResidual(w.samples, 2, 48000, 1000.0), 2e-3) << "the samples that are there are the tone";

    const Decoded m = DecodeFile(mp3);
    ASSERT_TRUE(m.ok) << m.error.toStdString();
    EXPECT_EQ(m.codec, "mp3float");
    EXPECT_EQ(m.rate, 48000);
    EXPECT_GT(m.seconds(), seconds - 1.6);
    EXPECT_LT(m.seconds(), seconds + 0.3);
    EXPECT_LE(m.decodeErrors, 1);
}

TEST(KilledRecorder, SoundServerKilledDuringARecordingAndBackAgain) {
    // A server of its own: the shared test server must live on.
    QProcess starter;
    starter.start("bash", {QString(QR_SOURCE_DIR) + "/scripts/private-pulse.sh"});
    if (!starter.waitForFinished(15000) || starter.exitCode() != 0) {
        GTEST_SKIP() << "could not start a private PulseAudio server: "
                     << starter.readAllStandardError().toStdString();
    }
    QString server, dir;
    qint64 pid = 0;
    for (const QString& line : QString::fromUtf8(starter.readAllStandardOutput()).split('\n')) {
        if (line.startsWith("PULSE_SERVER=")) server = line.mid(13);
        if (line.startsWith("QR_PULSE_PID=")) pid = line.mid(13).toLongLong();
        if (line.startsWith("QR_PULSE_DIR=")) dir = line.mid(13);
    }
    ASSERT_FALSE(server.isEmpty());
    ASSERT_GT(pid, 0);
    struct Cleanup {
        qint64 pid;
        QString dir;
        ~Cleanup() {
            ::kill(pid_t(pid), SIGKILL);
            if (dir.startsWith("/tmp/qr-pulse.")) QDir(dir).removeRecursively();
        }
    } cleanup{pid, dir};

    ScratchDrive drive;
    const QString wav = drive.path("server_gone.wav");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", server);
    env.insert("QR_CHILD_AWAIT_RETURN", "1");
    child.setProcessEnvironment(env);
    child.start(QR_CAPTURE_CHILD, {"qr_sine", "0", "1", wav});
    ASSERT_TRUE(child.waitForStarted(5000));
    QString out;
    ASSERT_TRUE(WaitForLine(child, "STARTED", 10000, &out)) << out.toStdString()
                                                            << child.readAllStandardError().toStdString();
    RunEventsFor(1500);
    ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    ASSERT_TRUE(WaitForLine(child, "DONE 0 0", 10000, &out)) << out.toStdString();
    EXPECT_TRUE(out.split('\n').contains("STOPPED 0 0 -50")) << out.toStdString();

    // The server comes back at the same address: the engine finds it again.
    QProcessEnvironment serverEnv = QProcessEnvironment::systemEnvironment();
    serverEnv.insert("XDG_RUNTIME_DIR", dir + "/run");
    serverEnv.insert("PULSE_RUNTIME_PATH", dir + "/run/pulse");
    serverEnv.insert("PULSE_STATE_PATH", dir + "/state");
    QProcess again;
    again.setProcessEnvironment(serverEnv);
    again.setStandardOutputFile(QProcess::nullDevice());
    again.setStandardErrorFile(QProcess::nullDevice());
    again.start("pulseaudio", {"--daemonize=no", "--exit-idle-time=-1", "--disallow-exit=no", "--system=false",
                               "--use-pid-file=no", "-n", "-F", dir + "/default.pa",
                               "--log-target=file:" + dir + "/pulse-again.log"});
    ASSERT_TRUE(again.waitForStarted(5000));
    const bool back = WaitForLine(child, "BACK", 15000, &out);
    again.kill();
    again.waitForFinished(5000);
    EXPECT_TRUE(back) << out.toStdString();
    ASSERT_TRUE(child.state() == QProcess::NotRunning || child.waitForFinished(5000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);

    const Decoded d = DecodeFile(wav, true);
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    EXPECT_EQ(d.rate, 48000);
    EXPECT_GT(d.seconds(), 1.0);
    EXPECT_LT(d.seconds(), 2.5);
    double amplitude = 0;
    SineFitResidual(d.samples, 2, 48000, 440.0, &amplitude);
    EXPECT_GT(amplitude, 0.05) << "the file holds the sine source";
}

}  // namespace
