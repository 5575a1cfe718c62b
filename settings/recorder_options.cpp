// Per-recorder options of the setup window: service, label, destination
// folder and its free space, logging mode, shortcuts, contacts and the
// logging slices of the day.
#include "settings/frm_setup.h"

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

bool Loading() { return S().SettingsLoading; }

// The folder form used for recording: always ends with "/".
QString WithFinalSlash(const QString& folder) { return folder.endsWith('/') ? folder : folder + "/"; }

}  // namespace

void CheckActif_Click(int i) {
    ErrorTrap trap("FrmSetup:CheckActif_Click");
    // The recorder count is fixed for the run: a recorder put in service
    // starts with the next run of the program.
    trap(10, [&] { Setup().OptionTabs[i + 1].setVisible(Setup().CheckActif[i].checked()); });
    trap(20, [&] { MarkSettingsModified(); });
}

void TexteLibelleRecorder_Change(int i) {
    ErrorTrap trap("FrmSetup:TexteLibelleRecorder_Change");
    trap(10, [&] { S().main.rec[i].MyFrameRecorder.setCaption(Setup().TexteLibelleRecorder[i].text()); });
    trap(20, [&] {
        // Only the logging name holds the label; an ordinary recorder keeps
        // the pattern the operator typed.
        if (S().slot[i].RecordKind == RecordKindLogging && SetupLinks().DetermineNomFichier)
            Setup().TexteNomFichier[i].setText(SetupLinks().DetermineNomFichier(i));
    });
    trap(30, [&] { MarkSettingsModified(); });
}

void TexteDossier_Change(int i) {
    ErrorTrap trap("FrmSetup:TexteDossier_Change");
    RecorderSlot& slot = S().slot[i];
    const QString text = Setup().TexteDossier[i].text();
    trap(10, [&] {
        if (text.trimmed().isEmpty()) {
            slot.RecordFolder.clear();
            slot.NetworkFolder.clear();
            return;
        }
        slot.NetworkFolder = WithFinalSlash(text);
        slot.RecordFolder = WithFinalSlash(ChangeUNCFolder2LocalFolder(text, platform::ComputerName()));
        if (slot.NetworkFolder != slot.RecordFolder)
            TraceLog(-1, i, -1, "Shared Folder changed from " + slot.NetworkFolder + " to " + slot.RecordFolder);
    });
    trap(20, [&] {
        if (!slot.RecordFolder.isEmpty()) EspaceDispo(i);
    });
    trap(30, [&] { MarkSettingsModified(); });
}

void CommandDossierPige_Click(int i) {
    ErrorTrap trap("FrmSetup:CommandDossierPige_Click");
    trap(10, [&] {
        const QString chosen = CurrentDialogs().FolderSelect(Setup().TexteDossier[i].text());
        if (chosen.trimmed().isEmpty()) return;  // cancelled
        Setup().TexteDossier[i].setText(WithFinalSlash(chosen));
    });
}

void EspaceDispo(int i) {
    ErrorTrap trap("FrmSetup:EspaceDispo");
    FreeSpaceDisplay& d = Setup().FreeSpace[i];
    const QString folder = S().slot[i].RecordFolder;
    double total = 0, free = 0;
    QString unit = "Ko";
    // A folder that is no absolute path is refused for recording: nothing is
    // made for it, wherever the program runs.
    if (!DestinationFolderRefusal(folder).isEmpty()) return;
    trap(10, [&] { VerificationEtCreationRepertoire(folder, true); });
    trap(20, [&] {
        const platform::VolumeSpace v = platform::VolumeSpaceOf(folder);
        if (!v.ok) return;  // shown as zero
        total = double(v.total);
        free = double(v.free);
    });
    trap(30, [&] {
        total /= 1024;
        free /= 1024;
        if (total > 1024) {
            total /= 1024;
            free /= 1024;
            unit = "Mo";
            if (total > 1024) {
                total /= 1024;
                free /= 1024;
                unit = "Go";
            }
        }
    });
    trap(40, [&] {
        d.LabelVolumeOccupe.setText(QString::number(CLngRound(total - free)) + " " + unit);
        d.LabelVolumeTotal.setText(QString::number(CLngRound(total)) + " " + unit);
        d.LabelVolumeDispo.setText("Disponible: " + QString::number(CLngRound(free)) + " " + unit);
    });
    trap(50, [&] {
        d.gaugeValue = total > 0 ? int(std::lround((total - free) / total * d.gaugeMax)) : 0;
        d.LabelVolumeDispo.notify();
    });
}

void CheckPigeAntenne_Click(int i) {
    ErrorTrap trap("FrmSetup:CheckPigeAntenne_Click");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        if (c.CheckPigeAntenne[i].value() == 1) {
            TraceLog(-1, i, -1, "CheckPigeAntenne: Checked");
            S().slot[i].RecordKind = RecordKindLogging;
            c.TexteNomFichier[i].setEnabled(false);
            c.CheckNomFichier[i].setEnabled(false);
            c.TextePigeNbJours[i].setEnabled(true);
            if (SetupLinks().DetermineNomFichier) c.TexteNomFichier[i].setText(SetupLinks().DetermineNomFichier(i));
        } else {
            TraceLog(-1, i, -1, "CheckPigeAntenne: UnChecked");
            S().slot[i].RecordKind = RecordKindOrdinary;
            c.TexteNomFichier[i].setEnabled(true);
            c.CheckNomFichier[i].setEnabled(true);
            c.TextePigeNbJours[i].setEnabled(false);
        }
    });
    trap(20, [&] { MarkSettingsModified(); });
}

void CheckNomFichier_Click(int) {
    ErrorTrap trap("FrmSetup:CheckNomFichier_Click");
    trap(10, [&] { MarkSettingsModified(); });
}

void TexteNomFichier_Change(int) {
    ErrorTrap trap("FrmSetup:TexteNomFichier_Change");
    trap(10, [&] { MarkSettingsModified(); });
}

void TextePigeNbJours_Change(int) {
    ErrorTrap trap("FrmSetup:TextePigeNbJours_Change");
    trap(10, [&] { MarkSettingsModified(); });
}

// The silence alarm reads its two fields at every tick of the main timer.
void TexteSilenceSeuil_Change(int) {
    ErrorTrap trap("FrmSetup:TexteSilenceSeuil_Change");
    trap(10, [&] { MarkSettingsModified(); });
}

void TexteSilenceDelai_Change(int) {
    ErrorTrap trap("FrmSetup:TexteSilenceDelai_Change");
    trap(10, [&] { MarkSettingsModified(); });
}

void TexteFichierRecordPeripherique_Change(int) {
    ErrorTrap trap("FrmSetup:TexteFichierRecordPeripherique_Change");
    trap(10, [&] { MarkSettingsModified(); });
}

void CheckTimingPige_Click() {
    ErrorTrap trap("FrmSetup:CheckTimingPige_Click");
    trap(10, [&] { MarkSettingsModified(); });
}

// Keyboard shortcuts: control n is command n mod 3 of recorder n div 3.
void CheckCtrl_Click(int n) {
    ErrorTrap trap("FrmSetup:CheckCtrl_Click");
    if (Loading()) return;
    trap(10, [&] { S().keyboard[n / 3][n % 3].Ctrl = Setup().CheckCtrl[n].value() == 1; });
    trap(20, [&] { MarkSettingsModified(); });
}

void CheckAlt_Click(int n) {
    ErrorTrap trap("FrmSetup:CheckAlt_Click");
    if (Loading()) return;
    trap(10, [&] { S().keyboard[n / 3][n % 3].Alt = Setup().CheckAlt[n].value() == 1; });
    trap(20, [&] { MarkSettingsModified(); });
}

void CheckShift_Click(int n) {
    ErrorTrap trap("FrmSetup:CheckShift_Click");
    if (Loading()) return;
    trap(10, [&] { S().keyboard[n / 3][n % 3].Shift = Setup().CheckShift[n].value() == 1; });
    trap(20, [&] { MarkSettingsModified(); });
}

void ComboToucheClavier_Click(int n) {
    ErrorTrap trap("FrmSetup:ComboToucheClavier_Click");
    if (Loading()) return;
    trap(10, [&] {
        const int e = Setup().ComboToucheClavier[n].listIndex();
        int& key = S().keyboard[n / 3][n % 3].Key;
        if (e >= 1 && e <= 26) key = 64 + e;
        else if (e >= 27 && e <= 42) key = 85 + e;
        else if (e == 0) key = 0;  // the blank entry: no shortcut, as the window shows
    });
    trap(20, [&] { MarkSettingsModified(); });
}

void ComboPeripherique_Click(int n) {
    ErrorTrap trap("FrmSetup:ComboPeripherique_Click");
    if (Loading()) return;
    trap(10, [&] {
        const int e = Setup().ComboPeripherique[n].listIndex();
        ContactBinding& cb = S().contact[n / 3][n % 3];
        if (e >= 1 && e <= 16) {
            cb.Enabled = true;
            cb.Input = qint16(e - 1);
            cb.State = false;
        } else if (e == 0) {
            cb.Enabled = false;
        }
    });
    trap(20, [&] { MarkSettingsModified(); });
}

void ComboPigeTimingFin_Click(int k) {
    ErrorTrap trap("FrmSetup:ComboPigeTimingFin_Click");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
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
