// The silence alarm told to another system over UDP: a recorder recording a
// silent source (the monitor of a null sink of the test sound server) sends
// "<Do:Alarm><Recorder:n><Silence:On>" to its chosen target after the delay,
// and "...<Silence:Off>" when sound comes back; a recorder without a target
// sends nothing.
#include "core/main_window_state.h"
#include "core/frm_main.h"
#include "core/recording_fixture.h"
#include "recording/silence_alarm.h"
#include "udp_test_util.h"

#include <QElapsedTimer>
#include <QProcess>
#include <functional>
#include <unistd.h>

using namespace udptest;

namespace {

QString Pactl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class SilenceOverUdp : public h5b::RecorderFixture {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
        RecorderFixture::SetUp();
        if (HasFatalFailure()) return;
        FreshUdp();
        MainState().StartupDone = true;
        const QString tag = QString::number(getpid());
        sink = QStringLiteral("qr_silence_udp_") + tag;
        modules << Pactl({"load-module", "module-null-sink", "sink_name=" + sink});
        ASSERT_TRUE(platform::WaitInEventLoop([&] { return Device(sink + ".monitor") >= 0; }, 5000));
        QStringList targets;
        for (int n = 0; n <= 9; ++n) targets << QString("0%1").arg(n);
        for (int i = 0; i < kRecorders; ++i) ::Setup().ComboSilenceUDP[size_t(i)].setEntries(targets);
    }
    void TearDown() override {
        for (int i = 0; i < 2; ++i)
            if (RecorderEngineRecording(i)) Stop(i);
        for (const QString& m : modules)
            if (!m.isEmpty()) Pactl({"unload-module", m});
        ResetUdpRemote();
        SetSilenceNotifier({});
        RecorderFixture::TearDown();
    }
    int Device(const QString& systemName) {
        platform::ActiveSoundRecorder& e = Engine(0);
        for (int d = 0; d < e.InputDeviceCount(); ++d)
            if (e.InputDeviceSystemName(d) == systemName) return d;
        return -1;
    }
    void RecordSilence(int i, const QString& label, int targetEntry) {
        Prepare(i, 1, Folder(label), label);
        ComboCtl& devices = ::Setup().ComboInputDevices[size_t(i)];
        QStringList names;
        for (int d = 0; d < Engine(i).InputDeviceCount(); ++d) names << Engine(i).InputDeviceName(d);
        devices.setEntries(names);
        ASSERT_TRUE(devices.setListIndex(Device(sink + ".monitor")));
        ::Setup().TexteNomFichier[size_t(i)].setText(label);
        ::Setup().TexteSilenceSeuil[size_t(i)].setText("-50");
        ::Setup().TexteSilenceDelai[size_t(i)].setText("1");
        ASSERT_TRUE(::Setup().ComboSilenceUDP[size_t(i)].setListIndex(targetEntry));
        Record(i);
        ASSERT_TRUE(RecorderEngineRecording(i));
    }
    // Main timer ticks, the manual clock following the real time.
    bool TickUntil(const std::function<bool()>& done, int limitMs) {
        QElapsedTimer t;
        t.start();
        qint64 last = 0;
        while (t.elapsed() < limitMs) {
            platform::LetEventsRunFor(100);
            clock.advanceMs(t.elapsed() - last);
            last = t.elapsed();
            Timer1_Timer();
            if (done()) return true;
        }
        return false;
    }
    QString sink;
    QStringList modules;
};

TEST(SilenceAlarmMessage, InTheFamilysTagStyle) {
    EXPECT_EQ(SilenceAlarmMessage(0, true), "<Do:Alarm><Recorder:1><Silence:On>");
    EXPECT_EQ(SilenceAlarmMessage(7, false), "<Do:Alarm><Recorder:8><Silence:Off>");
}

TEST_F(SilenceOverUdp, SilenceAndSoundBackAreSentToTheChosenTargetOnly) {
    Peer services(RandomLoopback());
    ASSERT_TRUE(services.bound());
    SetTarget(2, services.address(), services.port());  // entry "03"
    RecordSilence(0, "Antenne", 3);
    RecordSilence(1, "Studio", 0);                        // no notification
    Timer1_Timer();

    ASSERT_TRUE(TickUntil([&] { return services.received().size() >= 1; }, 8000))
        << Trace().ListeIncidents.join("\n").toStdString();
    EXPECT_EQ(services.received()[0], "<Do:Alarm><Recorder:1><Silence:On>");
    const QString to = services.address() + ":" + QString::number(services.port());
    EXPECT_EQ(TextsWith("UDP: Send to: " + to + " <Do:Alarm><Recorder:1><Silence:On>").size(), 1);
    EXPECT_TRUE(SilenceWatchOf(1).alarmOn()) << "recorder 2 is silent as well";

    // Sound back on the null sink: its monitor carries the sine.
    modules << Pactl({"load-module", "module-sine", "sink=" + sink, "frequency=1000"});
    ASSERT_TRUE(TickUntil([&] { return services.received().size() >= 2; }, 8000))
        << Trace().ListeIncidents.join("\n").toStdString();
    EXPECT_EQ(services.received()[1], "<Do:Alarm><Recorder:1><Silence:Off>");
    platform::LetEventsRunFor(300);
    EXPECT_EQ(services.received().size(), 2) << services.received().join(" | ").toStdString();
    EXPECT_TRUE(TextsWith("<Recorder:2>").isEmpty()) << "recorder 2 has no target";
}

TEST_F(SilenceOverUdp, AnAlarmEndedByTheStopIsClearedAtTheTargetToo) {
    Peer services(RandomLoopback());
    SetTarget(0, services.address(), services.port());
    RecordSilence(0, "Antenne", 1);
    Timer1_Timer();
    ASSERT_TRUE(TickUntil([&] { return services.received().size() >= 1; }, 8000));
    // The target is changed while the alarm is on: the end goes where the
    // beginning went.
    ::Setup().ComboSilenceUDP[0].setListIndex(0);
    Stop(0);
    Timer1_Timer();
    ASSERT_TRUE(services.waitFor(2, 5000));
    EXPECT_EQ(services.received(), QStringList({"<Do:Alarm><Recorder:1><Silence:On>",
                                                "<Do:Alarm><Recorder:1><Silence:Off>"}));
}

}  // namespace
