// The program's button widget: real mouse and key events drive the button
// model (toggle, push, group, keyboard, focus moves) and the drawing follows
// its state.
#include "ui/xpbutton_widget.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Row {
    std::unique_ptr<QWidget> w = std::make_unique<QWidget>();
    QHBoxLayout* layout = new QHBoxLayout(w.get());
    ui::XPButtonWidget* add(XPButton& model, const QString& caption,
                            ui::XPButtonWidget::Glyph glyph = ui::XPButtonWidget::Glyph::None) {
        auto* b = new ui::XPButtonWidget(model, caption, glyph);
        layout->addWidget(b);
        return b;
    }
    void show() {
        w->resize(400, 60);
        w->show();
        QApplication::processEvents();
    }
};

void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

// Share of clearly red pixels in a picture of the widget.
double RedShare(QWidget* w) {
    const QImage img = w->grab().toImage();
    int red = 0, all = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            ++all;
            if (c.red() > 150 && c.green() < 90 && c.blue() < 90) ++red;
        }
    return all ? double(red) / all : 0;
}

}  // namespace

TEST(XPButtonWidget, ToggleFlipsBeforeTheHandlerRuns) {
    XPButton record;
    record.setButtonType(3);
    QList<bool> seen;
    record.Click = [&] { seen << record.Checked(); };
    Row row;
    auto* b = row.add(record, "REC", ui::XPButtonWidget::Glyph::Record);
    row.show();
    click(b);
    click(b);
    EXPECT_EQ(seen, QList<bool>({true, false}));
    EXPECT_FALSE(record.Checked());
}

TEST(XPButtonWidget, PushButtonNeverChangesItsState) {
    XPButton stop;
    int clicks = 0;
    stop.Click = [&] { ++clicks; };
    Row row;
    auto* b = row.add(stop, "STOP", ui::XPButtonWidget::Glyph::Stop);
    row.show();
    click(b);
    click(b);
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(stop.Checked());
}

TEST(XPButtonWidget, ReleaseOutsideIsNoClickAndPressIsDrawn) {
    XPButton record;
    record.setButtonType(3);
    int clicks = 0, downs = 0, ups = 0;
    record.Click = [&] { ++clicks; };
    record.MouseDown = [&](int b) { downs += b == XPButton::LeftButton; };
    record.MouseUp = [&](int) { ++ups; };
    Row row;
    auto* b = row.add(record, "REC");
    row.show();
    QTest::mousePress(b, Qt::LeftButton, {}, b->rect().center());
    EXPECT_TRUE(record.pressed());
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(b->width() + 30, b->height() / 2));
    EXPECT_FALSE(record.pressed());
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(record.Checked());

    // A right click is no click either.
    QTest::mouseClick(b, Qt::RightButton, {}, b->rect().center());
    EXPECT_EQ(clicks, 0);
}

TEST(XPButtonWidget, DisabledOrNotClickableButtonsIgnoreTheOperatorOnly) {
    XPButton record;
    record.setButtonType(3);
    Row row;
    auto* b = row.add(record, "REC");
    row.show();
    record.setEnabled(false);
    EXPECT_FALSE(b->isEnabled());
    click(b);
    EXPECT_FALSE(record.Checked());

    record.setEnabled(true);
    record.setClickPossible(false);
    click(b);
    b->setFocus();
    QTest::keyClick(b, Qt::Key_Space);
    EXPECT_FALSE(record.Checked());
    record.setChecked(true);  // the program still can
    EXPECT_TRUE(record.Checked());
}

TEST(XPButtonWidget, SpaceClicksAndArrowsMoveTheFocus) {
    XPButton record, pause, stop;
    record.setButtonType(3);
    pause.setButtonType(3);
    QList<int> keysDown;
    record.KeyDown = [&](int k) { keysDown << k; };
    Row row;
    auto* r = row.add(record, "REC");
    auto* p = row.add(pause, "PAUSE");
    auto* s = row.add(stop, "STOP");
    row.show();
    QApplication::setActiveWindow(row.w.get());
    r->setFocus();
    ASSERT_TRUE(r->hasFocus());
    QTest::keyClick(r, Qt::Key_Space);
    EXPECT_TRUE(record.Checked());
    QTest::keyClick(r, Qt::Key_Right);
    EXPECT_TRUE(p->hasFocus());
    QTest::keyClick(p, Qt::Key_Down);
    EXPECT_TRUE(s->hasFocus());
    QTest::keyClick(s, Qt::Key_Left);
    EXPECT_TRUE(p->hasFocus());
    QTest::keyClick(p, Qt::Key_Up);
    EXPECT_TRUE(r->hasFocus());
    EXPECT_EQ(keysDown, QList<int>({XPButton::KeySpace, XPButton::KeyRight}));
    EXPECT_FALSE(pause.Checked());
}

TEST(XPButtonWidget, GroupedTogglesExcludeEachOther) {
    XPButton a, b;
    a.setButtonType(3);
    b.setButtonType(6);
    a.setGroupe(1);
    b.setGroupe(1);
    XPButton::Siblings siblings{&a, &b};
    a.setSiblings(&siblings);
    b.setSiblings(&siblings);
    Row row;
    auto* wa = row.add(a, "A");
    auto* wb = row.add(b, "B");
    row.show();
    click(wa);
    EXPECT_TRUE(a.Checked());
    click(wb);
    EXPECT_TRUE(b.Checked());
    EXPECT_FALSE(a.Checked());
    click(wb);
    EXPECT_TRUE(b.Checked()) << "the checked toggle of a group stays checked";
}

TEST(XPButtonWidget, CheckedRecordButtonIsDrawnRed) {
    XPButton record;
    record.setButtonType(3);
    Row row;
    auto* b = row.add(record, "REC", ui::XPButtonWidget::Glyph::Record);
    row.show();
    const double idle = RedShare(b);
    record.setChecked(true);
    QApplication::processEvents();
    const double recording = RedShare(b);
    EXPECT_GT(recording, 0.5);
    EXPECT_LT(idle, 0.2);
    EXPECT_EQ(ui::XPButtonWidget::VirtualKey(Qt::Key_F16), 127);
    EXPECT_EQ(ui::XPButtonWidget::VirtualKey(Qt::Key_C), 67);
}
