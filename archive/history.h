#pragma once
// History grids of the recorders and the retention purge of the logging
// recorder. Each recorder's grid lists the files of its destination folder,
// newest first. The grid here is a plain model; the Qt widget of the main
// window shows it (hidden columns 4 and 5) and forwards the mouse wheel.
#include "core/recorder_slot.h"
#include "support/controls.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

// Grid units are twips, as the widths of the columns.
class HistoryGrid : public ControlBase {
public:
    static constexpr int kColumns = 7;
    enum Alignment { AlignLeft = 0, AlignCentre = 1 };
    using Row = std::array<QString, kColumns>;

    // Columns, header texts, alignments and widths from the format string.
    QString FormatString;
    std::array<QString, kColumns> Header{};
    std::array<int, kColumns> ColAlignment{};
    std::array<int, kColumns> ColWidth{};
    // Width of the whole grid; column 6 takes the rest less 360.
    int GridWidth = 7500;
    QString FontName = "Arial";
    int FontSize = 12;
    int RowHeight = 400;
    // Data rows (the header row is not among them).
    std::vector<Row> Rows;
    // First data row shown (the scroll position).
    int TopRow = 0;
    // False while the grid is being rebuilt: the widget does not redraw.
    bool Redraw = true;

    int rowCount() const { return int(Rows.size()); }
    const QString& cell(int row, int col) const { return Rows.at(size_t(row)).at(size_t(col)); }
    // New width of the grid (the widget's width in twips); recomputes column 6.
    void setGridWidth(int twips);
};

constexpr int kHistoColumnDate = 0;
constexpr int kHistoColumnHour = 1;
constexpr int kHistoColumnMinute = 2;
constexpr int kHistoColumnSecond = 3;
constexpr int kHistoColumnPath = 4;
constexpr int kHistoColumnDateText = 5;
constexpr int kHistoColumnName = 6;
// Rows scrolled per step of the mouse wheel.
constexpr int kHistoWheelRows = 3;

// The grid of one recorder (index 0..7).
HistoryGrid& MSFlexGridHisto(int index);
void ResetHistoryGrids();  // tests

// Prepares every history grid (columns, header, widths).
void InitGeneralGridHisto();
// Rebuilds the grid of one recorder from its destination folder.
void InitAffichageHisto(int index);
// Deletes the recorder's files dated more than `days` days ago, then refreshes
// the free-space display of its destination.
void SuppressionHistoriquePige(int index, int days);

// Mouse wheel: the grid under the mouse becomes the wheel target; the wheel
// scrolls it by `rows` (positive towards the end of the list).
void HistoMouseMove(int index);
int HistoWheelTarget();  // -1 when none
void ScrollHisto(int index, int rows);

// The folder listing shared by the grid and the purge: every file of the
// folder (hidden ones included), names only, sorted in ascending text order;
// empty when the folder holds no visible file. `found` is false when the
// folder does not exist.
QStringList HistoryListing(const QString& folder, bool* found = nullptr);
// "ddd dd mmm" in French, e.g. "lun. 01 janv."
QString HistoryDateText(const QDate& day);
