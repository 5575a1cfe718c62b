// A recorder process killed (SIGKILL) while it records leaves sidecars that
// read: a loudness report that is a complete JSON document up to its last
// 10 s value, and a waveform whose header counts only points that are there.
#include "loudness_test_util.h"

#include <QProcess>

using namespace capture_test;
using namespace loudness_test;

namespace {

TEST(KilledRecorder, SidecarsOfAKilledProcessRead) {
    ScratchDrive drive;
    const QString wav = drive.path("killed.wav"), mp3 = drive.path("killed.mp3");
    QProcess child;
    child.start(QR_CAPTURE_CHILD, {"tone", "0", "1", wav, "2", mp3});
    ASSERT_TRUE(child.waitForStarted(5000));
    QString out;
    ASSERT_TRUE(WaitInLoop(
        [&] {
            out += QString::fromUtf8(child.readAllStandardOutput());
            return out.split('\n').contains("STARTED");
        },
        10000))
        << out.toStdString() << child.readAllStandardError().toStdString();
    RunLoopFor(12500);
    child.kill();
    ASSERT_TRUE(child.waitForFinished(5000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    for (const QString& path : {wav, mp3}) {
        SCOPED_TRACE(path.toStdString());
        const Report r = ReadReport(path);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_FALSE(r.o.value("complete").toBool()) << "the file was never finished";
        ASSERT_EQ(r.series().size(), 1) << "the value of the first 10 s, written when they were complete";
        EXPECT_NEAR(r.series()[0].toDouble(), -6.02, 0.1);
        EXPECT_NEAR(r.number("duration_s"), 10.0, 0.001) << "the report as it stood at 10 s";
        EXPECT_NEAR(r.number("integrated_lufs"), -6.02, 0.1);

        const Peaks p = ReadPeaks(path + ".peaks.dat");
        ASSERT_TRUE(p.ok) << p.error.toStdString();
        // Flushed every second: the header counts the points of at least the
        // first 11 s.
        EXPECT_GE(p.length, quint32(11.0 * 48000 / 512));
        EXPECT_LE(p.length, quint32(13.5 * 48000 / 512));
        EXPECT_EQ(p.extraBytes % 2, 0);
        for (quint32 i = 0; i < p.length; ++i) {
            ASSERT_TRUE(p.maxs[i] == 63 || p.maxs[i] == 64) << "point " << i;
            ASSERT_TRUE(p.mins[i] == -64 || p.mins[i] == -63) << "point " << i;
        }
    }
}

}  // namespace
