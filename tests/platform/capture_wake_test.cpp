// How the encoder thread of a recording waits: it sleeps until the capture
// hands it data (no polling while nothing arrives), and the capture's
// fragments reach the files whole: over slices from the sound server, no
// sample is lost or doubled.
#include "capture_test_util.h"

#include "platform/capture/recording_session.h"

#include <QFileInfo>
#include <QProcess>
#include <unistd.h>

using namespace capture_test;
using platform::ActiveSoundRecorder;
using platform::RecordingSession;
using platform::capture::CaptureFormat;
using platform::capture::CaptureSink;
using platform::capture::CaptureSource;

namespace {

// A capture device driven by the test: it delivers what the test hands it,
// when the test hands it.
class HandSource : public CaptureSource {
public:
    int start(CaptureSink* sink, QString*) override {
        sink_ = sink;
        return 0;
    }
    void stop() override { stopped_ = true; }
    void deliver(const std::vector<int16_t>& interleaved, size_t frames) {
        if (!stopped_) sink_->onCaptured(reinterpret_cast<const uint8_t*>(interleaved.data()), frames);
    }

private:
    CaptureSink* sink_ = nullptr;
    bool stopped_ = false;
};

// A block of 16-bit stereo frames numbered from `first` (left) and their
// negatives (right).
std::vector<int16_t> Block(int first, size_t frames) {
    std::vector<int16_t> out(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        out[2 * i] = int16_t((first + int(i)) % 30000);
        out[2 * i + 1] = int16_t(-((first + int(i)) % 30000));
    }
    return out;
}

}  // namespace

TEST(RecordingWake, DataWakesTheEncoderThreadAndNothingPollsMeanwhile) {
    ActiveSoundRecorder owner(0);
    RecordingSession::Config config;
    config.format = CaptureFormat{48000, 2, 16};
    config.memory = true;
    config.memoryLimitBytes = qint64(1) << 30;
    // So long that only the arriving data can wake the thread in this test.
    config.idleWakeMs = 600000;
    auto session = std::make_unique<RecordingSession>(&owner, config, nullptr);
    auto source = std::make_unique<HandSource>();
    HandSource* hand = source.get();
    QString text;
    ASSERT_EQ(session->StartCapture(std::move(source), &text), 0) << text.toStdString();
    session->Run();

    RunEventsFor(300);
    EXPECT_EQ(session->DrainWakeups(), 0u) << "the encoder thread polled while no data arrived";

    // One fragment of 100 ms: taken at once, by the wake-up it caused.
    hand->deliver(Block(0, 4800), 4800);
    ASSERT_TRUE(WaitFor([&] { return session->PositionMs() == 100; }, 5000))
        << "the data did not wake the encoder thread";
    EXPECT_GE(session->DrainWakeups(), 1u);
    const quint64 woken = session->DrainWakeups();
    RunEventsFor(300);
    EXPECT_EQ(session->DrainWakeups(), woken) << "woke up with nothing to do";

    // Ten more, each one taken whole: about one wake-up each.
    for (int k = 1; k <= 10; ++k) {
        hand->deliver(Block(4800 * k, 4800), 4800);
        ASSERT_TRUE(WaitFor([&] { return session->PositionMs() == 100 * (k + 1); }, 5000)) << "fragment " << k;
    }
    EXPECT_LE(session->DrainWakeups(), woken + 10);

    // The levels come from the same blocks: the loudest sample of the last
    // fragment on both channels.
    const QVector<float> peaks = session->Peaks();
    ASSERT_EQ(peaks.size(), 2);
    const int loudest = (4800 * 10 + 4799) % 30000;
    EXPECT_NEAR(peaks[0], loudest / 32768.0, 1e-6);
    EXPECT_NEAR(peaks[1], loudest / 32768.0, 1e-6);
    EXPECT_NEAR(session->TakePeakHold(), 29999 / 32768.0, 1e-6) << "held: the loudest since the last look";
    EXPECT_LT(session->TakePeakHold(), 0.0f) << "nothing captured since";

    // A stop wakes it too, and the take holds every frame once, in order.
    session->RequestStop();
    session->Join();
    RunEventsFor(50);
    const QByteArray take = owner.RecordedSoundPcm();
    ASSERT_EQ(take.size(), 4800 * 11 * 4);
    const auto* s = reinterpret_cast<const int16_t*>(take.constData());
    for (int i = 0; i < 4800 * 11; ++i) {
        ASSERT_EQ(s[2 * i], int16_t(i % 30000)) << "frame " << i;
        ASSERT_EQ(s[2 * i + 1], int16_t(-(i % 30000))) << "frame " << i;
    }
    EXPECT_EQ(session->Overruns(), 0u);
}

TEST(RecordingWake, RingTakesFourSecondsAndCountsWhatItCannotHold) {
    ActiveSoundRecorder owner(0);
    RecordingSession::Config config;
    config.format = CaptureFormat{48000, 2, 16};
    config.memory = true;
    config.memoryLimitBytes = qint64(1) << 30;
    config.idleWakeMs = 600000;
    auto session = std::make_unique<RecordingSession>(&owner, config, nullptr);
    auto source = std::make_unique<HandSource>();
    HandSource* hand = source.get();
    QString text;
    ASSERT_EQ(session->StartCapture(std::move(source), &text), 0);
    // The encoder thread is not running yet: the ring fills.
    const std::vector<int16_t> second = Block(0, 48000);
    for (int k = 0; k < 4; ++k) hand->deliver(second, 48000);
    EXPECT_EQ(session->Overruns(), 0u) << "four seconds fit";
    hand->deliver(second, 48000);
    EXPECT_EQ(session->Overruns(), 48000u) << "the fifth does not";
    session->Run();
    ASSERT_TRUE(WaitFor([&] { return session->PositionMs() == 4000; }, 5000));
    session->RequestStop();
    session->Join();
    RunEventsFor(50);
}

namespace {

QString Pactl(const QStringList& args) {
    QProcess p;
    p.start("pactl", args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

// The capture of a sink's monitor (a null sink playing a 441 Hz sine): unlike
// the server's sine sources, which hand out two seconds at a time, a monitor
// delivers fragments of the size the stream asks for, as a sound card does.
// At 441 Hz a whole fragment of 100 ms lost or doubled would turn the phase
// by a tenth of a cycle (at 440 Hz it would go unseen); a single sample, by
// 0.009 of one.
TEST(RecordingWake, SlicesFromTheSoundServerLoseAndDoubleNoSample) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
    }
    ScratchDrive drive;
    ActiveSoundRecorder recorder(0);
    EventLog log(recorder);
    ASSERT_EQ(recorder.InitRecorder(0), 0);
    const QString sink = QString("qr_wake_sink_%1").arg(getpid());
    struct Unload {
        QStringList modules;
        ~Unload() {
            for (auto it = modules.crbegin(); it != modules.crend(); ++it) Pactl({"unload-module", *it});
        }
    } unload;
    unload.modules << Pactl({"load-module", "module-null-sink", "sink_name=" + sink, "rate=48000"}).trimmed();
    unload.modules << Pactl({"load-module", "module-sine", "sink=" + sink, "frequency=441"}).trimmed();
    ASSERT_FALSE(unload.modules[0].isEmpty() || unload.modules[1].isEmpty());
    const QString name = sink + ".monitor";
    int device = -1;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (int d = 0; d < recorder.InputDeviceCount(); ++d)
                if (recorder.InputDeviceSystemName(d) == name) device = d;
            return device >= 0;
        },
        5000));
    recorder.Encoder().CaptureRate = 48000;
    recorder.Encoder().CaptureChannels = 2;
    recorder.Encoder().CaptureBits = 16;
    recorder.Encoder().FormatToUse = 1;
    recorder.Encoder().WavSampleSizeCode = 1;
    const QStringList slices = {drive.path("s1.wav"), drive.path("s2.wav"), drive.path("s3.wav")};
    ASSERT_EQ(recorder.StartFromDirectSoundDevice(device, 0, slices[0]), 0);
    // Each slice takes at least a second of audio, whenever the sink's
    // sound starts flowing.
    ASSERT_TRUE(WaitFor([&] { return recorder.RecordingPositionMs() >= 1000; }, 10000));
    for (int k = 1; k < slices.size(); ++k) {
        ASSERT_EQ(recorder.RecorderContinueIntoFile(slices[k]), 0);
        ASSERT_TRUE(WaitFor([&] { return log.count("Started") == k + 1; }, 3000));
        ASSERT_TRUE(WaitFor([&] { return recorder.RecordingPositionMs() >= 1000; }, 10000));
    }
    ASSERT_EQ(recorder.RecorderStop(), 0);
    ASSERT_TRUE(WaitFor([&] { return log.count("FinalizationDone:0") == 3; }, 5000));
    EXPECT_EQ(recorder.OverrunCount(), 0u);

    std::vector<double> joined;
    for (const QString& path : slices) {
        const Decoded d = DecodeFile(path, true);
        ASSERT_TRUE(d.ok) << d.error.toStdString();
        EXPECT_GT(d.seconds(), 0.9) << path.toStdString();
        joined.insert(joined.end(), d.samples.begin(), d.samples.end());
    }
    // The sound starts with the sink: leave out the silence before it.
    size_t first = 0;
    while (first < joined.size() / 2 && std::abs(joined[2 * first]) < 1e-3) ++first;
    ASSERT_GT(joined.size() / 2 - first, size_t(48000 * 5 / 2));
    double amplitude = 0;
    const double residual = SineFitResidual(joined, 2, 48000, 441.0, &amplitude, first + 480);
    ASSERT_GT(amplitude, 0.05) << "the sink's sine is in the files";
    EXPECT_LT(residual, amplitude * 0.01) << "a sample lost or doubled somewhere in " << joined.size() / 2 - first
                                          << " frames";
}
