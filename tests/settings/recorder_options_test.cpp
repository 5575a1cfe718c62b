// Per-recorder options as the operator changes them in the loaded window.
#include "settings_fixture.h"

#include <QStorageInfo>

namespace {

class RecorderOptionsTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        FrmSetup_Form_Load();
        SetupFlags().SettingsModified = false;
    }
};

}  // namespace

TEST_F(RecorderOptionsTest, ShortcutControlsFillTheKeyboardTable) {
    FrmSetupControls& c = ::Setup();
    c.CheckAlt[16].setChecked(true);  // recorder 6, pause
    EXPECT_TRUE(Rec(5).config().Keys[size_t(1)].Alt);
    EXPECT_FALSE(Rec(5).config().Keys[size_t(0)].Alt);
    EXPECT_TRUE(SetupFlags().SettingsModified);

    c.ComboToucheClavier[16].setListIndex(42);
    EXPECT_EQ(Rec(5).config().Keys[size_t(1)].Key, 127);
    c.ComboToucheClavier[16].setListIndex(1);
    EXPECT_EQ(c.ComboToucheClavier[16].text(), "     A");
    EXPECT_EQ(Rec(5).config().Keys[size_t(1)].Key, 65);
    c.ComboToucheClavier[16].setListIndex(27);
    EXPECT_EQ(Rec(5).config().Keys[size_t(1)].Key, 112);
    // The blank entry takes the shortcut away.
    c.ComboToucheClavier[16].setListIndex(0);
    EXPECT_EQ(Rec(5).config().Keys[size_t(1)].Key, 0);

    c.CheckCtrl[0].setChecked(true);
    c.CheckShift[2].setChecked(true);
    EXPECT_TRUE(Rec(0).config().Keys[size_t(0)].Ctrl);
    EXPECT_TRUE(Rec(0).config().Keys[size_t(2)].Shift);
    c.CheckCtrl[0].setChecked(false);
    EXPECT_FALSE(Rec(0).config().Keys[size_t(0)].Ctrl);
}

TEST_F(RecorderOptionsTest, ContactListBindsInputNumbers) {
    FrmSetupControls& c = ::Setup();
    EditRecorderConfig(2, [&](RecorderConfig& rc) { rc.Contacts[size_t(2)].State = true; });
    c.ComboPeripherique[8].setListIndex(1);
    EXPECT_TRUE(Rec(2).config().Contacts[size_t(2)].Enabled);
    EXPECT_EQ(Rec(2).config().Contacts[size_t(2)].Input, 0);
    EXPECT_FALSE(Rec(2).config().Contacts[size_t(2)].State);
    c.ComboPeripherique[8].setListIndex(16);
    EXPECT_EQ(Rec(2).config().Contacts[size_t(2)].Input, 15);
    c.ComboPeripherique[8].setListIndex(0);
    EXPECT_FALSE(Rec(2).config().Contacts[size_t(2)].Enabled);
    // The entry shows the input number that it binds.
    EXPECT_EQ(c.ComboPeripherique[8].entry(1), "P8R8 DIO   In: 0");
    EXPECT_EQ(c.ComboPeripherique[8].entry(16), "P8R8 DIO   In: 15");
}

TEST_F(RecorderOptionsTest, KeyboardAndContactHandlersDoNothingWhileLoading) {
    SetupFlags().SettingsLoading = true;
    ::Setup().CheckAlt[3].setChecked(true);
    ::Setup().ComboToucheClavier[3].setListIndex(5);
    ::Setup().ComboPeripherique[3].setListIndex(4);
    EXPECT_FALSE(Rec(1).config().Keys[size_t(0)].Alt);
    EXPECT_EQ(Rec(1).config().Keys[size_t(0)].Key, 0);
    EXPECT_FALSE(Rec(1).config().Contacts[size_t(0)].Enabled);
    EXPECT_FALSE(SetupFlags().SettingsModified);
}

TEST_F(RecorderOptionsTest, SliceRowsFollowEachOther) {
    FrmSetupControls& c = ::Setup();
    c.ComboPigeTimingFin[0].setListIndex(5);
    EXPECT_EQ(c.LabellPigeTimingStart[1].text(), "06 H");
    EXPECT_EQ(c.ComboPigeTimingFin[1].text(), "06 H 59:59");
    EXPECT_TRUE(c.ComboPigeTimingFin[1].visible());

    c.ComboPigeTimingFin[1].setListIndex(23);
    for (int k = 2; k < kSliceRows; ++k) {
        EXPECT_FALSE(c.ComboPigeTimingFin[k].visible()) << k;
        EXPECT_FALSE(c.LabellPigeTimingStart[k].visible()) << k;
    }
    EXPECT_TRUE(c.ComboPigeTimingFin[1].visible());

    // Ending row 1 earlier shows the next row again.
    c.ComboPigeTimingFin[1].setListIndex(10);
    EXPECT_TRUE(c.ComboPigeTimingFin[2].visible());
    EXPECT_EQ(c.ComboPigeTimingFin[2].listIndex(), 11);
    EXPECT_EQ(c.LabellPigeTimingStart[2].text(), "11 H");

    // A row cannot end before the row above it.
    c.ComboPigeTimingFin[2].setListIndex(3);
    EXPECT_EQ(c.ComboPigeTimingFin[2].listIndex(), 11);
    EXPECT_EQ(c.ComboPigeTimingFin[3].listIndex(), 12);
    EXPECT_TRUE(SetupFlags().SettingsModified);
}

TEST_F(RecorderOptionsTest, LoggingOptionSwitchesTheFileNameControls) {
    SetupLinks().DetermineNomFichier = [](int r) {
        return "Pige " + ::Setup().TexteLibelleRecorder[r].text().trimmed() + " <yyyyMMdd_hh_mm_ss>";
    };
    FrmSetupControls& c = ::Setup();
    c.TexteNomFichier[1].setText("Emission");
    c.TexteLibelleRecorder[1].setText("Antenne");
    EXPECT_EQ(c.TexteNomFichier[1].text(), "Emission");  // an ordinary recorder keeps its pattern
    EXPECT_EQ(S().main.rec[1].MyFrameRecorder.caption(), "Antenne");

    c.CheckPigeAntenne[1].setChecked(true);
    EXPECT_EQ(Rec(1).config().RecordKind(), RecordKindLogging);
    EXPECT_FALSE(c.TexteNomFichier[1].enabled());
    EXPECT_FALSE(c.CheckNomFichier[1].enabled());
    EXPECT_TRUE(c.TextePigeNbJours[1].enabled());
    EXPECT_EQ(c.TexteNomFichier[1].text(), "Pige Antenne <yyyyMMdd_hh_mm_ss>");
    EXPECT_TRUE(Traced("CheckPigeAntenne: Checked"));

    c.TexteLibelleRecorder[1].setText("Radio 2");
    EXPECT_EQ(c.TexteNomFichier[1].text(), "Pige Radio 2 <yyyyMMdd_hh_mm_ss>");

    c.CheckPigeAntenne[1].setChecked(false);
    EXPECT_EQ(Rec(1).config().RecordKind(), RecordKindOrdinary);
    EXPECT_TRUE(c.TexteNomFichier[1].enabled());
    EXPECT_TRUE(c.CheckNomFichier[1].enabled());
    EXPECT_FALSE(c.TextePigeNbJours[1].enabled());
    EXPECT_TRUE(Traced("CheckPigeAntenne: UnChecked"));
}

TEST_F(RecorderOptionsTest, DestinationFolderAndItsFreeSpace) {
    FrmSetupControls& c = ::Setup();
    const QString folder = drive + "Archives/Rec2";
    c.TexteDossier[2].setText(folder);
    EXPECT_EQ(Rec(2).config().NetworkFolder, folder + "/");
    EXPECT_EQ(Rec(2).config().RecordFolder, folder + "/");
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_TRUE(SetupFlags().SettingsModified);

    // The three figures against the volume as the system reports it.
    // (Free space may be counted with or without the blocks reserved for
    // the system administrator, and moves a little while other programs run.)
    QStorageInfo volume(folder);
    double total = double(volume.bytesTotal()) / 1024;
    double freeMax = double(volume.bytesFree()) / 1024, freeMin = double(volume.bytesAvailable()) / 1024;
    QString unit = "Ko";
    for (const QString next : {"Mo", "Go"}) {
        if (total <= 1024) break;
        total /= 1024;
        freeMax /= 1024;
        freeMin /= 1024;
        unit = next;
    }
    const double slack = total * 0.01 + 1;
    const FreeSpaceDisplay& d = c.FreeSpace[2];
    EXPECT_TRUE(d.LabelVolumeTotal.text().endsWith(" " + unit));
    EXPECT_NEAR(d.LabelVolumeTotal.text().section(' ', 0, 0).toDouble(), total, 1.0);
    EXPECT_TRUE(d.LabelVolumeDispo.text().startsWith("Disponible: "));
    EXPECT_TRUE(d.LabelVolumeDispo.text().endsWith(" " + unit));
    const double shownFree = d.LabelVolumeDispo.text().section(' ', 1, 1).toDouble();
    EXPECT_GE(shownFree, freeMin - slack);
    EXPECT_LE(shownFree, freeMax + slack);
    const double shownUsed = d.LabelVolumeOccupe.text().section(' ', 0, 0).toDouble();
    EXPECT_GE(shownUsed, total - freeMax - slack);
    EXPECT_LE(shownUsed, total - freeMin + slack);
    EXPECT_GE(d.gaugeValue, 0);
    EXPECT_LE(d.gaugeValue, d.gaugeMax);

    c.TexteDossier[2].setText("  ");
    EXPECT_TRUE(Rec(2).config().RecordFolder.isEmpty());
    EXPECT_TRUE(Rec(2).config().NetworkFolder.isEmpty());
}

TEST_F(RecorderOptionsTest, FolderChooser) {
    ScriptedDialogs dialogs;
    SetDialogs(&dialogs);
    FrmSetupControls& c = ::Setup();
    const QString before = c.TexteDossier[0].text();
    CommandDossierPige_Click(0);
    ASSERT_EQ(dialogs.folderStarts.size(), 1);
    EXPECT_EQ(dialogs.folderStarts[0], before);
    EXPECT_EQ(c.TexteDossier[0].text(), before);  // cancelled

    dialogs.folderAnswer = drive + "Chosen";
    CommandDossierPige_Click(0);
    EXPECT_EQ(c.TexteDossier[0].text(), drive + "Chosen/");
    EXPECT_EQ(Rec(0).config().RecordFolder, drive + "Chosen/");
}

TEST_F(RecorderOptionsTest, ServiceBoxShowsTheTabButKeepsTheRecorderCount) {
    FrmSetupControls& c = ::Setup();
    c.CheckActif[4].setChecked(true);
    EXPECT_TRUE(c.OptionTabs[5].visible());
    EXPECT_EQ(RecordersInService(), 1);
    EXPECT_FALSE(S().main.rec[4].Tab.visible());
    c.CheckActif[4].setChecked(false);
    EXPECT_FALSE(c.OptionTabs[5].visible());
}
