// The input formats the engine offers, read back the way the recording code
// reads a quality text, and the encoder settings behind each format.
#include "capture_test_util.h"

#include "platform/capture/encoder_core.h"
#include "platform/capture/input_formats.h"
#include "platform/capture/test_tone.h"

#include <QSet>

using namespace capture_test;
using namespace platform::capture;

namespace {

TEST(InputFormats, EveryTextReadsBackToItsFormatAndNoneHidesInAnEarlierOne) {
    for (const auto& native : {std::tuple{48000, 1, 32}, std::tuple{44100, 2, 16}, std::tuple{8000, 2, 24},
                               std::tuple{192000, 2, 24}, std::tuple{0, 0, 0}}) {
        const auto [rate, channels, bits] = native;
        const QStringList list = InputFormatList(rate, channels, bits);
        QSet<QString> formats;
        for (int i = 0; i < list.size(); ++i) {
            const ParsedQuality q = ParseQuality(list[i]);
            EXPECT_EQ(list[i], InputFormatTextFor(q.rate, q.bits, q.channels)) << "text does not read back";
            formats.insert(QString("%1/%2/%3").arg(q.rate).arg(q.bits).arg(q.channels));
            for (int j = 0; j < i; ++j) {
                EXPECT_FALSE(list[j].contains(list[i], Qt::CaseInsensitive))
                    << list[i].toStdString() << " is inside " << list[j].toStdString();
            }
        }
        EXPECT_EQ(formats.size(), list.size()) << "a format is offered twice";
        for (int r : {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000})
            for (int b : {16, 24, 32})
                for (int c : {1, 2}) EXPECT_TRUE(formats.contains(QString("%1/%2/%3").arg(r).arg(b).arg(c)));
        if (rate) {
            const ParsedQuality first = ParseQuality(list.first());
            EXPECT_EQ(first.rate, rate);
            EXPECT_EQ(first.channels, channels);
            EXPECT_EQ(first.bits, bits);
        }
    }
}

TEST(InputFormats, TextsAreWrittenForPeople) {
    EXPECT_EQ(InputFormatTextFor(44100, 16, 2), "44100 Hz, 16 bits, stereo");
    EXPECT_EQ(InputFormatTextFor(48000, 24, 1), "48000 Hz, 24 bits, mono");
    EXPECT_EQ(InputFormatTextFor(8000, 16, 1), "08000 Hz, 16 bits, mono");
}

TEST(InputFormats, ToneDeviceOffersTheListAndRecordsTheChosenText) {
    ScratchDrive drive;
    ToneEngine e;
    const int n = e.recorder.InputFormatCount(e.tone());
    ASSERT_GT(n, 0);
    EXPECT_EQ(e.recorder.InputFormatText(e.tone(), 0), "48000 Hz, 16 bits, stereo");
    EXPECT_EQ(e.recorder.InputFormatText(e.tone(), n), "");
    EXPECT_EQ(e.recorder.InputFormatCount(e.tone() + 1), 0) << "no device, no formats";
    EXPECT_EQ(e.recorder.InputChannelCount(e.tone()), 1);
    EXPECT_EQ(e.recorder.InputChannelName(e.tone(), 0), "Test tone");
    EXPECT_EQ(e.recorder.InputChannelDefaultGet(e.tone()), 0);
    // A text picked from the list records exactly that format.
    QString pick;
    for (int k = 0; k < n; ++k) {
        if (e.recorder.InputFormatText(e.tone(), k).startsWith("08000 Hz, 16 bits, mono")) pick = e.recorder.InputFormatText(e.tone(), k);
    }
    ASSERT_FALSE(pick.isEmpty());
    const ParsedQuality q = ParseQuality(pick);
    e.setFormat(q.rate, q.channels, q.bits);
    e.recorder.Encoder().FormatToUse = 1;
    e.recorder.Encoder().WavSampleSizeCode = 1;
    ASSERT_TRUE(e.record(drive.path("picked.wav"), 300));
    const Decoded d = DecodeFile(drive.path("picked.wav"));
    EXPECT_EQ(d.rate, 8000);
    EXPECT_EQ(d.channels, 1);
}

TEST(EncoderSettings, CaptionRangesOfTheMp3VariableQualities) {
    // Average rates of LAME's -V levels on music: V1 ~225, V2 ~190, V4 ~165 kbit/s.
    EXPECT_EQ(LameLevelForQuality(1), 4);  // "VBR 150-180 Kbps"
    EXPECT_EQ(LameLevelForQuality(0), 2);  // "VBR 170-210 Kbps"
    EXPECT_EQ(LameLevelForQuality(2), 1);  // "VBR 200-240 Kbps"
}

TEST(EncoderSettings, ProfilesFollowTheSettings) {
    platform::EncoderSettings s;
    CaptureFormat in;
    in.rate = 44100;
    in.channels = 2;
    in.bits = 16;
    EncoderProfile p;
    s.FormatToUse = 1;
    const int bits[] = {8, 16, 24, 32};
    for (int code = 0; code < 4; ++code) {
        s.WavSampleSizeCode = code;
        ASSERT_TRUE(ProfileFor(s, in, &p));
        EXPECT_EQ(p.sampleBits, bits[code]);
    }
    s.WavSampleSizeCode = 9;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.sampleBits, 16);

    s.FormatToUse = 2;
    s.Mp3Vbr = false;
    s.Mp3Bitrate = 320000;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.bitRate, 320000);
    EXPECT_LT(p.vbrQuality, 0);
    in.rate = 22050;  // MPEG-2 layer 3 stops at 160 kbit/s
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.bitRate, 160000);
    EXPECT_FALSE(p.notice.isEmpty());
    in.rate = 44100;

    s.FormatToUse = 3;
    s.WmaBitrate = 0;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.bitRate, 24000);
    s.WmaBitrate = 100;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.bitRate, 192000);
    s.WmaBitrate = 50;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.bitRate, 108000);

    s.FormatToUse = 4;
    s.OggValue = 14;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.vbrQuality, 10);

    s.FormatToUse = 6;
    s.AacValue = 128;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.bitRate, 128000);
    EXPECT_TRUE(p.notice.isEmpty());
    EXPECT_EQ(p.coder, "fast") << "the quantiser search chosen on programme material";
    in.channels = 1;
    in.rate = 16000;
    s.AacValue = 500;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EXPECT_EQ(p.bitRate, 96000);
    EXPECT_FALSE(p.notice.isEmpty());

    s.FormatToUse = 5;
    EXPECT_FALSE(ProfileFor(s, in, &p));
}

TEST(EncoderCore, RatesAnEncoderCannotTakeAreResampled) {
    ScratchDrive drive;
    CaptureFormat in;
    in.rate = 96000;
    in.channels = 2;
    in.bits = 16;
    platform::EncoderSettings s;
    s.FormatToUse = 3;  // WMA stops at 48000 Hz
    EncoderProfile p;
    ASSERT_TRUE(ProfileFor(s, in, &p));
    EncoderCore core;
    QString text;
    ASSERT_EQ(core.Open(drive.path("hi.wma"), p, in, &text), 0) << text.toStdString();
    EXPECT_EQ(core.outputRate(), 48000);
    std::vector<uint8_t> pcm(96000 * 4);
    TestToneSource::Generate(in, 0, 96000, pcm.data());
    ASSERT_EQ(core.Write(pcm.data(), 96000, &text), 0);
    ASSERT_EQ(core.Finish(&text), 0);
    const Decoded d = DecodeFile(drive.path("hi.wma"));
    EXPECT_EQ(d.rate, 48000);
    EXPECT_NEAR(d.seconds(), 1.0, 0.05);
}

}  // namespace
