// The main timer on real engines: the logging recorder's slices (gapless
// changes of file), its daily purge, the status lines, and the format timer.
#include "core/main_window_state.h"
#include "recording_fixture.h"

#include <QTimer>
#include <cmath>

using namespace h5b;

namespace {

class MainTimerTest : public RecorderFixture {
protected:
    void TearDown() override {
        MainHost() = savedHost;
        MainTimers().Timer1.stop();
        MainTimers().TimerFormat.stop();
        RecorderFixture::TearDown();
    }
    FrmMainHost savedHost = MainHost();

    void Touch(const QString& path) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    void TickAt(const QDateTime& t) {
        clock.set(t);
        Timer1_Timer();
    }

    // The slice table 00-05, 06-11, 12-17, 18-23 as the setup window holds it.
    void FourSlices() {
        FrmSetupControls& setup = ::Setup();
        QStringList ends;
        for (int h = 0; h < 24; ++h) ends << N2S(h, 2, 0, "0") + QStringLiteral(" H 59:59");
        for (int k = 0; k < kSliceRows; ++k) {
            setup.LabellPigeTimingStart[size_t(k)].setText(N2S(k, 2, 0, "0") + QStringLiteral(" H"));
            setup.ComboPigeTimingFin[size_t(k)].setEntries(ends);
            setup.ComboPigeTimingFin[size_t(k)].setListIndex(k);
        }
        const int starts[4] = {0, 6, 12, 18}, finish[4] = {5, 11, 17, 23};
        for (int k = 0; k < 4; ++k) {
            setup.LabellPigeTimingStart[size_t(k)].setText(N2S(starts[k], 2, 0, "0") + QStringLiteral(" H"));
            setup.ComboPigeTimingFin[size_t(k)].setListIndex(finish[k]);
        }
        setup.CheckTimingPige.setChecked(true);
    }

    // Start-up with its message shown and the formats not known yet, for
    // recorder 1 in service; splashHidden counts the closes of the message.
    void StartUpWithMessage() {
        MainHost().HideSplash = [this] { ++splashHidden; };
        Prepare(0, 1, Folder(QStringLiteral("Rec")));
        SetRecordersInService(1);
        MainState().FormatsAvailable = false;
        MainState().SplashVisible = true;
        MainTimers().TimerFormat.start();
    }
    int splashHidden = 0;

    static QDateTime At(int day, int h, int m = 0, int s = 0) {
        return QDateTime(QDate(2024, 1, day), QTime(h, m, s));
    }
};

// Largest departure of x from the recurrence of one sine,
// x[n-1] + x[n+1] = 2 cos(w) x[n], over [from, to).
double SineResidual(const QVector<qint16>& x, double c, qsizetype from, qsizetype to) {
    double worst = 0;
    for (qsizetype n = std::max<qsizetype>(from, 1); n < std::min<qsizetype>(to, x.size() - 1); ++n)
        worst = std::max(worst, std::abs(double(x[n - 1]) + double(x[n + 1]) - 2 * c * double(x[n])));
    return worst;
}

}  // namespace

TEST_F(MainTimerTest, FirstTickStartsTheLoggingRecorderAndPurgesItsOldSlices) {
    const QString pige = Folder(QStringLiteral("Pige"));
    const QString other = Folder(QStringLiteral("Studio"));
    Prepare(0, 1, pige, QStringLiteral("Antenne"), true);
    Prepare(1, 1, other, QStringLiteral("Studio"));
    Touch(pige + QStringLiteral("Pige Antenne 20231201_10_00_00.wav"));
    Touch(pige + QStringLiteral("Pige Antenne 20240110_10_00_00.wav"));
    Touch(pige + QStringLiteral("Notes.txt"));
    Touch(other + QStringLiteral("Pige Antenne 20231201_10_00_00.wav"));

    Timer1_Timer();

    EXPECT_TRUE(RecordButton(0).Checked());
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusRecordingFile);
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011510"));
    EXPECT_EQ(Rec(0).runtime().LastPurgeDay, QStringLiteral("20240115"));
    const QStringList traces = TracesOf(0);
    EXPECT_TRUE(traces.contains(QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:Timer1_Timer")));
    EXPECT_FALSE(traces.contains(QStringLiteral("Pige: Next hour, try to stop current record")));
    EXPECT_TRUE(traces.contains(QStringLiteral("Recording File: ") + pige +
                                QStringLiteral("Pige Antenne 20240115_10_20_30.wav")));
    EXPECT_EQ(FilesIn(pige), (QStringList{QStringLiteral("Notes.txt"), QStringLiteral("Pige Antenne 20240110_10_00_00.wav"),
                                          QStringLiteral("Pige Antenne 20240115_10_20_30.wav")}));
    // The history shows the new slice first.
    const HistoryGrid& grid = MSFlexGridHisto(0);
    ASSERT_GE(grid.rowCount(), 3);
    EXPECT_EQ(grid.cell(0, kHistoColumnName), QStringLiteral("Pige Antenne 20240115_10_20_30.wav"));
    // An ordinary recorder is neither started nor purged.
    EXPECT_FALSE(RecordButton(1).Checked());
    EXPECT_EQ(Engine(1).RecorderStatus(), platform::StatusNone);
    EXPECT_EQ(FilesIn(other).size(), 1);
    EXPECT_TRUE(Rec(1).runtime().SliceEnd.isEmpty());

    // Later ticks of the same hour and day change nothing.
    TickAt(At(15, 10, 45));
    TickAt(At(15, 10, 59, 59));
    EXPECT_EQ(CountOf(TracesOf(0), QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:Timer1_Timer")), 1);
    EXPECT_EQ(FilesIn(pige).size(), 3);
    Stop(0);
}

TEST_F(MainTimerTest, ChangeOfHourGivesOneNewSliceWithoutLosingASample) {
    const QString pige = Folder(QStringLiteral("Pige"));
    Prepare(0, 1, pige, QStringLiteral("Antenne"), true);
    TickAt(At(15, 10, 59, 58));
    for (int k = 0; k < 10; ++k) {
        platform::LetEventsRunFor(100);
        TickAt(At(15, 10, 59, 59));
    }
    TickAt(At(15, 11, 0, 0));
    for (int k = 0; k < 10; ++k) {
        platform::LetEventsRunFor(100);
        TickAt(At(15, 11, 0, 1 + k / 5));
    }
    // The end of the first file is reported, the recorder keeps recording.
    EXPECT_TRUE(RecordButton(0).Checked());
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusRecordingFile);
    Stop(0);

    const QStringList traces = TracesOf(0);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Pige: Next hour, try to stop current record")), 1);
    EXPECT_EQ(CountOf(traces, QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:Timer1_Timer")), 2);
    const int next = int(traces.indexOf(QStringLiteral("Pige: Next hour, try to stop current record")));
    const int stopped = int(traces.indexOf(QStringLiteral("Pige: Pipe stopped"), next));
    const int checked = int(traces.indexOf(QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:Timer1_Timer"), next));
    const QString second = pige + QStringLiteral("Pige Antenne 20240115_11_00_00.wav");
    const int started = int(traces.indexOf(QStringLiteral("Recording File: ") + second, next));
    EXPECT_LT(next, stopped);
    EXPECT_LT(stopped, checked);
    EXPECT_LT(checked, started);
    EXPECT_TRUE(StartingWith(traces, QStringLiteral("Err:")).isEmpty()) << StartingWith(traces, "Err:").join("\n").toStdString();

    const QString first = pige + QStringLiteral("Pige Antenne 20240115_10_59_58.wav");
    EXPECT_EQ(FilesIn(pige).size(), 2);
    const Probe p1 = ProbeFile(first), p2 = ProbeFile(second);
    ASSERT_TRUE(p1.ok && p2.ok);
    ASSERT_EQ(p1.rate, p2.rate);
    ASSERT_EQ(p1.channels, p2.channels);
    const QVector<qint16> a = DecodeFirstChannel(first, p1.channels);
    const QVector<qint16> b = DecodeFirstChannel(second, p2.channels);
    ASSERT_GT(a.size(), p1.rate / 2);
    ASSERT_GT(b.size(), p2.rate / 2);
    QVector<qint16> x = a;
    x += b;
    // cos(w) of the tone by least squares over the whole take.
    double num = 0, den = 0;
    for (qsizetype n = 1; n + 1 < x.size(); ++n) {
        num += double(x[n]) * (double(x[n - 1]) + double(x[n + 1]));
        den += 2.0 * double(x[n]) * double(x[n]);
    }
    ASSERT_GT(den, 0);
    const double c = num / den;
    const double inside = std::max(SineResidual(x, c, 1, a.size() - 2), SineResidual(x, c, a.size() + 2, x.size()));
    const double join = SineResidual(x, c, a.size() - 2, a.size() + 2);
    // A sample lost or doubled at the join departs by thousands.
    EXPECT_LT(inside, 60.0);
    EXPECT_LT(join, 60.0) << "samples lost or doubled between the two slices";
    EXPECT_EQ(Engine(0).OverrunCount(), 0u);
}

TEST_F(MainTimerTest, SliceTableGivesTheEndsOfTheSlices) {
    Prepare(0, 1, Folder(QStringLiteral("Pige")), QStringLiteral("Antenne"), true);
    FourSlices();
    TickAt(At(15, 6, 0, 0));
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011512"));
    TickAt(At(15, 11, 59, 59));
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011512"));
    TickAt(At(15, 12, 0, 0));
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011518"));
    TickAt(At(15, 18, 0, 0));
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011524"));
    TickAt(At(15, 23, 59, 59));
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011524"));
    TickAt(At(16, 0, 0, 0));
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011606"));
    const QStringList upTo = StartingWith(TracesOf(0), QStringLiteral("Pige: Up to "));
    EXPECT_EQ(upTo, (QStringList{"Pige: Up to 2024011512", "Pige: Up to 2024011518", "Pige: Up to 2024011524",
                                 "Pige: Up to 2024011606"}));
    EXPECT_EQ(CountOf(TracesOf(0), QStringLiteral("Pige: Next hour, try to stop current record")), 3);
    EXPECT_EQ(FilesIn(Folder(QStringLiteral("Pige"))).size(), 4);
    Stop(0);
}

TEST_F(MainTimerTest, HourWithoutARowInTheTableEndsItsSliceAtTheNextHour) {
    Prepare(0, 1, Folder(QStringLiteral("Pige")), QStringLiteral("Antenne"), true);
    FourSlices();
    TickAt(At(15, 19, 0, 0));
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011520"));
    TickAt(At(15, 19, 0, 1));
    TickAt(At(15, 19, 30, 0));
    EXPECT_EQ(StartingWith(TracesOf(0), QStringLiteral("Pige: Up to ")).size(), 1);
    TickAt(At(15, 20, 0, 0));
    EXPECT_EQ(Rec(0).runtime().SliceEnd, QStringLiteral("2024011521"));
    EXPECT_EQ(FilesIn(Folder(QStringLiteral("Pige"))).size(), 2);
    Stop(0);
}

TEST_F(MainTimerTest, StatusChangesAreTracedOncePerChange) {
    Prepare(1, 1, Folder(QStringLiteral("Studio")), QStringLiteral("Studio"));
    ::Setup().TexteNomFichier[1].setText(QStringLiteral("Take"));
    Record(1);
    for (int k = 0; k < 3; ++k) {
        platform::LetEventsRunFor(100);
        Timer1_Timer();
    }
    Stop(1);
    for (int k = 0; k < 3; ++k) Timer1_Timer();
    const QStringList traces = TracesOf(1);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Status changed: RECORDING FILE")), 1);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Status changed: NONE")), 1);
    EXPECT_LT(traces.indexOf(QStringLiteral("Status changed: RECORDING FILE")),
              traces.indexOf(QStringLiteral("Status changed: NONE")));
    EXPECT_EQ(Rec(1).runtime().LastStatus, platform::StatusNone);
}

TEST_F(MainTimerTest, QuitRequestStopsTheTimerAndUnloadsTheWindow) {
    int unloads = 0;
    MainHost().Unload = [&] { ++unloads; };
    Prepare(0, 1, Folder(QStringLiteral("Pige")), QStringLiteral("Antenne"), true);
    MainTimers().Timer1.start();
    MainState().QuitRequested = true;
    Timer1_Timer();
    EXPECT_EQ(unloads, 1);
    EXPECT_FALSE(MainTimers().Timer1.isActive());
    EXPECT_FALSE(RecordButton(0).Checked());  // no slice started
    MainTimers().TimerFormat.start();
    TimerFormat_Timer();
    EXPECT_EQ(unloads, 2);
    EXPECT_FALSE(MainTimers().TimerFormat.isActive());
}

TEST_F(MainTimerTest, FormatTimerWaitsForTheWindowThenClosesTheSplash) {
    StartUpWithMessage();
    MainState().WindowShown = false;
    TimerFormat_Timer();
    EXPECT_TRUE(MainTimers().TimerFormat.isActive());
    EXPECT_EQ(splashHidden, 0);
    EXPECT_FALSE(TracesOf(0).contains(QStringLiteral("Trying to init available formats")));

    MainState().WindowShown = true;
    TimerFormat_Timer();
    const QStringList traces = TracesOf(0);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Trying to init available formats")), 1);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Available formats True")), 1);
    EXPECT_TRUE(MainState().FormatsAvailable);
    EXPECT_FALSE(MainTimers().TimerFormat.isActive());
    EXPECT_EQ(splashHidden, 1);
    EXPECT_FALSE(MainState().SplashVisible);
    EXPECT_GT(::Setup().ComboInputQuality[0].count(), 0);
}

TEST_F(MainTimerTest, InServiceBoxTickedWhileTheFormatsAreLookedUpIsKept) {
    StartUpWithMessage();
    MainState().WindowShown = true;
    ::Setup().CheckActif[0].setChecked(true);
    ::Setup().OptionTabs[3].setVisible(false);
    SetupFlags().SettingsModified = false;
    // The operator ticks recorder 3's box in the setup window while the
    // format lookup lets events run, then unticks recorder 1's.
    bool clicked = false;
    QTimer::singleShot(0, [&] {
        ::Setup().CheckActif[2].setChecked(true);
        ::Setup().CheckActif[0].setChecked(false);
        clicked = true;
    });
    TimerFormat_Timer();
    ASSERT_TRUE(clicked) << "the click came during the lookup";
    EXPECT_TRUE(MainState().FormatsAvailable) << "the lookup went on";
    EXPECT_TRUE(::Setup().CheckActif[2].checked());
    EXPECT_FALSE(::Setup().CheckActif[0].checked());
    EXPECT_TRUE(::Setup().OptionTabs[3].visible());
    EXPECT_FALSE(::Setup().OptionTabs[1].visible());
    EXPECT_TRUE(SetupFlags().SettingsModified) << "the click is not taken for the program's own selection";
    EXPECT_EQ(RecordersInService(), 1) << "in service from the next start";
}

TEST_F(MainTimerTest, LevelChangedOutsideTheProgramMovesTheSliderAtTheNextTick) {
    Prepare(0, 1, Folder(QStringLiteral("Rec")));
    SliderCtl& slider = S().main.rec[0].Slider1;
    // Another user of the test tone's mixer.
    ASSERT_EQ(Engine(1).InputLevelSet(toneDevice, 0, 35), 0);
    Timer1_Timer();
    EXPECT_EQ(Rec(0).runtime().InputLevel, 35);
    EXPECT_EQ(slider.value(), 35);

    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) GTEST_SKIP() << "no PulseAudio test server (PULSE_SERVER unset)";
    platform::ActiveSoundRecorder& e = Engine(0);
    int sine = -1;
    for (int d = 0; d < e.InputDeviceCount(); ++d)
        if (e.InputDeviceName(d).startsWith(QStringLiteral("Sine source"))) sine = d;
    ASSERT_GE(sine, 0);
    ::Setup().ComboInputDevices[0].setListIndex(sine);
    Timer1_Timer();
    ASSERT_EQ(QProcess::execute(QStringLiteral("pactl"), {"set-source-volume", "qr_sine", "40%"}), 0);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return e.InputLevelGet(sine, 0) == 40; }, 5000));
    Timer1_Timer();
    EXPECT_EQ(Rec(0).runtime().InputLevel, 40);
    EXPECT_EQ(slider.value(), 40);
    QProcess::execute(QStringLiteral("pactl"), {"set-source-volume", "qr_sine", "100%"});
}

TEST_F(MainTimerTest, StartUpWaitingForFormatsIsTracedOnceAndMayBeClosed) {
    StartUpWithMessage();
    MainState().WindowShown = true;
    // No device to ask (nothing listed yet): the formats stay unknown.
    const int tone = ::Setup().ComboInputDevices[0].listIndex();
    Rec(0).SetBoundDevice(-1);
    for (int k = 0; k < 5; ++k) TimerFormat_Timer();
    QStringList traces = TracesOf(0);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Trying to init available formats")), 1);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Available formats False")), 1);
    EXPECT_TRUE(MainTimers().TimerFormat.isActive());
    EXPECT_TRUE(MainState().StartupWaiting);
    // The operator may leave meanwhile: the close asks its question.
    Mnu01_Click();
    EXPECT_TRUE(S().main.MnuQuitter.enabled());
    bool cancel = false;
    Form_QueryUnload(cancel, CloseFromMenu);
    EXPECT_EQ(CountOf(TracesOf(-1), QStringLiteral("Application QueryUnload by system Menu")), 1);
    EXPECT_TRUE(cancel) << "nobody answered yes";

    // The device comes: start-up completes.
    ::Setup().ComboInputDevices[0].setListIndex(tone);
    TimerFormat_Timer();
    traces = TracesOf(0);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Available formats True")), 1);
    EXPECT_FALSE(MainState().StartupWaiting);
    EXPECT_FALSE(MainTimers().TimerFormat.isActive());
    EXPECT_EQ(splashHidden, 1);
}

TEST_F(MainTimerTest, StartUpDoesNotWaitForADeviceThatIsNotThere) {
    if (!platform::ActiveSoundRecorder::SoundServerAvailable()) GTEST_SKIP() << "no sound server";
    StartUpWithMessage();
    MainState().WindowShown = true;
    Rec(0).SetBoundDevice(-1);
    Rec(0).health().WaitingForDevice = true;
    Rec(0).health().MissingDevice = QStringLiteral("'qr_usb'");
    TimerFormat_Timer();
    EXPECT_FALSE(MainTimers().TimerFormat.isActive());
    EXPECT_EQ(splashHidden, 1);
    EXPECT_FALSE(MainState().StartupWaiting);
}
