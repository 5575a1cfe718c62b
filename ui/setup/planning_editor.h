#pragma once
// The planning tab's editor: the list view of the twenty slots
// (Setup().ListView1), the editor's lists and fields, and what the operator
// does with them. The table is loaded and saved with the settings
// (InitGeneralDonneesPlanning, SaveDataPlanning).
#include "ui/setup/frm_setup.h"

#include <QString>
#include <QStringList>

constexpr int kPlanningColumns = 13;
constexpr int kPlanningSlotColumn = 12;  // the slot number on three digits

// The thirteen cells of a slot's row.
QStringList PlanningRowCells(const PlanningLine& line, const QString& slotText);

void InitListView();
void InitListViewPosLargeur();
void AddLineToListView(const PlanningLine& line, const QString& slotText);
// Sorts the list by a column; with toggle, a second sort on the same column
// reverses the order.
void TriColonneListView(ListViewCtl& list, int column, bool toggle);
// The rows of the table, sorted by slot.
void FillPlanningListView();

// The editor into the row and the slot being edited (CurrentPlanningRow).
void MemoriseModifications();
// The selected row (ListView1.selectedRow()) into the editor.
void ListView1_Click();
// Space (32) and Enter (13) released in the list act as a click.
void ListView1_KeyUp(int keyCode);
void ListView1_ColumnClick(int column);
void ComboFrequence_Click();
// A date list after a change of frequency: blank when disabled, the current
// value when enabled and blank. Kinds: "Annee", "Mois", "Semaine", "Jour",
// "Heure", "Minute".
void InitDataCombo(ComboCtl& list, const QString& kind);
// The file chooser of the sound file to produce.
void CommandDossierFichierSon_Click();
// Filters of that chooser; the second one (mp3) is proposed.
QString PlanningFileFilter();
