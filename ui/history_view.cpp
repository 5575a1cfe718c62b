#include "ui/history_view.h"

#include "archive/history.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QWheelEvent>

namespace ui {

HistoryTableModel::HistoryTableModel(HistoryGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {
    shownRows_ = grid_.rowCount();
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shownRows_; }

int HistoryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : HistoryGrid::kColumns;
}

namespace {
Qt::Alignment AlignmentOf(int a) {
    if (a == HistoryGrid::AlignCentre) return Qt::AlignHCenter | Qt::AlignVCenter;
    if (a == HistoryGrid::AlignRight) return Qt::AlignRight | Qt::AlignVCenter;
    return Qt::AlignLeft | Qt::AlignVCenter;
}
}  // namespace

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= grid_.rowCount()) return {};
    if (role == Qt::DisplayRole) {
        // A shown length is read on the worker thread the first time.
        if (index.column() == kHistoColumnDuration) grid_.wantDuration(index.row());
        return grid_.cell(index.row(), index.column());
    }
    if (role == Qt::ToolTipRole) return grid_.path(index.row());
    if (role == Qt::TextAlignmentRole) return int(AlignmentOf(grid_.ColAlignment[size_t(index.column())]));
    return {};
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= HistoryGrid::kColumns) return {};
    if (role == Qt::DisplayRole) return grid_.Header[size_t(section)];
    if (role == Qt::TextAlignmentRole) return int(AlignmentOf(grid_.ColAlignment[size_t(section)]));
    return {};
}

void HistoryTableModel::reload() {
    beginResetModel();
    shownRows_ = grid_.rowCount();
    endResetModel();
}

void HistoryTableModel::follow(const HistoryGrid::Change& c) {
    using Change = HistoryGrid::Change;
    const int last = c.first + c.count - 1;
    switch (c.kind) {
    case Change::Inserted:
        beginInsertRows({}, c.first, last);
        shownRows_ += c.count;
        endInsertRows();
        break;
    case Change::Removed:
        beginRemoveRows({}, c.first, last);
        shownRows_ -= c.count;
        endRemoveRows();
        break;
    case Change::Updated:
        if (last < shownRows_) emit dataChanged(index(c.first, 0), index(last, HistoryGrid::kColumns - 1));
        break;
    case Change::Reset: reload(); break;
    }
    if (shownRows_ != grid_.rowCount()) reload();  // never out of step with the grid
}

HistoryGridView::HistoryGridView(int recorder, QWidget* parent) : QTableView(parent), recorder_(recorder) {
    HistoryGrid& grid = MSFlexGridHisto(recorder_);
    model_ = new HistoryTableModel(grid, this);
    setModel(model_);
    setObjectName(QString("MSFlexGridHisto%1").arg(recorder_));
    setMouseTracking(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    verticalScrollBar()->setSingleStep(1);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    QPointer<HistoryGridView> self(this);
    grid.observe([self] {
        if (self) self->refresh();
    });
    grid.onRowsChanged = [self](const HistoryGrid::Change& c) {
        if (self) self->model_->follow(c);
    };
    // The length and the size before the name, which takes the rest.
    horizontalHeader()->moveSection(kHistoColumnDuration, kHistoColumnName);
    horizontalHeader()->moveSection(kHistoColumnSize, kHistoColumnName + 1);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) {
        if (i.isValid()) HistoOpenFile(recorder_, i.row());
    });
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (!refreshing_) MSFlexGridHisto(recorder_).TopRow = v;
    });
    refresh();
}

void HistoryGridView::refresh() {
    HistoryGrid& grid = MSFlexGridHisto(recorder_);
    if (!grid.Redraw) return;  // being rebuilt
    refreshing_ = true;
    QFont f(grid.FontName);
    f.setPointSize(grid.FontSize > 0 ? grid.FontSize : 12);
    f.setStyleHint(QFont::SansSerif);
    if (font() != f) setFont(f);
    if (model_->rowCount() != grid.rowCount()) model_->reload();
    verticalHeader()->setDefaultSectionSize(std::max(18, Pixels(grid.RowHeight)));
    const QFontMetrics fm(f);
    // Widths for the widest texts these columns can hold in the font at hand.
    static const QString kWidest[HistoryGrid::kColumns] = {"mer. 28 sept.", "00", "00", "00", "", "",
                                                           "", "00:00:00", "999,9 Mo"};
    for (int c = 0; c < HistoryGrid::kColumns; ++c) {
        const int w = grid.ColWidth[size_t(c)];
        setColumnHidden(c, w <= 0 && c != kHistoColumnName);
        if (w <= 0 || c == kHistoColumnName) continue;
        const int needed = std::max(fm.horizontalAdvance(grid.Header[size_t(c)]) + 16,
                                    fm.horizontalAdvance(kWidest[c]) + 14);
        setColumnWidth(c, std::max(Pixels(w), needed));
    }
    // The full path and the date text are for the program, never shown.
    setColumnHidden(kHistoColumnPath, true);
    setColumnHidden(kHistoColumnDateText, true);
    refreshing_ = false;
    applyTopRow();
}

void HistoryGridView::applyTopRow() {
    refreshing_ = true;
    const int top = MSFlexGridHisto(recorder_).TopRow;
    if (verticalScrollBar()->value() != top) verticalScrollBar()->setValue(top);
    refreshing_ = false;
}

void HistoryGridView::wheelEvent(QWheelEvent* e) {
    HistoMouseMove(recorder_);
    wheelRemainder_ += e->angleDelta().y();
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    if (notches != 0) ScrollHisto(recorder_, -notches * kHistoWheelRows);
    e->accept();
}

void HistoryGridView::mouseMoveEvent(QMouseEvent* e) {
    if (HistoWheelTarget() != recorder_) {
        HistoMouseMove(recorder_);
        setFocus(Qt::MouseFocusReason);
    }
    QTableView::mouseMoveEvent(e);
}

void HistoryGridView::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    const int twips = viewport()->width() * 15;
    HistoryGrid& grid = MSFlexGridHisto(recorder_);
    if (grid.GridWidth != twips && !refreshing_) grid.setGridWidth(twips);
}

}  // namespace ui

namespace ui {

int HistoryGridView::currentRow() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() : -1;
}

void HistoryGridView::openCurrent() {
    const int row = currentRow();
    if (row >= 0) HistoOpenFile(recorder_, row);
}

void HistoryGridView::keyPressEvent(QKeyEvent* e) {
    // Enter plays the file (the view's own "activated" is not sent for
    // Enter on every platform style).
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && e->modifiers() == Qt::NoModifier) {
        openCurrent();
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

void HistoryGridView::contextMenuEvent(QContextMenuEvent* e) {
    const QModelIndex at = indexAt(e->pos());
    if (at.isValid()) setCurrentIndex(at);
    const int row = at.isValid() ? at.row() : -1;
    QMenu menu(this);
    QAction* play = menu.addAction("&Écouter", this, [this, row] { HistoOpenFile(recorder_, row); });
    menu.addAction("Ouvrir le &dossier", this, [this] { HistoOpenFolder(recorder_); });
    QAction* copy = menu.addAction("&Copier le chemin", this, [this, row] {
        QApplication::clipboard()->setText(MSFlexGridHisto(recorder_).path(row));
    });
    play->setEnabled(row >= 0);
    copy->setEnabled(row >= 0);
    menu.exec(e->globalPos());
}

}  // namespace ui
