// A device that goes away and comes back gets the recorder's saved level
// again: a source made anew by the sound server starts at 100 %, which must
// not become the recorder's level.
#include "core/main_window_state.h"
#include "core/recording_fixture.h"

#include <QProcess>
#include <unistd.h>

using namespace h5b;

namespace {

QString Pactl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class DeviceReturn : public RecorderFixture {
protected:
    QStringList modules;
    void TearDown() override {
        for (const QString& m : modules) Pactl({QStringLiteral("unload-module"), m});
        ResetDeviceBindingState();
        RecorderFixture::TearDown();
    }
    QString LoadSine(const QString& name) {
        const QString m = Pactl({QStringLiteral("load-module"), QStringLiteral("module-sine-source"),
                                 QStringLiteral("source_name=") + name, QStringLiteral("rate=48000")});
        if (!m.isEmpty()) modules << m;
        return m;
    }
    int Present(const QString& name) {
        int device = -1;
        platform::WaitInEventLoop([&] {
            device = Engine(0).InputDeviceIndexOf(name);
            return device >= 0 && Engine(0).InputDevicePresent(device);
        }, 5000);
        return device;
    }
};

TEST_F(DeviceReturn, TheSavedLevelIsAppliedAgainWhenTheDeviceComesBack) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) GTEST_SKIP() << "no sound server: run through scripts/run-tests.sh";
    const QString name = QStringLiteral("qr_return_%1").arg(::getpid());
    QString module = LoadSine(name);
    ASSERT_FALSE(module.isEmpty());
    const int device = Present(name);
    ASSERT_GE(device, 0);
    Prepare(0, 1, Folder(QStringLiteral("Retour")));
    EditRecorderConfig(0, [&](RecorderConfig& c) {
        c.DeviceName = name;
        c.ChannelIndex = 0;
    });
    BindRecorderDevice(0, QString::number(device));
    ASSERT_FALSE(Rec(0).health().WaitingForDevice);
    AfficherNiveauRecord(0, 40);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return Engine(0).InputLevelGet(device, 0) == 40; }, 5000));
    MainState().WindowShown = true;
    Timer1_Timer();
    ASSERT_EQ(Rec(0).config().Volume, 40);

    // The source goes away and is made again (100 % by the server).
    Pactl({QStringLiteral("unload-module"), module});
    modules.removeAll(module);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return Rec(0).health().WaitingForDevice; }, 5000));
    module = LoadSine(name);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return !Rec(0).health().WaitingForDevice; }, 5000));
    const int again = Engine(0).InputDeviceIndexOf(name);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return Engine(0).InputLevelGet(again, 0) == 40; }, 5000))
        << "the device level is " << Engine(0).InputLevelGet(again, 0);
    for (int k = 0; k < 5; ++k) {
        Timer1_Timer();
        platform::LetEventsRunFor(100);
    }
    EXPECT_EQ(Rec(0).config().Volume, 40);
    EXPECT_EQ(S().main.rec[0].Slider1.value(), 40);
}

}  // namespace
