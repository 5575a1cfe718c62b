// The capture engine on its built-in test tone: every recording format read
// back with FFmpeg, memory takes, pause, error codes, event order, and the
// gapless continuation from one file into the next.
#include "capture_test_util.h"

#include "platform/capture/test_tone.h"
#include "platform/os.h"

#include <QFile>
#include <QFileInfo>

using namespace capture_test;
using platform::ActiveSoundRecorder;

namespace {

struct FormatCase {
    const char* name;
    int formatToUse;
    int rate, channels, bits;
    const char* codec;      // decoder name FFmpeg reports
    const char* container;  // demuxer name
    int wavSizeCode = 1;
    double toleranceMs = 30;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class ToneFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ToneFormats, FileDecodesToTheFormatAndLengthRecorded) {
    const FormatCase& c = GetParam();
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(c.rate, c.channels, c.bits);
    auto& enc = e.recorder.Encoder();
    enc.FormatToUse = c.formatToUse;
    enc.WavSampleSizeCode = c.wavSizeCode;
    enc.Mp3Vbr = false;
    enc.Mp3Bitrate = 192000;
    enc.WmaBitrate = 60;
    enc.OggValue = 5;
    enc.AacValue = 128;
    const QString path = drive.path(QString("take_%1").arg(c.name));
    ASSERT_TRUE(e.record(path, 1200)) << e.log.events.join(",").toStdString();
    EXPECT_EQ(e.recorder.LastError(), 0) << e.recorder.LastErrorText().toStdString();
    const qint64 positionMs = e.recorder.RecordingPositionMs();
    EXPECT_GT(positionMs, 900);

    const Decoded d = DecodeFile(path);
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    EXPECT_EQ(d.codec, c.codec);
    EXPECT_EQ(d.container, c.container);
    EXPECT_EQ(d.rate, c.rate);
    EXPECT_EQ(d.channels, c.channels);
    EXPECT_EQ(d.decodeErrors, 0);
    EXPECT_NEAR(d.seconds() * 1000.0, double(positionMs), c.toleranceMs) << "decoded " << d.frames << " frames";
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, ToneFormats,
    ::testing::Values(FormatCase{"wav16_stereo_48k", 1, 48000, 2, 16, "pcm_s16le", "wav", 1, 1},
                      FormatCase{"wav8_mono_22k", 1, 22050, 1, 16, "pcm_u8", "wav", 0, 1},
                      FormatCase{"wav24_stereo_96k", 1, 96000, 2, 24, "pcm_s24le", "wav", 2, 1},
                      FormatCase{"wav32_mono_44k", 1, 44100, 1, 32, "pcm_s32le", "wav", 3, 1},
                      FormatCase{"mp3_stereo_44k", 2, 44100, 2, 16, "mp3float", "mp3", 1, 15},
                      FormatCase{"wma_stereo_44k", 3, 44100, 2, 16, "wmav2", "asf", 1, 50},
                      FormatCase{"ogg_mono_48k", 4, 48000, 1, 16, "vorbis", "ogg", 1, 15},
                      FormatCase{"aac_stereo_48k", 6, 48000, 2, 16, "aac", "aac", 1, 50}),
    [](const ::testing::TestParamInfo<FormatCase>& i) { return std::string(i.param.name); });

TEST(ToneRecording, WavSamplesAreTheToneAndTheHeaderAllowsRf64) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    e.recorder.Encoder().WavSampleSizeCode = 1;
    const QString path = drive.path("tone.wav");
    ASSERT_TRUE(e.record(path, 600));
    const Decoded d = DecodeFile(path, true);
    ASSERT_TRUE(d.ok);
    double amplitude = 0;
    EXPECT_LT(SineFitResidual(d.samples, 2, 48000, 1000.0, &amplitude), 2e-3);
    EXPECT_NEAR(amplitude, 0.5, 0.01);  // -6 dBFS
    // Both channels carry the tone.
    double diff = 0;
    for (size_t i = 0; i + 1 < d.samples.size(); i += 2) diff = std::max(diff, std::abs(d.samples[i] - d.samples[i + 1]));
    EXPECT_LT(diff, 1e-9);
    // Room for the 64-bit sizes is kept right after the format tag, so the
    // file becomes RF64 when it passes 4 GB.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray head = f.read(64);
    EXPECT_EQ(head.mid(0, 4), "RIFF");
    EXPECT_EQ(head.mid(8, 4), "WAVE");
    EXPECT_EQ(head.mid(12, 4), "JUNK");
}

TEST(ToneRecording, PausedTimeIsLeftOutOfFileAndPosition) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(44100, 2, 16);
    e.recorder.Encoder().FormatToUse = 2;
    e.recorder.Encoder().Mp3Vbr = true;
    e.recorder.Encoder().Mp3VbrQuality = 1;
    const QString path = drive.path("paused.mp3");
    QElapsedTimer wall;
    wall.start();
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, path), 0);
    RunEventsFor(600);
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusRecordingFile);
    ASSERT_EQ(e.recorder.RecorderPause(), 0);
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusPaused);
    RunEventsFor(150);
    const qint64 atPause = e.recorder.RecordingPositionMs();
    RunEventsFor(700);
    EXPECT_LE(e.recorder.RecordingPositionMs() - atPause, 20) << "the position moved while paused";
    ASSERT_EQ(e.recorder.RecorderResume(), 0);
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusRecordingFile);
    RunEventsFor(600);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusNone);
    ASSERT_TRUE(e.waitDone());
    const qint64 position = e.recorder.RecordingPositionMs();
    EXPECT_LT(position, wall.elapsed() - 500);
    EXPECT_GT(position, 1000);
    const Decoded d = DecodeFile(path);
    ASSERT_TRUE(d.ok);
    EXPECT_NEAR(d.seconds() * 1000.0, double(position), 30);
    const QStringList main = e.log.main();
    EXPECT_EQ(main, (QStringList{"Started", "Paused", "Resumed", "FinalizationStarted", "Stopped:1",
                                 "FinalizationDone:0"}));
}

TEST(ToneRecording, EventsComeInOrderWithPositionsAboutEveryTenthOfASecond) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 4;
    e.recorder.Encoder().OggValue = 3;
    ASSERT_TRUE(e.record(drive.path("events.ogg"), 1000));
    RunEventsFor(100);
    QStringList events = e.log.events;
    events.removeAll("Validate");
    events.removeAll("InputFormatsAvailable");
    events.removeAll("DeviceChange");
    ASSERT_GE(events.size(), 5);
    EXPECT_EQ(events.first(), "Started");
    EXPECT_EQ(events.mid(events.size() - 3), (QStringList{"FinalizationStarted", "Stopped:1", "FinalizationDone:0"}));
    qint64 previous = -1;
    int positions = 0;
    for (int i = 1; i < events.size() - 3; ++i) {
        ASSERT_TRUE(events[i].startsWith("Position:")) << events[i].toStdString();
        const qint64 ms = events[i].mid(9).toLongLong();
        EXPECT_GE(ms, previous);
        previous = ms;
        ++positions;
    }
    EXPECT_GE(positions, 7);
    EXPECT_LE(positions, 14);
    EXPECT_EQ(previous, e.recorder.RecordingPositionMs()) << "the last position is the final one";
}

TEST(ToneRecording, MemoryTakeHoldsThePcmUntilFreed) {
    ScratchDrive drive;
    ToneEngine e;
    EXPECT_EQ(e.recorder.RecordedSound_FreeMemory(), -73);
    e.setFormat(16000, 1, 24);
    e.recorder.Encoder().FormatToUse = 0;
    e.doneBefore = 0;
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, QString()), 0);
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusRecordingMemory);
    RunEventsFor(500);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_TRUE(e.waitDone());
    EXPECT_TRUE(QDir(drive.root()).entryList(QDir::Files).isEmpty()) << "a memory take writes no file";
    const QByteArray pcm = e.recorder.RecordedSoundPcm();
    EXPECT_EQ(e.recorder.RecordedSoundRate(), 16000);
    EXPECT_EQ(e.recorder.RecordedSoundChannels(), 1);
    EXPECT_EQ(e.recorder.RecordedSoundBits(), 24);
    ASSERT_EQ(pcm.size() % 3, 0);
    const qint64 frames = pcm.size() / 3;
    EXPECT_EQ(frames * 1000 / 16000, e.recorder.RecordingPositionMs());
    // Packed 24-bit little-endian samples of the tone.
    std::vector<double> samples;
    for (qint64 i = 0; i < frames; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(pcm.constData() + 3 * i);
        int32_t v = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
        samples.push_back(v / 2147483648.0);
    }
    double amplitude = 0;
    EXPECT_LT(SineFitResidual(samples, 1, 16000, 1000.0, &amplitude), 1e-4);
    EXPECT_NEAR(amplitude, 0.5, 0.005);

    EXPECT_EQ(e.recorder.RecordedSound_FreeMemory(), 0);
    EXPECT_TRUE(e.recorder.RecordedSoundPcm().isEmpty());
    EXPECT_EQ(e.recorder.RecordedSound_FreeMemory(), -73);
}

TEST(ToneRecording, MemoryTakeThatReachesItsLimitEndsWithAnError) {
    ToneEngine e;
    e.setFormat(8000, 1, 16);
    e.recorder.Encoder().FormatToUse = 0;
    ActiveSoundRecorder::SetMemoryTakeLimit(8000);  // half a second
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, QString()), 0);
    const bool ended = WaitFor([&] { return e.log.count("Stopped:0") == 1; }, 5000);
    ActiveSoundRecorder::SetMemoryTakeLimit(qint64(1) << 30);
    ASSERT_TRUE(ended);
    EXPECT_EQ(e.recorder.LastError(), -2);
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusNone);
    ASSERT_TRUE(e.waitDone());
    EXPECT_LE(e.recorder.RecordedSoundPcm().size(), 8000);
    EXPECT_GT(e.recorder.RecordedSoundPcm().size(), 6000);
    EXPECT_EQ(e.recorder.RecorderStop(), -100);
}

TEST(ToneRecording, ErrorCodesOfRefusedCalls) {
    ScratchDrive drive;
    ActiveSoundRecorder fresh(3);
    EXPECT_EQ(fresh.StartFromDirectSoundDevice(0, 0, drive.path("x.wav")), -49);
    EXPECT_EQ(fresh.InputFormatCount(0), -49);

    ToneEngine e;
    EXPECT_EQ(e.recorder.InitRecorder(0), -14);
    EXPECT_EQ(e.recorder.RecorderStop(), -100);
    EXPECT_EQ(e.recorder.RecorderPause(), -100);
    EXPECT_EQ(e.recorder.RecorderContinueIntoFile(drive.path("c.wav")), -100);
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone() + 1, 0, drive.path("a.wav")), -50);
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(-1, 0, drive.path("a.wav")), -50);
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 1, drive.path("a.wav")), -51);
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, drive.path("missing/folder/a.wav")), -8);
    EXPECT_FALSE(QFileInfo::exists(drive.path("missing")));
    e.setFormat(48000, 2, 12);
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, drive.path("a.wav")), -53);
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 5;
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, drive.path("a.aac")), -83);
    EXPECT_EQ(e.recorder.LastError(), -83);
    EXPECT_EQ(e.recorder.SetRecordingMode(0), 0);
    EXPECT_EQ(e.recorder.SetRecordingMode(7), -3);
    EXPECT_EQ(e.recorder.InputLevelSet(e.tone(), 0, 101), -3);
    EXPECT_EQ(e.recorder.InputLevelSet(e.tone(), 2, 50), -51);
    EXPECT_EQ(e.recorder.SetInputDeviceChannelDefault(e.tone(), 1), -51);
    EXPECT_EQ(e.recorder.SetInputDeviceChannelDefault(e.tone() + 1, 0), -50);
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusNone);
    EXPECT_TRUE(e.log.main().isEmpty()) << "refused starts raise no events";

    e.recorder.Encoder().FormatToUse = 1;
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, drive.path("a.wav")), 0);
    EXPECT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, drive.path("b.wav")), -64);
    EXPECT_EQ(e.recorder.LastError(), -64);
    EXPECT_FALSE(QFileInfo::exists(drive.path("b.wav")));
    EXPECT_EQ(e.recorder.RecorderContinueIntoFile(drive.path("missing/c.wav")), -8);
    EXPECT_EQ(e.recorder.RecorderStatus(), platform::StatusRecordingFile) << "a refused continuation keeps recording";
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    EXPECT_EQ(e.recorder.RecorderStop(), -100);
    ASSERT_TRUE(e.waitDone());
    EXPECT_EQ(e.recorder.RecorderStop(), -100);
}

TEST(ToneRecording, StartRightAfterStopIsAcceptedWhileTheOldFileIsFinalised) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 2;
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, drive.path("one.mp3")), 0);
    RunEventsFor(300);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, drive.path("two.mp3")), 0);
    RunEventsFor(300);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_TRUE(WaitFor([&] { return e.log.count("FinalizationDone:0") == 2; }, 5000));
    EXPECT_EQ(e.log.count("Started"), 2);
    EXPECT_EQ(e.log.count("Stopped:1"), 2);
    for (const char* name : {"one.mp3", "two.mp3"}) {
        const Decoded d = DecodeFile(drive.path(name));
        ASSERT_TRUE(d.ok) << name;
        EXPECT_GT(d.seconds(), 0.2) << name;
    }
}

TEST(ToneRecording, ContinuationIntoANewFileLosesAndDoublesNoSample) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    e.recorder.Encoder().WavSampleSizeCode = 1;
    const QString first = drive.path("slice1.wav"), second = drive.path("slice2.wav");
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, first), 0);
    RunEventsFor(700);
    ASSERT_EQ(e.recorder.RecorderContinueIntoFile(second), 0);
    ASSERT_TRUE(WaitFor([&] { return e.log.count("Started") == 2; }, 3000));
    const int restartAt = e.log.events.lastIndexOf("Started");
    RunEventsFor(700);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_TRUE(WaitFor([&] { return e.log.count("FinalizationDone:0") == 2; }, 5000));
    EXPECT_EQ(e.log.main(), (QStringList{"Started", "FinalizationStarted", "Stopped:1", "FinalizationDone:0", "Started",
                                         "FinalizationStarted", "Stopped:1", "FinalizationDone:0"}));
    // The position starts again from zero in the new file.
    for (int i = restartAt + 1; i < e.log.events.size(); ++i) {
        if (e.log.events[i].startsWith("Position:")) {
            EXPECT_LT(e.log.events[i].mid(9).toLongLong(), 250);
            break;
        }
    }
    const Decoded a = DecodeFile(first, true), b = DecodeFile(second, true);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_GT(a.seconds(), 0.5);
    EXPECT_GT(b.seconds(), 0.5);
    std::vector<double> joined = a.samples;
    joined.insert(joined.end(), b.samples.begin(), b.samples.end());
    // One sine runs through both files: a lost or doubled sample at the join
    // would leave samples 0.06 away from it.
    EXPECT_LT(SineFitResidual(joined, 2, 48000, 1000.0), 2e-3);
}

TEST(ToneRecording, AacBitRateAboveWhatTheEncoderTakesIsClampedWithANotice) {
    ScratchDrive drive;
    QStringList notices;
    platform::SetNoticeHook([&](const QString& t) { notices << t; });
    ToneEngine e;
    e.setFormat(8000, 1, 16);
    e.recorder.Encoder().FormatToUse = 6;
    e.recorder.Encoder().AacValue = 500;
    const QString path = drive.path("clamped.aac");
    ASSERT_TRUE(e.record(path, 2000));
    platform::SetNoticeHook(nullptr);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains("48000")) << notices[0].toStdString();
    const Decoded d = DecodeFile(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rate, 8000);
    // At most 48 kbit/s for one channel at 8000 Hz (plus the ADTS headers).
    EXPECT_LT(QFileInfo(path).size() * 8 / d.seconds(), 52000.0);
}

TEST(ToneRecording, PeakLevelsFollowTheTone) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 0;
    EXPECT_EQ(e.recorder.PeakLevels(), (QVector<float>{0.0f, 0.0f}));
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, QString()), 0);
    RunEventsFor(200);
    const QVector<float> peaks = e.recorder.PeakLevels();
    ASSERT_EQ(peaks.size(), 2);
    EXPECT_NEAR(peaks[0], 0.5, 0.01);
    EXPECT_NEAR(peaks[1], 0.5, 0.01);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    EXPECT_EQ(e.recorder.PeakLevels(), (QVector<float>{0.0f, 0.0f}));
    ASSERT_TRUE(e.waitDone());
    EXPECT_EQ(e.recorder.OverrunCount(), 0u);
}

TEST(ToneRecording, DestroyingTheEngineFinalisesTheRunningFile) {
    ScratchDrive drive;
    const QString path = drive.path("at_exit.ogg");
    {
        ToneEngine e;
        e.setFormat(44100, 2, 16);
        e.recorder.Encoder().FormatToUse = 4;
        ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, path), 0);
        RunEventsFor(500);
    }
    const Decoded d = DecodeFile(path);
    ASSERT_TRUE(d.ok);
    EXPECT_GT(d.seconds(), 0.35);
    EXPECT_EQ(d.decodeErrors, 0);
}

}  // namespace
