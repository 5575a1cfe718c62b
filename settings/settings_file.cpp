// The recorder's settings file: the loader that fills the slots, the tables
// and the setup window's controls, and the saver that writes them back.
#include "settings/frm_setup.h"

#include "settings/setup_internal.h"
#include "platform/os.h"
#include "support/errors.h"
#include "support/file_names.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

using namespace setup_detail;

namespace {

QString SettingsFile() { return NomFichierSettings(".Ini", ""); }

QString OnOff(bool on) { return on ? "ON" : "0FF"; }
QString OneZero(bool on) { return on ? "1" : "0"; }
QString YesNo(bool on) { return on ? "O" : "N"; }

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

// Counts the keys that could not be written, so that a save that did not
// reach the disk is not taken for a good one.
struct Writer {
    QString file;
    int failures = 0;
    void operator()(const QString& section, const QString& key, const QString& value) {
        if (!EcritureIni(file, section, key, value)) ++failures;
    }
};

}  // namespace

void InitSettings() {
    ErrorTrap trap("FrmSetup:InitSettings");
    if (S().QuitRequested) return;
    FrmSetupControls& c = Setup();
    QString file;
    auto read = [&](const QString& section, const QString& key, const QString& def) {
        return LectureIni(file, section, key, def);
    };
    // The characteristic read from the file: selecting the format puts the
    // format's default characteristic into the slot first.
    std::array<qint16, kRecorders> storedCharacteristic{};
    std::array<QString, kRecorders> storedFormat;

    trap(10, [&] {
        Stage("A");
        file = SettingsFile();
        for (auto& slot : S().slot) slot.RecordKind = RecordKindOrdinary;
    });
    trap(20, [&] {
        if (!File_Exist(file, "FrmSetup:InitSettings")) {
            S().RecorderCount = 1;
            EcritureIni(file, RecorderSection("Recorder_", 0), "Actif", "ON");
        }
    });
    trap(30, [&] {
        Stage("B");
        S().RecorderCount = 0;
    });
    for (int i = 0; i < kRecorders; ++i) {
        trap(40, [&] {
            const bool on = read(RecorderSection("Recorder_", i), "Actif", "0FF") == "ON";
            S().slot[i].Active = on;
            c.CheckActif[i].setChecked(on);
            if (on) S().RecorderCount = i + 1;
            c.OptionTabs[i + 1].setVisible(on);
            S().main.rec[i].Tab.setVisible(on);
        });
    }
    trap(50, [&] {
        if (S().RecorderCount == 0) {
            S().RecorderCount = 1;
            EcritureIni(file, RecorderSection("Recorder_", 0), "Actif", "ON");
        }
    });

    trap(60, [&] { Stage("C"); });
    for (int i = 0; i < kRecorders; ++i) {
        const QString sec = RecorderSection("Recorder_", i);
        RecorderSlot& slot = S().slot[i];
        trap(70, [&] { c.TexteLibelleRecorder[i].setText(read(sec, "Lib", "Recorder " + QString::number(i + 1))); });
        trap(80, [&] { slot.DeviceIndex = NumI16(read(sec, "Device", "0")); });
        trap(85, [&] { slot.DeviceName = read(sec, "DeviceName", ""); });
        trap(90, [&] { slot.ChannelIndex = NumI16(read(sec, "Channel", "0")); });
        trap(100, [&] {
            storedFormat[i] = read(sec, "Format", "1");
            slot.FormatIndex = NumI16(storedFormat[i]);
        });
        trap(110, [&] { slot.FormatCharacteristic = NumI16(read(sec, "FormatCaracteristics", "0")); });
        trap(120, [&] { slot.QualityIndex = NumI16(read(sec, "Quality", "0")); });
        trap(130, [&] { slot.QualityText = read(sec, "SQuality", ""); });
        // The slot's volume is what the saver writes back.
        trap(140, [&] { slot.Volume = CLngRound(Val(read(sec, "Volume", "75"))); });
        trap(150, [&] { SetCheckValue(c.CheckPigeAntenne[i], Val(read(sec, "Pige", "0"))); });
        trap(160, [&] { c.TextePigeNbJours[i].setText(read(sec, "PigeNbJours", "30")); });
        trap(170, [&] { c.TexteDossier[i].setText(read(sec, "PigeFolder", slot.LocalSoundFolder)); });
        trap(180, [&] { c.TexteNomFichier[i].setText(read(sec, "PigeFile", "")); });
        trap(190, [&] { SetCheckValue(c.CheckNomFichier[i], Val(read(sec, "PigeConfirmFile", "0"))); });
        trap(192, [&] { c.TexteSilenceSeuil[i].setText(read(sec, "SilenceSeuil", "-50")); });
        trap(194, [&] { c.TexteSilenceDelai[i].setText(read(sec, "SilenceDelai", "30")); });
        storedCharacteristic[i] = slot.FormatCharacteristic;
    }

    // Destination folders that would put the files anywhere: refused (the
    // recorder does not record until the folder is set).
    for (int i = 0; i < S().RecorderCount && i < kRecorders; ++i) {
        trap(195, [&] {
            RecorderHealth& h = S().slot[i].Health;
            const QString refused = DestinationFolderRefusal(S().slot[i].RecordFolder);
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
        if (!KnownFormat(storedFormat[i])) {
            if (i < S().RecorderCount)
                SettingIncident(i, "Format=" + storedFormat[i] + " is not a recording format: wave is used");
            formats.setListIndex(1);
            S().slot[i].FormatIndex = 1;
        } else if (!formats.setListIndex(S().slot[i].FormatIndex) || formats.listIndex() < 0) {
            formats.setListIndex(0);
        }
        ComboCtl& characteristics = c.ComboFormatCaracteristiques[i];
        if (!characteristics.setListIndex(storedCharacteristic[i]) || characteristics.listIndex() < 0)
            characteristics.setListIndex(0);
    }

    for (int i = 0; i < kRecorders; ++i) {
        trap(210, [&] { Stage("E"); });
        QString packed;
        trap(220, [&] { packed = read(RecorderSection("Keyboard_", i), "RecordPauseStop", "NNN00NNN00NNN00"); });
        for (int cmd = 0; cmd < 3; ++cmd) {
            if (cmd == 1) trap(230, [&] { Stage("F"); });
            if (cmd == 2) trap(240, [&] { Stage("G"); });
            const QString g = packed.mid(5 * cmd, 5);
            const int n = 3 * i + cmd;
            KeyboardBinding& kb = S().keyboard[i][cmd];
            trap(250, [&] {
                if (g.mid(0, 1) == "O") { c.CheckCtrl[n].setChecked(true); kb.Ctrl = true; }
            });
            trap(260, [&] {
                if (g.mid(1, 1) == "O") { c.CheckAlt[n].setChecked(true); kb.Alt = true; }
            });
            trap(270, [&] {
                if (g.mid(2, 1) == "O") { c.CheckShift[n].setChecked(true); kb.Shift = true; }
            });
            trap(280, [&] {
                const double v = Val(g.mid(3, 2));
                if (v >= 0) SelectEntry(c.ComboToucheClavier[n], v);
            });
            trap(290, [&] {
                const int e = c.ComboToucheClavier[n].listIndex();
                if (e >= 1 && e <= 26) kb.Key = 64 + e;
                else if (e >= 27 && e <= 42) kb.Key = 85 + e;
            });
        }
    }

    trap(300, [&] { Stage("H"); });
    for (int i = 0; i < kRecorders; ++i) {
        QString packed;
        trap(310, [&] { packed = read(RecorderSection("Peripheral_", i), "RecordPauseStop", "000000"); });
        for (int cmd = 0; cmd < 3; ++cmd) {
            const double v = Val(packed.mid(2 * cmd, 2));
            ContactBinding& cb = S().contact[i][cmd];
            trap(320, [&] { SelectEntry(c.ComboPeripherique[3 * i + cmd], v); });
            trap(330, [&] {
                if (v >= 1 && v <= 16) {
                    cb.Enabled = true;
                    cb.Input = qint16(v - 1);
                    cb.State = false;
                } else {
                    cb.Enabled = false;
                }
            });
        }
        trap(340, [&] {
            c.TexteFichierRecordPeripherique[i].setText(read(RecorderSection("Peripheral_", i), "FichierSpecifique", ""));
        });
    }

    trap(350, [&] {
        Stage("I");
        QStringList targets;
        for (int t = 0; t <= 9; ++t) targets << N2S(t, 2, 0, "0");
        for (int i = 0; i < kRecorders; ++i) {
            c.ComboEmissionUDPPodcaster[i].setEntries(targets);
            c.ComboEmissionUDPPodcaster[i].setListIndex(0);
            c.ComboEmissionUDPConvertir[i].setEntries(targets);
            c.ComboEmissionUDPConvertir[i].setListIndex(0);
            c.ComboSilenceUDP[i].setEntries(targets);
            c.ComboSilenceUDP[i].setListIndex(0);
        }
    });
    for (int i = 0; i < kRecorders; ++i) {
        QString g;
        trap(360, [&] { g = read(RecorderSection("Commande_UDP_", i), "General", "0000000000"); });
        trap(370, [&] {
            c.CheckUDPRecord[i].setChecked(g.mid(0, 1) == "1");
            c.CheckUDPPause[i].setChecked(g.mid(1, 1) == "1");
            c.CheckUDPStop[i].setChecked(g.mid(2, 1) == "1");
            c.CheckUDPPodcaster[i].setChecked(g.mid(3, 1) == "1");
            c.CheckUDPConvertir[i].setChecked(g.mid(6, 1) == "1");
        });
        trap(380, [&] { SelectEntry(c.ComboEmissionUDPPodcaster[i], Val(g.mid(4, 2))); });
        trap(390, [&] { SelectEntry(c.ComboEmissionUDPConvertir[i], Val(g.mid(7, 2))); });
        trap(395, [&] { SelectEntry(c.ComboSilenceUDP[i], Val(read(RecorderSection("Recorder_", i), "SilenceUDP", "00"))); });
    }

    trap(400, [&] { Stage("J"); });
    for (int k = 0; k < kUdpLines; ++k) {
        const QString n = QString::number(k);
        trap(410, [&] { c.TexteUDPIPSource[k].setText(read("UDP_IN", "IP_" + n, c.TexteAdresseIP.text())); });
        trap(420, [&] { c.TexteUDPPortSource[k].setText(read("UDP_IN", "Port_" + n, QString::number(96 + k))); });
        trap(430, [&] { SetCheckValue(c.CheckUDPInActif[k], Val(read("UDP_IN", "Actif_" + n, "0"))); });
    }
    trap(440, [&] { SetCheckValue(c.CheckRecord128, Val(read("UDP_IN", "StartRecord128", "1"))); });

    trap(450, [&] { Stage("K"); });
    for (int k = 0; k < kUdpTargets; ++k) {
        const QString n = QString::number(k);
        trap(460, [&] {
            c.TexteUDPLibelleCible[k].setText(read("UDP_OUT", "Lib_" + n, "UDP Out #" + QString::number(k + 1)));
            c.TexteUDPIPCible[k].setText(read("UDP_OUT", "IP_" + n, ""));
            c.TexteUDPPortCible[k].setText(read("UDP_OUT", "Port_" + n, QString::number(96 + k)));
            c.TexteUDPPortBCible[k].setText(read("UDP_OUT", "PortB_" + n, ""));
            c.TexteUDPPortCCible[k].setText(read("UDP_OUT", "PortC_" + n, ""));
            c.TexteUDPPortDCible[k].setText(read("UDP_OUT", "PortD_" + n, ""));
            c.TexteUDPSend[k].setText(read("UDP_OUT", "Msg_" + n, ""));
        });
    }

    trap(470, [&] { SetCheckValue(c.CheckTimingPige, Val(read("PigeTranche", "Actif", "0"))); });
    for (int k = 0; k < kSliceRows; ++k) {
        trap(480, [&] {
            SelectEntry(c.ComboPigeTimingFin[k], Val(read("PigeTranche", "Tranche_" + QString::number(k), QString::number(k))));
        });
    }

    trap(490, [&] {
        S().SettingsModified = false;
        Stage("Z");
    });
}

void SaveSettings() {
    ErrorTrap trap("FrmSetup:SaveSettings");
    FrmSetupControls& c = Setup();
    Writer write;
    // The save lets events run: an edit made meanwhile may come after its
    // key was written, and must stay to be saved.
    quint64 editsDuringEvents = 0;
    auto letEventsRun = [&] {
        const quint64 before = SettingsEditCount();
        platform::LetEventsRun();
        editsDuringEvents += SettingsEditCount() - before;
    };
    trap(10, [&] {
        write.file = SettingsFile();
        TraceLog(-1, -1, -1, "NomFichierSettings: " + write.file);
    });
    trap(20, [&] {
        for (int i = 0; i < kRecorders; ++i)
            write(RecorderSection("Recorder_", i), "Actif", OnOff(c.CheckActif[i].checked()));
    });
    for (int i = 0; i < kRecorders; ++i) {
        trap(30, [&] {
            const QString sec = RecorderSection("Recorder_", i);
            const RecorderSlot& slot = S().slot[i];
            write(sec, "Lib", c.TexteLibelleRecorder[i].text());
            write(sec, "Device", QString::number(slot.DeviceIndex));
            write(sec, "DeviceName", slot.DeviceName);
            write(sec, "Channel", QString::number(slot.ChannelIndex));
            write(sec, "Format", QString::number(slot.FormatIndex));
            write(sec, "FormatCaracteristics", QString::number(slot.FormatCharacteristic));
            write(sec, "Quality", QString::number(slot.QualityIndex));
            write(sec, "SQuality", slot.QualityText);
            write(sec, "Volume", QString::number(slot.Volume));
            write(sec, "Pige", QString::number(c.CheckPigeAntenne[i].value()));
            write(sec, "PigeNbJours", c.TextePigeNbJours[i].text());
            write(sec, "PigeFolder", c.TexteDossier[i].text());
            write(sec, "PigeFile", c.TexteNomFichier[i].text());
            write(sec, "PigeConfirmFile", QString::number(c.CheckNomFichier[i].value()));
            write(sec, "SilenceSeuil", c.TexteSilenceSeuil[i].text());
            write(sec, "SilenceDelai", c.TexteSilenceDelai[i].text());
            write(sec, "SilenceUDP", Entry2(c.ComboSilenceUDP[i]));
        });
    }
    for (int i = 0; i < kRecorders; ++i) {
        trap(40, [&] {
            QString packed;
            for (int cmd = 0; cmd < 3; ++cmd) {
                const int n = 3 * i + cmd;
                packed += YesNo(c.CheckCtrl[n].checked()) + YesNo(c.CheckAlt[n].checked()) +
                          YesNo(c.CheckShift[n].checked()) + Entry2(c.ComboToucheClavier[n]);
            }
            write(RecorderSection("Keyboard_", i), "RecordPauseStop", packed);
        });
    }
    for (int i = 0; i < kRecorders; ++i) {
        trap(50, [&] {
            const QString sec = RecorderSection("Peripheral_", i);
            write(sec, "RecordPauseStop",
                  Entry2(c.ComboPeripherique[3 * i]) + Entry2(c.ComboPeripherique[3 * i + 1]) +
                      Entry2(c.ComboPeripherique[3 * i + 2]));
            write(sec, "FichierSpecifique", c.TexteFichierRecordPeripherique[i].text());
        });
    }
    for (int i = 0; i < kRecorders; ++i) {
        trap(60, [&] {
            const QString general = OneZero(c.CheckUDPRecord[i].checked()) + OneZero(c.CheckUDPPause[i].checked()) +
                                    OneZero(c.CheckUDPStop[i].checked()) + OneZero(c.CheckUDPPodcaster[i].checked()) +
                                    Entry2(c.ComboEmissionUDPPodcaster[i]) + OneZero(c.CheckUDPConvertir[i].checked()) +
                                    Entry2(c.ComboEmissionUDPConvertir[i]);
            write(RecorderSection("Commande_UDP_", i), "General", general);
        });
    }
    trap(70, [&] {
        for (int k = 0; k < kUdpLines; ++k) {
            const QString n = QString::number(k);
            write("UDP_IN", "IP_" + n, c.TexteUDPIPSource[k].text());
            write("UDP_IN", "Port_" + n, c.TexteUDPPortSource[k].text());
            write("UDP_IN", "Actif_" + n, QString::number(c.CheckUDPInActif[k].value()));
        }
        write("UDP_IN", "StartRecord128", QString::number(c.CheckRecord128.value()));
    });
    trap(80, [&] {
        for (int k = 0; k < kUdpTargets; ++k) {
            const QString n = QString::number(k);
            write("UDP_OUT", "Lib_" + n, c.TexteUDPLibelleCible[k].text());
            write("UDP_OUT", "IP_" + n, c.TexteUDPIPCible[k].text());
            write("UDP_OUT", "Port_" + n, c.TexteUDPPortCible[k].text());
            write("UDP_OUT", "PortB_" + n, c.TexteUDPPortBCible[k].text());
            write("UDP_OUT", "PortC_" + n, c.TexteUDPPortCCible[k].text());
            write("UDP_OUT", "PortD_" + n, c.TexteUDPPortDCible[k].text());
            write("UDP_OUT", "Msg_" + n, c.TexteUDPSend[k].text());
        }
    });
    trap(90, [&] {
        letEventsRun();
        write("PortCOM", "Actif", QString::number(c.CheckPortCOMPresent.value()));
        write("PortCOM", "NoPort", QString::number(c.ComboNoPort.listIndex()));
        write("PortCOM", "Vitesse", QString::number(c.ComboPortComSetup[0].listIndex()));
        write("PortCOM", "Parite", QString::number(c.ComboPortComSetup[1].listIndex()));
        write("PortCOM", "BitDonnees", QString::number(c.ComboPortComSetup[2].listIndex()));
        write("PortCOM", "BitArret", QString::number(c.ComboPortComSetup[3].listIndex()));
    });
    trap(100, [&] {
        write("PigeTranche", "Actif", QString::number(c.CheckTimingPige.value()));
        for (int k = 0; k < kSliceRows; ++k)
            write("PigeTranche", "Tranche_" + QString::number(k), QString::number(c.ComboPigeTimingFin[k].listIndex()));
    });
    trap(110, [&] { write.failures += SaveDataPlanning(); });
    trap(120, [&] {
        if (write.failures == 0) {
            S().SettingsModified = editsDuringEvents > 0;
            if (S().SettingsModified)
                TraceLog(-1, -1, -1, "SaveSettings: settings edited during the save: still to be saved");
        } else {
            // The edits are still only in the window: keep them marked.
            TraceLogEncadre(-1, -1, -1,
                            "Err: SaveSettings: " + QString::number(write.failures) + " key(s) not written to " +
                                write.file,
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
    QString file;
    trap(10, [&] {
        QStringList ports;
        for (int p = 1; p <= 9; ++p) ports << QString::number(p);
        c.ComboNoPort.setEntries(ports);
        c.ComboPortComSetup[0].setEntries({"110", "300", "600", "1200", "2400", "9600", "14400"});
        c.ComboPortComSetup[1].setEntries({"E", "M", "N", "O", "S"});
        c.ComboPortComSetup[2].setEntries({"4", "5", "6", "7", "8"});
        c.ComboPortComSetup[3].setEntries({"1", "1,5", "2"});
    });
    trap(20, [&] {
        c.CheckPortCOMPresent.setChecked(false);
        c.ComboNoPort.setListIndex(0);
        c.ComboPortComSetup[0].setListIndex(5);
        c.ComboPortComSetup[1].setListIndex(2);
        c.ComboPortComSetup[2].setListIndex(4);
        c.ComboPortComSetup[3].setListIndex(0);
    });
    trap(30, [&] { file = SettingsFile(); });
    trap(40, [&] { SelectEntry(c.ComboNoPort, Val(LectureIni(file, "PortCOM", "NoPort", "0"))); });
    trap(50, [&] { SelectEntry(c.ComboPortComSetup[0], Val(LectureIni(file, "PortCOM", "Vitesse", "5"))); });
    trap(60, [&] { SelectEntry(c.ComboPortComSetup[1], Val(LectureIni(file, "PortCOM", "Parite", "2"))); });
    trap(70, [&] { SelectEntry(c.ComboPortComSetup[2], Val(LectureIni(file, "PortCOM", "BitDonnees", "4"))); });
    trap(80, [&] { SelectEntry(c.ComboPortComSetup[3], Val(LectureIni(file, "PortCOM", "BitArret", "0"))); });
    trap(90, [&] { SetCheckValue(c.CheckPortCOMPresent, Val(LectureIni(file, "PortCOM", "Actif", "0"))); });
    trap(100, [&] {
        // The serial module opens the port when the link is in service.
        if (c.CheckPortCOMPresent.checked() && SetupLinks().OpenSerialPort) SetupLinks().OpenSerialPort();
    });
}

void InitGeneralDonneesPlanning() {
    ErrorTrap trap("FrmSetup:InitGeneralDonneesPlanning");
    FrmSetupControls& c = Setup();
    QString file;
    trap(10, [&] { file = SettingsFile(); });
    for (int k = 0; k < kPlanningSlots; ++k) {
        trap(20, [&] {
            const QString sec = PlanningSection(k);
            PlanningLine& line = c.PlanningTable[k];
            line = PlanningLine{};
            if (LectureIni(file, sec, "Actif", "0FF") != "ON") return;  // a free slot
            line.Recorder = LectureIni(file, sec, "Recorder", "");
            line.Frequence = LectureIni(file, sec, "Frequence", "");
            line.Annee = LectureIni(file, sec, "Annee", "");
            line.Mois = LectureIni(file, sec, "Mois", "");
            line.Semaine = LectureIni(file, sec, "Semaine", "");
            line.Jour = LectureIni(file, sec, "Jour", "");
            line.Heure = LectureIni(file, sec, "Heure", "");
            line.Minute = LectureIni(file, sec, "Minute", "");
            line.LineEnabled = LectureIni(file, sec, "LigneActive", "O") != "N";
            line.Duree = LectureIni(file, sec, "Duree", "");
            line.DossierFichierSon = LectureIni(file, sec, "DossierFichierSon", "");
            line.ASC82Plus = LectureIni(file, sec, "ASC82Plus", "");
        });
    }
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
    Writer write;
    trap(20, [&] { write.file = SettingsFile(); });
    for (int k = 0; k < kPlanningSlots; ++k) {
        trap(30, [&] {
            const QString sec = PlanningSection(k);
            const PlanningLine& line = c.PlanningTable[k];
            if (line.Recorder.trimmed().isEmpty()) {
                write(sec, "Actif", "0FF");  // the other keys stay as they are
                return;
            }
            write(sec, "Actif", "ON");
            write(sec, "Recorder", line.Recorder);
            write(sec, "Frequence", line.Frequence);
            write(sec, "Annee", line.Annee.trimmed());
            write(sec, "Mois", line.Mois.trimmed());
            write(sec, "Semaine", line.Semaine.trimmed());
            write(sec, "Jour", line.Jour.trimmed());
            write(sec, "Heure", line.Heure);
            write(sec, "Minute", line.Minute);
            write(sec, "LigneActive", YesNo(line.LineEnabled));
            write(sec, "Duree", line.Duree);
            write(sec, "DossierFichierSon", line.DossierFichierSon);
            write(sec, "ASC82Plus", line.ASC82Plus);
        });
    }
    trap(35, [&] {
        if (write.failures > 0)
            TraceLogEncadre(-1, -1, -1,
                            "Err: SaveDataPlanning: " + QString::number(write.failures) + " key(s) not written to " +
                                write.file,
                            "=", true);
    });
    trap(40, [&] {
        if (SetupLinks().NextTimingAnalysis) SetupLinks().NextTimingAnalysis();
    });
    return write.failures;
}
