// The silence alarm's two keys of a recorder's section: their defaults, what
// the loader puts in the window, and the saver writing the edits back.
#include "settings_fixture.h"

TEST_F(SettingsTest, SilenceKeysDefaultLoadEditSaveAndLoadAgain) {
    WriteSettingsFile({"[Recorder_00]", "Actif=ON", "[Recorder_02]", "Actif=ON", "SilenceSeuil=-42", "SilenceDelai=0"});
    FrmSetup_Form_Load();
    FrmSetupControls& c = ::Setup();
    // Without keys: -50 dBFS and 30 s; stored values as they stand.
    EXPECT_EQ(c.TexteSilenceSeuil[0].text(), "-50");
    EXPECT_EQ(c.TexteSilenceDelai[0].text(), "30");
    EXPECT_EQ(c.TexteSilenceSeuil[7].text(), "-50");
    EXPECT_EQ(c.TexteSilenceSeuil[2].text(), "-42");
    EXPECT_EQ(c.TexteSilenceDelai[2].text(), "0");
    EXPECT_FALSE(SetupFlags().SettingsModified) << "loading is no edit";

    c.TexteSilenceSeuil[1].setText("-60");
    EXPECT_TRUE(SetupFlags().SettingsModified);
    SetupFlags().SettingsModified = false;
    c.TexteSilenceDelai[1].setText("120");
    EXPECT_TRUE(SetupFlags().SettingsModified);
    c.TexteSilenceDelai[2].setText("15");
    SaveSettings();

    const IniMap ini = ReadIniFile(SettingsPath());
    EXPECT_EQ(ini["recorder_01"]["silenceseuil"], "-60");
    EXPECT_EQ(ini["recorder_01"]["silencedelai"], "120");
    EXPECT_EQ(ini["recorder_02"]["silenceseuil"], "-42");
    EXPECT_EQ(ini["recorder_02"]["silencedelai"], "15");
    EXPECT_EQ(ini["recorder_05"]["silenceseuil"], "-50");
    EXPECT_EQ(ini["recorder_05"]["silencedelai"], "30");

    ResetSharedState();
    ResetSetupControls();
    ResetIniCache();
    FrmSetup_Form_Load();
    EXPECT_EQ(::Setup().TexteSilenceSeuil[1].text(), "-60");
    EXPECT_EQ(::Setup().TexteSilenceDelai[1].text(), "120");
    EXPECT_EQ(::Setup().TexteSilenceDelai[2].text(), "15");
}

TEST_F(SettingsTest, SilenceUdpTargetKeyDefaultLoadEditSave) {
    WriteSettingsFile({"[Recorder_00]", "Actif=ON", "[Recorder_03]", "SilenceUDP=04", "[Recorder_04]", "SilenceUDP=15"});
    FrmSetup_Form_Load();
    FrmSetupControls& c = ::Setup();
    EXPECT_EQ(c.ComboSilenceUDP[0].count(), 10);
    EXPECT_EQ(c.ComboSilenceUDP[0].text(), "00") << "no notification without the key";
    EXPECT_EQ(c.ComboSilenceUDP[3].listIndex(), 4);
    EXPECT_EQ(c.ComboSilenceUDP[4].listIndex(), 0) << "a number that is no target keeps none";
    EXPECT_FALSE(SetupFlags().SettingsModified) << "loading is no edit";

    c.ComboSilenceUDP[1].setListIndex(9);
    EXPECT_TRUE(SetupFlags().SettingsModified);
    SaveSettings();
    const IniMap ini = ReadIniFile(SettingsPath());
    EXPECT_EQ(ini["recorder_01"]["silenceudp"], "09");
    EXPECT_EQ(ini["recorder_03"]["silenceudp"], "04");
    EXPECT_EQ(ini["recorder_00"]["silenceudp"], "00");

    ResetSharedState();
    ResetSetupControls();
    ResetIniCache();
    FrmSetup_Form_Load();
    EXPECT_EQ(::Setup().ComboSilenceUDP[1].listIndex(), 9);
}
