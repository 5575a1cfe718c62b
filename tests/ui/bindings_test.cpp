// Widgets bound to the control models: model changes reach the widget, the
// operator's edits reach the model through its setters (its handler runs
// once per edit), and a refresh never echoes back into the model.
#include "ui/bindings.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Window {
    std::unique_ptr<QWidget> w = std::make_unique<QWidget>();
    QVBoxLayout* layout = new QVBoxLayout(w.get());
    template <class T>
    T* add(T* child) {
        layout->addWidget(child);
        return child;
    }
    void show() {
        w->show();
        QApplication::processEvents();
    }
};

}  // namespace

TEST(BoundCheckBox, FollowsTheModelAndHandsClicksToIt) {
    CheckBoxCtl model;
    int clicks = 0;
    model.onClick = [&] { ++clicks; };
    Window win;
    auto* box = win.add(new ui::BoundCheckBox(model, "Actif"));
    win.show();
    EXPECT_EQ(box->text(), "Actif");
    EXPECT_FALSE(box->isChecked());

    model.setChecked(true);  // the program
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(clicks, 1) << "a refresh must not run the handler a second time";

    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());  // the operator
    EXPECT_FALSE(model.checked());
    EXPECT_EQ(clicks, 2);

    model.setEnabled(false);
    EXPECT_FALSE(box->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    EXPECT_FALSE(model.checked()) << "a disabled control takes no click";
    EXPECT_EQ(clicks, 2);

    model.setVisible(false);
    EXPECT_TRUE(box->isHidden());
    model.setCaption("Utiliser");
    EXPECT_EQ(box->text(), "Utiliser");
}

TEST(BoundCheckBox, ShowsTheValueTheHandlerKept) {
    CheckBoxCtl model;
    // A handler that refuses the change puts the value back.
    model.onClick = [&] {
        if (model.checked()) model.setChecked(false);
    };
    Window win;
    auto* box = win.add(new ui::BoundCheckBox(model, "Pige"));
    win.show();
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    EXPECT_FALSE(model.checked());
    EXPECT_FALSE(box->isChecked());
}

TEST(BoundLineEdit, EveryKeystrokeGoesToTheModelOnce) {
    TextCtl model;
    QStringList seen;
    model.onChange = [&] { seen << model.text(); };
    Window win;
    auto* edit = win.add(new ui::BoundLineEdit(model));
    win.show();
    edit->setFocus();
    QTest::keyClicks(edit, "abc");
    EXPECT_EQ(model.text(), "abc");
    EXPECT_EQ(seen, QStringList({"a", "ab", "abc"}));

    model.setText("Studio 2");
    EXPECT_EQ(edit->text(), "Studio 2");
    EXPECT_EQ(seen.size(), 4) << "the program's change runs the handler once, the refresh adds nothing";

    model.setLocked(true);
    EXPECT_TRUE(edit->isReadOnly());
}

TEST(BoundLineEdit, ShowsTheTextAHandlerRewrote) {
    TextCtl model;
    model.onChange = [&] { model.setText(model.text().toUpper()); };
    Window win;
    auto* edit = win.add(new ui::BoundLineEdit(model));
    win.show();
    edit->setFocus();
    QTest::keyClicks(edit, "rec");
    EXPECT_EQ(model.text(), "REC");
    EXPECT_EQ(edit->text(), "REC");
}

TEST(BoundLineEdit, CommitOnFinishWaitsForTheEndOfTheEdit) {
    TextCtl model;
    int changes = 0;
    model.onChange = [&] { ++changes; };
    Window win;
    auto* edit = win.add(new ui::BoundLineEdit(model, nullptr, ui::BoundLineEdit::Commit::OnFinish));
    win.show();
    edit->setFocus();
    QTest::keyClicks(edit, "/srv/pige/");
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(model.text().isEmpty());
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(model.text(), "/srv/pige/");
    EXPECT_EQ(changes, 1);

    QTest::keyClicks(edit, "x");
    edit->commit();  // as the window does before a save
    EXPECT_EQ(model.text(), "/srv/pige/x");
    EXPECT_EQ(changes, 2);
    edit->commit();
    EXPECT_EQ(changes, 2) << "nothing new, nothing handed over";
}

TEST(BoundComboBox, EntriesAddedOneByOneAndReplaced) {
    ComboCtl model;
    Window win;
    auto* combo = win.add(new ui::BoundComboBox(model));
    win.show();
    for (int v = 10; v <= 500; ++v) model.addItem(QString::number(v));
    ASSERT_EQ(combo->count(), 491);
    EXPECT_EQ(combo->itemText(0), "10");
    EXPECT_EQ(combo->itemText(490), "500");
    model.setListIndex(490);
    EXPECT_EQ(combo->currentIndex(), 490);
    EXPECT_EQ(combo->currentText(), "500");

    model.setEntries({"CBR 320 Kbps", "CBR 128 Kbps"});
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "CBR 128 Kbps");
    EXPECT_EQ(combo->currentIndex(), -1);
    model.clear();
    EXPECT_EQ(combo->count(), 0);
}

TEST(BoundComboBox, OperatorChoiceRunsTheHandlerOnce) {
    ComboCtl model;
    model.setEntries({"Mémoire", "wave", "mp3", "wma"});
    model.setListIndex(1);
    QList<int> clicks;
    model.onClick = [&] { clicks << model.listIndex(); };
    Window win;
    auto* combo = win.add(new ui::BoundComboBox(model));
    win.show();
    EXPECT_EQ(combo->currentText(), "wave");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(model.listIndex(), 2);
    EXPECT_EQ(clicks, QList<int>({2}));
    model.setListIndex(0);
    EXPECT_EQ(combo->currentText(), "Mémoire");
    EXPECT_EQ(clicks, QList<int>({2, 0}));
}

TEST(BoundLabelAndSlider, FollowTheirModels) {
    LabelCtl label;
    SliderCtl slider;
    slider.setRange(0, 100);
    slider.setStep(10);
    slider.setValue(75);
    int scrolls = 0;
    slider.onScroll = [&](int) { ++scrolls; };
    Window win;
    auto* l = win.add(new ui::BoundLabel(label));
    auto* s = win.add(new ui::BoundSlider(slider, Qt::Horizontal));
    win.show();
    label.setText("12:34");
    EXPECT_EQ(l->text(), "12:34");
    EXPECT_EQ(s->value(), 75);
    EXPECT_EQ(s->pageStep(), 10);

    s->setFocus();
    QTest::keyClick(s, Qt::Key_PageUp);  // the operator moves it by a step
    EXPECT_EQ(slider.value(), 85);
    EXPECT_EQ(scrolls, 1);
    slider.setValue(20);  // the program: no scroll handler
    EXPECT_EQ(s->value(), 20);
    EXPECT_EQ(scrolls, 1);
    slider.setValue(140);
    EXPECT_EQ(s->value(), 100);
}

TEST(Bindings, AModelOutlivesItsWidgetAndNeverMakesAWindowOfAChild) {
    LabelCtl label;
    {
        ui::BoundLabel orphan(label);  // no parent yet
        label.setVisible(false);
        label.setVisible(true);
        EXPECT_FALSE(orphan.isVisible()) << "a widget without a parent must not pop up as a window";
    }
    label.setText("after");  // the widget is gone: nothing to refresh, no crash
    EXPECT_EQ(label.text(), "after");

    // A hidden model applies once the widget gets its parent.
    CheckBoxCtl hidden;
    hidden.setVisible(false);
    Window win;
    auto* box = new ui::BoundCheckBox(hidden, "x");
    win.add(box);
    win.show();
    EXPECT_TRUE(box->isHidden());
}
