#pragma once
// Plain models of the window controls. The windows' controls are the working
// copy of the settings and of the recorders' wanted states; the logic reads and
// writes these models, and the Qt widgets only show and edit them.
//
// Each model has:
//  - its state (checked, text, entries, selection, enabled, visible);
//  - a handler (onClick / onChange) that runs when the program or the operator
//    changes the value, as the window's event handler would;
//  - view observers that the widgets register to refresh themselves.
#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <vector>

class ControlBase {
public:
    bool enabled() const { return enabled_; }
    bool visible() const { return visible_; }
    void setEnabled(bool e) { if (e != enabled_) { enabled_ = e; notify(); } }
    void setVisible(bool v) { if (v != visible_) { visible_ = v; notify(); } }
    const QString& caption() const { return caption_; }
    void setCaption(const QString& c) { if (c != caption_) { caption_ = c; notify(); } }
    const QString& toolTip() const { return toolTip_; }
    void setToolTip(const QString& t) { toolTip_ = t; notify(); }
    // Background colour (RgbColor layout), kNoColor = the parent's; opaque or
    // transparent background.
    static constexpr long kNoColor = -1;
    long backColor() const { return backColor_; }
    void setBackColor(long c) { if (c != backColor_) { backColor_ = c; notify(); } }
    bool opaque() const { return opaque_; }
    void setOpaque(bool o) { if (o != opaque_) { opaque_ = o; notify(); } }

    // View refresh callbacks (the widgets).
    int observe(std::function<void()> f) { observers_.push_back(std::move(f)); return int(observers_.size()) - 1; }
    void notify() { for (auto& f : observers_) if (f) f(); }

protected:
    bool enabled_ = true;
    bool visible_ = true;
    QString caption_;
    QString toolTip_;
    long backColor_ = kNoColor;
    bool opaque_ = false;
    std::vector<std::function<void()>> observers_;
};

// A colour as the windows store it: red in the low byte, then green, then blue
// (0x00BBGGRR).
constexpr unsigned RgbColor(int r, int g, int b) {
    return unsigned(r & 0xFF) | (unsigned(g & 0xFF) << 8) | (unsigned(b & 0xFF) << 16);
}

// Check box: Value 1 = checked. Changing the value runs onClick.
class CheckBoxCtl : public ControlBase {
public:
    bool checked() const { return checked_; }
    int value() const { return checked_ ? 1 : 0; }
    void setChecked(bool c) {
        if (c == checked_) return;
        checked_ = c;
        notify();
        if (onClick) onClick();
    }
    void setValue(int v) { setChecked(v != 0); }
    std::function<void()> onClick;

private:
    bool checked_ = false;
};

// Text box: changing the text runs onChange.
class TextCtl : public ControlBase {
public:
    const QString& text() const { return text_; }
    void setText(const QString& t) {
        if (t == text_) return;
        text_ = t;
        notify();
        if (onChange) onChange();
    }
    bool locked() const { return locked_; }
    void setLocked(bool l) { locked_ = l; notify(); }
    std::function<void()> onChange;

private:
    QString text_;
    bool locked_ = false;
};

// Label: a caption; for inboxes, changing the caption runs onChange.
class LabelCtl : public ControlBase {
public:
    const QString& text() const { return caption_; }
    void setText(const QString& t) {
        if (t == caption_) return;
        caption_ = t;
        notify();
        if (onChange) onChange();
    }
    std::function<void()> onChange;
};

// List (combo box or list box): entries and the selected entry (-1 none).
// Selecting an entry (program or operator) runs onClick when the selection changes.
class ComboCtl : public ControlBase {
public:
    const QStringList& entries() const { return entries_; }
    int count() const { return int(entries_.size()); }
    int listIndex() const { return index_; }
    QString text() const { return index_ >= 0 && index_ < count() ? entries_[index_] : QString(); }
    QString entry(int i) const { return i >= 0 && i < count() ? entries_[i] : QString(); }

    void clear() {
        entries_.clear();
        index_ = -1;
        notify();
    }
    void addItem(const QString& e) { entries_.push_back(e); notify(); }
    void setEntries(const QStringList& e) { entries_ = e; index_ = -1; notify(); }
    // Selects entry i; an index outside -1..count-1 is refused (returns false)
    // and the selection is left as it was.
    bool setListIndex(int i) {
        if (i < -1 || i >= count()) return false;
        if (i == index_) return true;
        index_ = i;
        notify();
        if (onClick) onClick();
        return true;
    }
    std::function<void()> onClick;

private:
    QStringList entries_;
    int index_ = -1;
};

// Slider: a value within a range.
class SliderCtl : public ControlBase {
public:
    int value() const { return value_; }
    int min() const { return min_; }
    int max() const { return max_; }
    int step() const { return step_; }
    void setRange(int lo, int hi) { min_ = lo; max_ = hi; notify(); }
    void setStep(int s) { step_ = s; }
    // Programmatic value change (no scroll handler, as a window's Value property).
    void setValue(int v) {
        if (v < min_) v = min_;
        if (v > max_) v = max_;
        if (v == value_) return;
        value_ = v;
        notify();
    }
    // The operator moved the slider: value and then onScroll with it.
    void scrollTo(int v) {
        setValue(v);
        if (onScroll) onScroll(value_);
    }
    std::function<void(int value)> onScroll;

private:
    int value_ = 0, min_ = 0, max_ = 100, step_ = 1;
};

// List view in report mode: rows of cells (cell 0 is the row's text, the
// others its sub-items), the selected row, the sort (column and order) and
// the column widths. Rows keep their order until sorted.
class ListViewCtl : public ControlBase {
public:
    int rowCount() const { return int(rows_.size()); }
    int columnCount() const { return columns_; }
    void setColumnCount(int n) { columns_ = n; notify(); }
    const QStringList& row(int r) const { return rows_.at(r); }
    QString cell(int r, int c) const {
        return r >= 0 && r < rowCount() && c >= 0 && c < rows_[r].size() ? rows_[r][c] : QString();
    }
    void clear() {
        rows_.clear();
        selected_ = -1;
        notify();
    }
    int addRow(QStringList cells) {
        while (cells.size() < columns_) cells << QString();
        rows_.push_back(cells);
        notify();
        return rowCount() - 1;
    }
    void setCell(int r, int c, const QString& text) {
        if (r < 0 || r >= rowCount() || c < 0) return;
        while (rows_[r].size() <= c) rows_[r] << QString();
        if (rows_[r][c] == text) return;
        rows_[r][c] = text;
        notify();
    }
    // The row whose cell in column c is text; -1 when none.
    int findRow(int c, const QString& text) const {
        for (int r = 0; r < rowCount(); ++r)
            if (cell(r, c) == text) return r;
        return -1;
    }
    int selectedRow() const { return selected_; }
    void setSelectedRow(int r) {
        if (r < -1 || r >= rowCount() || r == selected_) return;
        selected_ = r;
        notify();
    }
    // Sorts the rows by the text of a column (case ignored, equal texts keep
    // their order); the selection stays on its row.
    void sortBy(int column, bool descending) {
        const QStringList* chosen = selected_ >= 0 ? &rows_[selected_] : nullptr;
        const QStringList kept = chosen ? *chosen : QStringList();
        std::stable_sort(rows_.begin(), rows_.end(), [&](const QStringList& a, const QStringList& b) {
            const QString x = column < a.size() ? a[column] : QString();
            const QString y = column < b.size() ? b[column] : QString();
            const int cmp = QString::compare(x, y, Qt::CaseInsensitive);
            return descending ? cmp > 0 : cmp < 0;
        });
        sortKey_ = column;
        descending_ = descending;
        if (chosen) selected_ = int(rows_.indexOf(kept));
        notify();
    }
    int sortKey() const { return sortKey_; }
    bool sortDescending() const { return descending_; }
    // Column widths in pixels (0 = the view's choice).
    QList<int> columnWidths;

private:
    QList<QStringList> rows_;
    int columns_ = 0;
    int selected_ = -1;
    int sortKey_ = -1;
    bool descending_ = false;
};
