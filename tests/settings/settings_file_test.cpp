// The settings file: first start, what the loader makes of stored values,
// and saving then loading again.
#include "core/main_window_state.h"
#include "settings_fixture.h"

#include "platform/os.h"

#include <QTimer>

namespace {

// Everything the settings file holds, as the window and the slots show it.
QStringList Snapshot() {
    const FrmSetupControls& c = ::Setup();
    QStringList v;
    auto add = [&](const QString& name, const QString& value) { v << name + "=" + value; };
    for (int i = 0; i < kRecorders; ++i) {
        const QString p = QString::number(i) + ".";
        const RecorderConfig& s = Rec(i).config();
        add(p + "Actif", QString::number(c.CheckActif[i].value()));
        add(p + "Lib", c.TexteLibelleRecorder[i].text());
        add(p + "Device", QString::number(s.DeviceIndex));
        add(p + "Channel", QString::number(s.ChannelIndex));
        add(p + "Format", QString::number(s.FormatIndex) + "/" + c.ComboInputFormats[i].text());
        add(p + "Char", QString::number(s.FormatCharacteristic) + "/" + c.ComboFormatCaracteristiques[i].text());
        add(p + "Quality", QString::number(s.QualityIndex) + "/" + s.QualityText);
        add(p + "Volume", QString::number(s.Volume));
        add(p + "Pige", QString::number(c.CheckPigeAntenne[i].value()) + "/" + QString::number(s.RecordKind()));
        add(p + "PigeNbJours", c.TextePigeNbJours[i].text());
        add(p + "PigeFolder", c.TexteDossier[i].text() + "|" + s.RecordFolder);
        add(p + "PigeFile", c.TexteNomFichier[i].text());
        add(p + "PigeConfirmFile", QString::number(c.CheckNomFichier[i].value()));
        add(p + "FichierSpecifique", c.TexteFichierRecordPeripherique[i].text());
        add(p + "UDP", QString("%1%2%3%4 %5 %6 %7")
                           .arg(c.CheckUDPRecord[i].value()).arg(c.CheckUDPPause[i].value())
                           .arg(c.CheckUDPStop[i].value()).arg(c.CheckUDPPodcaster[i].value())
                           .arg(c.ComboEmissionUDPPodcaster[i].listIndex()).arg(c.CheckUDPConvertir[i].value())
                           .arg(c.ComboEmissionUDPConvertir[i].listIndex()));
        for (int cmd = 0; cmd < 3; ++cmd) {
            const int n = 3 * i + cmd;
            const KeyboardBinding& k = Rec(i).config().Keys[size_t(cmd)];
            const ContactBinding& b = Rec(i).config().Contacts[size_t(cmd)];
            add(p + "Key" + QString::number(cmd),
                QString("%1%2%3 %4 | %5%6%7 %8")
                    .arg(c.CheckCtrl[n].value()).arg(c.CheckAlt[n].value()).arg(c.CheckShift[n].value())
                    .arg(c.ComboToucheClavier[n].listIndex()).arg(k.Ctrl).arg(k.Alt).arg(k.Shift).arg(k.Key));
            add(p + "Contact" + QString::number(cmd),
                QString("%1 | %2 %3").arg(c.ComboPeripherique[n].listIndex()).arg(b.Enabled).arg(b.Input));
        }
    }
    for (int k = 0; k < kUdpLines; ++k)
        add("In" + QString::number(k), c.TexteUDPIPSource[k].text() + " " + c.TexteUDPPortSource[k].text() + " " +
                                           QString::number(c.CheckUDPInActif[k].value()));
    add("Record128", QString::number(c.CheckRecord128.value()));
    for (int k = 0; k < kUdpTargets; ++k)
        add("Out" + QString::number(k),
            QStringList{c.TexteUDPLibelleCible[k].text(), c.TexteUDPIPCible[k].text(), c.TexteUDPPortCible[k].text(),
                        c.TexteUDPPortBCible[k].text(), c.TexteUDPPortCCible[k].text(),
                        c.TexteUDPPortDCible[k].text(), c.TexteUDPSend[k].text()}
                .join("|"));
    add("COM", QString("%1 %2 %3 %4 %5 %6")
                   .arg(c.CheckPortCOMPresent.value()).arg(c.ComboNoPort.listIndex())
                   .arg(c.ComboPortComSetup[0].listIndex()).arg(c.ComboPortComSetup[1].listIndex())
                   .arg(c.ComboPortComSetup[2].listIndex()).arg(c.ComboPortComSetup[3].listIndex()));
    add("TimingPige", QString::number(c.CheckTimingPige.value()));
    for (int k = 0; k < kSliceRows; ++k)
        add("Tranche" + QString::number(k), QString::number(c.ComboPigeTimingFin[k].listIndex()) + " " +
                                                 c.LabellPigeTimingStart[k].text() + " " +
                                                 QString::number(c.ComboPigeTimingFin[k].visible()));
    for (int k = 0; k < kPlanningSlots; ++k) {
        const PlanningLine& l = c.PlanningTable[k];
        add("Planning" + QString::number(k),
            QStringList{l.Recorder, l.Frequence, l.Annee, l.Mois, l.Semaine, l.Jour, l.Heure, l.Minute,
                        l.LineEnabled ? "O" : "N", l.Duree, l.DossierFichierSon, l.ASC82Plus}
                .join("|"));
    }
    return v;
}

}  // namespace

TEST_F(SettingsTest, FirstStartWithoutFileGivesOneWaveRecorder) {
    ASSERT_FALSE(QFile::exists(SettingsPath()));
    FrmSetup_Form_Load();

    const IniMap ini = ReadIniFile(SettingsPath());
    EXPECT_EQ(ini["recorder_00"]["actif"], "ON");
    EXPECT_EQ(RecordersInService(), 1);
    FrmSetupControls& c = ::Setup();
    EXPECT_TRUE(c.CheckActif[0].checked());
    EXPECT_FALSE(c.CheckActif[1].checked());
    EXPECT_TRUE(c.OptionTabs[1].visible());
    EXPECT_FALSE(c.OptionTabs[2].visible());
    EXPECT_TRUE(S().main.rec[0].Tab.visible());
    EXPECT_FALSE(S().main.rec[1].Tab.visible());
    EXPECT_EQ(c.TexteLibelleRecorder[0].text(), "Recorder 1");
    EXPECT_EQ(c.TexteLibelleRecorder[7].text(), "Recorder 8");
    EXPECT_EQ(S().main.rec[0].MyFrameRecorder.caption(), "Recorder 1");
    EXPECT_EQ(c.ComboInputFormats[0].text(), "wave");
    EXPECT_EQ(Rec(0).config().FormatIndex, 1);
    EXPECT_FALSE(c.ComboFormatCaracteristiques[0].enabled());
    EXPECT_EQ(c.TexteDossier[0].text(), Rec(0).config().LocalSoundFolder);
    EXPECT_EQ(Rec(0).config().RecordFolder, Rec(0).config().LocalSoundFolder);
    EXPECT_TRUE(QDir(Rec(0).config().LocalSoundFolder).exists());
    EXPECT_EQ(Rec(0).config().RecordKind(), RecordKindOrdinary);
    EXPECT_EQ(Rec(0).config().Volume, 75);
    EXPECT_EQ(c.TextePigeNbJours[0].text(), "30");

    // Remote settings take their defaults.
    EXPECT_EQ(c.TexteComputerName.text(), platform::ComputerName());
    EXPECT_EQ(c.TexteAdresseIP.text(), platform::HostAddress());
    EXPECT_EQ(c.TexteUDPIPSource[4].text(), c.TexteAdresseIP.text());
    EXPECT_EQ(c.TexteUDPPortSource[4].text(), "100");
    EXPECT_TRUE(c.CheckRecord128.checked());
    EXPECT_EQ(c.TexteUDPLibelleCible[0].text(), "UDP Out #1");
    EXPECT_EQ(c.TexteUDPPortCible[8].text(), "104");
    EXPECT_EQ(c.ComboPortComSetup[0].text(), "9600");
    EXPECT_EQ(c.ComboPortComSetup[1].text(), "N");
    EXPECT_EQ(c.ComboPortComSetup[2].text(), "8");
    EXPECT_EQ(c.ComboPortComSetup[3].text(), "1");
    EXPECT_EQ(c.ComboNoPort.text(), "1");
    EXPECT_FALSE(c.CheckPortCOMPresent.checked());
    for (int k = 0; k < kSliceRows; ++k) EXPECT_EQ(c.ComboPigeTimingFin[k].listIndex(), k);
    EXPECT_EQ(c.cbCardType.text(), "2: Not Support!");
    EXPECT_FALSE(c.CheckP8R8Actif.enabled());

    // The window's own state after its load.
    EXPECT_TRUE(c.caption.startsWith("Options: Velmora: Quillon Recorder - "));
    EXPECT_TRUE(SetupFlags().SetupLoaded);
    EXPECT_TRUE(Trace().SetupLoaded);
    EXPECT_FALSE(SetupFlags().SettingsLoading);
    EXPECT_FALSE(SetupFlags().SettingsModified);
}

TEST_F(SettingsTest, RecorderCountIsOneMoreThanHighestRecorderInService) {
    WriteSettingsFile({"[Recorder_00]", "Actif=on", "[Recorder_01]", "Actif=OFF", "[Recorder_02]", "Actif=ON",
                       "[Recorder_05]", "Actif=0FF"});
    FrmSetup_Form_Load();
    EXPECT_EQ(RecordersInService(), 3);
    FrmSetupControls& c = ::Setup();
    EXPECT_FALSE(c.CheckActif[0].checked());
    EXPECT_FALSE(c.CheckActif[1].checked());
    EXPECT_TRUE(c.CheckActif[2].checked());
    EXPECT_FALSE(Rec(0).config().InService);
    EXPECT_TRUE(Rec(2).config().InService);
    EXPECT_FALSE(c.OptionTabs[1].visible());
    EXPECT_FALSE(c.OptionTabs[2].visible());
    EXPECT_TRUE(c.OptionTabs[3].visible());
    EXPECT_FALSE(S().main.rec[0].Tab.visible());
    EXPECT_TRUE(S().main.rec[2].Tab.visible());
    // The two recorders below still get their settings.
    EXPECT_EQ(c.TexteLibelleRecorder[1].text(), "Recorder 2");
}

TEST_F(SettingsTest, NoRecorderInServicePutsTheFirstBack) {
    WriteSettingsFile({"[Recorder_00]", "Actif=OFF", "Lib=Studio"});
    FrmSetup_Form_Load();
    EXPECT_EQ(RecordersInService(), 1);
    EXPECT_EQ(ReadIniFile(SettingsPath())["recorder_00"]["actif"], "ON");
    EXPECT_EQ(ReadIniFile(SettingsPath())["recorder_00"]["lib"], "Studio");
}

TEST_F(SettingsTest, PackedKeyboardContactAndUdpStrings) {
    WriteSettingsFile({"[Recorder_00]", "Actif=ON",
                       "[Keyboard_00]", "RecordPauseStop=NON27NNN00NNN00",
                       "[Keyboard_01]", "RecordPauseStop=ONN03NNO26OOO42",
                       "[Peripheral_00]", "RecordPauseStop=170000",
                       "[Peripheral_01]", "RecordPauseStop=010200",
                       "[Commande_UDP_00]", "General=1001050",
                       "[Commande_UDP_01]", "General=011107109"});
    FrmSetup_Form_Load();
    FrmSetupControls& c = ::Setup();

    const KeyboardBinding& rec0 = Rec(0).config().Keys[size_t(0)];
    EXPECT_FALSE(rec0.Ctrl);
    EXPECT_TRUE(rec0.Alt);
    EXPECT_FALSE(rec0.Shift);
    EXPECT_EQ(rec0.Key, 112);  // F1
    EXPECT_TRUE(c.CheckAlt[0].checked());
    EXPECT_EQ(c.ComboToucheClavier[0].text().trimmed(), "F1");
    EXPECT_EQ(Rec(0).config().Keys[size_t(1)].Key, 0);
    EXPECT_EQ(Rec(0).config().Keys[size_t(2)].Key, 0);
    EXPECT_EQ(Rec(1).config().Keys[size_t(0)].Key, 67);  // Ctrl+C
    EXPECT_TRUE(Rec(1).config().Keys[size_t(0)].Ctrl);
    EXPECT_EQ(Rec(1).config().Keys[size_t(1)].Key, 90);  // Shift+Z
    EXPECT_TRUE(Rec(1).config().Keys[size_t(1)].Shift);
    EXPECT_EQ(Rec(1).config().Keys[size_t(2)].Key, 127);  // Ctrl+Alt+Shift+F16
    EXPECT_TRUE(c.CheckCtrl[5].checked() && c.CheckAlt[5].checked() && c.CheckShift[5].checked());

    // Entry 17 does not exist: not bound, and the failed selection is reported.
    EXPECT_FALSE(Rec(0).config().Contacts[size_t(0)].Enabled);
    EXPECT_EQ(c.ComboPeripherique[0].listIndex(), 0);
    bool reported = false;
    for (const QString& l : Trace().ListeIncidents) reported |= l.contains("InitSettings");
    EXPECT_TRUE(reported);
    EXPECT_TRUE(Rec(1).config().Contacts[size_t(0)].Enabled);
    EXPECT_EQ(Rec(1).config().Contacts[size_t(0)].Input, 0);
    EXPECT_TRUE(Rec(1).config().Contacts[size_t(1)].Enabled);
    EXPECT_EQ(Rec(1).config().Contacts[size_t(1)].Input, 1);
    EXPECT_FALSE(Rec(1).config().Contacts[size_t(2)].Enabled);

    EXPECT_TRUE(c.CheckUDPRecord[0].checked());
    EXPECT_FALSE(c.CheckUDPPause[0].checked());
    EXPECT_FALSE(c.CheckUDPStop[0].checked());
    EXPECT_TRUE(c.CheckUDPPodcaster[0].checked());
    EXPECT_EQ(c.ComboEmissionUDPPodcaster[0].text(), "05");
    EXPECT_FALSE(c.CheckUDPConvertir[0].checked());
    EXPECT_EQ(c.ComboEmissionUDPConvertir[0].text(), "00");
    EXPECT_FALSE(c.CheckUDPRecord[1].checked());
    EXPECT_TRUE(c.CheckUDPStop[1].checked());
    EXPECT_EQ(c.ComboEmissionUDPPodcaster[1].text(), "07");
    EXPECT_TRUE(c.CheckUDPConvertir[1].checked());
    EXPECT_EQ(c.ComboEmissionUDPConvertir[1].text(), "09");
}

TEST_F(SettingsTest, StoredIndexesOutsideTheLists) {
    WriteSettingsFile({"[Recorder_00]", "Actif=ON", "Format=9", "Pige=abc",
                       "[Recorder_01]", "Format=2", "FormatCaracteristics=40",
                       "[PigeTranche]", "Tranche_0=30",
                       "[Keyboard_00]", "RecordPauseStop=NNN77NNN00NNN00",
                       "[PortCOM]", "Vitesse=6", "BitArret=1", "Parite=12"});
    FrmSetup_Form_Load();
    FrmSetupControls& c = ::Setup();
    // A format outside the list records WAV, with an incident (never into
    // memory only without a word); the characteristic falls back on entry 0.
    EXPECT_EQ(c.ComboInputFormats[0].text(), "wave");
    EXPECT_EQ(Rec(0).config().FormatIndex, 1);
    EXPECT_TRUE(Trace().ListeIncidents.join("\n").contains("Rec. 1: Format=9 is not a recording format: wave is used"));
    EXPECT_EQ(c.ComboFormatCaracteristiques[1].text(), "VBR 150-180 Kbps");
    EXPECT_EQ(Rec(1).config().FormatCharacteristic, 0);
    // Other lists keep what they showed.
    EXPECT_EQ(c.ComboPigeTimingFin[0].listIndex(), 0);
    EXPECT_EQ(c.ComboToucheClavier[0].listIndex(), 0);
    EXPECT_EQ(Rec(0).config().Keys[size_t(0)].Key, 0);
    EXPECT_EQ(c.ComboPortComSetup[0].text(), "14400");
    EXPECT_EQ(c.ComboPortComSetup[1].text(), "N");
    EXPECT_EQ(c.ComboPortComSetup[3].text(), "1,5");
    EXPECT_FALSE(c.CheckPigeAntenne[0].checked());  // not a number: 0
    EXPECT_GE(Trace().ListeIncidents.size(), 3);
}

TEST_F(SettingsTest, SerialLinkInServiceAsksTheSerialModuleToOpenThePort) {
    int opened = 0;
    SetupLinks().OpenSerialPort = [&] { ++opened; };
    WriteSettingsFile({"[PortCOM]", "Actif=0", "NoPort=3"});
    FrmSetup_Form_Load();
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(::Setup().ComboNoPort.text(), "4");

    ResetSetupControls();
    WriteSettingsFile({"[PortCOM]", "Actif=1"});
    FrmSetup_Form_Load();
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(::Setup().CheckPortCOMPresent.checked());
}

TEST_F(SettingsTest, SaveThenLoadReproducesTheWindow) {
    FrmSetup_Form_Load();
    FrmSetupControls& c = ::Setup();
    // The operator edits every kind of setting.
    c.CheckActif[3].setChecked(true);
    c.TexteLibelleRecorder[1].setText("Antenne");
    c.ComboInputFormats[1].setListIndex(2);
    c.ComboFormatCaracteristiques[1].setListIndex(1);
    c.ComboInputFormats[2].setListIndex(5);
    c.ComboFormatCaracteristiques[2].setListIndex(118);
    c.CheckPigeAntenne[1].setChecked(true);
    c.TextePigeNbJours[1].setText("12");
    c.TexteDossier[1].setText(drive + "Pige/");
    c.TexteNomFichier[0].setText("Rec_<yyyyMMdd>");
    c.CheckNomFichier[0].setChecked(true);
    c.TexteFichierRecordPeripherique[2].setText("Contact_2");
    EditRecorderConfig(1, [&](RecorderConfig& rc) { rc.Volume = 40; });
    EditRecorderConfig(1, [&](RecorderConfig& rc) { rc.QualityIndex = 3; });
    EditRecorderConfig(1, [&](RecorderConfig& rc) { rc.QualityText = "48000 Hz, 16 bits, stereo"; });
    EditRecorderConfig(1, [&](RecorderConfig& rc) { rc.DeviceIndex = 2; });
    EditRecorderConfig(1, [&](RecorderConfig& rc) { rc.ChannelIndex = 1; });
    c.CheckCtrl[4].setChecked(true);
    c.ComboToucheClavier[4].setListIndex(3);
    c.CheckShift[23].setChecked(true);
    c.ComboToucheClavier[23].setListIndex(42);
    c.ComboPeripherique[0].setListIndex(16);
    c.ComboPeripherique[7].setListIndex(1);
    c.CheckUDPPause[6].setChecked(true);
    c.CheckUDPPodcaster[6].setChecked(true);
    c.ComboEmissionUDPPodcaster[6].setListIndex(9);
    c.CheckUDPConvertir[7].setChecked(true);
    c.ComboEmissionUDPConvertir[7].setListIndex(3);
    c.TexteUDPIPSource[2].setText("10.1.2.3");
    c.TexteUDPPortSource[2].setText("5000");
    c.CheckRecord128.setChecked(false);
    c.TexteUDPLibelleCible[3].setText("Podcast server");
    c.TexteUDPIPCible[3].setText("podcast.local");
    c.TexteUDPPortBCible[3].setText("7001");
    c.TexteUDPSend[3].setText("<Do:Test>");
    c.CheckPortCOMPresent.setChecked(true);
    c.ComboNoPort.setListIndex(2);
    c.ComboPortComSetup[0].setListIndex(6);
    c.CheckTimingPige.setChecked(true);
    c.ComboPigeTimingFin[0].setListIndex(5);
    c.ComboPigeTimingFin[1].setListIndex(11);
    c.ComboPigeTimingFin[2].setListIndex(23);
    c.PlanningTable[4] = PlanningLine{"Recorder 2", "Jour", "", "", "", "", "06", "30", false, "60",
                                      drive + "Plan/News.mp3", "X1 Y2"};
    EXPECT_TRUE(SetupFlags().SettingsModified);

    SaveSettings();
    EXPECT_FALSE(SetupFlags().SettingsModified);
    const QStringList saved = Snapshot();

    ResetSharedState();
    ResetSetupControls();
    ResetIniCache();
    for (int i = 0; i < kRecorders; ++i)
        EditRecorderConfig(i, [&](RecorderConfig& rc) { rc.LocalSoundFolder = drive + "Local/Sons_Quillon_Recorder_0" + QString::number(i) + "/"; });
    FrmSetup_Form_Load();
    const QStringList loaded = Snapshot();
    ASSERT_EQ(saved.size(), loaded.size());
    for (int k = 0; k < saved.size(); ++k) EXPECT_EQ(loaded[k], saved[k]);
    EXPECT_EQ(RecordersInService(), 4);
    // The disabled UDP flags are written as nine characters.
    EXPECT_EQ(ReadIniFile(SettingsPath())["commande_udp_06"]["general"], "010109000");
    EXPECT_EQ(ReadIniFile(SettingsPath())["keyboard_07"]["recordpausestop"], "NNN00NNN00NNO42");
}

TEST_F(SettingsTest, FamilyWrittenFileSurvivesLoadAndSave) {
    QStringList lines = {"; written by the family's configuration tool", "[recorder_00]", "ACTIF=ON",
                         "lib=Antenne", "Device=1", "Channel=2", "Format=2", "FormatCaracteristics=1",
                         "Quality=3", "SQuality=44100 Hz, 16 bits, stereo", "Volume=40", "Pige=1",
                         "PigeNbJours=20", "PigeFolder=" + drive + "Pige/", "PigeFile=Pige Antenne <yyyyMMdd_hh_mm_ss>",
                         "PigeConfirmFile=0", "", "[Recorder_01]", "Actif=ON", "Lib=Studio", "Format=4",
                         "FormatCaracteristics=7", "Volume=60", "Pige=0", "PigeFolder=" + drive + "Studio/",
                         "PigeFile=Studio_<HH-mm>", "PigeConfirmFile=1",
                         "[KEYBOARD_00]", "RecordPauseStop=ONN01NON27NNO42",
                         "[Peripheral_00]", "recordpausestop=010216", "FichierSpecifique=Contact",
                         "[Commande_UDP_00]", "General=1101051092",
                         "[UDP_IN]", "IP_0=192.168.1.20", "Port_0=9000", "Actif_0=0", "StartRecord128=0",
                         "[UDP_OUT]", "Lib_0=Podcast", "IP_0=192.168.1.30", "Port_0=9100", "PortB_0=9101",
                         "Msg_0=<Do:Test>",
                         "[PortCOM]", "Actif=0", "NoPort=2", "Vitesse=4", "Parite=1", "BitDonnees=3", "BitArret=2",
                         "[PigeTranche]", "Actif=1", "Tranche_0=5", "Tranche_1=11",
                         "[Planning_000]", "Actif=ON", "Recorder=Recorder 1", "Frequence=Semaine", "Annee=",
                         "Mois=", "Semaine=Lundi", "Jour=", "Heure=08", "Minute=15", "LigneActive=N", "Duree=30",
                         "DossierFichierSon=" + drive + "Plan/Lundi.mp3", "ASC82Plus=A1", "PodcastFlux=Matin",
                         "[Planning_001]", "Actif=0FF", "Recorder=Recorder 3", "Heure=23",
                         "[FrmPos]", "FrmSetup_Left=10", "FrmSetup_Top=20"};
    WriteSettingsFile(lines);
    const IniMap before = ReadIniFile(SettingsPath());

    FrmSetup_Form_Load();
    SaveSettings();
    const IniMap after = ReadIniFile(SettingsPath());

    for (auto sec = before.begin(); sec != before.end(); ++sec) {
        for (auto key = sec.value().begin(); key != sec.value().end(); ++key) {
            const QString now = after.value(sec.key()).value(key.key(), "<missing>");
            if (sec.key() == "commande_udp_00" && key.key() == "general")
                EXPECT_EQ(now, key.value().left(9));
            else
                EXPECT_EQ(now, key.value()) << sec.key().toStdString() << "/" << key.key().toStdString();
        }
    }
    // The comment line is still there, and the file keeps its line ends.
    QFile f(SettingsPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    EXPECT_TRUE(raw.contains("; written by the family's configuration tool\r\n"));
    EXPECT_EQ(raw.count('\n'), raw.count("\r\n"));
}

TEST_F(SettingsTest, PlanningSlotsLoadAndFreeSlotsKeepTheirOtherKeys) {
    WriteSettingsFile({"[Planning_003]", "Actif=ON", "Recorder=Recorder 2", "Frequence=Jour", "Heure=14",
                       "Minute=00", "Duree=5",
                       "[Planning_004]", "Actif=0FF", "Recorder=Recorder 4", "Heure=09"});
    FrmSetup_Form_Load();
    FrmSetupControls& c = ::Setup();
    EXPECT_EQ(c.PlanningTable[3].Recorder, "Recorder 2");
    EXPECT_EQ(c.PlanningTable[3].Frequence, "Jour");
    EXPECT_TRUE(c.PlanningTable[3].LineEnabled);
    EXPECT_EQ(c.PlanningTable[4].Recorder, "");
    EXPECT_FALSE(c.PlanningTable[4].LineEnabled);

    // The operator frees slot 3 in the editor and saves.
    c.CurrentPlanningRow = 3;
    c.ComboRecorder.setListIndex(0);
    c.ComboFrequence.setListIndex(5);
    SaveSettings();
    const IniMap ini = ReadIniFile(SettingsPath());
    EXPECT_EQ(ini["planning_003"]["actif"], "0FF");
    EXPECT_EQ(ini["planning_003"]["heure"], "14");
    EXPECT_EQ(ini["planning_004"]["actif"], "0FF");
    EXPECT_EQ(ini["planning_004"]["recorder"], "Recorder 4");
    EXPECT_EQ(ini["planning_000"]["actif"], "0FF");
}

TEST_F(SettingsTest, SavingTracesTheFileAndRunsTheNextTimingAnalysis) {
    int analyses = 0;
    SetupLinks().NextTimingAnalysis = [&] { ++analyses; };
    FrmSetup_Form_Load();
    EXPECT_EQ(analyses, 1);
    CommandSave_Click();
    EXPECT_EQ(analyses, 2);
    EXPECT_TRUE(Traced("NomFichierSettings: " + SettingsPath()));
}

TEST_F(SettingsTest, SaveThatCannotReachTheDiskKeepsTheEditsMarked) {
    FrmSetup_Form_Load();
    ::Setup().TexteLibelleRecorder[0].setText("Studio");
    ASSERT_TRUE(SetupFlags().SettingsModified);
    // The settings file becomes a folder: nothing can be written to it.
    ASSERT_TRUE(QFile::remove(SettingsPath()));
    ASSERT_TRUE(QDir().mkpath(SettingsPath()));
    SaveSettings();
    EXPECT_TRUE(SetupFlags().SettingsModified);
    EXPECT_TRUE(Traced("Err: SaveSettings: "));
}

TEST_F(SettingsTest, LoaderReportsItsStagesOnTheStartupMessage) {
    MainState().SplashVisible = true;
    FrmSetup_Form_Load();
    EXPECT_EQ(MainState().SplashText, "Options: Init: PositionFeuille");
    InitSettings();
    EXPECT_EQ(MainState().SplashText, "Options: Init: InitSettings: Z");
}

TEST_F(SettingsTest, LoaderDoesNothingDuringShutdown) {
    MainState().QuitRequested = true;
    InitSettings();
    EXPECT_FALSE(QFile::exists(SettingsPath()));
    EXPECT_EQ(::Setup().TexteLibelleRecorder[0].text(), "");
}

// The window's life: close box, close button, unload with its question.
TEST_F(SettingsTest, CloseBoxAndCloseButtonOnlyHideTheWindow) {
    FrmSetup_Form_Load();
    bool shown = true;
    SetupLinks().ShowWindow = [&](bool s) { shown = s; };
    ::Setup().visible = true;
    bool cancel = false;
    FrmSetup_Form_QueryUnload(cancel, 0);
    EXPECT_TRUE(cancel);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(::Setup().visible);

    shown = true;
    CommandFermer_Click();
    EXPECT_FALSE(shown);

    cancel = false;
    FrmSetup_Form_QueryUnload(cancel, 1);  // closed by the program: the unload goes on
    EXPECT_FALSE(cancel);
}

TEST_F(SettingsTest, UnloadAsksBeforeSavingModifiedSettings) {
    ScriptedDialogs dialogs;
    SetDialogs(&dialogs);
    FrmSetup_Form_Load();
    ::Setup().position.left = 120;
    ::Setup().position.top = 80;

    // Nothing modified: no question.
    FrmSetup_Form_Unload();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(ReadIniFile(SettingsPath())["frmpos"]["frmsetup_left"], "120");
    EXPECT_EQ(ReadIniFile(SettingsPath())["frmpos"]["frmsetup_top"], "80");

    // No: the file stays as it was.
    ::Setup().TexteLibelleRecorder[0].setText("Studio");
    dialogs.answer = MsgNo;
    FrmSetup_Form_Unload();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0], "Voulez-vous enregistrer les données ?");
    EXPECT_EQ(dialogs.titles[0], ::Setup().caption);
    EXPECT_FALSE(SetupFlags().SettingsModified);
    EXPECT_EQ(ReadIniFile(SettingsPath())["recorder_00"]["lib"], "");

    // Yes: saved.
    ::Setup().TexteLibelleRecorder[0].setText("Antenne");
    dialogs.answer = MsgYes;
    FrmSetup_Form_Unload();
    EXPECT_EQ(ReadIniFile(SettingsPath())["recorder_00"]["lib"], "Antenne");
    EXPECT_FALSE(SetupFlags().SettingsModified);
}

TEST_F(SettingsTest, UnloadWithoutAnOperatorKeepsTheEdits) {
    FrmSetup_Form_Load();
    // The default dialogs answer as an absent operator: the default button.
    ::Setup().TexteLibelleRecorder[0].setText("Nuit");
    FrmSetup_Form_Unload();
    EXPECT_EQ(ReadIniFile(SettingsPath())["recorder_00"]["lib"], "Nuit");

    // The system going down: no question at all, the edits are saved.
    ScriptedDialogs dialogs;
    SetDialogs(&dialogs);
    MainState().SystemShutdown = true;
    ::Setup().TexteLibelleRecorder[0].setText("Matin");
    FrmSetup_Form_Unload();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(ReadIniFile(SettingsPath())["recorder_00"]["lib"], "Matin");
}


TEST_F(SettingsTest, DeviceNameTravelsWithTheDeviceAndUnusableFoldersAreRefused) {
    WriteSettingsFile({"[Recorder_00]", "Actif=ON", "Device=3", "DeviceName=alsa_input.usb-studio", "PigeFolder=",
                       "[Recorder_01]", "Actif=ON", "PigeFolder=pige/antenne", "[Recorder_02]", "Actif=ON",
                       "PigeFolder=" + drive + "Pige/", "[Recorder_05]", "PigeFolder=relative"});
    FrmSetup_Form_Load();
    EXPECT_EQ(Rec(0).config().DeviceName, "alsa_input.usb-studio");
    const QString incidents = Trace().ListeIncidents.join("\n");
    EXPECT_TRUE(incidents.contains("Rec. 1: PigeFolder= refused: no destination folder is set")) << incidents.toStdString();
    EXPECT_TRUE(incidents.contains("Rec. 2: PigeFolder=pige/antenne refused: the destination folder 'pige/antenne/' is "
                                   "not an absolute path"))
        << incidents.toStdString();
    EXPECT_FALSE(incidents.contains("Rec. 3")) << "an absolute folder is fine";
    EXPECT_FALSE(incidents.contains("Rec. 6")) << "a recorder out of service is not reported";
    EXPECT_EQ(Rec(1).health().LastError, "the destination folder 'pige/antenne/' is not an absolute path");
    // Nothing is made where the program happens to run.
    EXPECT_FALSE(QFileInfo::exists("pige"));

    // Saved beside the number, read back as it was.
    SaveSettings();
    const IniMap saved = ReadIniFile(SettingsPath());
    EXPECT_EQ(saved["recorder_00"]["device"], "3");
    EXPECT_EQ(saved["recorder_00"]["devicename"], "alsa_input.usb-studio");
    EXPECT_EQ(saved["recorder_01"]["devicename"], "");
}

TEST_F(SettingsTest, AnEditMadeWhileTheSaveLetsEventsRunStaysToBeSaved) {
    WriteSettingsFile({"[Recorder_00]", "Actif=ON"});
    FrmSetup_Form_Load();
    ::Setup().TexteLibelleRecorder[0].setText("Antenne");
    ASSERT_TRUE(SetupFlags().SettingsModified);
    // The operator ticks recorder 4's in-service box while the save runs
    // (after that key was written).
    bool clicked = false;
    QTimer::singleShot(0, [&] {
        ::Setup().CheckActif[3].setChecked(true);
        clicked = true;
    });
    SaveSettings();
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(SetupFlags().SettingsModified) << "the tick is not lost";
    SaveSettings();
    EXPECT_FALSE(SetupFlags().SettingsModified);
    EXPECT_EQ(ReadIniFile(SettingsPath())["recorder_03"]["actif"], "ON");
}
