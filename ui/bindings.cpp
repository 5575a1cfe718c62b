#include "ui/bindings.h"

#include <QAction>
#include <QEvent>
#include <QPointer>
#include <QSignalBlocker>

namespace ui {

void ApplyControlBase(QWidget* widget, const ControlBase& control) {
    if (widget->isEnabled() != control.enabled()) widget->setEnabled(control.enabled());
    if (widget->toolTip() != control.toolTip()) widget->setToolTip(control.toolTip());
    if (widget->parentWidget() && widget->isHidden() == control.visible()) widget->setVisible(control.visible());
}

void BindAction(QAction* action, ControlBase& control) {
    QPointer<QAction> guard(action);
    auto apply = [guard, &control] {
        if (!guard) return;
        guard->setEnabled(control.enabled());
        guard->setVisible(control.visible());
        if (!control.caption().isEmpty()) guard->setText(control.caption());
    };
    control.observe(apply);
    apply();
}

void BindWidget(QWidget* widget, ControlBase& control) {
    QPointer<QWidget> guard(widget);
    auto apply = [guard, &control] {
        if (guard) ApplyControlBase(guard, control);
    };
    control.observe(apply);
    apply();
}

// ---- check box ----

BoundCheckBox::BoundCheckBox(CheckBoxCtl& model, const QString& caption, QWidget* parent)
    : QCheckBox(parent), model_(model), defaultCaption_(caption) {
    QPointer<BoundCheckBox> self(this);
    model_.observe([self] {
        if (self) self->refresh();
    });
    connect(this, &QCheckBox::toggled, this, [this](bool on) {
        if (refreshing_) return;
        model_.setChecked(on);
        refresh();  // the handler may have put the value back
    });
    refresh();
}

void BoundCheckBox::refresh() {
    refreshing_ = true;
    {
        QSignalBlocker block(this);
        const QString caption = model_.caption().isEmpty() ? defaultCaption_ : model_.caption();
        if (text() != caption) setText(caption);
        if (isChecked() != model_.checked()) setChecked(model_.checked());
        ApplyControlBase(this, model_);
    }
    refreshing_ = false;
}

bool BoundCheckBox::event(QEvent* e) {
    const bool r = QCheckBox::event(e);
    if (e->type() == QEvent::ParentChange) refresh();
    return r;
}

// ---- line edit ----

BoundLineEdit::BoundLineEdit(TextCtl& model, QWidget* parent, Commit mode)
    : QLineEdit(parent), model_(model), mode_(mode) {
    QPointer<BoundLineEdit> self(this);
    model_.observe([self] {
        if (self) self->refresh();
    });
    if (mode_ == Commit::Live) {
        connect(this, &QLineEdit::textEdited, this, [this](const QString& t) {
            if (refreshing_) return;
            model_.setText(t);
            refresh();
        });
    } else {
        connect(this, &QLineEdit::editingFinished, this, [this] { commit(); });
    }
    refresh();
}

void BoundLineEdit::commit() {
    if (refreshing_ || text() == model_.text()) return;
    model_.setText(text());
    refresh();
}

void BoundLineEdit::refresh() {
    refreshing_ = true;
    {
        QSignalBlocker block(this);
        // Only a different text is put back, so that the cursor of an edit in
        // progress does not jump.
        if (text() != model_.text()) setText(model_.text());
        if (isReadOnly() != model_.locked()) setReadOnly(model_.locked());
        ApplyControlBase(this, model_);
    }
    refreshing_ = false;
}

bool BoundLineEdit::event(QEvent* e) {
    const bool r = QLineEdit::event(e);
    if (e->type() == QEvent::ParentChange) refresh();
    return r;
}

// ---- combo box ----

BoundComboBox::BoundComboBox(ComboCtl& model, QWidget* parent) : QComboBox(parent), model_(model) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(6);
    QPointer<BoundComboBox> self(this);
    model_.observe([self] {
        if (self) self->refresh();
    });
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (refreshing_) return;
        model_.setListIndex(index);
        refresh();
    });
    refresh();
}

void BoundComboBox::refresh() {
    refreshing_ = true;
    {
        QSignalBlocker block(this);
        const QStringList& entries = model_.entries();
        // Lists are mostly filled one entry at a time: keep what is already
        // shown when it is the beginning of the model's list.
        int shown = count();
        bool prefix = shown <= entries.size();
        for (int i = 0; prefix && i < shown; ++i) prefix = itemText(i) == entries[i];
        if (!prefix) {
            clear();
            shown = 0;
        }
        if (shown < entries.size()) addItems(entries.mid(shown));
        if (currentIndex() != model_.listIndex()) setCurrentIndex(model_.listIndex());
        ApplyControlBase(this, model_);
    }
    refreshing_ = false;
}

bool BoundComboBox::event(QEvent* e) {
    const bool r = QComboBox::event(e);
    if (e->type() == QEvent::ParentChange) refresh();
    return r;
}

// ---- label ----

BoundLabel::BoundLabel(LabelCtl& model, QWidget* parent) : QLabel(parent), model_(model) {
    QPointer<BoundLabel> self(this);
    model_.observe([self] {
        if (self) self->refresh();
    });
    refresh();
}

void BoundLabel::refresh() {
    if (text() != model_.text()) setText(model_.text());
    ApplyControlBase(this, model_);
}

bool BoundLabel::event(QEvent* e) {
    const bool r = QLabel::event(e);
    if (e->type() == QEvent::ParentChange) refresh();
    return r;
}

// ---- slider ----

BoundSlider::BoundSlider(SliderCtl& model, Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent), model_(model) {
    setTickPosition(QSlider::TicksBelow);
    QPointer<BoundSlider> self(this);
    model_.observe([self] {
        if (self) self->refresh();
    });
    // Only operator moves arrive here: program changes are made with the
    // signals blocked.
    connect(this, &QSlider::valueChanged, this, [this](int v) {
        if (refreshing_) return;
        model_.scrollTo(v);
        refresh();
    });
    refresh();
}

void BoundSlider::refresh() {
    refreshing_ = true;
    {
        QSignalBlocker block(this);
        if (minimum() != model_.min() || maximum() != model_.max()) setRange(model_.min(), model_.max());
        const int step = model_.step() > 0 ? model_.step() : 1;
        setPageStep(step);
        setTickInterval(step);
        if (value() != model_.value()) setValue(model_.value());
        ApplyControlBase(this, model_);
    }
    refreshing_ = false;
}

bool BoundSlider::event(QEvent* e) {
    const bool r = QSlider::event(e);
    if (e->type() == QEvent::ParentChange) refresh();
    return r;
}

}  // namespace ui
