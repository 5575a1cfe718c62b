// The loudness of an input while nothing records from it (the idle level
// stream), through the real sound server: a Tech 3341 case 1 signal (1 kHz
// stereo sine at -23 dBFS) played into a null sink of the test's own reads
// -23 LUFS from its monitor, with the meters' peaks from the same stream.
#include "loudness_test_util.h"

#include "platform/capture/level_monitor.h"

#include <QTemporaryDir>
#include <unistd.h>

using namespace loudness_test;
using platform::capture::LevelMonitor;

namespace {

TEST(IdleLoudness, MonitorStreamMeasuresTheSourceAsARecordingWould) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
    }
    for (const char* tool : {"sox", "paplay", "pactl"}) {
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " is missing (scripts/install-deps.sh)";
    }
    QTemporaryDir dir;
    const QString signal = dir.filePath("minus23.wav");
    int rc = 0;
    RunTool("sox", {"-q", "-D", "-n", "-r", "48000", "-c", "2", "-b", "16", signal, "synth", "8", "sine", "1000", "vol",
                    "-23dB"},
            &rc);
    ASSERT_EQ(rc, 0);
    const QString sink = QString("qr_idle_loud_%1").arg(getpid());
    const QString module = RunTool("pactl", {"load-module", "module-null-sink", "sink_name=" + sink, "rate=48000",
                                             "channels=2", "format=s16le"})
                               .trimmed();
    ASSERT_FALSE(module.isEmpty());
    struct Unload {
        QString module;
        ~Unload() { RunTool("pactl", {"unload-module", module}); }
    } unload{module};

    const int key = 90;
    LevelMonitor& monitor = LevelMonitor::Instance();
    monitor.MeasureLoudness(key, 2);
    EXPECT_FALSE(monitor.Loudness(key).valid) << "nothing watched yet";
    // The meters' tick: the windows call Watch and TakePeaks 25 times a second.
    QVector<float> peaks;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        monitor.Watch(key, sink + ".monitor");
        const QVector<float> p = monitor.TakePeaks(key);
        if (!p.isEmpty()) peaks = p;
        monitor.Loudness(key);
    });
    tick.start(40);
    ASSERT_TRUE(WaitInLoop([&] { return monitor.Streaming(key); }, 8000));
    QProcess player;
    player.start("paplay", {"--device=" + sink, signal});
    ASSERT_TRUE(WaitInLoop([&] {
        const auto s = monitor.Loudness(key);
        return s.valid && s.seconds > 6.0 && s.momentaryLufs > -30;
    }, 15000)) << monitor.Loudness(key).seconds;
    const platform::capture::LoudnessSnapshot s = monitor.Loudness(key);
    EXPECT_NEAR(s.momentaryLufs, -23.0, 0.1);
    EXPECT_NEAR(s.shortTermLufs, -23.0, 0.3);
    EXPECT_NEAR(s.integratedLufs, -23.0, 0.1) << "the silence before the signal is gated out";
    EXPECT_NEAR(s.truePeakDbtp, -23.0, 0.3);
    ASSERT_EQ(peaks.size(), 2);
    EXPECT_NEAR(peaks[0], std::pow(10.0, -23.0 / 20.0), 0.003);
    EXPECT_NEAR(peaks[1], std::pow(10.0, -23.0 / 20.0), 0.003);
    monitor.ResetTruePeak(key);
    EXPECT_EQ(monitor.Loudness(key).truePeakDbtp, platform::capture::kNoLoudness);

    monitor.MeasureLoudness(key, 0);
    monitor.Unwatch(key);
    tick.stop();
    EXPECT_FALSE(monitor.Loudness(key).valid) << "the measure ends with the stream";
    player.waitForFinished(10000);
}

}  // namespace
