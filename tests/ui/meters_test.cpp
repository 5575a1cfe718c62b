// Meter ballistics and the two live displays.
#include "ui/meters.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

using ui::MeterBallistics;

TEST(MeterBallistics, RisesAtOnceAndFallsSmoothly) {
    MeterBallistics m;
    m.update({1.0f, 0.5f}, 0.05);
    ASSERT_EQ(m.channels(), 2);
    EXPECT_NEAR(m.levelDb()[0], 0.0, 1e-9);
    EXPECT_NEAR(m.levelDb()[1], -6.02, 0.01);
    // Silence: the bar falls at its rate, a tick at a time, not at once.
    double previous = m.levelDb()[0];
    for (int tick = 0; tick < 10; ++tick) {
        m.update({0.0f, 0.0f}, 0.05);
        EXPECT_LT(m.levelDb()[0], previous);
        EXPECT_GT(m.levelDb()[0], previous - 1.5);
        previous = m.levelDb()[0];
    }
    EXPECT_NEAR(m.levelDb()[0], -MeterBallistics::kFallDbPerSecond * 0.5, 0.01);
    // The peak marker holds two seconds, then falls.
    EXPECT_NEAR(m.peakDb()[0], 0.0, 1e-9);
    for (int tick = 0; tick < 27; ++tick) m.update({0.0f, 0.0f}, 0.05);
    EXPECT_NEAR(m.peakDb()[0], 0.0, 1e-9) << "still held after 1.85 s";
    for (int tick = 0; tick < 20; ++tick) m.update({0.0f, 0.0f}, 0.05);
    EXPECT_LT(m.peakDb()[0], -1.0);
    EXPECT_GE(m.peakDb()[0], m.levelDb()[0]);
    // Long silence rests on the floor.
    for (int tick = 0; tick < 200; ++tick) m.update({0.0f, 0.0f}, 0.05);
    EXPECT_DOUBLE_EQ(m.levelDb()[1], MeterBallistics::kFloorDb);
    EXPECT_DOUBLE_EQ(MeterBallistics::Position(MeterBallistics::kFloorDb), 0.0);
    EXPECT_DOUBLE_EQ(MeterBallistics::Position(0.0), 1.0);
}

TEST(PeakMeterWidget, DrawsTheLevelInTheDisplayColours) {
    ui::PeakMeterWidget meter;
    meter.resize(300, 30);
    meter.setActive(true);
    meter.feed({0.5f, 0.5f}, 0.05);  // -6 dB: about nine tenths of the scale
    const QImage img = meter.grab().toImage();
    const QColor left = img.pixelColor(40, 10);
    const QColor right = img.pixelColor(296, 10);
    EXPECT_EQ(left, QColor(245, 213, 0));
    EXPECT_EQ(right, QColor(28, 0, 0));

    meter.setActive(false);
    EXPECT_EQ(meter.grab().toImage().pixelColor(40, 10), QColor(28, 0, 0)) << "a display that is off shows no level";
}

TEST(LevelHistoryWidget, NewestLevelAtTheRightEdge) {
    ui::LevelHistoryWidget history;
    history.resize(200, 40);
    history.setActive(true);
    for (int k = 0; k < 50; ++k) history.feed({0.0f});
    history.feed({1.0f});  // a loud moment, drawn in the top colour
    QImage img = history.grab().toImage();
    EXPECT_EQ(img.pixelColor(197, 20), QColor(205, 92, 92));
    EXPECT_EQ(img.pixelColor(150, 20), QColor(28, 0, 0));
    for (int k = 0; k < 30; ++k) history.feed({0.0f});
    img = history.grab().toImage();
    EXPECT_EQ(img.pixelColor(197 - 30, 20), QColor(205, 92, 92)) << "it scrolled to the left";
}
