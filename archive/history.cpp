// History grids (the files of each recorder's destination folder, newest
// first) and the daily purge of the logging recorder's old slices.
#include "archive/history.h"

#include "archive/history_durations.h"
#include "platform/capture/recording_analysis.h"
#include "recording/recording.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/external.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <sys/stat.h>

namespace {

const QString kFormatString = QStringLiteral("^Date|^HH|^MM|^SS|Fichier||<Fichier");
// Widths of every column but the name (6), which takes the rest.
constexpr int kFixedWidths[HistoryGrid::kColumns] = {1600, 500, 500, 500, 0, 0, 0, 1100, 1300};
constexpr int kNameColumnMargin = 360;
// A refresh that adds or removes more rows than this is shown as a reset.
constexpr int kRowByRowLimit = 64;
// Files appearing or vanishing in a watched folder: one refresh after this.
constexpr int kWatchDelayMs = 150;

std::array<HistoryGrid, kRecorders>& Grids() {
    static std::array<HistoryGrid, kRecorders> grids;
    return grids;
}

int g_wheelTarget = -1;

void CheckIndex(int i) {
    if (i < 0 || i >= kRecorders) RaiseError(9, QStringLiteral("Subscript out of range"));
}

QString Two(int v) { return N2S(v, 2, 0, QStringLiteral("0")); }

// "^Date|^HH|..." : one column per "|", "^" centres, "<" aligns left. The
// length and size columns follow the seven of the format.
void ApplyFormatString(HistoryGrid& grid, const QString& format) {
    grid.FormatString = format;
    const QStringList parts = format.split(QLatin1Char('|'));
    for (int c = 0; c < kHistoColumnDuration; ++c) {
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
    grid.Header[kHistoColumnDuration] = QStringLiteral("Durée");
    grid.Header[kHistoColumnSize] = QStringLiteral("Taille");
    grid.ColAlignment[kHistoColumnDuration] = HistoryGrid::AlignRight;
    grid.ColAlignment[kHistoColumnSize] = HistoryGrid::AlignRight;
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

// Ascending order of the listing: case ignored first, then exact.
bool ListingLess(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

// Modification time and size by one status read.
bool ReadStatus(const QString& path, qint64& mtimeMs, qint64& size) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    mtimeMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    size = qint64(st.st_size);
    return true;
}

HistoryEntry EntryOf(const QString& folder, const QString& name) {
    HistoryEntry e;
    e.name = name;
    ReadStatus(folder + name, e.mtimeMs, e.size);
    return e;
}

// Watching of the grids' folders (set up with the first grid filled).
struct Watch {
    QFileSystemWatcher watcher;
    std::array<QString, kRecorders> folders;
    std::array<std::unique_ptr<QTimer>, kRecorders> delays;
};

std::unique_ptr<Watch>& TheWatch() {
    static std::unique_ptr<Watch> watch;
    return watch;
}

void WatchFolder(int index, const QString& folder) {
    if (!QCoreApplication::instance()) return;
    std::unique_ptr<Watch>& w = TheWatch();
    if (!w) {
        w = std::make_unique<Watch>();
        QObject::connect(&w->watcher, &QFileSystemWatcher::directoryChanged, [](const QString& changed) {
            Watch& ww = *TheWatch();
            for (int i = 0; i < kRecorders; ++i) {
                QTimer* t = ww.delays[size_t(i)].get();
                if (ww.folders[size_t(i)] == changed && t && !t->isActive()) t->start();
            }
        });
    }
    QString dir = folder;
    if (dir.endsWith(QLatin1Char('/')) && dir.size() > 1) dir.chop(1);
    QString& current = w->folders[size_t(index)];
    if (!w->delays[size_t(index)]) {
        auto t = std::make_unique<QTimer>();
        t->setSingleShot(true);
        t->setInterval(kWatchDelayMs);
        QObject::connect(t.get(), &QTimer::timeout, [index] { InitAffichageHisto(index); });
        w->delays[size_t(index)] = std::move(t);
    }
    if (current == dir && (dir.isEmpty() || w->watcher.directories().contains(dir))) return;
    const QString old = current;
    current = dir;
    if (!old.isEmpty() && std::find(w->folders.cbegin(), w->folders.cend(), old) == w->folders.cend())
        w->watcher.removePath(old);
    if (!dir.isEmpty() && !w->watcher.directories().contains(dir)) w->watcher.addPath(dir);
}

// Applies a new listing (ascending) to the grid's rows (descending): new
// files are read and inserted, vanished ones removed, the others read again
// and marked when they changed. The view hears each change, or one reset
// when there are many.
void MergeListing(HistoryGrid& grid, const QStringList& names) {
    using Change = HistoryGrid::Change;
    std::vector<HistoryEntry>& rows = grid.Rows;
    std::vector<HistoryEntry> merged;
    merged.reserve(size_t(names.size()));
    std::vector<Change> changes;
    int addedOrRemoved = 0;
    auto note = [&](Change::Kind kind, int at) {
        if (!changes.empty()) {
            Change& last = changes.back();
            const bool follows = kind == Change::Removed ? last.first == at : last.first + last.count == at;
            if (last.kind == kind && kind != Change::Updated && follows) {
                ++last.count;
                return;
            }
        }
        changes.push_back({kind, at, 1});
    };
    size_t i = 0;
    auto j = names.crbegin();
    while (i < rows.size() || j != names.crend()) {
        const int at = int(merged.size());
        if (j == names.crend() || (i < rows.size() && ListingLess(*j, rows[i].name))) {
            history_durations::Forget(grid.Folder + rows[i].name);
            note(Change::Removed, at);
            ++addedOrRemoved;
            ++i;
        } else if (i >= rows.size() || ListingLess(rows[i].name, *j)) {
            merged.push_back(EntryOf(grid.Folder, *j));
            note(Change::Inserted, at);
            ++addedOrRemoved;
            ++j;
        } else {
            HistoryEntry e = std::move(rows[i]);
            qint64 mtime = 0, size = -1;
            ReadStatus(grid.Folder + e.name, mtime, size);
            if (mtime != e.mtimeMs || size != e.size) {
                e.mtimeMs = mtime;
                e.size = size;
                if (e.durationMs != kDurationPending) e.durationMs = kDurationUnknown;
                note(Change::Updated, at);
            }
            merged.push_back(std::move(e));
            ++i;
            ++j;
        }
    }
    rows = std::move(merged);
    if (addedOrRemoved > kRowByRowLimit) {
        grid.rowsChanged({Change::Reset, 0, 0});
    } else {
        // In order: each change names its row in the list of that moment.
        for (const Change& c : changes) grid.rowsChanged(c);
    }
    if (addedOrRemoved > 0) grid.notify();
}

}  // namespace

QString HistoryDurationText(qint64 ms) {
    if (ms < 0) return {};
    const qint64 s = (ms + 500) / 1000;
    const qint64 h = s / 3600, m = (s / 60) % 60, sec = s % 60;
    if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(Two(int(m)), Two(int(sec)));
    return QStringLiteral("%1:%2").arg(m).arg(Two(int(sec)));
}

QString HistorySizeText(qint64 bytes) {
    if (bytes < 0) return {};
    const QLocale fr(QLocale::French, QLocale::France);
    if (bytes < 1024) return QString::number(bytes) + QStringLiteral(" o");
    if (bytes < 1024 * 1024) return QString::number((bytes + 512) / 1024) + QStringLiteral(" Ko");
    const double mo = double(bytes) / (1024.0 * 1024.0);
    if (mo < 1024.0) return fr.toString(mo, 'f', mo < 100 ? 1 : 0) + QStringLiteral(" Mo");
    return fr.toString(mo / 1024.0, 'f', 1) + QStringLiteral(" Go");
}

QString HistoryGrid::cell(int row, int col) const {
    const HistoryEntry& e = Rows.at(size_t(row));
    switch (col) {
    case kHistoColumnName: return e.name;
    case kHistoColumnPath: return Folder + e.name;
    case kHistoColumnSize: return HistorySizeText(e.size);
    case kHistoColumnDuration:
        if (e.durationMs >= 0) return HistoryDurationText(e.durationMs);
        return e.durationMs == kDurationNone ? QStringLiteral("-") : QString();
    default: break;
    }
    if (e.mtimeMs <= 0) return {};
    // To the second, in local time, as the system shows it.
    const QDateTime date = QDateTime::fromSecsSinceEpoch(e.mtimeMs / 1000);
    const QTime t = date.time();
    switch (col) {
    case kHistoColumnDate: return HistoryDateText(date.date());
    case kHistoColumnHour: return Two(t.hour());
    case kHistoColumnMinute: return (t.minute() == 0 && t.second() == 0) ? QString() : Two(t.minute());
    case kHistoColumnSecond: return t.second() == 0 ? QString() : Two(t.second());
    case kHistoColumnDateText:
        return date.toString(QStringLiteral("dd/MM/yyyy")) + QStringLiteral(" ") + Two(t.hour()) +
               QStringLiteral(":") + Two(t.minute()) + QStringLiteral(":") + Two(t.second());
    default: return {};
    }
}

int HistoryGrid::rowOf(const QString& name) const {
    // The rows are in descending listing order.
    const auto it = std::lower_bound(Rows.begin(), Rows.end(), name,
                                     [](const HistoryEntry& e, const QString& n) { return ListingLess(n, e.name); });
    return it != Rows.end() && it->name == name ? int(it - Rows.begin()) : -1;
}

void HistoryGrid::wantDuration(int row) {
    if (row < 0 || row >= rowCount()) return;
    HistoryEntry& e = Rows[size_t(row)];
    if (e.durationMs != kDurationUnknown) return;
    const QString p = Folder + e.name;
    const qint64 known = history_durations::Cached(p, e.mtimeMs, e.size);
    if (known != kDurationUnknown) {
        e.durationMs = known;
        return;
    }
    e.durationMs = kDurationPending;
    HistoryGrid* self = this;
    const QString name = e.name, folder = Folder;
    const qint64 mtime = e.mtimeMs, size = e.size;
    history_durations::Request(p, mtime, size, [self, name, folder, mtime, size](qint64 ms) {
        if (self->Folder != folder) return;
        const int r = self->rowOf(name);
        if (r < 0) return;
        HistoryEntry& entry = self->Rows[size_t(r)];
        // Changed meanwhile: read again when it is shown.
        entry.durationMs = (entry.mtimeMs == mtime && entry.size == size) ? ms : kDurationUnknown;
        self->rowsChanged({HistoryGrid::Change::Updated, r, 1});
    });
}

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
    StopWatchingHistoryFolders();
    history_durations::Reset();
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
    // One reading of the folder, hidden files included; a folder that holds
    // only hidden files lists nothing.
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    names.removeAll(QStringLiteral("."));
    names.removeAll(QStringLiteral(".."));
    // A recording's sidecars (loudness report, waveform) are no recordings.
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& n) { return platform::capture::RecordingAnalysis::IsSidecarName(n); }),
                names.end());
    const bool visible = std::any_of(names.cbegin(), names.cend(),
                                     [](const QString& n) { return !n.startsWith(QLatin1Char('.')); });
    if (!visible) return {};
    std::sort(names.begin(), names.end(), ListingLess);
    return names;
}

void InitGeneralGridHisto() {
    ErrorTrap trap(QStringLiteral("Frm_Main:InitGeneralGridHisto"));
    for (int i = 0; i < kRecorders; ++i) {
        trap(10, [&] {
            HistoryGrid& grid = Grids()[size_t(i)];
            grid.Rows.clear();
            grid.Folder.clear();
            grid.TopRow = 0;
            ApplyFormatString(grid, kFormatString);
            for (int c = 0; c < HistoryGrid::kColumns; ++c) grid.ColWidth[size_t(c)] = kFixedWidths[c];
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
        grid.FontName = QStringLiteral("Arial");
        grid.FontSize = 12;
        grid.RowHeight = 400;
        folder = Rec(index).config().RecordFolder;
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
    trap(50, [&] {
        if (grid.Folder == folder && !grid.Rows.empty()) {
            MergeListing(grid, names);
            return;
        }
        // Another folder, or an empty grid: filled in one pass, one reset.
        grid.Redraw = false;
        for (const HistoryEntry& e : grid.Rows) history_durations::Forget(grid.Folder + e.name);
        grid.Rows.clear();
        grid.TopRow = 0;
        grid.Folder = folder;
        grid.Rows.reserve(size_t(names.size()));
        for (auto it = names.crbegin(); it != names.crend(); ++it) grid.Rows.push_back(EntryOf(folder, *it));
        grid.Redraw = true;
        grid.rowsChanged({HistoryGrid::Change::Reset, 0, 0});
        grid.notify();
    });
    trap(60, [&] { WatchFolder(index, found ? folder : QString()); });
}

void StopWatchingHistoryFolders() { TheWatch().reset(); }

void SuppressionHistoriquePige(int index, int days) {
    const QString caller = QStringLiteral("Frm_Main:SuppressionHistoriquePige");
    ErrorTrap trap(caller);
    if (!trap(10, [&] { CheckIndex(index); })) return;
    bool deleted = false;
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
            folder = Rec(index).config().RecordFolder;
            const HistoryGrid& grid = Grids()[size_t(index)];
            // The grid holds the folder's listing: no second reading of it.
            if (grid.Folder == folder && !folder.isEmpty()) {
                names.reserve(grid.rowCount());
                for (auto it = grid.Rows.crbegin(); it != grid.Rows.crend(); ++it) names << it->name;
            } else {
                names = HistoryListing(folder);
            }
            limit = CurrentClock().now().addDays(-days);
        });
        for (auto it = names.crbegin(); it != names.crend(); ++it) {
            trap(40, [&] {
                const QString path = folder + *it;
                const PathPieces pieces = EclateRepFicExt(path);
                // Names that cannot be dated are kept.
                const QDate day = NameDate(pieces.PathBaseName);
                if (!day.isValid()) return;
                if (QDateTime(day, QTime(0, 0)) < limit) {
                    DeleteFile(path, caller);
                    // Its sidecars go with it.
                    for (const QString& sidecar : platform::capture::RecordingAnalysis::SidecarPaths(path))
                        if (QFileInfo::exists(sidecar)) DeleteFile(sidecar, caller);
                    deleted = true;
                }
            });
        }
    }
    // The deleted slices leave the grid at once.
    trap(45, [&] {
        if (deleted && Grids()[size_t(index)].Folder == Rec(index).config().RecordFolder) InitAffichageHisto(index);
    });
    trap(50, [&] { emit Rec(index).SpaceChanged(index); });
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

void HistoOpenFile(int index, int row) {
    ErrorTrap trap(QStringLiteral("Frm_Main:HistoOpenFile"));
    trap(10, [&] {
        const HistoryGrid& grid = MSFlexGridHisto(index);
        if (row < 0 || row >= grid.rowCount()) return;
        const QString path = grid.path(row);
        TraceLog(-1, index, -1, QStringLiteral("History: open ") + path);
        ExecuterProgrammeExterne(QStringLiteral("Open"), path, QString(), grid.Folder, 1);
    });
}

void HistoOpenFolder(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:HistoOpenFolder"));
    trap(10, [&] {
        const HistoryGrid& grid = MSFlexGridHisto(index);
        const QString folder = grid.Folder.isEmpty() ? Rec(index).config().RecordFolder : grid.Folder;
        if (folder.isEmpty()) return;
        TraceLog(-1, index, -1, QStringLiteral("History: open folder ") + folder);
        ExecuterProgrammeExterne(QStringLiteral("Open"), folder, QString(), folder, 1);
    });
}
