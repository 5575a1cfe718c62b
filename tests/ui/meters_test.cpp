// Meter ballistics and the two live displays.
#include "ui/meters.h"

#include <QApplication>
#include <QImage>
#include <QTest>
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

TEST(MeterBallistics, ClipSignHoldsUntilCleared) {
    MeterBallistics m;
    m.update({0.5f, 0.97f}, 0.04);
    EXPECT_FALSE(m.clipped()) << "-0.26 dBFS is loud, not clipped";
    m.update({0.2f, 1.0f}, 0.04);
    EXPECT_TRUE(m.clipped());
    for (int tick = 0; tick < 100; ++tick) m.update({0.0f, 0.0f}, 0.04);
    EXPECT_TRUE(m.clipped()) << "four seconds of silence later";
    m.clearClip();
    EXPECT_FALSE(m.clipped());
    m.update({float(MeterBallistics::kClipLinear), 0.0f}, 0.04);
    EXPECT_TRUE(m.clipped()) << "-0.1 dBFS counts";
}

TEST(PeakMeterWidget, DrawsTheLevelOnANumberedScaleInTheDisplayColours) {
    ui::PeakMeterWidget meter;
    meter.resize(300, meter.sizeHint().height());
    meter.setActive(true);
    meter.feed({0.5f, 0.5f}, 0.05);  // -6 dB: nine tenths of the scale
    const QRect bars = meter.barsRect();
    const QImage img = meter.grab().toImage();
    const int y = bars.top() + 3;
    EXPECT_EQ(img.pixelColor(bars.left() + 30, y), QColor(245, 213, 0));
    EXPECT_EQ(img.pixelColor(bars.right() - 2, y), QColor(28, 0, 0)) << "nothing above -6 dB";
    EXPECT_GT(meter.clipSignRect().left(), bars.right()) << "the sign sits right of the bars";

    // The numbers of the scale, -60 at the left edge and 0 at the right one.
    const auto labels = meter.scaleLabels();
    QStringList texts;
    for (const auto& l : labels) texts << l.second;
    EXPECT_EQ(texts.first(), "-60");
    EXPECT_EQ(texts.last(), "0");
    EXPECT_TRUE(texts.contains("-6"));
    EXPECT_TRUE(texts.contains("-24"));
    for (int k = 1; k < labels.size(); ++k) EXPECT_GT(labels[k].first, labels[k - 1].first) << "in order, apart";
    // Drawn: light pixels under the bars.
    int light = 0;
    for (int yy = bars.bottom() + 2; yy < img.height(); ++yy)
        for (int x = 0; x < bars.right(); ++x)
            if (img.pixelColor(x, yy).lightness() > 120) ++light;
    EXPECT_GT(light, 20) << "the numbers are drawn";
    // A narrow meter keeps fewer numbers, none overlapping.
    ui::PeakMeterWidget narrow;
    narrow.resize(150, narrow.sizeHint().height());
    EXPECT_LT(narrow.scaleLabels().size(), labels.size());
    EXPECT_EQ(narrow.scaleLabels().last().second, "0");

    meter.setActive(false);
    EXPECT_EQ(meter.grab().toImage().pixelColor(bars.left() + 30, y), QColor(28, 0, 0)) << "a display that is off shows no level";
}

TEST(PeakMeterWidget, ClipSignLightsAndAClickOnItClearsIt) {
    ui::PeakMeterWidget meter;
    meter.resize(300, meter.sizeHint().height());
    meter.setActive(true);
    meter.show();
    auto signRed = [&] {
        const QColor c = meter.grab().toImage().pixelColor(meter.clipSignRect().left() + 2, meter.clipSignRect().top() + 2);
        return c.red() > 200 && c.green() < 80;
    };
    meter.feed({0.3f, 0.3f}, 0.04);
    EXPECT_FALSE(meter.clipLit());
    EXPECT_FALSE(signRed());
    meter.feed({1.0f, 0.3f}, 0.04);
    EXPECT_TRUE(meter.clipLit());
    EXPECT_TRUE(signRed());
    for (int k = 0; k < 60; ++k) meter.feed({0.0f, 0.0f}, 0.04);
    EXPECT_TRUE(meter.clipLit());
    QTest::mouseClick(&meter, Qt::LeftButton, {}, meter.barsRect().center());
    EXPECT_TRUE(meter.clipLit()) << "a click on the bars leaves it";
    QTest::mouseClick(&meter, Qt::LeftButton, {}, meter.clipSignRect().center());
    EXPECT_FALSE(meter.clipLit());
    EXPECT_FALSE(signRed());
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
