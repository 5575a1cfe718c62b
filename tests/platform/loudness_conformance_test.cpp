// The loudness reports against external references, through the real sound
// server of the test runner: the test signals of EBU Tech 3341 (loudness
// metering) and Tech 3342 (loudness range), made by sox, played by paplay
// into null sinks of their own and recorded from their monitors, all at once;
// and programme material (speech by espeak-ng, music by sox) measured again
// by FFmpeg's ebur128 filter on the very file recorded.
#include "loudness_test_util.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <unistd.h>

using namespace capture_test;
using namespace loudness_test;
using platform::ActiveSoundRecorder;

namespace {

struct Segment {
    double dbfs;
    double seconds;
};

// One test signal and the reading its document expects.
struct Case {
    const char* name;
    const char* document;
    std::vector<Segment> segments;  // 1 kHz stereo sine
    enum { Integrated, Range, TruePeak } measure;
    double expected, below, above;  // accepted: expected - below .. expected + above
    const char* soxSynth = nullptr;  // another signal than the 1 kHz segments
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"3341_1", "Tech 3341 case 1", {{-23, 20}}, Case::Integrated, -23.0, 0.1, 0.1},
        {"3341_2", "Tech 3341 case 2", {{-33, 20}}, Case::Integrated, -33.0, 0.1, 0.1},
        {"3341_3", "Tech 3341 case 3", {{-36, 10}, {-23, 60}, {-36, 10}}, Case::Integrated, -23.0, 0.1, 0.1},
        {"3341_4", "Tech 3341 case 4", {{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}, Case::Integrated, -23.0, 0.1, 0.1},
        {"3341_5", "Tech 3341 case 5", {{-26, 20}, {-20, 20.1}, {-26, 20}}, Case::Integrated, -23.0, 0.1, 0.1},
        {"3342_1", "Tech 3342 case 1", {{-20, 20}, {-30, 20}}, Case::Range, 10.0, 1.0, 1.0},
        {"3342_2", "Tech 3342 case 2", {{-20, 20}, {-15, 20}}, Case::Range, 5.0, 1.0, 1.0},
        {"3342_3", "Tech 3342 case 3", {{-40, 20}, {-20, 20}}, Case::Range, 20.0, 1.0, 1.0},
        {"3342_4", "Tech 3342 case 4", {{-50, 20}, {-35, 20}, {-20, 20}, {-35, 20}, {-50, 20}}, Case::Range, 15.0, 1.0, 1.0},
        // The true-peak reading of Tech 3341: a sine whose crests fall
        // between samples.
        {"tp_1", "Tech 3341 case 1, true peak", {{-23, 20}}, Case::TruePeak, -23.0, 0.4, 0.2},
        {"tp_12k", "Tech 3341, +3 dBTP: 12 kHz, 45 degrees, samples at 0 dBFS", {}, Case::TruePeak, 3.0, 0.4, 0.2,
         "synth 10 sine 12000 0 12.5 vol 1.41421356"},
    };
    return cases;
}

class SoundServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
        }
        for (const char* tool : {"sox", "paplay", "pactl"}) {
            if (!HaveTool(tool)) GTEST_SKIP() << tool << " is missing (scripts/install-deps.sh)";
        }
        ActiveSoundRecorder::EnableTestTone(true);
    }
    void TearDown() override {
        for (const QString& m : modules) RunTool("pactl", {"unload-module", m});
    }
    // A 48000 Hz stereo 16-bit null sink of this test's own; its monitor's
    // device index for recorder r.
    int sink(ActiveSoundRecorder& r, const QString& name) {
        const QString module = RunTool("pactl", {"load-module", "module-null-sink", "sink_name=" + name, "rate=48000",
                                             "channels=2", "format=s16le"})
                                   .trimmed();
        if (module.isEmpty() || !module[0].isDigit()) return -1;
        modules << module;
        int device = -1;
        WaitInLoop(
            [&] {
                for (int d = 0; d < r.InputDeviceCount(); ++d)
                    if (r.InputDeviceSystemName(d) == name + ".monitor") device = d;
                return device >= 0;
            },
            5000);
        return device;
    }
    QStringList modules;
};

struct Take {
    const Case* c = nullptr;
    std::unique_ptr<ActiveSoundRecorder> recorder;
    std::unique_ptr<EventLog> log;
    QString signal, recording;
    std::unique_ptr<QProcess> player;
};

// Records each signal from its own sink while paplay plays it, all at once.
// recordMs 0: the recordings start before and stop after the signals (a
// test signal is measured whole, silence around it); else they start once
// the signals play and last recordMs (the file holds nothing but the
// signal), and the players are stopped after them.
bool RecordAll(std::vector<Take>& takes, const QTemporaryDir& dir, int index0, QString* why,
               const std::function<int(ActiveSoundRecorder&, const QString&)>& sink, int recordMs = 0) {
    for (size_t k = 0; k < takes.size(); ++k) {
        Take& take = takes[k];
        take.recorder = std::make_unique<ActiveSoundRecorder>(index0 + int(k));
        take.log = std::make_unique<EventLog>(*take.recorder);
        if (take.recorder->InitRecorder(0) != 0) return (*why = "init"), false;
        const QString name = QString("qr_loud_%1_%2_%3").arg(getpid()).arg(index0).arg(k);
        const int device = sink(*take.recorder, name);
        if (device < 0) return (*why = "no sink " + name), false;
        auto& e = take.recorder->Encoder();
        e.FormatToUse = 1;
        e.WavSampleSizeCode = 1;
        e.CaptureRate = 48000;
        e.CaptureChannels = 2;
        e.CaptureBits = 16;
        take.recording = dir.filePath(QFileInfo(take.signal).completeBaseName() + "_recorded.wav");
        take.player = std::make_unique<QProcess>();
        take.player->setProgram("paplay");
        take.player->setArguments({"--device=" + name, take.signal});
        if (recordMs > 0) {
            take.player->start();
            continue;
        }
        if (take.recorder->StartFromDirectSoundDevice(device, 0, take.recording) != 0)
            return (*why = take.recorder->LastErrorText()), false;
    }
    if (recordMs > 0) {
        // The monitors deliver the signal up to two seconds after it starts.
        RunLoopFor(3500);
        for (Take& take : takes) {
            const int device = take.recorder->InputDeviceIndexOf(take.player->arguments()[0].mid(9) + ".monitor");
            if (take.recorder->StartFromDirectSoundDevice(device, 0, take.recording) != 0)
                return (*why = take.recorder->LastErrorText()), false;
        }
        RunLoopFor(recordMs);
        for (Take& take : takes) take.recorder->RecorderStop();
    } else {
        RunLoopFor(1000);
        for (Take& take : takes) take.player->start();
    }
    const bool played = WaitInLoop(
        [&] {
            for (Take& take : takes)
                if (take.player->state() != QProcess::NotRunning) return false;
            return true;
        },
        240000);
    if (!played) return (*why = "paplay did not end"), false;
    for (Take& take : takes) {
        if (take.player->exitCode() != 0) return (*why = "paplay: " + take.player->readAllStandardError()), false;
    }
    if (recordMs == 0) {
        // The monitors of null sinks deliver in blocks of up to two seconds.
        RunLoopFor(3000);
        for (Take& take : takes) take.recorder->RecorderStop();
    }
    const bool done = WaitInLoop(
        [&] {
            for (Take& take : takes)
                if (take.log->count("FinalizationDone:0") + take.log->count("FinalizationDone:1") == 0) return false;
            return true;
        },
        20000);
    if (!done) return (*why = "the recordings did not end"), false;
    return true;
}

TEST_F(SoundServer, EbuTestSignalsReadWithinTheirDocumentsTolerances) {
    QTemporaryDir dir;
    std::vector<Take> takes(Cases().size());
    for (size_t k = 0; k < Cases().size(); ++k) {
        const Case& c = Cases()[k];
        takes[k].c = &c;
        takes[k].signal = dir.filePath(QString("signal_%1.wav").arg(c.name));
        QStringList parts;
        int rc = 0;
        const QStringList format = {"-D", "-r", "48000", "-c", "2", "-b", "16"};
        if (c.soxSynth) {
            QString out = RunTool("sox", QStringList{"-q", "-n"} + format + QStringList{takes[k].signal} +
                                         QString(c.soxSynth).split(' '), &rc);
            ASSERT_EQ(rc, 0) << out.toStdString();
            continue;
        }
        for (size_t s = 0; s < c.segments.size(); ++s) {
            const QString part = dir.filePath(QString("part_%1_%2.wav").arg(c.name).arg(s));
            const QString out = RunTool("sox", QStringList{"-q", "-n"} + format +
                                               QStringList{part, "synth", QString::number(c.segments[s].seconds), "sine",
                                                           "1000", "vol", QString::number(c.segments[s].dbfs) + "dB"},
                                    &rc);
            ASSERT_EQ(rc, 0) << out.toStdString();
            parts << part;
        }
        const QString out = RunTool("sox", QStringList{"-D"} + parts + QStringList{takes[k].signal}, &rc);
        ASSERT_EQ(rc, 0) << out.toStdString();
    }
    QString why;
    ASSERT_TRUE(RecordAll(takes, dir, 0, &why, [this](ActiveSoundRecorder& r, const QString& n) { return sink(r, n); }))
        << why.toStdString();

    for (Take& take : takes) {
        const Case& c = *take.c;
        SCOPED_TRACE(std::string(c.name) + " (" + c.document + ")");
        const Report r = ReadReport(take.recording);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        const double measured = c.measure == Case::Integrated ? r.number("integrated_lufs")
                                : c.measure == Case::Range    ? r.number("lra_lu")
                                                              : r.number("true_peak_dbtp");
        EXPECT_GE(measured, c.expected - c.below);
        EXPECT_LE(measured, c.expected + c.above);
        // For docs/loudness.md.
        std::printf("CASE %s | %s | expected %.1f (-%.1f/+%.1f) | measured %.2f\n", c.name, c.document, c.expected,
                    c.below, c.above, measured);
    }
}

TEST_F(SoundServer, ProgrammeMaterialReadsAsFfmpegsEbur128FilterReadsTheRecordedFile) {
    for (const char* tool : {"espeak-ng", "ffmpeg", "soxi"}) {
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " is missing (scripts/install-deps.sh)";
    }
    QTemporaryDir dir;
    int rc = 0;
    const QString made = RunTool("bash", {"-c", QString("source '%1/scripts/bench-sources.sh' && make_programme_material '%2' 40")
                                                .arg(QR_SOURCE_DIR, dir.path())},
                             &rc, 120000);
    ASSERT_EQ(rc, 0) << made.toStdString();
    // The end of the speech and the music after it: the change of material
    // half-way through the recording.
    RunTool("sox", {dir.filePath("speech.wav"), dir.filePath("music.wav"), dir.filePath("change.wav"), "trim", "22"}, &rc);
    ASSERT_EQ(rc, 0);
    std::vector<Take> takes(3);
    takes[0].signal = dir.filePath("speech.wav");
    takes[1].signal = dir.filePath("change.wav");
    takes[2].signal = dir.filePath("music.wav");
    QString why;
    // 30 s from within each.
    ASSERT_TRUE(RecordAll(
        takes, dir, 20, &why, [this](ActiveSoundRecorder& r, const QString& n) { return sink(r, n); }, 30000))
        << why.toStdString();
    for (Take& take : takes) {
        SCOPED_TRACE(take.signal.toStdString());
        const Report r = ReadReport(take.recording);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        const FfmpegLoudness f = MeasureWithFfmpeg(take.recording);
        ASSERT_TRUE(f.ok) << f.output.right(2000).toStdString();
        EXPECT_NEAR(r.number("integrated_lufs"), f.integrated, 0.2);
        // libebur128 takes a 3 s block for the loudness range every second,
        // FFmpeg's filter ten times a second: on this music, a pattern that
        // repeats every 2 s exactly, the two samplings part by up to 0.8 LU
        // depending on where the file starts (not on programme that changes).
        const bool periodic = take.signal.endsWith("music.wav");
        EXPECT_NEAR(r.number("lra_lu"), f.range, periodic ? 1.0 : 0.5);
        EXPECT_NEAR(r.number("true_peak_dbtp"), f.truePeak, 0.5);
        std::printf("PROGRAMME %s | ours I %.2f LRA %.2f TP %.2f | ffmpeg I %.1f LRA %.1f TP %.1f\n",
                    qPrintable(QFileInfo(take.signal).fileName()), r.number("integrated_lufs"), r.number("lra_lu"),
                    r.number("true_peak_dbtp"), f.integrated, f.range, f.truePeak);
    }
}

}  // namespace
