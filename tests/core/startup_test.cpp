// Start-up of the main window: command line, quality texts, folders of the
// family configuration, the recorders in service and the components check.
#include "core/main_window_state.h"
#include "main_window_sandbox.h"

#include "platform/capture/encoder_check.h"
#include "platform/os.h"

#include <QDir>
#include <QFileInfo>

namespace {

class StartupTest : public MainWindowSandbox {};

TEST_F(StartupTest, CommandLineSelectsTheInstance) {
    struct Case { QString line; int instance; };
    const QList<Case> cases = {
        {"", 0},
        {"/Debug /Other=4", 0},
        {"/iNsTaNcE=3", 3},
        {"/I=12abc", 10},
        {"/Instance=0", 1},
        {"/Instance=x", 1},
        {"/Instance=   7 /I=2", 7},
        {"/I=4 /Instance=6", 6},  // the long key is looked for first
        {"/I=2 /I=5", 2},          // first occurrence only
        {"/I=99999999999999999999", 10},
    };
    for (const Case& c : cases) {
        App().InstanceNumber = 42;
        AnalyseChaineCommand(c.line);
        EXPECT_EQ(App().InstanceNumber, c.instance) << c.line.toStdString();
    }
    EXPECT_EQ(countLines("Command Line: '/iNsTaNcE=3'$"), 1);
    EXPECT_EQ(countLines("Instance: 3$"), 1);
    // No key, no instance line.
    EXPECT_EQ(countLines("Instance: 0$"), 0);
}

TEST_F(StartupTest, QualityTextsGiveRateDepthAndChannels) {
    EXPECT_EQ(DetermineFrequence("22050 Hz, 8 bits, mono", 44100), 22050);
    EXPECT_EQ(DetermineBit("22050 Hz, 8 bits, mono", 16), 8);
    EXPECT_EQ(DetermineChannel("22050 Hz, 8 bits, mono", 2), 1);

    EXPECT_EQ(DetermineFrequence("Studio 16 bits", 44100), 44100);
    EXPECT_EQ(DetermineBit("Studio 16 bits", 8), 16);
    EXPECT_EQ(DetermineChannel("Studio 16 bits", 1), 2);

    EXPECT_EQ(DetermineBit("48000 Hz, 24 bits, MONO", 16), 24);
    EXPECT_EQ(DetermineChannel("48000 Hz, 24 bits, MONO", 2), 1);
    EXPECT_EQ(DetermineBit("96000 Hz, 32 bits, stereo", 16), 32);
    // A rate written after a word must not pass for the depth.
    EXPECT_EQ(DetermineBit("Rate 16000 Hz, 24 bits", 8), 24);
    EXPECT_EQ(DetermineBit("44100 Hz, 12 bits", 16), 8);
    EXPECT_EQ(DetermineFrequence("", 32000), 32000);
    EXPECT_EQ(DetermineFrequence("-44100 Hz", 48000), 48000);
}

TEST_F(StartupTest, FoldersComeFromTheFamilyBases) {
    writeSettings(2);
    QStringList bases;
    for (int b = 1; b <= kRecorders; ++b) {
        bases << QString("[Base_%1]").arg(b, 2, 10, QChar('0'));
        // Base_03 leaves its local folder blank: the default applies.
        bases << "Dossier_Local=" + (b == 3 ? QString() : drive + QString("Local%1").arg(b));
        bases << "Dossier_Log=" + drive + QString("Logs%1/").arg(b);
    }
    writeFile(configFolder() + "VM3_Systeme.ini", bases);

    startProgram();

    for (int i = 0; i < kRecorders; ++i) {
        const QString local = i == 2 ? appFolder() + "Settings/_Local/" : drive + QString("Local%1/").arg(i + 1);
        const QString sound = local + QString("Sons_Quillon_Recorder_%1/").arg(i, 2, 10, QChar('0'));
        EXPECT_EQ(Rec(i).config().ConfigFolder, configFolder());
        EXPECT_EQ(Rec(i).config().LocalFolder, local);
        EXPECT_EQ(Rec(i).config().LocalSoundFolder, sound);
        EXPECT_TRUE(QFileInfo(sound).isDir()) << sound.toStdString();
        EXPECT_EQ(countLines(QString(": :%1: :Local_Sound_Folder: ").arg(i) + QRegularExpression::escape(sound) + "$"), 1);
    }
    // One log folder, from the last base, though only two recorders are in service.
    const QString log = drive + "Logs8/Histo_VM3_Quillon_Recorder/";
    EXPECT_EQ(MainState().LogFolder, log);
    EXPECT_EQ(Trace().LogFolder, log);
    EXPECT_TRUE(QFileInfo(log).isDir());
    // The start-up is written to the daily file of that folder.
    const QString written = fileText(log + "20240319.Log");
    EXPECT_TRUE(written.contains("Form_Load: Start"));
    EXPECT_TRUE(written.contains("Log_Folder: " + log));
}

TEST_F(StartupTest, DefaultFoldersWithoutFamilyConfiguration) {
    startProgram();
    EXPECT_EQ(Rec(0).config().LocalFolder, appFolder() + "Settings/_Local/");
    EXPECT_EQ(Rec(7).config().LocalSoundFolder, appFolder() + "Settings/_Local/Sons_Quillon_Recorder_07/");
    EXPECT_EQ(MainState().LogFolder, drive + "AudioLog/Histo_VM3_Quillon_Recorder/");
    EXPECT_TRUE(QFileInfo(drive + "AudioLog/Histo_VM3_Quillon_Recorder/20240319.Log").isFile());
}

TEST_F(StartupTest, OnlyRecordersInServiceAreInitialisedButAllSlidersGetTheirVolume) {
    const QList<int> volumes = {10, 20, 30, 40, 50, 60, 70, 80};
    writeSettings(3, volumes);
    startProgram();
    if (!engineReady()) GTEST_SKIP() << "capture engine not available";

    EXPECT_EQ(RecordersInService(), 3);
    for (int i = 0; i < kRecorders; ++i) {
        const bool inService = i < 3;
        EXPECT_EQ(::Setup().ComboInputDevices[i].count() > 0, inService) << i;
        EXPECT_EQ(countLines(QString(": :%1: :Init DirectX: In$").arg(i)), inService ? 1 : 0) << i;
        const SliderCtl& slider = S().main.rec[i].Slider1;
        EXPECT_EQ(slider.value(), volumes[i]) << i;
        EXPECT_EQ(slider.min(), 0);
        EXPECT_EQ(slider.max(), 100);
        EXPECT_EQ(slider.step(), 10);
        EXPECT_EQ(Rec(i).config().Volume, volumes[i]);
        EXPECT_TRUE(S().main.rec[i].LabelFondChrono.opaque());
        EXPECT_EQ(S().main.rec[i].LabelFondChrono.backColor(), long(RgbColor(0, 0, 0)));
    }
    for (int i = 0; i < 3; ++i) {
        platform::ActiveSoundRecorder* e = Rec(i).engine();
        EXPECT_EQ(S().main.rec[i].Picture1.backColor(), long(RgbColor(28, 0, 0)));
        EXPECT_EQ(S().main.rec[i].Picture4.backColor(), long(RgbColor(28, 0, 0)));
        EXPECT_TRUE(e->MeterDisplay1.enabled && e->MeterDisplay2.enabled);
        EXPECT_EQ(e->MeterDisplay1.colors[1], RgbColor(245, 213, 0));
        EXPECT_EQ(e->MeterDisplay2.colors[2], RgbColor(205, 92, 92));
        EXPECT_TRUE(S().main.rec[i].LabelChrono.text().isEmpty());
    }
    EXPECT_GE(MainState().ControlVersion, 4.0);
    EXPECT_FALSE(Trace().AsrecmmsVersion.isEmpty());

    // The end of the load.
    EXPECT_TRUE(MainState().StartupDone);
    EXPECT_FALSE(SetupFlags().SettingsModified);
    EXPECT_TRUE(MainState().WindowShown);
    EXPECT_FALSE(S().main.IncidentsTab.visible());
    EXPECT_TRUE(MainState().SplashVisible);
    EXPECT_EQ(MainState().SplashText, "Quillon Recorder: Init: Available formats");
    EXPECT_EQ(S().main.caption, "Velmora: Quillon Recorder - " + VersionApplication());
    EXPECT_EQ(App().MainWindowCaption, S().main.caption);
    EXPECT_TRUE(MainTimers().Timer1.isActive());
    EXPECT_EQ(MainTimers().Timer1.interval(), 100);
    EXPECT_TRUE(MainTimers().TimerFormat.isActive());
    EXPECT_EQ(MainTimers().TimerFormat.interval(), 4000);
    EXPECT_LT(allTrace().indexOf("Form_Load: Start"), allTrace().indexOf("Form_Load: End"));
}

TEST_F(StartupTest, StoredVolumeReachesTheDeviceAndOtherSlidersLeaveItAlone) {
    // Recorder 1 in service at 30; the seven others (same default device and
    // line) keep 90 on their sliders only.
    writeSettings(1, {30, 90, 90, 90, 90, 90, 90, 90});
    startProgram();
    if (!engineReady()) GTEST_SKIP() << "capture engine not available";
    platform::ActiveSoundRecorder* e = Rec(0).engine();
    const int device = ::Setup().ComboInputDevices[0].listIndex();
    const int line = qMax(0, ::Setup().ComboInputChannels[0].listIndex());
    if (e->InputLevelGet(device, line) < 0) GTEST_SKIP() << "device without level control";
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return e->InputLevelGet(device, line) == 30; }, 3000))
        << e->InputLevelGet(device, line);
    EXPECT_EQ(S().main.rec[7].Slider1.value(), 90);

    // The operator moves the slider: the device and the slot follow.
    S().main.rec[0].Slider1.scrollTo(60);
    EXPECT_EQ(Rec(0).config().Volume, 60);
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return e->InputLevelGet(device, line) == 60; }, 3000));

    // The setup window's hook shows a level; an unknown level changes nothing.
    Hooks().AfficherNiveauRecord(0, 40);
    EXPECT_EQ(S().main.rec[0].Slider1.value(), 40);
    AfficherNiveauRecord(0, -1);
    EXPECT_EQ(S().main.rec[0].Slider1.value(), 40);
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return e->InputLevelGet(device, line) == 40; }, 3000));
}

TEST_F(StartupTest, StoredDeviceThatIsNotThereIsNeverReplacedByAnother) {
    writeFile(settingsPath(), {"[Recorder_00]", "Actif=ON", "Device=99", "Channel=0", "[Recorder_01]", "Actif=ON",
                               "Device=abc", "[Recorder_02]", "Actif=ON", "Device=1", "DeviceName=qr_gone"});
    startProgram();
    if (!engineReady()) GTEST_SKIP() << "capture engine not available";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(::Setup().ComboInputDevices[i].listIndex(), -1) << "recorder " << i;
        EXPECT_TRUE(Rec(i).health().WaitingForDevice) << "recorder " << i;
    }
    // The stored values stay as they were, for the next save.
    EXPECT_EQ(Rec(0).config().DeviceIndex, 99);
    EXPECT_EQ(Rec(2).config().DeviceName, "qr_gone");
    const QString incidents = Trace().ListeIncidents.join("\n");
    EXPECT_TRUE(incidents.contains("Rec. 1: device number 99 is not there")) << incidents.toStdString();
    EXPECT_TRUE(incidents.contains("Rec. 2: device 'abc' is not there")) << incidents.toStdString();
    EXPECT_TRUE(incidents.contains("Rec. 3: device 'qr_gone' is not there")) << incidents.toStdString();
    const RecorderStatusView v = RecorderStatusOf(2);
    EXPECT_EQ(v.Activity, RecorderActivity::WaitingForDevice);
    EXPECT_EQ(v.Cause, "device 'qr_gone' is not there");

    // The logging start that follows is refused without a second incident,
    // and no file is made.
    ::Setup().CheckPigeAntenne[2].setChecked(true);
    S().main.rec[2].XPButtonRecord.setChecked(true);
    BtnRecordOn(2);
    EXPECT_EQ(Trace().ListeIncidents.join("\n").count("qr_gone"), 1);
    EXPECT_TRUE(Rec(2).health().Lost);
    EXPECT_TRUE(S().main.rec[2].XPButtonRecord.Checked()) << "the recording stays wanted";
    EXPECT_TRUE(QDir(Rec(2).config().RecordFolder).entryList(QDir::Files).isEmpty());
}

TEST_F(StartupTest, DeviceIsFoundByItsNameWhereverTheServerPutsIt) {
    writeFile(settingsPath(), {"[Recorder_00]", "Actif=ON", "Device=0", "DeviceName=test-tone"});
    startProgram();
    if (!engineReady()) GTEST_SKIP() << "capture engine not available";
    platform::ActiveSoundRecorder& e = *Rec(0).engine();
    const int tone = e.InputDeviceIndexOf("test-tone");
    ASSERT_GT(tone, 0) << "the test tone comes after the server's sources";
    EXPECT_EQ(::Setup().ComboInputDevices[0].listIndex(), tone);
    EXPECT_EQ(Rec(0).config().DeviceIndex, tone);
    EXPECT_FALSE(Rec(0).health().WaitingForDevice);
    EXPECT_EQ(countLines("Device 'test-tone' found at number " + QString::number(tone) + " \\(stored number 0\\)$"), 1);

    // A settings file without the name: the device of the stored number, whose
    // name is kept from now on.
    restart();
    writeFile(settingsPath(), {"[Recorder_00]", "Actif=ON", "Device=" + QString::number(tone)});
    startProgram();
    EXPECT_EQ(::Setup().ComboInputDevices[0].listIndex(), tone);
    EXPECT_EQ(LectureIni(settingsPath(), "Recorder_00", "DeviceName", "?"), "test-tone");
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty()) << Trace().ListeIncidents.join("\n").toStdString();
}

TEST_F(StartupTest, InstanceOfTheCommandLineSelectsItsSettingsFile) {
    writeFile(settingsPath(3), {"[Recorder_00]", "Actif=ON", "Volume=35"});
    writeSettings(1, {80});
    MainState().CommandLine = "/Instance=3";
    startProgram();
    EXPECT_EQ(App().InstanceNumber, 3);
    EXPECT_EQ(S().main.rec[0].Slider1.value(), 35);
}

TEST_F(StartupTest, AllEncodersOfTheFormatListArePresent) {
    EXPECT_EQ(platform::MissingEncoders(), QStringList());
    Form_Initialize();
    EXPECT_FALSE(MainState().ComponentsMissing);
    EXPECT_EQ(App().ApplicationFolder, appFolder());
    EXPECT_TRUE(App().UseDefaultRoot);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(StartupTest, ApplicationFolderFromTheEnvironment) {
    qputenv("VELMORA_APP_FOLDER", (drive + "Elsewhere").toUtf8());
    Form_Initialize();
    qunsetenv("VELMORA_APP_FOLDER");
    EXPECT_EQ(App().ApplicationFolder, drive + "Elsewhere/");
    EXPECT_FALSE(App().UseDefaultRoot);
}

TEST_F(StartupTest, MissingComponentsStopTheStartWithTheInstallerAddress) {
    writeSettings(1, {55});
    qputenv("QUILLON_COMPONENTS_URL", "https://example.org/installer.run");
    SetComponentsCheck([] { return QStringList{"libmp3lame", "asf"}; });
    dialogs.boxAnswer = MsgNo;
    Form_Initialize();
    qunsetenv("QUILLON_COMPONENTS_URL");

    EXPECT_TRUE(MainState().ComponentsMissing);
    EXPECT_TRUE(App().ApplicationFolder.isEmpty());
    ASSERT_EQ(dialogs.boxes.size(), 2);
    const auto& error = dialogs.boxes[0];
    EXPECT_EQ(error.title, "Installation des composants Velmora");
    EXPECT_EQ(error.icon, MsgIcon::Critical);
    EXPECT_TRUE(error.text.startsWith(
        "\n\nCette mise-à-jour nécessite l'installation de la version 3.47.030 des composants Velmora"));
    EXPECT_TRUE(error.text.contains("\nVeuillez faire d'abord cette installation et relancer ensuite le programme\n"));
    EXPECT_TRUE(error.text.endsWith("Fichier pour faire cette installation:\nhttps://example.org/installer.run"));
    const auto& question = dialogs.boxes[1];
    EXPECT_EQ(question.title, "Installation des composants Velmora");
    EXPECT_EQ(question.text, "Voulez-vous télécharger le fichier et faire l'installation ?");
    EXPECT_EQ(question.buttons, MsgButtons::YesNo);

    // The load then only ends the process: nothing created, nothing saved.
    Form_Load();
    EXPECT_EQ(processEnds, 1);
    EXPECT_FALSE(MainState().StartupDone);
    EXPECT_TRUE(S().main.caption.isEmpty());
    EXPECT_EQ(Rec(0).engine(), nullptr);
    EXPECT_EQ(LectureIni(settingsPath(), "Recorder_00", "Volume", "?"), "55");
    EXPECT_EQ(LectureIni(settingsPath(), "Recorder_01", "Volume", "?"), "?");
}

}  // namespace
