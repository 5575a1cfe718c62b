// The silence alarm's fields of a recorder's tab: what the operator types
// reaches the working copy when the field is left, a value out of range
// cannot be typed, and a change of the model shows in the field.
#include "core/main_controls.h"
#include "ui/setup/frm_setup.h"
#include "ui/bindings.h"
#include "ui/silence_alarm_box.h"

#include <QGroupBox>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

TEST(SilenceAlarmBoxTest, FieldsEditTheRecordersWorkingCopy) {
    ResetSharedState();
    ResetSetupControls();
    QWidget page;
    QGroupBox* box = ui::BuildSilenceAlarmBox(2, &page);
    page.show();
    EXPECT_EQ(box->title(), "Alarme de silence");
    auto* threshold = page.findChild<ui::BoundLineEdit*>("TexteSilenceSeuil2");
    auto* delay = page.findChild<ui::BoundLineEdit*>("TexteSilenceDelai2");
    ASSERT_NE(threshold, nullptr);
    ASSERT_NE(delay, nullptr);
    EXPECT_EQ(&threshold->model(), &::Setup().TexteSilenceSeuil[2]);
    EXPECT_EQ(&delay->model(), &::Setup().TexteSilenceDelai[2]);

    ::Setup().TexteSilenceSeuil[2].setText("-50");
    EXPECT_EQ(threshold->text(), "-50") << "the model shows in the field";

    threshold->selectAll();
    QTest::keyClicks(threshold, "-62");
    EXPECT_EQ(::Setup().TexteSilenceSeuil[2].text(), "-50") << "handed over only when the field is left";
    QTest::keyClick(threshold, Qt::Key_Return);
    EXPECT_EQ(::Setup().TexteSilenceSeuil[2].text(), "-62");
    EXPECT_TRUE(SetupFlags().SettingsModified);

    // Out of range: a threshold above 0 dBFS, a negative delay.
    threshold->selectAll();
    QTest::keyClicks(threshold, "12");
    QTest::keyClick(threshold, Qt::Key_Return);
    EXPECT_EQ(::Setup().TexteSilenceSeuil[2].text(), "-62");
    delay->selectAll();
    QTest::keyClicks(delay, "-5");
    QTest::keyClick(delay, Qt::Key_Return);
    EXPECT_NE(::Setup().TexteSilenceDelai[2].text(), "-5");
    delay->selectAll();
    QTest::keyClicks(delay, "0");
    QTest::keyClick(delay, Qt::Key_Return);
    EXPECT_EQ(::Setup().TexteSilenceDelai[2].text(), "0") << "0 turns the alarm off";
    ResetSetupControls();
}

TEST(SilenceAlarmBoxTest, UdpTargetChoiceEditsTheWorkingCopy) {
    ResetSharedState();
    ResetSetupControls();
    QStringList targets;
    for (int n = 0; n <= 9; ++n) targets << QString("0%1").arg(n);
    ::Setup().ComboSilenceUDP[5].setEntries(targets);
    ::Setup().ComboSilenceUDP[5].setListIndex(0);
    QWidget page;
    ui::BuildSilenceAlarmBox(5, &page);
    page.show();
    auto* target = page.findChild<ui::BoundComboBox*>("ComboSilenceUDP5");
    ASSERT_NE(target, nullptr) << "the target list sits beside the threshold and the delay";
    EXPECT_EQ(&target->model(), &::Setup().ComboSilenceUDP[5]);
    EXPECT_EQ(target->count(), 10);
    EXPECT_EQ(target->currentText(), "00");
    SetupFlags().SettingsModified = false;
    // The operator goes down the list with the keyboard to "04".
    for (int n = 0; n < 4; ++n) QTest::keyClick(target, Qt::Key_Down);
    EXPECT_EQ(target->currentText(), "04");
    EXPECT_EQ(::Setup().ComboSilenceUDP[5].listIndex(), 4);
    EXPECT_TRUE(SetupFlags().SettingsModified);
    ::Setup().ComboSilenceUDP[5].setListIndex(9);
    EXPECT_EQ(target->currentText(), "09");
    ResetSetupControls();
}
