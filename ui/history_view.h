#pragma once
// The history grid of one recorder: the files of its destination folder,
// newest first, as the grid model of the archive holds them. The full path
// and the date text (columns 4 and 5) stay hidden. Moving the mouse over the
// grid makes it the wheel target; the wheel scrolls the grid under the mouse.
#include "archive/history.h"

#include <QAbstractTableModel>
#include <QTableView>


namespace ui {

class HistoryTableModel : public QAbstractTableModel {
public:
    explicit HistoryTableModel(HistoryGrid& grid, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The grid model changed: show its rows again.
    void reload();
    // Follows one change of the grid's rows (rows added, removed, read again).
    void follow(const HistoryGrid::Change& c);

private:
    HistoryGrid& grid_;
    int shownRows_ = 0;
};

class HistoryGridView : public QTableView {
public:
    HistoryGridView(int recorder, QWidget* parent = nullptr);
    int recorder() const { return recorder_; }
    HistoryTableModel* tableModel() const { return model_; }
    // Pixels for a width in twips (15 twips a pixel at 96 dpi).
    static int Pixels(int twips) { return (twips + 7) / 15; }

    // Row under the operator's action (the current one), -1 when none.
    int currentRow() const;
    void openCurrent();

protected:
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void refresh();
    void applyTopRow();
    int recorder_;
    HistoryTableModel* model_;
    bool refreshing_ = false;
    int wheelRemainder_ = 0;
};

}  // namespace ui
