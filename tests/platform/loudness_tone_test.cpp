// Loudness and waveform sidecars of recordings of the built-in test tone (a
// 1000 Hz sine at -6.02 dBFS on every channel; no sound server needed):
// the report and the waveform against the file decoded by FFmpeg, a gapless
// change of file, the live values, sidecars that cannot be written, and the
// settings that turn them off.
#include "loudness_test_util.h"

#include "platform/capture/recording_analysis.h"
#include "platform/os.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

using namespace capture_test;
using namespace loudness_test;
using platform::ActiveSoundRecorder;

namespace {

// A stereo 1 kHz sine reads its level in dBFS as LUFS (EBU Tech 3341, case 1);
// one channel alone reads 3.01 LU less.
const double kToneDb = 20.0 * std::log10(0.5 * 32767.0 / 32768.0);

struct ToneFormat {
    const char* name;
    int rate, channels, bits, wavCode;
};
void PrintTo(const ToneFormat& f, std::ostream* os) { *os << f.name; }

class ToneSidecars : public ::testing::TestWithParam<ToneFormat> {};

TEST_P(ToneSidecars, ReportAndWaveformMatchTheDecodedFile) {
    const ToneFormat& f = GetParam();
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(f.rate, f.channels, f.bits);
    e.recorder.Encoder().FormatToUse = 1;
    e.recorder.Encoder().WavSampleSizeCode = f.wavCode;
    const QString path = drive.path(QString("Pige Antenne %1.wav").arg(f.name));
    ASSERT_TRUE(e.record(path, 1500)) << e.log.events.join(",").toStdString();

    const Decoded d = DecodeFile(path, true);
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    const Report r = ReadReport(path);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.o.value("file").toString(), QFileInfo(path).fileName());
    EXPECT_TRUE(r.o.value("complete").toBool());
    EXPECT_EQ(r.o.value("sample_rate").toInt(), f.rate);
    EXPECT_EQ(r.o.value("channels").toInt(), f.channels);
    EXPECT_NEAR(r.number("duration_s"), d.seconds(), 0.0011) << "the report covers the samples of the file";
    const double expected = kToneDb - (f.channels == 1 ? 3.01 : 0.0);
    EXPECT_NEAR(r.number("integrated_lufs"), expected, 0.1);
    EXPECT_NEAR(r.number("true_peak_dbtp"), kToneDb, 0.2);
    EXPECT_LT(r.number("lra_lu"), 0.5) << "a steady tone has no loudness range";
    EXPECT_EQ(r.number("interval_s"), 10.0);
    EXPECT_TRUE(r.series().isEmpty()) << "no 10 s interval is complete";
    // Beside the recording: its two sidecars, told apart by their names.
    const QStringList names = QDir(drive.root()).entryList(QDir::Files);
    EXPECT_EQ(names.size(), 3) << names.join(", ").toStdString();
    for (const QString& name : names) {
        const bool sidecar = platform::capture::RecordingAnalysis::IsSidecarName(name);
        EXPECT_EQ(sidecar, name != QFileInfo(path).fileName()) << name.toStdString();
        if (sidecar) {
            EXPECT_TRUE(platform::capture::RecordingAnalysis::SidecarPaths(path).contains(drive.path(name)));
        }
    }

    const Peaks p = ReadPeaks(path + ".peaks.dat");
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.version, 1);
    EXPECT_EQ(p.bits, 8);
    EXPECT_EQ(p.rate, f.rate);
    EXPECT_EQ(p.perPixel, f.rate <= 51200 ? 512 : 1024);
    EXPECT_EQ(p.extraBytes, 0);
    std::vector<int> mins, maxs;
    PeaksOfSamples(d.samples, d.channels, p.perPixel, &mins, &maxs);
    EXPECT_EQ(p.length, quint32((d.frames + p.perPixel - 1) / p.perPixel)) << "one point per " << p.perPixel << " frames";
    EXPECT_EQ(p.mins, mins);
    EXPECT_EQ(p.maxs, maxs);
    ASSERT_FALSE(maxs.empty());
    // A point of a 1 kHz sine holds its crests: the tone's level, 0.5 (64
    // steps of 1/128), within the one step that sampling may miss.
    for (size_t i = 0; i + 1 < maxs.size(); ++i) {
        ASSERT_TRUE(maxs[i] == 63 || maxs[i] == 64) << "point " << i << ": " << maxs[i];
        ASSERT_TRUE(mins[i] == -64 || mins[i] == -63) << "point " << i << ": " << mins[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ToneSidecars,
                         ::testing::Values(ToneFormat{"48k_stereo_16", 48000, 2, 16, 1},
                                           ToneFormat{"44k1_mono_24", 44100, 1, 24, 2},
                                           ToneFormat{"96k_stereo_32", 96000, 2, 32, 3},
                                           ToneFormat{"22k05_mono_8", 22050, 1, 8, 0}),
                         [](const ::testing::TestParamInfo<ToneFormat>& i) { return std::string(i.param.name); });

TEST(ToneLoudness, ReportOfALongerFileHasItsSeriesAndItsStartTime) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 2;  // MP3: the sidecars do not depend on the format
    const QDateTime stamp(QDate(2026, 12, 10), QTime(14, 0, 0), Qt::OffsetFromUTC, 3600);
    ActiveSoundRecorder::SetWallClock([stamp] { return stamp; });
    const QString path = drive.path("Pige Antenne 20261210_14_00_00.mp3");
    const bool recorded = e.record(path, 10600);
    ActiveSoundRecorder::SetWallClock(nullptr);
    ASSERT_TRUE(recorded) << e.log.events.join(",").toStdString();
    const Report r = ReadReport(path);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QDateTime start = QDateTime::fromString(r.o.value("start").toString(), Qt::ISODateWithMs);
    ASSERT_TRUE(start.isValid()) << r.o.value("start").toString().toStdString();
    EXPECT_TRUE(r.o.value("start").toString().endsWith("+01:00")) << "local time with its offset";
    // The first sample came within the first second after the start was asked
    // for (stamped with the clock given to the engine).
    EXPECT_GE(start.toMSecsSinceEpoch(), stamp.toMSecsSinceEpoch() - 200);
    EXPECT_LE(start.toMSecsSinceEpoch(), stamp.toMSecsSinceEpoch() + 1000);
    const double seconds = r.number("duration_s");
    EXPECT_NEAR(seconds, e.recorder.RecordingPositionMs() / 1000.0, 0.0011);
    ASSERT_EQ(r.series().size(), int(seconds / 10.0)) << "one value per complete 10 s";
    EXPECT_NEAR(r.series()[0].toDouble(), kToneDb, 0.1);
    EXPECT_NEAR(r.number("integrated_lufs"), kToneDb, 0.1);
}

TEST(ToneLoudness, GaplessChangeOfFileStartsTheFileFiguresAfreshWithNoSampleLostOrCountedTwice) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    const QString first = drive.path("first.wav"), second = drive.path("second.wav");
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, first), 0);
    RunLoopFor(3200);
    ASSERT_EQ(e.recorder.RecorderContinueIntoFile(second), 0) << e.recorder.LastErrorText().toStdString();
    ASSERT_TRUE(WaitInLoop([&] { return e.log.count("Started") == 2; }, 3000));
    RunLoopFor(600);
    // Half a second into the new file, the short-term value (3 s window)
    // still reads the whole window: no dip at the change of file.
    e.recorder.Loudness();  // wakes the live values
    ASSERT_TRUE(WaitInLoop([&] { return e.recorder.Loudness().valid; }, 2000));
    const platform::capture::LoudnessSnapshot live = e.recorder.Loudness();
    EXPECT_NEAR(live.shortTermLufs, kToneDb, 0.2);
    EXPECT_NEAR(live.momentaryLufs, kToneDb, 0.2);
    EXPECT_LT(live.seconds, 2.0) << "the file figures are the new file's";
    RunLoopFor(900);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_TRUE(WaitInLoop([&] { return e.log.count("FinalizationDone:0") == 2; }, 10000)) << e.log.events.join(",").toStdString();

    qint64 decodedFrames = 0;
    double reportedSeconds = 0;
    for (const QString& path : {first, second}) {
        SCOPED_TRACE(path.toStdString());
        const Decoded d = DecodeFile(path, true);
        ASSERT_TRUE(d.ok) << d.error.toStdString();
        decodedFrames += d.frames;
        const Report r = ReadReport(path);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_TRUE(r.o.value("complete").toBool());
        EXPECT_EQ(qint64(std::llround(r.number("duration_s") * 48000.0)), d.frames);
        reportedSeconds += r.number("duration_s");
        EXPECT_NEAR(r.number("integrated_lufs"), kToneDb, 0.1);
        const Peaks p = ReadPeaks(path + ".peaks.dat");
        ASSERT_TRUE(p.ok) << p.error.toStdString();
        std::vector<int> mins, maxs;
        PeaksOfSamples(d.samples, d.channels, p.perPixel, &mins, &maxs);
        EXPECT_EQ(p.mins, mins);
        EXPECT_EQ(p.maxs, maxs);
    }
    const double position = e.recorder.RecordingPositionMs() / 1000.0;
    EXPECT_NEAR(reportedSeconds, double(decodedFrames) / 48000.0, 0.0021);
    EXPECT_GT(reportedSeconds, 4.0);
    EXPECT_GT(position, 0.4) << "the position counts the second file";
}

TEST(ToneLoudness, LiveValuesTruePeakResetAndPause) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    EXPECT_FALSE(e.recorder.Loudness().valid) << "nothing records";
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, drive.path("live.wav")), 0);
    e.recorder.Loudness();
    ASSERT_TRUE(WaitInLoop([&] { return e.recorder.Loudness().valid && e.recorder.Loudness().seconds > 3.1; }, 6000));
    platform::capture::LoudnessSnapshot s = e.recorder.Loudness();
    EXPECT_NEAR(s.momentaryLufs, kToneDb, 0.1);
    EXPECT_NEAR(s.shortTermLufs, kToneDb, 0.1);
    EXPECT_NEAR(s.integratedLufs, kToneDb, 0.1);
    EXPECT_NEAR(s.truePeakDbtp, kToneDb, 0.2);
    EXPECT_LT(s.loudnessRangeLu, 0.5);

    e.recorder.ResetTruePeak();
    EXPECT_EQ(e.recorder.Loudness().truePeakDbtp, platform::capture::kNoLoudness) << "the clip sign goes out at once";
    ASSERT_TRUE(WaitInLoop([&] { return std::isfinite(e.recorder.Loudness().truePeakDbtp); }, 2000));
    EXPECT_NEAR(e.recorder.Loudness().truePeakDbtp, kToneDb, 0.2) << "and comes back with the next block";

    ASSERT_EQ(e.recorder.RecorderPause(), 0);
    EXPECT_FALSE(e.recorder.Loudness().valid) << "paused: no live value";
    EXPECT_NEAR(e.recorder.Loudness().integratedLufs, kToneDb, 0.1) << "the file's figures stay";
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    EXPECT_FALSE(e.recorder.Loudness().valid);
    ASSERT_TRUE(e.waitDone());
}

TEST(ToneLoudness, SidecarsThatCannotBeWrittenAreReportedOnceAndTheRecordingGoesOn) {
    ScratchDrive drive;
    QStringList notices;
    platform::SetNoticeHook([&](const QString& text) { notices << text; });
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    const QString path = drive.path("blocked.wav");
    // Folders where the sidecars' files would go: every write fails.
    ASSERT_TRUE(QDir().mkpath(path + ".peaks.dat"));
    ASSERT_TRUE(QDir().mkpath(path + ".loudness.json.tmp"));
    const bool recorded = e.record(path, 1500);
    platform::SetNoticeHook(nullptr);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(e.log.count("FinalizationDone:0"), 1);
    EXPECT_EQ(e.recorder.LastError(), 0);
    const Decoded d = DecodeFile(path);
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    EXPECT_GT(d.seconds(), 1.0);
    QStringList ours;
    for (const QString& n : notices)
        if (n.contains("blocked.wav")) ours << n;
    ASSERT_EQ(ours.size(), 1) << notices.join("\n").toStdString();
    EXPECT_TRUE(ours[0].startsWith("Rec. 1: cannot ")) << ours[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(path + ".loudness.json"));
}

TEST(ToneLoudness, SettingsTurnTheSidecarsAndTheMeasureOff) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    e.recorder.Encoder().LoudnessSidecar = false;
    e.recorder.Encoder().PeaksSidecar = false;
    const QString quiet = drive.path("no_sidecar.wav");
    ASSERT_TRUE(e.record(quiet, 600));
    EXPECT_TRUE(QFileInfo::exists(quiet));
    EXPECT_FALSE(QFileInfo::exists(quiet + ".loudness.json"));
    EXPECT_FALSE(QFileInfo::exists(quiet + ".peaks.dat"));

    // Without the measure: no live value and no report, the waveform still.
    e.recorder.Encoder().LoudnessAnalysis = false;
    e.recorder.Encoder().PeaksSidecar = true;
    e.recorder.Encoder().LoudnessSidecar = true;
    const QString unmeasured = drive.path("unmeasured.wav");
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, unmeasured), 0);
    RunLoopFor(500);
    e.recorder.Loudness();
    RunLoopFor(300);
    EXPECT_FALSE(e.recorder.Loudness().valid);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_TRUE(WaitInLoop([&] { return e.log.count("FinalizationDone:0") == 2; }, 5000));
    EXPECT_FALSE(QFileInfo::exists(unmeasured + ".loudness.json"));
    EXPECT_TRUE(ReadPeaks(unmeasured + ".peaks.dat").ok);

    // A memory take is measured live and leaves no file.
    e.recorder.Encoder().LoudnessAnalysis = true;
    e.recorder.Encoder().FormatToUse = 0;
    const int before = int(QDir(drive.root()).entryList(QDir::Files).size());
    ASSERT_EQ(e.recorder.StartFromDirectSoundDevice(e.tone(), 0, QString()), 0);
    e.recorder.Loudness();
    EXPECT_TRUE(WaitInLoop([&] { return e.recorder.Loudness().valid && e.recorder.Loudness().seconds > 0.5; }, 3000));
    EXPECT_NEAR(e.recorder.Loudness().momentaryLufs, kToneDb, 0.2);
    ASSERT_EQ(e.recorder.RecorderStop(), 0);
    ASSERT_TRUE(WaitInLoop([&] { return e.log.count("FinalizationDone:0") == 3; }, 5000));
    EXPECT_EQ(int(QDir(drive.root()).entryList(QDir::Files).size()), before);
}

TEST(ToneLoudness, WithoutTheTruePeakTheReportLeavesItEmpty) {
    ScratchDrive drive;
    ToneEngine e;
    e.setFormat(48000, 2, 16);
    e.recorder.Encoder().FormatToUse = 1;
    e.recorder.Encoder().LoudnessTruePeak = false;
    const QString path = drive.path("no_true_peak.wav");
    ASSERT_TRUE(e.record(path, 1200));
    const Report r = ReadReport(path);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.isNull("true_peak_dbtp"));
    EXPECT_NEAR(r.number("integrated_lufs"), kToneDb, 0.1);
}

}  // namespace
