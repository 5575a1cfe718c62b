// The loudness alarm's watch: the delay, both sides, the way back, what the
// measure gates out, the alarm turned off, and the options from their texts.
#include "recording/loudness_alarm.h"

#include <gtest/gtest.h>

namespace {

using Side = LoudnessWatch::Side;
using Event = LoudnessWatch::Event;

TEST(LoudnessWatch, OutOfToleranceForTheDelayRaisesOnceAndTheWayBackEndsIt) {
    LoudnessWatch w;
    const LoudnessOptions o = ParseLoudnessOptions("-23", "2", "60");
    qint64 t = 0;
    EXPECT_EQ(w.Tick(t, true, -23.5, o), Event::None);
    // 59 s too loud: nothing yet; at 60 s the alarm rises, once.
    for (t = 1000; t < 60000; t += 1000) ASSERT_EQ(w.Tick(t, true, -18.0, o), Event::None) << t;
    EXPECT_EQ(w.Tick(61000, true, -18.0, o), Event::Raised);
    EXPECT_EQ(w.side(), Side::High);
    EXPECT_EQ(w.outMs(), 60000);
    EXPECT_EQ(w.Tick(62000, true, -18.0, o), Event::None);
    // A short dip back within the tolerance ends it; the length is the whole
    // time out.
    EXPECT_EQ(w.Tick(70000, true, -22.0, o), Event::Ended);
    EXPECT_EQ(w.outMs(), 69000);
    EXPECT_EQ(w.side(), Side::Within);
    // Too quiet now: a new alarm after its own delay.
    EXPECT_EQ(w.Tick(71000, true, -30.0, o), Event::None);
    EXPECT_EQ(w.Tick(130000, true, -30.0, o), Event::None);
    EXPECT_EQ(w.Tick(131000, true, -30.0, o), Event::Raised);
    EXPECT_EQ(w.side(), Side::Low);
    // The end of the recording ends it.
    EXPECT_EQ(w.Tick(132000, false, std::nullopt, o), Event::Ended);
}

TEST(LoudnessWatch, EdgesOfTheToleranceAndWhatTheMeasureGatesOut) {
    LoudnessWatch w;
    const LoudnessOptions o = ParseLoudnessOptions("-23", "2", "1");
    EXPECT_EQ(w.Tick(0, true, -21.0, o), Event::None);
    EXPECT_EQ(w.Tick(5000, true, -21.0, o), Event::None) << "-21 is the edge: within";
    EXPECT_EQ(w.Tick(6000, true, -25.0, o), Event::None);
    EXPECT_EQ(w.Tick(9000, true, -25.0, o), Event::None) << "-25 is the edge: within";
    // Silence (gated out) and no value at all raise nothing: the silence
    // alarm tells silence.
    EXPECT_EQ(w.Tick(10000, true, -80.0, o), Event::None);
    EXPECT_EQ(w.Tick(20000, true, -80.0, o), Event::None);
    EXPECT_EQ(w.Tick(30000, true, std::nullopt, o), Event::None);
    EXPECT_EQ(w.side(), Side::Within);
}

TEST(LoudnessWatch, ADelayOfZeroTurnsTheAlarmOffAndEndsOneInProgress) {
    LoudnessWatch w;
    LoudnessOptions o = ParseLoudnessOptions("-23", "2", "2");
    w.Tick(0, true, -10.0, o);
    ASSERT_EQ(w.Tick(2000, true, -10.0, o), Event::Raised);
    o = ParseLoudnessOptions("-23", "2", "0");
    EXPECT_FALSE(o.enabled());
    EXPECT_EQ(w.Tick(3000, true, -10.0, o), Event::Ended);
    EXPECT_EQ(w.Tick(60000, true, -10.0, o), Event::None);
}

TEST(LoudnessOptions, TextsGiveBoundedValuesAndBadOnesTheDefaults) {
    LoudnessOptions o = ParseLoudnessOptions("-16", "1,5", "30");
    EXPECT_DOUBLE_EQ(o.targetLufs, -16.0);
    EXPECT_DOUBLE_EQ(o.toleranceLu, 1.5);
    EXPECT_EQ(o.delaySeconds, 30);
    o = ParseLoudnessOptions("abc", "", "x");
    EXPECT_DOUBLE_EQ(o.targetLufs, -23.0);
    EXPECT_DOUBLE_EQ(o.toleranceLu, 2.0);
    EXPECT_EQ(o.delaySeconds, 60);
    o = ParseLoudnessOptions("-200", "0", "1e9");
    EXPECT_DOUBLE_EQ(o.targetLufs, -70.0);
    EXPECT_DOUBLE_EQ(o.toleranceLu, 0.5);
    EXPECT_EQ(o.delaySeconds, 86400);
}

TEST(LoudnessAlarm, TheDatagramsOfTheAlarm) {
    EXPECT_EQ(LoudnessAlarmMessage(0, Side::High), "<Do:Alarm><Recorder:1><Loudness:High>");
    EXPECT_EQ(LoudnessAlarmMessage(7, Side::Low), "<Do:Alarm><Recorder:8><Loudness:Low>");
    EXPECT_EQ(LoudnessAlarmMessage(2, Side::Within), "<Do:Alarm><Recorder:3><Loudness:Off>");
}

}  // namespace
