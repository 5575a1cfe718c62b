// Per-recorder options of the setup window: service, label, destination
// folder and its free space, logging mode, shortcuts, contacts and the
// logging slices of the day.
#include "ui/setup/frm_setup.h"

#include "platform/os.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/file_names.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <cmath>

namespace {

bool Loading() { return SetupFlags().SettingsLoading; }

// A change of recorder i's configuration.
template <class F>
void Edit(int i, F change) {
    RecorderConfig c = Rec(i).config();
    change(c);
    Rec(i).SetConfig(c);
}

}  // namespace

void CheckActif_Click(int i) {
    ErrorTrap trap("FrmSetup:CheckActif_Click");
    // The recorder count is fixed for the run: a recorder put in service
    // starts with the next run of the program.
    trap(10, [&] {
        const bool on = Setup().CheckActif[i].checked();
        Setup().OptionTabs[i + 1].setVisible(on);
        Edit(i, [&](RecorderConfig& c) { c.InService = on; });
    });
    trap(20, [&] { MarkSettingsModified(); });
}

void TexteLibelleRecorder_Change(int i) {
    ErrorTrap trap("FrmSetup:TexteLibelleRecorder_Change");
    trap(10, [&] {
        const QString label = Setup().TexteLibelleRecorder[i].text();
        Edit(i, [&](RecorderConfig& c) { c.Label = label; });
        S().main.rec[i].MyFrameRecorder.setCaption(label);
    });
    trap(20, [&] {
        // Only the logging name holds the label; an ordinary recorder keeps
        // the pattern the operator typed.
        if (Rec(i).config().Logging) Setup().TexteNomFichier[i].setText(NameTextOf(i));
    });
    trap(30, [&] { MarkSettingsModified(); });
}

void TexteDossier_Change(int i) {
    ErrorTrap trap("FrmSetup:TexteDossier_Change");
    const QString text = Setup().TexteDossier[i].text();
    trap(10, [&] {
        Edit(i, [&](RecorderConfig& c) { ApplyFolderText(c, text); });
        const RecorderConfig& c = Rec(i).config();
        if (c.NetworkFolder != c.RecordFolder)
            TraceLog(-1, i, -1, "Shared Folder changed from " + c.NetworkFolder + " to " + c.RecordFolder);
    });
    trap(20, [&] {
        if (!Rec(i).config().RecordFolder.isEmpty()) EspaceDispo(i);
    });
    trap(30, [&] { MarkSettingsModified(); });
}

void CommandDossierPige_Click(int i) {
    ErrorTrap trap("FrmSetup:CommandDossierPige_Click");
    trap(10, [&] {
        const QString chosen = CurrentDialogs().FolderSelect(Setup().TexteDossier[i].text());
        if (chosen.trimmed().isEmpty()) return;  // cancelled
        Setup().TexteDossier[i].setText(chosen.endsWith('/') ? chosen : chosen + "/");
    });
}

void EspaceDispo(int i) {
    ErrorTrap trap("FrmSetup:EspaceDispo");
    FreeSpaceDisplay& d = Setup().FreeSpace[i];
    const FreeSpaceTexts t = FreeSpaceOf(Rec(i).config().RecordFolder);
    if (!t.ok) return;
    trap(40, [&] {
        d.LabelVolumeOccupe.setText(t.Occupied);
        d.LabelVolumeTotal.setText(t.Total);
        d.LabelVolumeDispo.setText(t.Available);
    });
    trap(50, [&] {
        d.gaugeValue = int(std::lround(double(t.Gauge) * d.gaugeMax / 100.0));
        d.LabelVolumeDispo.notify();
    });
}

void CheckPigeAntenne_Click(int i) {
    ErrorTrap trap("FrmSetup:CheckPigeAntenne_Click");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        if (c.CheckPigeAntenne[i].value() == 1) {
            TraceLog(-1, i, -1, "CheckPigeAntenne: Checked");
            Edit(i, [](RecorderConfig& r) { r.Logging = true; });
            c.TexteNomFichier[i].setEnabled(false);
            c.CheckNomFichier[i].setEnabled(false);
            c.TextePigeNbJours[i].setEnabled(true);
            c.TexteNomFichier[i].setText(NameTextOf(i));
        } else {
            TraceLog(-1, i, -1, "CheckPigeAntenne: UnChecked");
            Edit(i, [](RecorderConfig& r) { r.Logging = false; });
            c.TexteNomFichier[i].setEnabled(true);
            c.CheckNomFichier[i].setEnabled(true);
            c.TextePigeNbJours[i].setEnabled(false);
        }
    });
    trap(20, [&] { MarkSettingsModified(); });
}

void CheckNomFichier_Click(int i) {
    ErrorTrap trap("FrmSetup:CheckNomFichier_Click");
    trap(5, [&] { Edit(i, [&](RecorderConfig& c) { c.ConfirmName = Setup().CheckNomFichier[i].checked(); }); });
    trap(10, [&] { MarkSettingsModified(); });
}

void TexteNomFichier_Change(int i) {
    ErrorTrap trap("FrmSetup:TexteNomFichier_Change");
    trap(5, [&] { Edit(i, [&](RecorderConfig& c) { c.NamePattern = Setup().TexteNomFichier[i].text(); }); });
    trap(10, [&] { MarkSettingsModified(); });
}

void TextePigeNbJours_Change(int i) {
    ErrorTrap trap("FrmSetup:TextePigeNbJours_Change");
    trap(5, [&] { Edit(i, [&](RecorderConfig& c) { c.LoggingDays = Setup().TextePigeNbJours[i].text(); }); });
    trap(10, [&] { MarkSettingsModified(); });
}

// The silence alarm reads its two fields at every tick of the main timer.
void TexteSilenceSeuil_Change(int i) {
    ErrorTrap trap("FrmSetup:TexteSilenceSeuil_Change");
    trap(5, [&] { Edit(i, [&](RecorderConfig& c) { c.SilenceThreshold = Setup().TexteSilenceSeuil[i].text(); }); });
    trap(10, [&] { MarkSettingsModified(); });
}

void TexteSilenceDelai_Change(int i) {
    ErrorTrap trap("FrmSetup:TexteSilenceDelai_Change");
    trap(5, [&] { Edit(i, [&](RecorderConfig& c) { c.SilenceDelay = Setup().TexteSilenceDelai[i].text(); }); });
    trap(10, [&] { MarkSettingsModified(); });
}

void TexteFichierRecordPeripherique_Change(int i) {
    ErrorTrap trap("FrmSetup:TexteFichierRecordPeripherique_Change");
    trap(5, [&] { Edit(i, [&](RecorderConfig& c) { c.PeripheralFile = Setup().TexteFichierRecordPeripherique[i].text(); }); });
    trap(10, [&] { MarkSettingsModified(); });
}

void CheckTimingPige_Click() {
    ErrorTrap trap("FrmSetup:CheckTimingPige_Click");
    trap(5, [&] { Station().Slices.ByTable = Setup().CheckTimingPige.checked(); });
    trap(10, [&] { MarkSettingsModified(); });
}

// Keyboard shortcuts: control n is command n mod 3 of recorder n div 3.
void CheckCtrl_Click(int n) {
    ErrorTrap trap("FrmSetup:CheckCtrl_Click");
    if (Loading()) return;
    trap(10, [&] { Edit(n / 3, [&](RecorderConfig& c) { c.Keys[size_t(n % 3)].Ctrl = Setup().CheckCtrl[n].value() == 1; }); });
    trap(20, [&] { MarkSettingsModified(); });
}

void CheckAlt_Click(int n) {
    ErrorTrap trap("FrmSetup:CheckAlt_Click");
    if (Loading()) return;
    trap(10, [&] { Edit(n / 3, [&](RecorderConfig& c) { c.Keys[size_t(n % 3)].Alt = Setup().CheckAlt[n].value() == 1; }); });
    trap(20, [&] { MarkSettingsModified(); });
}

void CheckShift_Click(int n) {
    ErrorTrap trap("FrmSetup:CheckShift_Click");
    if (Loading()) return;
    trap(10, [&] { Edit(n / 3, [&](RecorderConfig& c) { c.Keys[size_t(n % 3)].Shift = Setup().CheckShift[n].value() == 1; }); });
    trap(20, [&] { MarkSettingsModified(); });
}

void ComboToucheClavier_Click(int n) {
    ErrorTrap trap("FrmSetup:ComboToucheClavier_Click");
    if (Loading()) return;
    trap(10, [&] {
        const int e = Setup().ComboToucheClavier[n].listIndex();
        Edit(n / 3, [&](RecorderConfig& c) {
            KeyboardBinding& kb = c.Keys[size_t(n % 3)];
            kb.Entry = e < 0 ? 0 : e;
            // The blank entry: no shortcut, as the window shows.
            if ((e >= 1 && e <= 42) || e == 0) kb.Key = KeyCodeOfEntry(e);
        });
    });
    trap(20, [&] { MarkSettingsModified(); });
}

void ComboPeripherique_Click(int n) {
    ErrorTrap trap("FrmSetup:ComboPeripherique_Click");
    if (Loading()) return;
    trap(10, [&] {
        const int e = Setup().ComboPeripherique[n].listIndex();
        Edit(n / 3, [&](RecorderConfig& c) {
            ContactBinding& cb = c.Contacts[size_t(n % 3)];
            cb.Entry = e < 0 ? 0 : e;
            if (e >= 1 && e <= 16) {
                cb.Enabled = true;
                cb.Input = qint16(e - 1);
                cb.State = false;
            } else if (e == 0) {
                cb.Enabled = false;
            }
        });
    });
    trap(20, [&] { MarkSettingsModified(); });
}

void ComboPigeTimingFin_Click(int k) {
    ErrorTrap trap("FrmSetup:ComboPigeTimingFin_Click");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        if (k >= 0 && k < kSliceRows) Station().Slices.EndEntry[size_t(k)] = qMax(0, c.ComboPigeTimingFin[k].listIndex());
        if (k < 0 || k >= kSliceRows - 1) return;  // the last row ends the day
        ComboCtl& row = c.ComboPigeTimingFin[k];
        const int last = row.count() - 1;
        if (row.listIndex() < 0) return;
        if (row.listIndex() != last) {
            if (k > 0) {
                const int previous = c.ComboPigeTimingFin[k - 1].listIndex();
                // A row after the one that ends the day is not in use.
                if (previous == last) return;
                if (row.listIndex() < previous) row.setListIndex(previous + 1);
            }
            ComboCtl& next = c.ComboPigeTimingFin[k + 1];
            next.setListIndex(row.listIndex() + 1);
            c.LabellPigeTimingStart[k + 1].setText(next.text().left(4));
            c.LabellPigeTimingStart[k + 1].setVisible(true);
            next.setVisible(true);
        } else {
            for (int r = k + 1; r < kSliceRows; ++r) {
                c.LabellPigeTimingStart[r].setVisible(false);
                c.ComboPigeTimingFin[r].setVisible(false);
            }
        }
    });
    trap(20, [&] { MarkSettingsModified(); });
}
