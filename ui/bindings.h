#pragma once
// Widgets bound to the control models of the logic. The model is the truth:
// a model change refreshes the widget (through the model's observers), and an
// operator edit goes to the model through the same setter the program uses,
// so that the model's handler runs exactly as for a program change. A refresh
// never feeds back into the model.
#include "support/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QString>

class QAction;
class QWidget;

namespace ui {

// Applies the common state of a control (enabled, visible, tool tip) to a
// widget. Visibility is applied only to widgets that have a parent, so that
// a hidden model never turns a child widget into a window of its own.
void ApplyControlBase(QWidget* widget, const ControlBase& control);

// Keeps an action (menu entry) in step with a control: enabled, visible and,
// when the control has one, its caption.
void BindAction(QAction* action, ControlBase& control);

// Keeps any widget's enabled/visible state in step with a control.
void BindWidget(QWidget* widget, ControlBase& control);

class BoundCheckBox : public QCheckBox {
public:
    BoundCheckBox(CheckBoxCtl& model, const QString& caption, QWidget* parent = nullptr);
    CheckBoxCtl& model() const { return model_; }
    void refresh();

protected:
    bool event(QEvent* e) override;

private:
    CheckBoxCtl& model_;
    QString defaultCaption_;
    bool refreshing_ = false;
};

class BoundLineEdit : public QLineEdit {
public:
    // Live: every keystroke goes to the model (its change handler runs for each
    // one). OnFinish: the text goes to the model when the editing ends (Enter,
    // focus leaves the field, or commit()).
    enum class Commit { Live, OnFinish };
    BoundLineEdit(TextCtl& model, QWidget* parent = nullptr, Commit mode = Commit::Live);
    TextCtl& model() const { return model_; }
    void refresh();
    // Hands an edit in progress to the model (OnFinish mode).
    void commit();

protected:
    bool event(QEvent* e) override;

private:
    TextCtl& model_;
    Commit mode_;
    bool refreshing_ = false;
};

class BoundComboBox : public QComboBox {
public:
    BoundComboBox(ComboCtl& model, QWidget* parent = nullptr);
    ComboCtl& model() const { return model_; }
    void refresh();

protected:
    bool event(QEvent* e) override;

private:
    ComboCtl& model_;
    bool refreshing_ = false;
};

class BoundLabel : public QLabel {
public:
    BoundLabel(LabelCtl& model, QWidget* parent = nullptr);
    LabelCtl& model() const { return model_; }
    void refresh();

protected:
    bool event(QEvent* e) override;

private:
    LabelCtl& model_;
};

class BoundSlider : public QSlider {
public:
    BoundSlider(SliderCtl& model, Qt::Orientation orientation, QWidget* parent = nullptr);
    SliderCtl& model() const { return model_; }
    void refresh();

protected:
    bool event(QEvent* e) override;

private:
    SliderCtl& model_;
    bool refreshing_ = false;
};

}  // namespace ui
