// What the operator sees on the real windows, with real engines: a folder
// that cannot be written fails loudly and STOP brings the panel back to idle;
// a device that is not there is shown missing and nothing records in its
// place; the meters read the sound server's sources while the recorder is in
// service and idle, and from the recording while it records; a full-scale
// signal lights the clip sign until it is clicked; a drive with little room
// turns the status line orange then red with an incident; a recording that
// ends appears in its grid with its length.
#include "recording/input_levels.h"
#include "core/recorder_panel.h"
#include "core/recording_fixture.h"
#include "platform/capture/level_monitor.h"
#include "ui/history_view.h"
#include "ui/main_window.h"
#include "ui/meters.h"
#include "ui/program_shell.h"
#include "ui/setup_window.h"
#include "ui/xpbutton_widget.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <linux/capability.h>
#include <memory>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace h5b;

namespace {

// Root writes into any folder whatever its mode: while this lives, the
// calling thread (the event-loop thread, which creates the files) loses the
// capabilities that override file modes, as an operator's account has none.
class WithoutFileModeOverride {
public:
    WithoutFileModeOverride() {
        if (::geteuid() != 0) return;
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct data[2];
        std::memcpy(data, saved_, sizeof data);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            data[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
        active_ = ::syscall(SYS_capset, &header_, data) == 0;
    }
    ~WithoutFileModeOverride() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// A file system of its own (tmpfs) whose size the test sets.
class SizedDisk {
public:
    SizedDisk(const QString& folder, const QByteArray& size) : folder_(folder) {
        QDir().mkpath(folder);
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, ("size=" + size).constData()) == 0)
            mounted_ = true;
        else
            why_ = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SizedDisk() {
        if (mounted_) ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
    }
    bool resize(const QByteArray& size) {
        return ::mount("tmpfs", QFile::encodeName(folder_).constData(), "tmpfs", MS_REMOUNT,
                       ("size=" + size).constData()) == 0;
    }
    bool mounted() const { return mounted_; }
    QString why() const { return why_; }

private:
    QString folder_;
    bool mounted_ = false;
    QString why_;
};

QString Pactl(const QStringList& args) {
    QProcess p;
    p.start("pactl", args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class OperatorViewTest : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        ResetTimeLeftSupervision();
        shell = std::make_unique<ui::ProgramShell>();
        shell->install(false);
        shell->mainWindow()->refreshAll();
        shell->mainWindow()->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        for (QProcess* p : players) {
            p->kill();
            p->waitForFinished(2000);
            delete p;
        }
        shell.reset();
        StopIdleLevels();
        for (const QString& m : modules) Pactl({"unload-module", m});
        ResetDeviceBindingState();
        RecorderFixture::TearDown();
    }

    static bool HaveServer() { return !qEnvironmentVariableIsEmpty("PULSE_SERVER"); }

    ui::MainWindow* Main() { return shell->mainWindow(); }
    const ui::RecorderFrameWidgets& Frame(int i) { return Main()->recorder(i); }

    // The device list of recorder i as the engine has it, with `device` chosen.
    void ChooseDevice(int i, int device) {
        QStringList devices;
        for (int d = 0; d < Engine(i).InputDeviceCount(); ++d) devices << Engine(i).InputDeviceName(d);
        ::Setup().ComboInputDevices[size_t(i)].setEntries(devices);
        ::Setup().ComboInputDevices[size_t(i)].setListIndex(device);
    }
    int DeviceNamed(const QString& systemName) {
        int device = -1;
        platform::WaitInEventLoop([&] {
            device = Engine(0).InputDeviceIndexOf(systemName);
            return device >= 0 && Engine(0).InputDevicePresent(device);
        }, 5000);
        return device;
    }
    // A sine source of this test's own (48 kHz).
    QString LoadSine(const QString& name, int frequency) {
        const QString m = Pactl({"load-module", "module-sine-source", "source_name=" + name, "rate=48000",
                                 "frequency=" + QString::number(frequency)});
        if (!m.isEmpty()) modules << m;
        return m;
    }
    // The meters' ticks, by hand, for `ms` of event-loop time.
    void TickMeters(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            Main()->meterTick();
            QTest::qWait(ui::MainWindow::kMeterPeriodMs);
        }
    }
    bool TickMetersUntil(const std::function<bool()>& done, int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            Main()->meterTick();
            if (done()) return true;
            QTest::qWait(ui::MainWindow::kMeterPeriodMs);
        }
        return done();
    }
    int IncidentsWith(const QString& text) const { return int(Trace().ListeIncidents.filter(text).size()); }

    std::unique_ptr<ui::ProgramShell> shell;
    QStringList modules;
    QList<QProcess*> players;
};

// Loudest sample of a source over half a second, read by the sound server's
// own recorder (not by the program): the level the meters must show.
double TrueLevelDbfs(const QString& source) {
    QProcess rec;
    rec.start("parec", {"-d", source, "--raw", "--format=float32le", "--channels=1", "--rate=48000",
                        "--latency-msec=20"});
    if (!rec.waitForStarted(5000)) return NAN;
    QTest::qWait(700);
    rec.kill();
    rec.waitForFinished(3000);
    const QByteArray raw = rec.readAllStandardOutput();
    const auto* f = reinterpret_cast<const float*>(raw.constData());
    const qsizetype n = raw.size() / qsizetype(sizeof(float));
    if (n < 4800) return NAN;
    float peak = 0;
    for (qsizetype k = 0; k < n; ++k) peak = std::max(peak, std::fabs(f[k]));
    return 20.0 * std::log10(double(peak));
}

}  // namespace

TEST_F(OperatorViewTest, ReadOnlyDestinationFolderFailsLoudlyAndStopReturnsToIdle) {
    const QString folder = Folder(QStringLiteral("Lecture seule"));
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Essai"));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    WithoutFileModeOverride operatorAccount;

    QTest::mouseClick(Frame(0).record, Qt::LeftButton);
    platform::LetEventsRunFor(300);
    Main()->refreshPanels();
    const RecorderStatusView v = RecorderStatusOf(0);
    EXPECT_EQ(v.Activity, RecorderActivity::Failed) << v.Cause.toStdString();
    EXPECT_TRUE(v.Cause.contains(QStringLiteral("Permission denied"))) << v.Cause.toStdString();
    const QString state = Frame(0).state->text();
    EXPECT_TRUE(state.startsWith(QStringLiteral("Échec : "))) << state.toStdString();
    EXPECT_TRUE(state.contains(QStringLiteral("Permission denied"))) << state.toStdString();
    EXPECT_TRUE(Frame(0).state->styleSheet().contains(QStringLiteral("#ef4444"))) << "failed is told in red";
    EXPECT_EQ(IncidentsWith(QStringLiteral("Permission denied")), 1) << Trace().ListeIncidents.join("\n").toStdString();
    EXPECT_TRUE(RecordButton(0).Checked()) << "the recording stays wanted";
    EXPECT_FALSE(Frame(0).record->lit()) << "REC is not lit: no file is written";
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusNone);
    EXPECT_TRUE(FilesIn(folder).isEmpty());

    QTest::mouseClick(Frame(0).stop, Qt::LeftButton);
    platform::LetEventsRunFor(300);
    Main()->refreshPanels();
    EXPECT_EQ(RecorderStatusOf(0).Activity, RecorderActivity::Idle);
    EXPECT_EQ(Frame(0).state->text(), QStringLiteral("Arrêt"));
    EXPECT_FALSE(RecordButton(0).Checked());
    EXPECT_FALSE(Frame(0).record->lit());
}

TEST_F(OperatorViewTest, MissingDeviceIsShownMissingAndNothingRecordsFromAnotherSource) {
    const QString folder = Folder(QStringLiteral("Absent"));
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Essai"));
    // The settings name a device that is not there; the test tone is.
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.DeviceName = QStringLiteral("qr_gone"); });
    BindRecorderDevice(0, QStringLiteral("0"));
    ASSERT_TRUE(Rec(0).health().WaitingForDevice);

    ui::SetupWindow* setup = shell->setupWindow();
    setup->show();
    QApplication::processEvents();
    QComboBox* combo = setup->deviceCombo(0);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentIndex(), -1) << "no other device is shown as chosen";
    EXPECT_EQ(combo->currentText(), QString());
    EXPECT_EQ(combo->placeholderText(), QStringLiteral("qr_gone (absent)"));
    EXPECT_GT(combo->count(), 0) << "the devices that are there stay offered";

    Main()->refreshPanels();
    EXPECT_TRUE(Frame(0).status->text().startsWith(QStringLiteral("qr_gone (absent)"))) << Frame(0).status->text().toStdString();
    EXPECT_TRUE(Frame(0).state->text().startsWith(QStringLiteral("En attente du périphérique"))) << Frame(0).state->text().toStdString();

    // REC: nothing records, from the tone or anything else.
    QTest::mouseClick(Frame(0).record, Qt::LeftButton);
    platform::LetEventsRunFor(800);
    Main()->meterTick();
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusNone);
    EXPECT_TRUE(FilesIn(folder).isEmpty());
    EXPECT_FALSE(Frame(0).record->lit());
    EXPECT_FALSE(IdleLevelsRunning(0)) << "the meters measure no other device either";
    EXPECT_EQ(::Setup().ComboInputDevices[0].listIndex(), -1);
    QTest::mouseClick(Frame(0).stop, Qt::LeftButton);
    platform::LetEventsRunFor(300);
    EXPECT_FALSE(RecordButton(0).Checked());

    // The operator chooses another device: it is shown, the wait ends.
    ::Setup().ComboInputDevices[0].setListIndex(toneDevice);
    QApplication::processEvents();
    EXPECT_FALSE(Rec(0).health().WaitingForDevice);
    EXPECT_EQ(combo->currentIndex(), toneDevice);
    EXPECT_EQ(combo->placeholderText(), QString());
    EXPECT_EQ(Rec(0).config().DeviceName, QStringLiteral("test-tone"));
}

TEST_F(OperatorViewTest, DeviceThatLeavesIsShownByItsNameMarkedAbsentAndGreyedInTheList) {
    if (!HaveServer()) GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
    const QString name = QStringLiteral("qr_leaving_%1").arg(::getpid());
    const QString module = LoadSine(name, 1000);
    ASSERT_FALSE(module.isEmpty());
    const int device = DeviceNamed(name);
    ASSERT_GE(device, 0);
    Prepare(0, 1, Folder(QStringLiteral("Départ")));
    ChooseDevice(0, device);
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.DeviceName = name; });
    BindRecorderDevice(0, QString::number(device));
    ASSERT_FALSE(Rec(0).health().WaitingForDevice);
    const QString description = Engine(0).InputDeviceName(device);
    ui::SetupWindow* setup = shell->setupWindow();
    setup->show();
    QApplication::processEvents();
    QComboBox* combo = setup->deviceCombo(0);
    EXPECT_EQ(combo->currentIndex(), device);
    EXPECT_EQ(combo->placeholderText(), QString());

    // The source goes away.
    Pactl({"unload-module", module});
    modules.removeAll(module);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return Rec(0).health().WaitingForDevice; }, 5000));
    QApplication::processEvents();
    EXPECT_EQ(combo->currentIndex(), -1) << "no other device takes its place";
    EXPECT_EQ(combo->placeholderText(), description + QStringLiteral(" (absent)"));
    ASSERT_GT(combo->count(), device);
    EXPECT_EQ(combo->itemData(device, Qt::ForegroundRole).value<QColor>(), QColor(140, 140, 140)) << "greyed in the list";
    EXPECT_FALSE(combo->itemData(toneDevice, Qt::ForegroundRole).isValid()) << "a device that is there is not";
    Main()->refreshPanels();
    EXPECT_TRUE(Frame(0).status->text().startsWith(description + QStringLiteral(" (absent)")));
    EXPECT_EQ(Frame(0).state->text(), QStringLiteral("En attente du périphérique"));
}

TEST_F(OperatorViewTest, MetersReadTheSourceWithinOneDecibelWhileIdleAndWhileRecording) {
    if (!HaveServer()) GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
    const QString name = QStringLiteral("qr_meter_sine_%1").arg(::getpid());
    ASSERT_FALSE(LoadSine(name, 440).isEmpty());
    const int device = DeviceNamed(name);
    ASSERT_GE(device, 0);
    const double truth = TrueLevelDbfs(name);
    ASSERT_TRUE(std::isfinite(truth));
    ASSERT_GT(truth, -40.0) << "the sine source is audible";

    const QString folder = Folder(QStringLiteral("Niveaux"));
    Prepare(0, 1, folder);
    ChooseDevice(0, device);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Niveau"));
    ui::PeakMeterWidget* meter = Frame(0).meter;

    // In service and idle: the meters move, from a peak stream of the device.
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusNone);
    ASSERT_TRUE(TickMetersUntil([&] { return meter->ballistics().channels() == 2 && meter->ballistics().levelDb()[0] > -50; }, 5000))
        << "the meter of an idle recorder stays dark";
    EXPECT_TRUE(IdleLevelsRunning(0));
    EXPECT_EQ(IdleLevelsSource(0), name);
    EXPECT_TRUE(platform::capture::LevelMonitor::Instance().Streaming(0));
    TickMeters(600);
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(meter->ballistics().levelDb()[c], truth, 1.0) << "channel " << c;
        EXPECT_NEAR(meter->ballistics().peakDb()[c], truth, 1.0) << "channel " << c;
    }
    EXPECT_FALSE(meter->clipLit());
    // The monitor's own peaks, through the meter model.
    ui::MeterBallistics model;
    model.update(platform::capture::LevelMonitor::Instance().TakePeaks(0), 0.04);
    ASSERT_EQ(model.channels(), 2);
    EXPECT_NEAR(model.levelDb()[0], truth, 1.0);

    // Recording: the idle stream ends before the start, the engine's levels
    // take over.
    Record(0);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return RecorderEngineRecording(0); }, 5000));
    EXPECT_FALSE(IdleLevelsRunning(0)) << "no second stream on the device while it records";
    TickMeters(800);
    const QVector<double> shown = meter->ballistics().levelDb();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_FALSE(IdleLevelsRunning(0));
    Stop(0);
    // What the file holds is what the meter had to show.
    const QStringList files = FilesIn(folder);
    ASSERT_EQ(files.size(), 1);
    const Probe probe = ProbeFile(folder + files[0]);
    ASSERT_TRUE(probe.ok);
    const QVector<qint16> samples = DecodeFirstChannel(folder + files[0], probe.channels);
    ASSERT_GT(samples.size(), 24000) << "half a second at least";
    int peak = 0;
    for (qint16 v : samples) peak = std::max(peak, std::abs(int(v)));
    const double recorded = 20.0 * std::log10(peak / 32768.0);
    EXPECT_NEAR(recorded, truth, 1.0) << "the recording took the source as it was";
    for (int c = 0; c < shown.size(); ++c) EXPECT_NEAR(shown[c], recorded, 1.0) << "channel " << c;
    ASSERT_TRUE(TickMetersUntil([&] { return IdleLevelsRunning(0); }, 2000)) << "idle again: measured again";

    // A window that is not seen measures nothing.
    Main()->hide();
    QApplication::processEvents();
    EXPECT_FALSE(IdleLevelsRunning(0));
    EXPECT_FALSE(platform::capture::LevelMonitor::Instance().Streaming(0));
}

TEST_F(OperatorViewTest, FullScaleSignalLightsTheClipSignUntilItIsClicked) {
    if (!HaveServer()) GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
    // An output of this test's own; its monitor is the recorder's input.
    const QString sink = QStringLiteral("qr_clip_%1").arg(::getpid());
    const QString m = Pactl({"load-module", "module-null-sink", "sink_name=" + sink});
    ASSERT_FALSE(m.isEmpty());
    modules << m;
    const int device = DeviceNamed(sink + QStringLiteral(".monitor"));
    ASSERT_GE(device, 0);
    Prepare(0, 1, Folder(QStringLiteral("Saturation")));
    ChooseDevice(0, device);
    ui::PeakMeterWidget* meter = Frame(0).meter;

    // Silence first: the sign stays dark.
    ASSERT_TRUE(TickMetersUntil([&] { return platform::capture::LevelMonitor::Instance().Deliveries(0) >= 5; }, 5000));
    EXPECT_FALSE(meter->clipLit());

    // A generated full-scale sine (1 kHz, 16 bits, both channels) played into it.
    const QString raw = drive + QStringLiteral("fullscale.raw");
    {
        QByteArray pcm;
        for (int k = 0; k < 48000 * 3; ++k) {
            const qint16 v = qint16(std::lround(32767.0 * std::sin(2.0 * M_PI * 1000.0 * k / 48000.0)));
            pcm.append(reinterpret_cast<const char*>(&v), 2);
            pcm.append(reinterpret_cast<const char*>(&v), 2);
        }
        QFile f(raw);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pcm);
    }
    auto* player = new QProcess;
    players << player;
    player->start("pacat", {"--playback", "-d", sink, "--raw", "--format=s16le", "--rate=48000", "--channels=2", raw});
    ASSERT_TRUE(player->waitForStarted(5000));
    ASSERT_TRUE(TickMetersUntil([&] { return meter->clipLit(); }, 5000)) << "a full-scale signal lights SAT";

    // The signal ends: the level falls, the sign stays.
    player->waitForFinished(8000);
    TickMeters(2500);
    EXPECT_LT(meter->ballistics().levelDb()[0], -40.0);
    EXPECT_TRUE(meter->clipLit()) << "it stays lit until it is clicked";
    QTest::mouseClick(meter, Qt::LeftButton, {}, meter->barsRect().center());
    EXPECT_TRUE(meter->clipLit()) << "a click beside the sign leaves it";
    QTest::mouseClick(meter, Qt::LeftButton, {}, meter->clipSignRect().center());
    EXPECT_FALSE(meter->clipLit());
    TickMeters(300);
    EXPECT_FALSE(meter->clipLit()) << "silence does not light it again";

    // While it records: a crest of 30 ms between two readings of the meter
    // lights the sign too.
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Crête"));
    Record(0);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return RecorderEngineRecording(0); }, 5000));
    TickMeters(300);
    ASSERT_FALSE(meter->clipLit());
    {
        QByteArray pcm(48000 * 4 / 2, '\0');  // half a second of silence, then the crest
        for (int k = 0; k < 48 * 30; ++k) {
            const qint16 v = qint16(std::lround(32767.0 * std::sin(2.0 * M_PI * 1000.0 * k / 48000.0)));
            pcm.append(reinterpret_cast<const char*>(&v), 2);
            pcm.append(reinterpret_cast<const char*>(&v), 2);
        }
        pcm.append(QByteArray(48000 * 4 / 2, '\0'));
        QFile f(raw);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(pcm);
    }
    auto* crest = new QProcess;
    players << crest;
    crest->start("pacat", {"--playback", "-d", sink, "--raw", "--format=s16le", "--rate=48000", "--channels=2", raw});
    ASSERT_TRUE(crest->waitForStarted(5000));
    // Read as the window reads: one reading every 40 ms, nothing in between.
    EXPECT_TRUE(TickMetersUntil([&] { return meter->clipLit(); }, 4000)) << "the crest was missed";
    Stop(0);
}

TEST_F(OperatorViewTest, LittleRoomLeftTurnsTheStatusOrangeThenRedWithOneIncident) {
    const QString folder = Folder(QStringLiteral("Petit disque"));
    // About four gigabytes free: some six hours of 48 kHz stereo WAV.
    SizedDisk disk(folder, "4g");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (" << disk.why().toStdString() << ")";
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Espace"));
    Record(0);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return RecorderEngineRecording(0); }, 5000));

    Main()->refreshPanels();
    RecorderPanel p = RecorderPanelOf(0);
    EXPECT_EQ(p.TimeLeftTone, PanelTone::Warning) << p.Status.toStdString();
    EXPECT_GT(p.SecondsLeft, kTimeLeftAlarmSeconds);
    EXPECT_LT(p.SecondsLeft, kTimeLeftWarningSeconds);
    EXPECT_TRUE(Frame(0).status->styleSheet().contains(QStringLiteral("#f59e0b"))) << "orange under 24 h";
    EXPECT_TRUE(Frame(0).status->text().contains(QStringLiteral("Libre : "))) << Frame(0).status->text().toStdString();
    clock.advanceMs(6000);
    SuperviseTimeLeft();
    EXPECT_EQ(IncidentsWith(QStringLiteral("disk nearly full")), 0);

    // Some sixty megabytes left: minutes.
    ASSERT_TRUE(disk.resize("64m"));
    Main()->refreshPanels();
    p = RecorderPanelOf(0);
    EXPECT_EQ(p.TimeLeftTone, PanelTone::Alarm) << p.Status.toStdString();
    EXPECT_LT(p.SecondsLeft, kTimeLeftAlarmSeconds);
    EXPECT_TRUE(Frame(0).status->styleSheet().contains(QStringLiteral("#ef4444"))) << "red under 2 h";
    clock.advanceMs(6000);
    SuperviseTimeLeft();
    clock.advanceMs(6000);
    SuperviseTimeLeft();
    EXPECT_EQ(IncidentsWith(QStringLiteral("Rec. 1: disk nearly full: ")), 1) << Trace().ListeIncidents.join("\n").toStdString();
    Stop(0);
}

TEST_F(OperatorViewTest, FinishedRecordingAppearsInItsGridWithinASecondWithItsLength) {
    const QString folder = Folder(QStringLiteral("Grille"));
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Prise"));
    InitAffichageHisto(0);
    Main()->tabs()->setCurrentWidget(Frame(0).tabPage);
    QAbstractItemModel* grid = Frame(0).grid->model();
    ASSERT_EQ(grid->rowCount(), 0);
    QTest::mouseClick(Frame(0).record, Qt::LeftButton);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return RecorderEngineRecording(0); }, 5000));
    platform::LetEventsRunFor(2300);
    const int before = Finalisations(0);
    QTest::mouseClick(Frame(0).stop, Qt::LeftButton);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return Finalisations(0) > before; }, 10000));

    // Within a second of the end of the file: its row, with its length.
    QElapsedTimer shown;
    shown.start();
    const bool listed = platform::WaitInEventLoop([&] {
        return grid->rowCount() == 1 && !grid->data(grid->index(0, kHistoColumnDuration)).toString().isEmpty();
    }, 1000);
    ASSERT_TRUE(listed) << "rows " << grid->rowCount() << " after " << shown.elapsed() << " ms";
    EXPECT_EQ(grid->data(grid->index(0, kHistoColumnName)).toString(), QStringLiteral("Prise.wav"));
    const QString path = folder + QStringLiteral("Prise.wav");
    const QVector<qint16> samples = DecodeFirstChannel(path, 2);
    ASSERT_GT(samples.size(), 48000);
    const qint64 decodedMs = qint64(std::llround(samples.size() * 1000.0 / 48000.0));
    const HistoryEntry& entry = MSFlexGridHisto(0).Rows.at(0);
    EXPECT_NEAR(double(entry.durationMs), double(decodedMs), 30.0);
    EXPECT_EQ(grid->data(grid->index(0, kHistoColumnDuration)).toString(), HistoryDurationText(decodedMs));
}
