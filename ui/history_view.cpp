#include "ui/history_view.h"

#include "archive/history.h"

#include <QHeaderView>
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

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= grid_.rowCount()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (role == Qt::ToolTipRole) return grid_.cell(index.row(), kHistoColumnPath);
        return grid_.cell(index.row(), index.column());
    }
    if (role == Qt::TextAlignmentRole) {
        const bool centre = grid_.ColAlignment[size_t(index.column())] == HistoryGrid::AlignCentre;
        return int((centre ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    return {};
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= HistoryGrid::kColumns) return {};
    if (role == Qt::DisplayRole) return grid_.Header[size_t(section)];
    if (role == Qt::TextAlignmentRole) {
        const bool centre = grid_.ColAlignment[size_t(section)] == HistoryGrid::AlignCentre;
        return int((centre ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    return {};
}

void HistoryTableModel::reload() {
    beginResetModel();
    shownRows_ = grid_.rowCount();
    endResetModel();
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
    if (model_->rowCount() != grid.rowCount() || grid.rowCount() > 0) model_->reload();
    verticalHeader()->setDefaultSectionSize(std::max(18, Pixels(grid.RowHeight)));
    const QFontMetrics fm(f);
    for (int c = 0; c < HistoryGrid::kColumns; ++c) {
        const int w = grid.ColWidth[size_t(c)];
        setColumnHidden(c, w <= 0 && c != kHistoColumnName);
        if (w <= 0 || c == kHistoColumnName) continue;
        // The grid's width, or what its texts need in the font at hand.
        int needed = fm.horizontalAdvance(grid.Header[size_t(c)]) + 16;
        for (int r = 0; r < std::min(grid.rowCount(), 200); ++r)
            needed = std::max(needed, fm.horizontalAdvance(grid.cell(r, c)) + 14);
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
