// The planning tab's editor and list view.
#include "ui/setup/planning_editor.h"

#include "support/clock.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"

#include <array>

namespace {

QString SlotText(int k) { return N2S(k, 3, 0, QStringLiteral("0")); }

QString YesNo(bool on) { return on ? QStringLiteral("O") : QStringLiteral("N"); }

bool IsFree(const PlanningLine& p) {
    for (const QString* f : {&p.Recorder, &p.Frequence, &p.Annee, &p.Mois, &p.Semaine, &p.Jour, &p.Heure,
                             &p.Minute, &p.Duree, &p.DossierFichierSon, &p.ASC82Plus})
        if (!f->trimmed().isEmpty()) return false;
    return true;
}

bool SameLine(const PlanningLine& a, const PlanningLine& b) {
    return a.Recorder == b.Recorder && a.Frequence == b.Frequence && a.Annee == b.Annee && a.Mois == b.Mois &&
           a.Semaine == b.Semaine && a.Jour == b.Jour && a.Heure == b.Heure && a.Minute == b.Minute &&
           a.LineEnabled == b.LineEnabled && a.Duree == b.Duree && a.DossierFichierSon == b.DossierFichierSon &&
           a.ASC82Plus == b.ASC82Plus;
}

// The entry whose trimmed text is the trimmed cell, else the blank entry.
void Position(ComboCtl& list, const QString& cell) {
    const QString wanted = cell.trimmed();
    for (int i = 0; i < list.count(); ++i) {
        if (list.entry(i).trimmed() == wanted) {
            list.setListIndex(i);
            return;
        }
    }
    list.setListIndex(list.count() > 0 ? 0 : -1);
}

// The six date lists in the order of the frequency table, with their kinds.
struct DateList {
    ComboCtl FrmSetupControls::*list;
    const char* kind;
};
constexpr std::array<DateList, 6> kDateLists = {{
    {&FrmSetupControls::ComboAnnee, "Annee"},
    {&FrmSetupControls::ComboMois, "Mois"},
    {&FrmSetupControls::ComboSemaine, "Semaine"},
    {&FrmSetupControls::ComboJour, "Jour"},
    {&FrmSetupControls::ComboHeure, "Heure"},
    {&FrmSetupControls::ComboMinute, "Minute"},
}};

// Which date lists a frequency enables: year, month, day of week, day,
// hour, minute.
std::array<bool, 6> EnabledLists(int frequency) {
    switch (frequency) {
    case 1: return {true, true, false, true, true, true};     // Evénement
    case 2: return {false, true, false, true, true, true};    // Année
    case 3: return {false, false, false, true, true, true};   // Mois
    case 4: return {false, false, true, false, true, true};   // Semaine
    case 5: return {false, false, false, false, true, true};  // Jour
    case 6: return {false, false, false, false, false, true}; // Heure
    case 7:
    case 8:
    case 9: return {false, false, false, false, true, true};  // the kinds of days
    default: return {false, false, false, false, false, false};
    }
}

}  // namespace

QStringList PlanningRowCells(const PlanningLine& p, const QString& slotText) {
    return {p.Recorder.trimmed(), p.Frequence, p.Annee, p.Mois, p.Semaine, p.Jour, p.Heure, p.Minute,
            IsFree(p) ? QString() : YesNo(p.LineEnabled), p.Duree, p.DossierFichierSon, p.ASC82Plus, slotText};
}

void InitListView() {
    ErrorTrap trap(QStringLiteral("FrmSetup:InitListView"));
    trap(10, [&] {
        ListViewCtl& list = Setup().ListView1;
        list.clear();
        list.setColumnCount(kPlanningColumns);
    });
}

void InitListViewPosLargeur() {
    ErrorTrap trap(QStringLiteral("FrmSetup:InitListViewPosLargeur"));
    trap(10, [&] {
        // Recorder, frequency, year, month, day of week, day, hour, minute,
        // enabled, duration, file, switcher command, slot.
        Setup().ListView1.columnWidths = {90, 150, 50, 40, 80, 40, 40, 40, 44, 92, 0, 120, 40};
        Setup().ListView1.notify();
    });
}

void AddLineToListView(const PlanningLine& line, const QString& slotText) {
    ErrorTrap trap(QStringLiteral("FrmSetup:AddLineToListView"));
    trap(10, [&] { Setup().ListView1.addRow(PlanningRowCells(line, slotText)); });
}

void TriColonneListView(ListViewCtl& list, int column, bool toggle) {
    ErrorTrap trap(QStringLiteral("FrmSetup:TriColonneListView"));
    trap(10, [&] {
        if (column < 0 || column >= list.columnCount()) return;
        const bool descending = toggle && list.sortKey() == column && !list.sortDescending();
        list.sortBy(column, descending);
    });
}

void FillPlanningListView() {
    ErrorTrap trap(QStringLiteral("FrmSetup:InitGeneralDonneesPlanning"));
    trap(10, [&] { InitListView(); });
    for (int k = 0; k < kPlanningSlots; ++k)
        trap(20, [&] { AddLineToListView(Setup().PlanningTable[size_t(k)], SlotText(k)); });
    trap(30, [&] { TriColonneListView(Setup().ListView1, kPlanningSlotColumn, false); });
    // The row on edit, if any, is found again by its slot; with none, the
    // date lists wait for a frequency.
    trap(40, [&] {
        FrmSetupControls& c = Setup();
        const int k = c.CurrentPlanningRow;
        c.ListView1.setSelectedRow(k < 0 ? -1 : c.ListView1.findRow(kPlanningSlotColumn, SlotText(k)));
        if (k < 0)
            for (const DateList& d : kDateLists) (c.*d.list).setEnabled(false);
    });
}

void MemoriseModifications() {
    ErrorTrap trap(QStringLiteral("FrmSetup:MemoriseModifications"));
    FrmSetupControls& c = Setup();
    const int k = c.CurrentPlanningRow;
    if (k < 0 || k >= kPlanningSlots) return;
    PlanningLine before;
    trap(10, [&] {
        before = c.PlanningTable[size_t(k)];
        StorePlanningEditor(k);
    });
    trap(20, [&] {
        const int row = c.ListView1.findRow(kPlanningSlotColumn, SlotText(k));
        const QStringList cells = PlanningRowCells(c.PlanningTable[size_t(k)], SlotText(k));
        // Cells 0..11: a line being written shows its enabled state too.
        for (int col = 0; col < kPlanningSlotColumn; ++col)
            c.ListView1.setCell(row, col, col == 8 ? YesNo(c.PlanningTable[size_t(k)].LineEnabled) : cells[col]);
    });
    trap(30, [&] {
        if (!SameLine(before, c.PlanningTable[size_t(k)])) MarkSettingsModified();
    });
}

void ListView1_Click() {
    ErrorTrap trap(QStringLiteral("FrmSetup:ListView1_Click"));
    FrmSetupControls& c = Setup();
    const int row = c.ListView1.selectedRow();
    if (row < 0 || row >= c.ListView1.rowCount()) return;
    trap(10, [&] {
        if (c.CurrentPlanningRow != -1) MemoriseModifications();
    });
    // Loading a row is no change of the settings by itself.
    const bool modified = SetupFlags().SettingsModified;
    const QStringList cells = c.ListView1.row(row);
    auto cell = [&](int i) { return i < cells.size() ? cells[i] : QString(); };
    trap(20, [&] {
        Position(c.ComboRecorder, cell(0));
        Position(c.ComboFrequence, cell(1));
        Position(c.ComboAnnee, cell(2));
        Position(c.ComboMois, cell(3));
        Position(c.ComboSemaine, cell(4));
        Position(c.ComboJour, cell(5));
        Position(c.ComboHeure, cell(6));
        Position(c.ComboMinute, cell(7));
    });
    trap(30, [&] {
        c.CheckPlanningActif.setChecked(cell(8) == QStringLiteral("O"));
        c.TextDuree.setText(cell(9));
        c.TexteDossierFichierSon.setText(cell(10));
        c.TexteASC82Plus.setText(cell(11));
    });
    trap(40, [&] { c.CurrentPlanningRow = int(Val(cell(kPlanningSlotColumn))); });
    SetupFlags().SettingsModified = modified;
}

void ListView1_KeyUp(int keyCode) {
    if (keyCode == 32 || keyCode == 13) ListView1_Click();
}

void ListView1_ColumnClick(int column) { TriColonneListView(Setup().ListView1, column, true); }

void ComboFrequence_Click() {
    ErrorTrap trap(QStringLiteral("FrmSetup:ComboFrequence_Click"));
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        const std::array<bool, 6> on = EnabledLists(c.ComboFrequence.listIndex());
        for (size_t i = 0; i < kDateLists.size(); ++i) (c.*kDateLists[i].list).setEnabled(on[i]);
    });
    for (const DateList& d : kDateLists) trap(20, [&] { InitDataCombo(c.*d.list, QLatin1String(d.kind)); });
    trap(30, [&] { MarkSettingsModified(); });
}

void InitDataCombo(ComboCtl& list, const QString& kind) {
    ErrorTrap trap(QStringLiteral("FrmSetup:InitDataCombo"));
    trap(10, [&] {
        if (!list.enabled()) {
            list.setListIndex(list.count() > 0 ? 0 : -1);
            return;
        }
        if (list.listIndex() > 0) return;
        const QDateTime now = CurrentClock().now();
        if (kind == QStringLiteral("Semaine")) {
            list.setListIndex(now.date().dayOfWeek());  // entry = weekday, Monday = 1
            return;
        }
        QString value;
        if (kind == QStringLiteral("Annee")) value = N2S(now.date().year(), 4, 0, QStringLiteral("0"));
        else if (kind == QStringLiteral("Mois")) value = N2S(now.date().month(), 2, 0, QStringLiteral("0"));
        else if (kind == QStringLiteral("Jour")) value = N2S(now.date().day(), 2, 0, QStringLiteral("0"));
        else if (kind == QStringLiteral("Heure")) value = N2S(now.time().hour(), 2, 0, QStringLiteral("0"));
        else if (kind == QStringLiteral("Minute")) value = N2S(now.time().minute(), 2, 0, QStringLiteral("0"));
        Position(list, value);
    });
}

QString PlanningFileFilter() {
    return QStringList{QStringLiteral("wave|*.wav; *.wave;"), QStringLiteral("mp3|*.mp3;"),
                       QStringLiteral("wma|*.wma;"), QStringLiteral("ogg|*.ogg;"), QStringLiteral("aac|*.aac;"),
                       QStringLiteral("*.*|*.*")}
        .join(QLatin1Char('|'));
}

void CommandDossierFichierSon_Click() {
    ErrorTrap trap(QStringLiteral("FrmSetup:CommandDossierFichierSon_Click"));
    FrmSetupControls& c = Setup();
    QString path;
    trap(10, [&] {
        path = c.TexteDossierFichierSon.text().trimmed();
        if (path.isEmpty()) path = Rec(0).config().LocalFolder;
    });
    trap(20, [&] {
        const PathPieces p = EclateRepFicExt(path);
        const QString chosen =
            CurrentDialogs().SaveFileWithFilter(p.PathFolder, p.PathBaseName + p.PathExtension, PlanningFileFilter(), 1);
        if (!chosen.isEmpty()) c.TexteDossierFichierSon.setText(chosen);
    });
}
