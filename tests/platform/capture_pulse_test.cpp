// The capture engine against the real sound server that the test runner
// starts (a null sink "qr_null" and a 440 Hz sine source "qr_sine"):
// enumeration, lines, volume, recordings in every format read back, device
// arrival and removal, and a source removed in the middle of a recording.
#include "capture_test_util.h"

#include <QProcess>
#include <QRegularExpression>
#include <unistd.h>

using namespace capture_test;
using platform::ActiveSoundRecorder;

namespace {

QString Pactl(const QStringList& args) {
    QProcess p;
    p.start("pactl", args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

class PulseServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
        }
        ActiveSoundRecorder::EnableTestTone(true);
        ASSERT_EQ(recorder.InitRecorder(0), 0);
        ASSERT_GE(device("qr_sine"), 0) << "the test server has no qr_sine source";
    }
    void TearDown() override {
        if (!sineModule.isEmpty()) Pactl({"unload-module", sineModule});
    }
    // A sine source of this test's own: the server's sine module feeds only
    // one recording at a time, and tests run side by side.
    int ownSine() {
        if (sineModule.isEmpty()) {
            const QString name = QString("qr_capture_sine_%1").arg(getpid());
            sineModule = Pactl({"load-module", "module-sine-source", "source_name=" + name, "rate=48000",
                                "frequency=440"})
                             .trimmed();
            WaitFor([&] { return device(name) >= 0; }, 3000);
            sineName = name;
        }
        return device(sineName);
    }
    int device(const QString& systemName) {
        for (int d = 0; d < recorder.InputDeviceCount(); ++d) {
            if (recorder.InputDeviceSystemName(d) == systemName) return d;
        }
        return -1;
    }
    QString sineModule, sineName;
    ActiveSoundRecorder recorder{1};
    EventLog log{recorder};
};

TEST_F(PulseServer, SourcesAreListedInTheServersOrderWithMonitorsAndTheTestToneLast) {
    const int sine = device("qr_sine"), monitor = device("qr_null.monitor");
    ASSERT_GE(monitor, 0);
    EXPECT_EQ(recorder.InputDeviceName(sine), "Sine source at 440 Hz");
    EXPECT_EQ(recorder.InputDeviceName(monitor), "Monitor of QR_Null_Output");
    QStringList ours;
    for (int d = 0; d < recorder.InputDeviceCount() - 1; ++d) ours << recorder.InputDeviceSystemName(d);
    QStringList server;
    for (const QString& line : Pactl({"list", "short", "sources"}).split('\n', Qt::SkipEmptyParts)) {
        const QString name = line.section('\t', 1, 1);
        if (ours.contains(name)) server << name;
    }
    QStringList common;
    for (const QString& n : ours) if (server.contains(n)) common << n;
    EXPECT_EQ(common, server);
    EXPECT_GE(common.size(), 2);
    EXPECT_EQ(recorder.InputDeviceSystemName(recorder.InputDeviceCount() - 1), "test-tone");
    EXPECT_TRUE(WaitFor([&] { return log.count("InputFormatsAvailable") >= 1 && log.count("Validate") == 1; }, 2000));
    EXPECT_TRUE(recorder.EngineVersion().contains("server")) << recorder.EngineVersion().toStdString();
}

TEST_F(PulseServer, SourceWithoutPortsHasOneLineNamedAfterIt) {
    const int sine = device("qr_sine");
    EXPECT_EQ(recorder.InputChannelCount(sine), 1);
    EXPECT_EQ(recorder.InputChannelName(sine, 0), "Sine source at 440 Hz");
    EXPECT_EQ(recorder.InputChannelName(sine, 1), "");
    EXPECT_EQ(recorder.InputChannelDefaultGet(sine), 0);
    EXPECT_EQ(recorder.SetInputDeviceChannelDefault(sine, 0), 0);
    EXPECT_EQ(recorder.SetInputDeviceChannelDefault(sine, 1), -51);
    EXPECT_EQ(recorder.InputChannelCount(recorder.InputDeviceCount()), -50);
}

TEST_F(PulseServer, FormatsStartWithTheSourcesOwnFormat) {
    const int sine = device("qr_sine");
    ASSERT_GT(recorder.InputFormatCount(sine), 0);
    // qr_sine is float 32 bits, mono, 48000 Hz.
    EXPECT_EQ(recorder.InputFormatText(sine, 0), "48000 Hz, 32 bits, mono");
    const int monitor = device("qr_null.monitor");
    EXPECT_EQ(recorder.InputFormatText(monitor, 0), "44100 Hz, 16 bits, stereo");
}

TEST_F(PulseServer, LevelIsTheSourceVolumeBothWays) {
    const int monitor = device("qr_null.monitor");
    ASSERT_GE(monitor, 0);
    ASSERT_EQ(recorder.InputLevelSet(monitor, 0, 40), 0) << recorder.LastErrorText().toStdString();
    EXPECT_EQ(recorder.InputLevelGet(monitor, 0), 40);
    EXPECT_TRUE(Pactl({"get-source-volume", "qr_null.monitor"}).contains(QRegularExpression("/\\s+40%")))
        << Pactl({"get-source-volume", "qr_null.monitor"}).toStdString();
    // A change made in the system's mixer reaches the engine.
    Pactl({"set-source-volume", "qr_null.monitor", "65%"});
    EXPECT_TRUE(WaitFor([&] { return recorder.InputLevelGet(monitor, 0) == 65; }, 3000))
        << recorder.InputLevelGet(monitor, 0);
    ASSERT_EQ(recorder.InputLevelSet(monitor, 0, 100), 0);
    EXPECT_TRUE(Pactl({"get-source-volume", "qr_null.monitor"}).contains("100%"));
    EXPECT_EQ(recorder.InputLevelGet(monitor, 5), -1);
    EXPECT_EQ(recorder.InputLevelSet(monitor, 1, 50), -51);
}

struct PulseCase {
    const char* name;
    int formatToUse;
    int rate, channels, bits;
    const char* codec;
    double toleranceMs;
};

class PulseFormats : public PulseServer, public ::testing::WithParamInterface<PulseCase> {};

TEST_P(PulseFormats, RecordingOfTheSineSourceDecodesBack) {
    const PulseCase& c = GetParam();
    ScratchDrive drive;
    recorder.Encoder().FormatToUse = c.formatToUse;
    recorder.Encoder().CaptureRate = c.rate;
    recorder.Encoder().CaptureChannels = c.channels;
    recorder.Encoder().CaptureBits = c.bits;
    recorder.Encoder().WavSampleSizeCode = c.bits == 24 ? 2 : 1;
    recorder.Encoder().Mp3Vbr = false;
    recorder.Encoder().Mp3Bitrate = 128000;
    recorder.Encoder().AacValue = 96;
    const QString path = drive.path(QString("sine_%1_%2").arg(c.name).arg(getpid()));
    const int sine = ownSine();
    ASSERT_GE(sine, 0);
    ASSERT_EQ(recorder.StartFromDirectSoundDevice(sine, 0, path), 0)
        << recorder.LastErrorText().toStdString();
    EXPECT_EQ(recorder.RecorderStatus(), platform::StatusRecordingFile);
    RunEventsFor(1000);
    ASSERT_EQ(recorder.RecorderStop(), 0);
    ASSERT_TRUE(WaitFor([&] { return log.count("FinalizationDone:0") == 1; }, 5000)) << log.events.join(",").toStdString();
    EXPECT_EQ(log.count("Stopped:1"), 1);
    const qint64 position = recorder.RecordingPositionMs();
    EXPECT_GT(position, 700);
    const Decoded d = DecodeFile(path, true);
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    EXPECT_EQ(d.codec, c.codec);
    EXPECT_EQ(d.rate, c.rate);
    EXPECT_EQ(d.channels, c.channels);
    EXPECT_NEAR(d.seconds() * 1000.0, double(position), c.toleranceMs);
    if (c.formatToUse == 1) {
        double amplitude = 0;
        // Past the first 50 ms, where the server's resampler settles.
        const double residual = SineFitResidual(d.samples, c.channels, c.rate, 440.0, &amplitude, c.rate / 20);
        EXPECT_GT(amplitude, 0.05) << "the sine source was not recorded";
        EXPECT_LT(residual, amplitude * 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, PulseFormats,
                         ::testing::Values(PulseCase{"wav", 1, 48000, 2, 16, "pcm_s16le", 1},
                                           PulseCase{"wav24", 1, 44100, 1, 24, "pcm_s24le", 1},
                                           PulseCase{"mp3", 2, 44100, 2, 16, "mp3float", 15},
                                           PulseCase{"wma", 3, 48000, 2, 16, "wmav2", 50},
                                           PulseCase{"ogg", 4, 48000, 2, 16, "vorbis", 15},
                                           PulseCase{"aac", 6, 48000, 1, 16, "aac", 50}),
                         [](const ::testing::TestParamInfo<PulseCase>& i) { return std::string(i.param.name); });

TEST_F(PulseServer, ArrivalAndRemovalOfADeviceAndLossDuringARecording) {
    ScratchDrive drive;
    const QString sink = QString("qr_capture_test_%1").arg(getpid());
    const QString module = Pactl({"load-module", "module-null-sink", "sink_name=" + sink}).trimmed();
    ASSERT_FALSE(module.isEmpty());
    const QString monitor = sink + ".monitor";
    EXPECT_TRUE(WaitFor([&] { return log.count("DeviceChange") >= 1 && device(monitor) >= 0; }, 3000));
    const int dev = device(monitor);
    ASSERT_GE(dev, 0);

    EXPECT_TRUE(WaitFor([&] { return log.count("InputFormatsAvailable") >= 2; }, 2000));

    recorder.Encoder().FormatToUse = 1;
    recorder.Encoder().CaptureRate = 44100;
    recorder.Encoder().CaptureChannels = 2;
    recorder.Encoder().CaptureBits = 16;
    const QString path = drive.path("lost.wav");
    ASSERT_EQ(recorder.StartFromDirectSoundDevice(dev, 0, path), 0) << recorder.LastErrorText().toStdString();
    // A null sink's monitor delivers in blocks of about two seconds.
    RunEventsFor(2600);
    const int changesBefore = log.count("DeviceChange");
    Pactl({"unload-module", module});
    ASSERT_TRUE(WaitFor([&] { return log.count("FinalizationDone:0") == 1; }, 5000)) << log.events.join(",").toStdString();
    EXPECT_EQ(log.count("Stopped:0"), 1) << "a lost device ends the recording with an error result";
    EXPECT_EQ(log.count("Stopped:1"), 0);
    EXPECT_EQ(recorder.LastError(), -50);
    EXPECT_FALSE(recorder.LastErrorText().isEmpty());
    EXPECT_EQ(recorder.RecorderStatus(), platform::StatusNone);
    // The device that went away keeps its place in the list, marked absent:
    // the indexes of the other devices do not move.
    EXPECT_TRUE(WaitFor([&] { return log.count("DeviceChange") > changesBefore && recorder.InputChannelCount(dev) == -50; }, 3000));
    EXPECT_EQ(device(monitor), dev);
    EXPECT_EQ(recorder.StartFromDirectSoundDevice(dev, 0, drive.path("absent.wav")), -50);
    const Decoded d = DecodeFile(path);
    ASSERT_TRUE(d.ok);
    EXPECT_GT(d.seconds(), 0.2);
    // Everything captured before the loss is in the file.
    EXPECT_NEAR(d.seconds() * 1000.0, double(recorder.RecordingPositionMs()), 1);
}

}  // namespace
