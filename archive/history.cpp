// History grids (the files of each recorder's destination folder, newest
// first) and the daily purge of the logging recorder's old slices.
#include "archive/history.h"

#include "settings/frm_setup.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString kFormatString = QStringLiteral("^Date|^HH|^MM|^SS|Fichier||<Fichier");
constexpr int kFixedWidths[HistoryGrid::kColumns - 1] = {1600, 500, 500, 500, 0, 0};
constexpr int kNameColumnMargin = 360;

std::array<HistoryGrid, kRecorders>& Grids() {
    static std::array<HistoryGrid, kRecorders> grids;
    return grids;
}

int g_wheelTarget = -1;

void CheckIndex(int i) {
    if (i < 0 || i >= kRecorders) RaiseError(9, QStringLiteral("Subscript out of range"));
}

QString Two(int v) { return N2S(v, 2, 0, QStringLiteral("0")); }

// "^Date|^HH|..." : one column per "|", "^" centres, "<" aligns left.
void ApplyFormatString(HistoryGrid& grid, const QString& format) {
    grid.FormatString = format;
    const QStringList parts = format.split(QLatin1Char('|'));
    for (int c = 0; c < HistoryGrid::kColumns; ++c) {
        QString text = c < parts.size() ? parts[c] : QString();
        int alignment = HistoryGrid::AlignLeft;
        if (text.startsWith(QLatin1Char('^'))) {
            alignment = HistoryGrid::AlignCentre;
            text.remove(0, 1);
        } else if (text.startsWith(QLatin1Char('<'))) {
            text.remove(0, 1);
        }
        grid.Header[size_t(c)] = text;
        grid.ColAlignment[size_t(c)] = alignment;
    }
}

// The date of a slice from the last 17 characters of its base name
// ("yyyyMMdd_hh_mm_ss"); invalid when they do not start with a calendar date.
QDate NameDate(const QString& baseName) {
    if (baseName.size() < 17) return {};
    const QString tail = baseName.right(17);
    for (int k = 0; k < 8; ++k)
        if (!tail[k].isDigit()) return {};
    return QDate(tail.left(4).toInt(), tail.mid(4, 2).toInt(), tail.mid(6, 2).toInt());
}

}  // namespace

void HistoryGrid::setGridWidth(int twips) {
    GridWidth = twips;
    int used = 0;
    for (int w : kFixedWidths) used += w;
    ColWidth[kHistoColumnName] = std::max(0, twips - used - kNameColumnMargin);
    notify();
}

HistoryGrid& MSFlexGridHisto(int index) {
    CheckIndex(index);
    return Grids()[size_t(index)];
}

void ResetHistoryGrids() {
    for (HistoryGrid& g : Grids()) g = HistoryGrid();
    g_wheelTarget = -1;
}

QString HistoryDateText(const QDate& day) {
    static const char* const kDays[] = {"lun.", "mar.", "mer.", "jeu.", "ven.", "sam.", "dim."};
    static const char* const kMonths[] = {"janv.", "févr.", "mars", "avr.", "mai", "juin",
                                          "juil.", "août", "sept.", "oct.", "nov.", "déc."};
    if (!day.isValid()) return {};
    return QString::fromUtf8(kDays[day.dayOfWeek() - 1]) + QStringLiteral(" ") + Two(day.day()) +
           QStringLiteral(" ") + QString::fromUtf8(kMonths[day.month() - 1]);
}

QStringList HistoryListing(const QString& folder, bool* found) {
    const QDir dir(folder);
    const bool exists = !folder.trimmed().isEmpty() && dir.exists();
    if (found) *found = exists;
    if (!exists) return {};
    if (dir.entryList(QDir::Files | QDir::System).isEmpty()) return {};
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QStringLiteral("."));
    names.removeAll(QStringLiteral(".."));
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

void InitGeneralGridHisto() {
    ErrorTrap trap(QStringLiteral("Frm_Main:InitGeneralGridHisto"));
    for (int i = 0; i < kRecorders; ++i) {
        trap(10, [&] {
            HistoryGrid& grid = Grids()[size_t(i)];
            grid.Rows.clear();
            grid.TopRow = 0;
            ApplyFormatString(grid, kFormatString);
            for (int c = 0; c < HistoryGrid::kColumns - 1; ++c) grid.ColWidth[size_t(c)] = kFixedWidths[c];
            grid.setGridWidth(grid.GridWidth);
        });
    }
}

void InitAffichageHisto(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:InitAffichageHisto"));
    if (!trap(10, [&] { CheckIndex(index); })) return;
    HistoryGrid& grid = Grids()[size_t(index)];
    QString folder;
    trap(20, [&] {
        grid.Redraw = false;
        grid.Rows.clear();
        grid.TopRow = 0;
        grid.FontName = QStringLiteral("Arial");
        grid.FontSize = 12;
        grid.RowHeight = 400;
        folder = S().slot[size_t(index)].RecordFolder;
    });
    bool found = false;
    QStringList names;
    trap(30, [&] { names = HistoryListing(folder, &found); });
    if (!found) {
        trap(40, [&] {
            TraceLog(-1, index, -1, QStringLiteral("Err: Folder not found: ") + QStringLiteral("76 (Path not found: ") +
                                        folder + QStringLiteral(")"));
        });
    }
    for (auto it = names.crbegin(); it != names.crend(); ++it) {
        trap(50, [&] {
            const QString path = folder + *it;
            const PathPieces pieces = EclateRepFicExt(path);
            const QDateTime date = DateModificationFichier(index, path, false);
            HistoryGrid::Row row;
            if (date.isValid()) {
                const QTime t = date.time();
                row[kHistoColumnDate] = HistoryDateText(date.date());
                row[kHistoColumnHour] = Two(t.hour());
                row[kHistoColumnMinute] = (t.minute() == 0 && t.second() == 0) ? QString() : Two(t.minute());
                row[kHistoColumnSecond] = t.second() == 0 ? QString() : Two(t.second());
                row[kHistoColumnDateText] = date.toString(QStringLiteral("dd/MM/yyyy")) + QStringLiteral(" ") +
                                            Two(t.hour()) + QStringLiteral(":") + Two(t.minute()) +
                                            QStringLiteral(":") + Two(t.second());
            }
            row[kHistoColumnPath] = pieces.PathFolder + pieces.PathBaseName + pieces.PathExtension;
            row[kHistoColumnName] = pieces.PathBaseName + pieces.PathExtension;
            grid.Rows.push_back(row);
        });
    }
    grid.Redraw = true;
    grid.notify();
}

void SuppressionHistoriquePige(int index, int days) {
    const QString caller = QStringLiteral("Frm_Main:SuppressionHistoriquePige");
    ErrorTrap trap(caller);
    if (!trap(10, [&] { CheckIndex(index); })) return;
    // Without a retention of at least one day, the purge would delete the
    // slices of today, the one being recorded included.
    if (days < 1) {
        trap(20, [&] {
            TraceLog(-1, index, -1,
                     QStringLiteral("Pige: retention of ") + QString::number(days) +
                         QStringLiteral(" day(s) ignored, no file deleted"));
        });
    } else {
        QString folder;
        QStringList names;
        QDateTime limit;
        trap(30, [&] {
            folder = S().slot[size_t(index)].RecordFolder;
            names = HistoryListing(folder);
            limit = CurrentClock().now().addDays(-days);
        });
        for (auto it = names.crbegin(); it != names.crend(); ++it) {
            trap(40, [&] {
                const QString path = folder + *it;
                const PathPieces pieces = EclateRepFicExt(path);
                // Names that cannot be dated are kept.
                const QDate day = NameDate(pieces.PathBaseName);
                if (!day.isValid()) return;
                if (QDateTime(day, QTime(0, 0)) < limit) DeleteFile(path, caller);
            });
        }
    }
    trap(50, [&] { EspaceDispo(index); });
}

void HistoMouseMove(int index) {
    if (index < 0 || index >= kRecorders) return;
    g_wheelTarget = index;
}

int HistoWheelTarget() { return g_wheelTarget; }

void ScrollHisto(int index, int rows) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ScrollHisto"));
    trap(10, [&] {
        HistoryGrid& grid = MSFlexGridHisto(index);
        const int last = std::max(0, grid.rowCount() - 1);
        const int top = std::clamp(grid.TopRow + rows, 0, last);
        if (top != grid.TopRow) {
            grid.TopRow = top;
            grid.notify();
        }
    });
}
