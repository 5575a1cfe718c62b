// Device, line, quality, format and characteristic lists of a recorder,
// against a capture source whose answers the test chooses.
#include "core/main_window_state.h"
#include "settings_fixture.h"

#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"

namespace {

class FakeDevices : public InputDeviceSource {
public:
    struct Device {
        QStringList lines;
        int defaultLine = 0;
        QList<int> levels;
        int formatCount = 0;  // negative: still enumerating
        QStringList formats;
    };
    QList<Device> devices;
    int setDefaultResult = 0;
    QList<QPair<int, int>> defaultsSet;

    int InputChannelCount(int d) override { return valid(d) ? int(devices[d].lines.size()) : 0; }
    QString InputChannelName(int d, int l) override { return valid(d) ? devices[d].lines.value(l) : QString(); }
    int InputChannelDefaultGet(int d) override { return valid(d) ? devices[d].defaultLine : -50; }
    int SetInputDeviceChannelDefault(int d, int l) override {
        defaultsSet.append({d, l});
        return setDefaultResult;
    }
    int InputLevelGet(int d, int l) override { return valid(d) ? devices[d].levels.value(l, -1) : -1; }
    int InputFormatCount(int d) override { return valid(d) ? devices[d].formatCount : 0; }
    QString InputFormatText(int d, int k) override { return valid(d) ? devices[d].formats.value(k) : QString(); }

private:
    bool valid(int d) const { return d >= 0 && d < devices.size(); }
};

class InputSelectionTest : public SettingsTest {
protected:
    FakeDevices fake;
    QList<QPair<int, int>> levelsShown;

    void SetUp() override {
        SettingsTest::SetUp();
        SetInputDeviceSourceOverride([this](int) { return &fake; });
        Hooks().AfficherNiveauRecord = [this](int r, int level) { levelsShown.append({r, level}); };
        FrmSetup_Form_Load();
    }

    void AddDevice(const QStringList& lines, int formatCount, const QStringList& formats,
                   const QList<int>& levels = {}) {
        fake.devices.append({lines, 0, levels, formatCount, formats});
        ::Setup().ComboInputDevices[0].addItem("Device " + QString::number(fake.devices.size()));
    }
};

}  // namespace

TEST_F(InputSelectionTest, ChoosingADeviceFillsItsLinesAndQualities) {
    AddDevice({"Line A"}, 1, {"8000 Hz"});
    AddDevice({"Front", "Rear", "Monitor"}, 2, {"44100 Hz, 16 bits, stereo", "22050 Hz, 8 bits, mono"}, {10, 55, 90});
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.ChannelIndex = 1; });
    ::Setup().ComboInputDevices[0].setListIndex(1);

    FrmSetupControls& c = ::Setup();
    EXPECT_EQ(Rec(0).config().DeviceIndex, 1);
    EXPECT_EQ(c.ComboInputChannels[0].entries(), QStringList({"Front", "Rear", "Monitor"}));
    EXPECT_EQ(c.ComboInputChannels[0].text(), "Rear");
    EXPECT_EQ(Rec(0).config().ChannelIndex, 1);
    ASSERT_FALSE(fake.defaultsSet.isEmpty());
    EXPECT_EQ(fake.defaultsSet.last(), qMakePair(1, 1));
    // The line's level goes to the slot and to the main window's slider.
    EXPECT_EQ(Rec(0).config().Volume, 55);
    ASSERT_FALSE(levelsShown.isEmpty());
    EXPECT_EQ(levelsShown.last(), qMakePair(0, 55));
    EXPECT_EQ(c.ComboInputQuality[0].count(), 2);
    EXPECT_TRUE(c.ComboInputQuality[0].enabled());
    EXPECT_TRUE(S().main.rec[0].XPButtonRecord.enabled());
    EXPECT_TRUE(MainState().FormatsAvailable);
    EXPECT_TRUE(SetupFlags().SettingsModified);
}

TEST_F(InputSelectionTest, LineBeyondTheDeviceFallsBackOnTheFirst) {
    AddDevice({"Front", "Rear"}, 1, {"44100 Hz"});
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.ChannelIndex = 7; });
    ::Setup().ComboInputDevices[0].setListIndex(0);
    EXPECT_EQ(::Setup().ComboInputChannels[0].listIndex(), 0);
    EXPECT_EQ(Rec(0).config().ChannelIndex, 0);
}

TEST_F(InputSelectionTest, RefusedDefaultLineIsReportedAndKept) {
    AddDevice({"Front", "Rear"}, 1, {"44100 Hz"});
    fake.setDefaultResult = -51;
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.ChannelIndex = 1; });
    ::Setup().ComboInputDevices[0].setListIndex(0);
    EXPECT_EQ(::Setup().ComboInputChannels[0].text(), "Rear");
    EXPECT_EQ(Rec(0).config().ChannelIndex, 1);
    EXPECT_TRUE(Traced("Err: The input channel is not valid (SetInputDeviceChannelDefault |NoDeviceIn: 0 "
                       "ComboInputChannels: 1)(FrmSetup:DirectXUpdateInputCombos)"));
    EXPECT_TRUE(Traced("Err: The input channel is not valid (SetInputDeviceChannelDefault)"
                       "(FrmSetup:ComboInputChannels_Click)"));
    EXPECT_EQ(Rec(0).config().Volume, 75);  // no level read from a line that was refused
}

TEST_F(InputSelectionTest, QualityListSkipsRepeatsAndContainedTexts) {
    AddDevice({"In"}, 4,
              {"44100 Hz, 16 bits, stereo", "44100 HZ, 16 BITS, STEREO", "44100 Hz, 16 bits", "22050 Hz, 8 bits, mono"});
    ::Setup().ComboInputDevices[0].setListIndex(0);
    EXPECT_EQ(::Setup().ComboInputQuality[0].entries(),
              QStringList({"44100 Hz, 16 bits, stereo", "22050 Hz, 8 bits, mono"}));
}

TEST_F(InputSelectionTest, StoredQualityTextWinsOverItsIndex) {
    AddDevice({"In"}, 3, {"8000 Hz, mono", "22050 Hz, mono", "44100 Hz, stereo"});
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.QualityIndex = 0; });
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.QualityText = "44100 Hz, stereo"; });
    SetupFlags().SettingsModified = false;
    ::Setup().ComboInputDevices[0].setListIndex(0);
    EXPECT_EQ(::Setup().ComboInputQuality[0].listIndex(), 2);
    EXPECT_EQ(Rec(0).config().QualityIndex, 2);
}

TEST_F(InputSelectionTest, QualityNoLongerOfferedUsesTheStoredIndex) {
    AddDevice({"In"}, 5, {"a 8000", "b 11025", "c 22050", "d 44100", "e 48000"});
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.QualityIndex = 2; });
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.QualityText = "96000 Hz"; });
    ::Setup().ComboInputDevices[0].setListIndex(0);
    EXPECT_EQ(::Setup().ComboInputQuality[0].text(), "c 22050");
    EXPECT_EQ(Rec(0).config().QualityText, "c 22050");
    EXPECT_EQ(Rec(0).config().QualityIndex, 2);

    // A refill alone does not count as an edit.
    SetupFlags().SettingsModified = false;
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.QualityText.clear(); });
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.QualityIndex = 9; });
    DirectXUpdateInputFormats(0);
    EXPECT_EQ(::Setup().ComboInputQuality[0].listIndex(), 0);
    EXPECT_EQ(Rec(0).config().QualityIndex, 0);
    EXPECT_FALSE(SetupFlags().SettingsModified);
    EXPECT_FALSE(SetupFlags().SettingsLoading);
}

TEST_F(InputSelectionTest, EnumeratingAndEmptyDevicesKeepTheRecordButtonOff) {
    AddDevice({"In"}, -1, {});
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.QualityIndex = 2; });
    ::Setup().ComboInputDevices[0].setListIndex(0);
    FrmSetupControls& c = ::Setup();
    EXPECT_EQ(c.ComboInputQuality[0].entries(), QStringList({"Enumerating..."}));
    EXPECT_FALSE(c.ComboInputQuality[0].enabled());
    EXPECT_FALSE(S().main.rec[0].XPButtonRecord.enabled());
    EXPECT_FALSE(MainState().FormatsAvailable);
    EXPECT_EQ(Rec(0).config().QualityIndex, 2);  // the stored choice waits for the formats

    fake.devices[0].formatCount = 0;
    DirectXUpdateInputFormats(0);
    EXPECT_EQ(c.ComboInputQuality[0].entries(), QStringList({"_"}));
    EXPECT_FALSE(S().main.rec[0].XPButtonRecord.enabled());

    // The formats arrive: the stored entry is chosen and recording is possible.
    fake.devices[0].formatCount = 4;
    fake.devices[0].formats = {"f0", "f1", "f2", "f3"};
    DirectXUpdateInputFormats(0);
    EXPECT_EQ(c.ComboInputQuality[0].text(), "f2");
    EXPECT_TRUE(S().main.rec[0].XPButtonRecord.enabled());
    EXPECT_TRUE(MainState().FormatsAvailable);
}

TEST_F(InputSelectionTest, RecorderWithoutEngineShowsNoFormat) {
    SetInputDeviceSourceOverride({});
    ::Setup().ComboInputDevices[2].addItem("Device");
    ::Setup().ComboInputDevices[2].setListIndex(0);
    EXPECT_EQ(::Setup().ComboInputChannels[2].count(), 0);
    EXPECT_EQ(::Setup().ComboInputQuality[2].entries(), QStringList({"_"}));
    EXPECT_FALSE(S().main.rec[2].XPButtonRecord.enabled());
}

TEST_F(InputSelectionTest, FormatChoiceFillsItsCharacteristics) {
    FrmSetupControls& c = ::Setup();
    ComboCtl& chars = c.ComboFormatCaracteristiques[3];
    c.ComboInputFormats[3].setListIndex(2);
    EXPECT_EQ(chars.count(), 6);
    EXPECT_EQ(chars.text(), "CBR 320 Kbps");
    EXPECT_TRUE(chars.enabled());
    EXPECT_EQ(Rec(3).config().FormatIndex, 2);
    EXPECT_EQ(Rec(3).config().FormatCharacteristic, 3);

    c.ComboInputFormats[3].setListIndex(5);
    EXPECT_EQ(chars.count(), 491);
    EXPECT_EQ(chars.entry(0), "10");
    EXPECT_EQ(chars.text(), "500");

    c.ComboInputFormats[3].setListIndex(3);
    EXPECT_EQ(chars.count(), 101);
    EXPECT_EQ(chars.text(), "100");

    c.ComboInputFormats[3].setListIndex(4);
    EXPECT_EQ(chars.count(), 11);
    EXPECT_EQ(chars.text(), "10");
    chars.setListIndex(6);
    EXPECT_EQ(Rec(3).config().FormatCharacteristic, 6);

    c.ComboInputFormats[3].setListIndex(0);
    EXPECT_EQ(chars.count(), 0);
    EXPECT_FALSE(chars.enabled());
    EXPECT_EQ(Rec(3).config().FormatIndex, 0);
    EXPECT_TRUE(SetupFlags().SettingsModified);
}

// The real capture engine with its built-in test device.
TEST_F(SettingsTest, TestToneDeviceOfTheCaptureEngine) {
    platform::ActiveSoundRecorder::EnableTestTone(true);
    struct ToneOff {
        ~ToneOff() {
            Rec(0).SetEngine(nullptr);
            platform::ActiveSoundRecorder::EnableTestTone(false);
        }
    } toneOff;
    platform::ActiveSoundRecorder engine(0);
    ASSERT_EQ(engine.InitRecorder(0), 0);
    Rec(0).SetEngine(&engine);
    QList<int> levels;
    Hooks().AfficherNiveauRecord = [&](int r, int level) {
        if (r == 0) levels << level;
    };
    FrmSetup_Form_Load();

    // The device list as the start-up fills it.
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return engine.InputDeviceCount() > 0; }, 5000));
    ComboCtl& devices = ::Setup().ComboInputDevices[0];
    int tone = -1;
    for (int d = 0; d < engine.InputDeviceCount(); ++d) {
        devices.addItem(engine.InputDeviceName(d));
        if (engine.InputDeviceSystemName(d) == "test-tone") tone = d;
    }
    ASSERT_GE(tone, 0);
    devices.setListIndex(tone);

    EXPECT_EQ(Rec(0).config().DeviceIndex, tone);
    EXPECT_EQ(::Setup().ComboInputChannels[0].count(), engine.InputChannelCount(tone));
    EXPECT_EQ(::Setup().ComboInputChannels[0].text(), engine.InputChannelName(tone, 0));
    ASSERT_FALSE(levels.isEmpty());
    EXPECT_EQ(levels.last(), engine.InputLevelGet(tone, 0));

    // The format timer retries until the engine knows the formats.
    platform::WaitInEventLoop(
        [&] {
            DirectXUpdateInputFormats(0);
            return MainState().FormatsAvailable;
        },
        5000);
    ASSERT_TRUE(MainState().FormatsAvailable);
    const ComboCtl& quality = ::Setup().ComboInputQuality[0];
    ASSERT_GT(quality.count(), 0);
    QStringList offered;
    for (int k = 0; k < engine.InputFormatCount(tone); ++k) offered << engine.InputFormatText(tone, k);
    for (const QString& e : quality.entries()) EXPECT_TRUE(offered.contains(e)) << e.toStdString();
    EXPECT_EQ(Rec(0).config().QualityText, quality.text());
    EXPECT_TRUE(S().main.rec[0].XPButtonRecord.enabled());
}
