#pragma once
// History grids of the recorders and the retention purge of the logging
// recorder. Each recorder's grid lists the files of its destination folder,
// newest first. The grid here is a plain model; the Qt widget of the main
// window shows it (hidden columns 4 and 5) and forwards the mouse wheel.
#include "core/main_controls.h"
#include "support/controls.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

// One file of a grid: what the folder listing and one status read give.
// The texts of the columns are made only when a cell is shown.
struct HistoryEntry {
    QString name;          // file name with extension
    qint64 mtimeMs = 0;    // last modification, ms since the epoch (0 unknown)
    qint64 size = -1;      // bytes (-1 unknown)
    qint64 durationMs = -1;  // kDurationUnknown, kDurationPending, kDurationNone or the length
};
constexpr qint64 kDurationUnknown = -1;  // not asked yet
constexpr qint64 kDurationPending = -2;  // being read on the worker thread
constexpr qint64 kDurationNone = -3;     // not a sound file it can read

// Grid units are twips, as the widths of the columns.
class HistoryGrid : public ControlBase {
public:
    // The seven columns of the grid, then the length and the size of the file.
    static constexpr int kColumns = 9;
    enum Alignment { AlignLeft = 0, AlignCentre = 1, AlignRight = 2 };

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
    // Folder listed (ends with "/") and its files, newest first (the header
    // row is not among them).
    QString Folder;
    std::vector<HistoryEntry> Rows;
    // First data row shown (the scroll position).
    int TopRow = 0;
    // False while the grid is being rebuilt: the widget does not redraw.
    bool Redraw = true;

    // What changed in the rows since the last notification, for a view that
    // follows row by row (a reset when it is more than a few rows).
    struct Change {
        enum Kind { Reset, Inserted, Removed, Updated } kind = Reset;
        int first = 0;
        int count = 0;
    };
    std::function<void(const Change&)> onRowsChanged;

    int rowCount() const { return int(Rows.size()); }
    QString cell(int row, int col) const;
    // The full path of a row.
    QString path(int row) const { return Folder + Rows.at(size_t(row)).name; }
    // Row of a file name, -1 when not listed.
    int rowOf(const QString& name) const;
    // The length of the row's file is wanted (a shown row): read on the
    // worker thread when it is not known yet; the row changes when it is.
    void wantDuration(int row);
    // New width of the grid (the widget's width in twips); recomputes column 6.
    void setGridWidth(int twips);
    void rowsChanged(const Change& c) {
        if (onRowsChanged) onRowsChanged(c);
    }
};

constexpr int kHistoColumnDate = 0;
constexpr int kHistoColumnHour = 1;
constexpr int kHistoColumnMinute = 2;
constexpr int kHistoColumnSecond = 3;
constexpr int kHistoColumnPath = 4;
constexpr int kHistoColumnDateText = 5;
constexpr int kHistoColumnName = 6;
constexpr int kHistoColumnDuration = 7;
constexpr int kHistoColumnSize = 8;
// Rows scrolled per step of the mouse wheel.
constexpr int kHistoWheelRows = 3;

// The grid of one recorder (index 0..7).
HistoryGrid& MSFlexGridHisto(int index);
void ResetHistoryGrids();  // tests

// Prepares every history grid (columns, header, widths).
void InitGeneralGridHisto();
// Brings the grid of one recorder in step with its destination folder: new
// files are added, vanished ones removed, changed ones read again; the rest
// of the rows stay as they are. The folder is then watched: files that appear
// or vanish refresh the grid by themselves.
void InitAffichageHisto(int index);
// Stops watching every folder (unload, tests).
void StopWatchingHistoryFolders();
// "1:02:03" or "12:34" for a length; "" when unknown.
QString HistoryDurationText(qint64 ms);
// "512 o", "12 Ko", "3,4 Mo", "1,2 Go".
QString HistorySizeText(qint64 bytes);
// Deletes the recorder's files dated more than `days` days ago, then refreshes
// the free-space display of its destination.
void SuppressionHistoriquePige(int index, int days);

// Mouse wheel: the grid under the mouse becomes the wheel target; the wheel
// scrolls it by `rows` (positive towards the end of the list).
void HistoMouseMove(int index);
int HistoWheelTarget();  // -1 when none
void ScrollHisto(int index, int rows);

// The operator's actions on a row: the file played by the desktop's program
// (shell "Open"), and the folder that holds it opened.
void HistoOpenFile(int index, int row);
void HistoOpenFolder(int index);

// The folder listing shared by the grid and the purge: every file of the
// folder (hidden ones included), names only, sorted in ascending text order;
// empty when the folder holds no visible file. `found` is false when the
// folder does not exist.
QStringList HistoryListing(const QString& folder, bool* found = nullptr);
// "ddd dd mmm" in French, e.g. "lun. 01 janv."
QString HistoryDateText(const QDate& day);
