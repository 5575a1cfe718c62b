// The settings file and the setup window: the model loaded and shown in the
// controls, the model saved, and the pieces of the window's initialisation
// that read the file before it (UDP inputs, serial link, planning).
#include "ui/setup/frm_setup.h"

#include "core/main_window_state.h"
#include "platform/os.h"
#include "planning/planning.h"
#include "support/errors.h"
#include "support/file_names.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"
#include "ui/setup/setup_internal.h"

using namespace setup_detail;

namespace {

void Stage(const QString& letter) { SplashStep("Options: Init: InitSettings: " + letter); }

QString RecName(int i) { return "Rec. " + QString::number(i + 1); }

// A setting that cannot be used as it is written: an incident on the
// recorder's line.
void SettingIncident(int i, const QString& text) { TraceLogEncadre(-1, i, -1, RecName(i) + ": " + text, "=", true); }

// The format as written is one of the list (0..5).
bool KnownFormat(const QString& text) {
    bool number = false;
    const int v = text.trimmed().toInt(&number);
    return number && v >= 0 && v <= 5;
}

}  // namespace

void InitSettings() {
    ErrorTrap trap("FrmSetup:InitSettings");
    if (MainState().QuitRequested) return;
    FrmSetupControls& c = Setup();
    SettingsModel m;
    trap(10, [&] {
        Stage("A");
        m = LoadSettingsModel(RecorderConfigs());
    });
    // The recorders take their configuration first; the controls below show
    // it (their handlers only confirm it).
    trap(30, [&] {
        Stage("B");
        SetRecordersInService(m.RecorderCount);
        for (int i = 0; i < kRecorders; ++i) Rec(i).SetConfig(m.Recorders[size_t(i)]);
        StationConfig& st = Station();
        const SerialConfig serial = st.Serial;  // read with the serial link's lists
        const QString host = st.HostAddress;    // this computer's, not stored
        st = m.Station;
        st.Serial = serial;
        st.HostAddress = host;
    });
    for (int i = 0; i < kRecorders; ++i) {
        trap(40, [&] {
            const bool on = m.Recorders[size_t(i)].InService;
            c.CheckActif[i].setChecked(on);
            c.OptionTabs[i + 1].setVisible(on);
            S().main.rec[i].Tab.setVisible(on);
        });
    }
    trap(60, [&] { Stage("C"); });
    for (int i = 0; i < kRecorders; ++i) {
        const RecorderConfig& r = m.Recorders[size_t(i)];
        trap(70, [&] { c.TexteLibelleRecorder[i].setText(r.Label); });
        trap(150, [&] { c.CheckPigeAntenne[i].setChecked(r.Logging); });
        trap(160, [&] { c.TextePigeNbJours[i].setText(r.LoggingDays); });
        trap(170, [&] { c.TexteDossier[i].setText(r.FolderText); });
        trap(180, [&] { c.TexteNomFichier[i].setText(r.NamePattern); });
        trap(190, [&] { c.CheckNomFichier[i].setChecked(r.ConfirmName); });
        trap(192, [&] { c.TexteSilenceSeuil[i].setText(r.SilenceThreshold); });
        trap(194, [&] { c.TexteSilenceDelai[i].setText(r.SilenceDelay); });
    }

    // Destination folders that would put the files anywhere: refused (the
    // recorder does not record until the folder is set).
    for (int i = 0; i < RecordersInService(); ++i) {
        trap(195, [&] {
            RecorderHealth& h = Rec(i).health();
            const QString refused = DestinationFolderRefusal(Rec(i).config().RecordFolder);
            if (refused.isEmpty()) return;
            h.LastError = h.IncidentCause = refused;
            SettingIncident(i, "PigeFolder=" + c.TexteDossier[i].text() + " refused: " + refused +
                                   "; the recorder does not record until its folder is set");
        });
    }

    trap(200, [&] { Stage("D"); });
    for (int i = 0; i < kRecorders; ++i) {
        // Errors ignored here. A format that is not one of the list records
        // WAV (entry 1): never into memory only without a word.
        ComboCtl& formats = c.ComboInputFormats[i];
        if (!KnownFormat(m.StoredFormat[size_t(i)])) {
            if (i < RecordersInService())
                SettingIncident(i, "Format=" + m.StoredFormat[size_t(i)] + " is not a recording format: wave is used");
            formats.setListIndex(1);
            Rec(i).SetFormat(FormatWav, Rec(i).config().FormatCharacteristic);
        } else if (!formats.setListIndex(m.Recorders[size_t(i)].FormatIndex) || formats.listIndex() < 0) {
            formats.setListIndex(0);
        }
        ComboCtl& characteristics = c.ComboFormatCaracteristiques[i];
        if (!characteristics.setListIndex(m.StoredCharacteristic[size_t(i)]) || characteristics.listIndex() < 0)
            characteristics.setListIndex(0);
    }

    for (int i = 0; i < kRecorders; ++i) {
        trap(210, [&] { Stage("E"); });
        const RecorderConfig& r = m.Recorders[size_t(i)];
        for (int cmd = 0; cmd < 3; ++cmd) {
            if (cmd == 1) trap(230, [&] { Stage("F"); });
            if (cmd == 2) trap(240, [&] { Stage("G"); });
            const int n = 3 * i + cmd;
            const KeyboardBinding& kb = r.Keys[size_t(cmd)];
            trap(250, [&] { if (kb.Ctrl) c.CheckCtrl[n].setChecked(true); });
            trap(260, [&] { if (kb.Alt) c.CheckAlt[n].setChecked(true); });
            trap(270, [&] { if (kb.Shift) c.CheckShift[n].setChecked(true); });
            trap(280, [&] { SelectEntry(c.ComboToucheClavier[n], kb.Entry); });
        }
    }

    trap(300, [&] { Stage("H"); });
    for (int i = 0; i < kRecorders; ++i) {
        const RecorderConfig& r = m.Recorders[size_t(i)];
        for (int cmd = 0; cmd < 3; ++cmd) trap(320, [&] { SelectEntry(c.ComboPeripherique[3 * i + cmd], r.Contacts[size_t(cmd)].Entry); });
        trap(340, [&] { c.TexteFichierRecordPeripherique[i].setText(r.PeripheralFile); });
    }

    trap(350, [&] {
        Stage("I");
        QStringList targets;
        for (int t = 0; t <= 9; ++t) targets << N2S(t, 2, 0, "0");
        for (int i = 0; i < kRecorders; ++i) {
            c.ComboEmissionUDPPodcaster[i].setEntries(targets);
            c.ComboEmissionUDPConvertir[i].setEntries(targets);
            c.ComboSilenceUDP[i].setEntries(targets);
        }
    });
    for (int i = 0; i < kRecorders; ++i) {
        const RecorderConfig& r = m.Recorders[size_t(i)];
        trap(370, [&] {
            c.CheckUDPRecord[i].setChecked(r.UdpRecord);
            c.CheckUDPPause[i].setChecked(r.UdpPause);
            c.CheckUDPStop[i].setChecked(r.UdpStop);
            c.CheckUDPPodcaster[i].setChecked(r.UdpPodcast);
            c.CheckUDPConvertir[i].setChecked(r.UdpConvert);
        });
        trap(380, [&] { SelectEntry(c.ComboEmissionUDPPodcaster[i], r.PodcastTargetEntry); });
        trap(390, [&] { SelectEntry(c.ComboEmissionUDPConvertir[i], r.ConvertTargetEntry); });
        trap(395, [&] { SelectEntry(c.ComboSilenceUDP[i], r.SilenceUdpEntry); });
    }

    trap(400, [&] { Stage("J"); });
    for (int k = 0; k < kUdpLines; ++k) {
        const UdpLineConfig& line = m.Station.UdpIn[size_t(k)];
        trap(410, [&] { c.TexteUDPIPSource[k].setText(line.Address); });
        trap(420, [&] { c.TexteUDPPortSource[k].setText(line.Port); });
        trap(430, [&] { c.CheckUDPInActif[k].setChecked(line.Active); });
    }
    trap(440, [&] { c.CheckRecord128.setChecked(m.Station.StartRecord128); });

    trap(450, [&] { Stage("K"); });
    for (int k = 0; k < kUdpTargets; ++k) {
        const UdpTargetConfig& t = m.Station.UdpOut[size_t(k)];
        trap(460, [&] {
            c.TexteUDPLibelleCible[k].setText(t.Label);
            c.TexteUDPIPCible[k].setText(t.Address);
            c.TexteUDPPortCible[k].setText(t.Port);
            c.TexteUDPPortBCible[k].setText(t.PortB);
            c.TexteUDPPortCCible[k].setText(t.PortC);
            c.TexteUDPPortDCible[k].setText(t.PortD);
            c.TexteUDPSend[k].setText(t.Message);
        });
    }

    trap(470, [&] { c.CheckTimingPige.setChecked(m.Station.Slices.ByTable); });
    for (int k = 0; k < kSliceRows; ++k)
        trap(480, [&] { SelectEntry(c.ComboPigeTimingFin[k], m.Station.Slices.EndEntry[size_t(k)]); });

    trap(490, [&] {
        SetupFlags().SettingsModified = false;
        Stage("Z");
    });
}

void SaveSettings() {
    ErrorTrap trap("FrmSetup:SaveSettings");
    // The save lets events run: an edit made meanwhile may come after its
    // key was written, and must stay to be saved.
    quint64 editsDuringEvents = 0;
    auto letEventsRun = [&] {
        const quint64 before = SettingsEditCount();
        platform::LetEventsRun();
        editsDuringEvents += SettingsEditCount() - before;
    };
    // The row being edited of the planning goes into its slot first.
    int failures = 0;
    trap(5, [&] { failures = SaveSettingsModel(RecorderConfigs(), Station(), letEventsRun); });
    trap(110, [&] { failures += SaveDataPlanning(); });
    trap(120, [&] {
        if (failures == 0) {
            SetupFlags().SettingsModified = editsDuringEvents > 0;
            if (SetupFlags().SettingsModified)
                TraceLog(-1, -1, -1, "SaveSettings: settings edited during the save: still to be saved");
        } else {
            // The edits are still only in force in this run: keep them marked.
            TraceLogEncadre(-1, -1, -1,
                            "Err: SaveSettings: " + QString::number(failures) + " key(s) not written to " +
                                SettingsFilePath(),
                            "=", true);
        }
    });
}

// ---------------------------------------------------------------------------
// The pieces of the window's initialisation that read the file before the
// settings loader: UDP inputs, serial link and planning.

void InitGeneralUDP() {
    ErrorTrap trap("FrmSetup:InitGeneralUDP");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        c.TexteComputerName.setText(platform::ComputerName());
        c.TexteAdresseIP.setText(platform::HostAddress());
    });
    trap(20, [&] {
        for (int k = 0; k < kUdpLines; ++k) {
            const QString ip = c.TexteUDPIPSource[k].text().trimmed();
            if (ip.isEmpty() || ip == "0.0.0.0") c.TexteUDPIPSource[k].setText(c.TexteAdresseIP.text());
        }
    });
}

void InitGeneralPortCOM() {
    ErrorTrap trap("FrmSetup:InitGeneralPortCOM");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        QStringList ports;
        for (int p = 1; p <= 9; ++p) ports << QString::number(p);
        c.ComboNoPort.setEntries(ports);
        c.ComboPortComSetup[0].setEntries(SerialSpeedEntries());
        c.ComboPortComSetup[1].setEntries(SerialParityEntries());
        c.ComboPortComSetup[2].setEntries(SerialDataBitsEntries());
        c.ComboPortComSetup[3].setEntries(SerialStopBitsEntries());
    });
    SerialConfig serial;
    trap(20, [&] { serial = LoadSerialConfig(); });
    trap(30, [&] {
        c.CheckPortCOMPresent.setChecked(false);
        c.ComboNoPort.setListIndex(serial.PortEntry);
        for (int k = 0; k < 4; ++k) c.ComboPortComSetup[k].setListIndex(serial.Setup[size_t(k)]);
        c.CheckPortCOMPresent.setChecked(serial.Active);
        Station().Serial = serial;
    });
    trap(100, [&] {
        // The serial module opens the port when the link is in service.
        if (serial.Active && SetupLinks().OpenSerialPort) SetupLinks().OpenSerialPort();
    });
}

void InitGeneralDonneesPlanning() {
    ErrorTrap trap("FrmSetup:InitGeneralDonneesPlanning");
    FrmSetupControls& c = Setup();
    trap(10, [&] { PlanningLines().Load(); });
    trap(20, [&] { c.PlanningTable = PlanningLines().Lines(); });
    trap(30, [&] {
        if (SetupLinks().FillPlanningListView) SetupLinks().FillPlanningListView();
    });
    trap(40, [&] {
        if (SetupLinks().NextTimingAnalysis) SetupLinks().NextTimingAnalysis();
    });
}

void StorePlanningEditor(int slot) {
    if (slot < 0 || slot >= kPlanningSlots) return;
    const FrmSetupControls& c = Setup();
    PlanningLine& line = Setup().PlanningTable[slot];
    line.Recorder = c.ComboRecorder.text();
    line.Frequence = c.ComboFrequence.text();
    line.Annee = c.ComboAnnee.text();
    line.Mois = c.ComboMois.text();
    line.Semaine = c.ComboSemaine.text();
    line.Jour = c.ComboJour.text();
    line.Heure = c.ComboHeure.text();
    line.Minute = c.ComboMinute.text();
    line.LineEnabled = c.CheckPlanningActif.checked();
    line.Duree = c.TextDuree.text();
    line.DossierFichierSon = c.TexteDossierFichierSon.text();
    line.ASC82Plus = c.TexteASC82Plus.text();
}

int SaveDataPlanning() {
    ErrorTrap trap("FrmSetup:SaveDataPlanning");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        // The row being edited goes into its slot (and its row) first.
        const int row = c.CurrentPlanningRow;
        if (row < 0 || row >= kPlanningSlots) return;
        if (SetupLinks().MemoriseModifications) {
            SetupLinks().MemoriseModifications();
        } else {
            StorePlanningEditor(row);
            MarkSettingsModified();
        }
    });
    int failures = 0;
    trap(30, [&] { failures = PlanningLines().Save(c.PlanningTable); });
    trap(40, [&] {
        if (SetupLinks().NextTimingAnalysis) SetupLinks().NextTimingAnalysis();
    });
    return failures;
}
