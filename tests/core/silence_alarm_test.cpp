// The silence alarm: the watch's rules on scripted levels and times, the
// options read from the setup window's texts, and the main timer on real
// engines recording sources of the test sound server (a null sink's monitor
// for silence, a sine source for sound, a sine played into the null sink for
// sound coming back).
#include "recording/silence_alarm.h"
#include "recording_fixture.h"

#include <QElapsedTimer>
#include <functional>
#include <limits>
#include <unistd.h>

using namespace h5b;
using Event = SilenceWatch::Event;

namespace {

constexpr double kSilent = -std::numeric_limits<double>::infinity();

SilenceOptions Options(double threshold, int delay) {
    SilenceOptions o;
    o.thresholdDbfs = threshold;
    o.delaySeconds = delay;
    return o;
}

}  // namespace

TEST(SilenceWatchTest, RaisedOnceAfterTheDelayAndClearedWhenTheSoundComesBack) {
    SilenceWatch w;
    const SilenceOptions o = Options(-50, 30);
    EXPECT_EQ(w.Tick(1000, true, -20.0, o), Event::None);
    // Exactly at the threshold is sound; just below it is silence.
    EXPECT_EQ(w.Tick(2000, true, -50.0, o), Event::None);
    EXPECT_EQ(w.Tick(2100, true, -50.01, o), Event::None);
    EXPECT_EQ(w.Tick(31999, true, kSilent, o), Event::None);
    // Ticks that saw no sample count as silence (a capture that delivers nothing).
    EXPECT_EQ(w.Tick(32000, true, std::nullopt, o), Event::Raised);
    EXPECT_TRUE(w.alarmOn());
    EXPECT_EQ(w.silenceMs(), 30000);
    EXPECT_EQ(w.Tick(50000, true, -70.0, o), Event::None) << "one incident per silence";
    EXPECT_EQ(w.Tick(92000, true, -49.0, o), Event::SoundBack);
    EXPECT_FALSE(w.alarmOn());
    EXPECT_EQ(w.silenceMs(), 90000);
    // A short gap in the sound is no silence; a new long one raises again.
    EXPECT_EQ(w.Tick(100000, true, kSilent, o), Event::None);
    EXPECT_EQ(w.Tick(110000, true, -10.0, o), Event::None);
    EXPECT_EQ(w.Tick(139999, true, kSilent, o), Event::None);
    EXPECT_EQ(w.Tick(140000, true, kSilent, o), Event::Raised);
}

TEST(SilenceWatchTest, WatchesOnlyWhileCapturingAndWhileTurnedOn) {
    SilenceWatch w;
    const SilenceOptions on = Options(-50, 5);
    // A recorder that does not record is never in silence.
    EXPECT_EQ(w.Tick(0, false, std::nullopt, on), Event::None);
    EXPECT_EQ(w.Tick(60000, false, std::nullopt, on), Event::None);
    // The delay counts from the start of the capture.
    EXPECT_EQ(w.Tick(61000, true, kSilent, on), Event::None);
    EXPECT_EQ(w.Tick(65999, true, kSilent, on), Event::None);
    EXPECT_EQ(w.Tick(66000, true, kSilent, on), Event::Raised);
    // The recording stops while the alarm is on: the watch ends, reported once.
    EXPECT_EQ(w.Tick(70000, false, std::nullopt, on), Event::Ended);
    EXPECT_EQ(w.silenceMs(), 9000);
    EXPECT_EQ(w.Tick(71000, false, std::nullopt, on), Event::None);
    // A new capture needs the whole delay again.
    EXPECT_EQ(w.Tick(80000, true, kSilent, on), Event::None);
    EXPECT_EQ(w.Tick(84000, true, kSilent, on), Event::None);
    EXPECT_EQ(w.Tick(85000, true, kSilent, on), Event::Raised);
    // Turned off (delay 0) while on: ended; off, it never raises.
    const SilenceOptions off = Options(-50, 0);
    EXPECT_EQ(w.Tick(86000, true, kSilent, off), Event::Ended);
    EXPECT_EQ(w.Tick(999000, true, kSilent, off), Event::None);
    EXPECT_FALSE(w.alarmOn());
}

TEST(SilenceWatchTest, ClockGoingBackRestartsTheCount) {
    SilenceWatch w;
    const SilenceOptions o = Options(-50, 10);
    EXPECT_EQ(w.Tick(50000, true, kSilent, o), Event::None);
    EXPECT_EQ(w.Tick(1000, true, kSilent, o), Event::None);
    EXPECT_EQ(w.Tick(10999, true, kSilent, o), Event::None);
    EXPECT_EQ(w.Tick(11000, true, kSilent, o), Event::Raised);
}

TEST(SilenceWatchTest, OptionsFromTheFieldTexts) {
    SilenceOptions o = ParseSilenceOptions("-50", "30");
    EXPECT_EQ(o.thresholdDbfs, -50.0);
    EXPECT_EQ(o.delaySeconds, 30);
    EXPECT_TRUE(o.enabled());
    o = ParseSilenceOptions(" -42,5 ", "0");
    EXPECT_EQ(o.thresholdDbfs, -42.5);
    EXPECT_FALSE(o.enabled());
    // Not a number: the defaults; out of range: the nearest limit.
    o = ParseSilenceOptions("", "abc");
    EXPECT_EQ(o.thresholdDbfs, kSilenceThresholdDefault);
    EXPECT_EQ(o.delaySeconds, kSilenceDelayDefault);
    o = ParseSilenceOptions("6", "-5");
    EXPECT_EQ(o.thresholdDbfs, 0.0);
    EXPECT_EQ(o.delaySeconds, 0);
    o = ParseSilenceOptions("-500", "1e9");
    EXPECT_EQ(o.thresholdDbfs, kSilenceThresholdLowest);
    EXPECT_EQ(o.delaySeconds, kSilenceDelayLongest);
    EXPECT_EQ(ParseSilenceOptions("nan", "inf").delaySeconds, kSilenceDelayDefault);
}

TEST(SilenceWatchTest, DurationTexts) {
    EXPECT_EQ(SilenceDurationText(0), "0 s");
    EXPECT_EQ(SilenceDurationText(30400), "30 s");
    EXPECT_EQ(SilenceDurationText(59600), "1 min 00 s");
    EXPECT_EQ(SilenceDurationText(65000), "1 min 05 s");
    EXPECT_EQ(SilenceDurationText(7390000), "2 h 03 min 10 s");
}

namespace {

QString Pactl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class SilenceAlarmOnEngines : public RecorderFixture {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
        RecorderFixture::SetUp();
        if (HasFatalFailure()) return;
        // Sources of this test's own: tests run side by side on the server.
        const QString tag = QString::number(getpid());
        sink = QStringLiteral("qr_silence_") + tag;
        sine = QStringLiteral("qr_silence_sine_") + tag;
        modules << Pactl({"load-module", "module-null-sink", "sink_name=" + sink});
        modules << Pactl({"load-module", "module-sine-source", "source_name=" + sine, "rate=48000", "frequency=440"});
        ASSERT_TRUE(platform::WaitInEventLoop([&] { return Device(sink + ".monitor") >= 0 && Device(sine) >= 0; }, 5000))
            << "the engine does not list the test's sources";
    }
    void TearDown() override {
        for (const QString& m : modules)
            if (!m.isEmpty()) Pactl({"unload-module", m});
        RecorderFixture::TearDown();
    }

    int Device(const QString& systemName) {
        platform::ActiveSoundRecorder& e = Engine(0);
        for (int d = 0; d < e.InputDeviceCount(); ++d)
            if (e.InputDeviceSystemName(d) == systemName) return d;
        return -1;
    }

    // Recorder i records a source into WAV with the alarm's options.
    void RecordSource(int i, const QString& source, const QString& label, const QString& delay) {
        Prepare(i, 1, Folder(label), label);
        ComboCtl& devices = ::Setup().ComboInputDevices[size_t(i)];
        QStringList names;
        for (int d = 0; d < Engine(i).InputDeviceCount(); ++d) names << Engine(i).InputDeviceName(d);
        devices.setEntries(names);
        ASSERT_TRUE(devices.setListIndex(Device(source)));
        ::Setup().TexteNomFichier[size_t(i)].setText(label);
        ::Setup().TexteSilenceSeuil[size_t(i)].setText(QStringLiteral("-50"));
        ::Setup().TexteSilenceDelai[size_t(i)].setText(delay);
        Record(i);
        ASSERT_TRUE(RecorderEngineRecording(i)) << TracesOf(i).join("\n").toStdString();
    }

    // Main timer ticks every 100 ms, the manual clock following the real
    // time, until `done` holds or the time is up; the time of that tick since
    // `since` (ms), or -1.
    qint64 TickUntil(const std::function<bool()>& done, int limitMs, const QElapsedTimer& since) {
        QElapsedTimer t;
        t.start();
        qint64 last = since.elapsed();
        while (t.elapsed() < limitMs) {
            platform::LetEventsRunFor(100);
            const qint64 now = since.elapsed();
            clock.advanceMs(now - last);
            last = now;
            Timer1_Timer();
            if (done()) return now;
        }
        return -1;
    }

    static int IncidentsWith(const QString& text) {
        int n = 0;
        for (const QString& line : Trace().ListeIncidents)
            if (line.contains(text)) ++n;
        return n;
    }

    QString sink, sine;
    QStringList modules;
};

}  // namespace

TEST_F(SilenceAlarmOnEngines, SilentMonitorRaisesTheAlarmSineSourceNeverAndSoundBackClearsIt) {
    QElapsedTimer since;
    since.start();
    RecordSource(0, sink + ".monitor", QStringLiteral("Antenne"), QStringLiteral("3"));
    RecordSource(1, sine, QStringLiteral("Studio"), QStringLiteral("3"));
    const qint64 started = since.elapsed();
    Timer1_Timer();

    // The null sink plays nothing: after the delay, one incident naming the recorder.
    const QString raised = QStringLiteral("Rec. 1 (Antenne): silence for 3 s, input below -50 dBFS");
    const qint64 at = TickUntil([&] { return IncidentsWith(raised) == 1; }, 6000, since);
    ASSERT_GE(at, 0) << Trace().ListeIncidents.join("\n").toStdString();
    EXPECT_GE(at - started, 3000) << "raised before the delay";
    EXPECT_TRUE(SilenceWatchOf(0).alarmOn());
    EXPECT_EQ(CountOf(TracesOf(0), raised), 1) << "the incident is on the recorder's line";

    // A sine played into the null sink: its monitor carries sound again.
    modules << Pactl({"load-module", "module-sine", "sink=" + sink, "frequency=1000"});
    const QString back = QStringLiteral("Rec. 1 (Antenne): end of silence, sound back after ");
    ASSERT_GE(TickUntil([&] { return IncidentsWith(back) == 1; }, 6000, since), 0)
        << Trace().ListeIncidents.join("\n").toStdString();
    EXPECT_FALSE(SilenceWatchOf(0).alarmOn());
    EXPECT_EQ(IncidentsWith(raised), 1);

    // Silent again, then the recording stops while the alarm is on.
    Pactl({"unload-module", modules.takeLast()});
    ASSERT_GE(TickUntil([&] { return IncidentsWith(raised) == 2; }, 8000, since), 0)
        << Trace().ListeIncidents.join("\n").toStdString();
    Stop(0);
    Timer1_Timer();
    EXPECT_EQ(IncidentsWith(QStringLiteral("Rec. 1 (Antenne): end of silence watch after ")), 1);
    EXPECT_EQ(IncidentsWith(QStringLiteral("of silence (recording stopped)")), 1);

    // All the while the sine source raised nothing.
    EXPECT_EQ(IncidentsWith(QStringLiteral("Rec. 2 (Studio)")), 0) << Trace().ListeIncidents.join("\n").toStdString();
    EXPECT_FALSE(SilenceWatchOf(1).alarmOn());
    Stop(1);
    Timer1_Timer();
    EXPECT_EQ(IncidentsWith(QStringLiteral("Rec. 2 (Studio)")), 0);
}
