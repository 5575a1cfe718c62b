#include "recording/encoder_choice.h"

#include "platform/capture/active_sound_recorder.h"
#include "recording/recording.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"

#include <algorithm>

namespace {

// The placeholder entries of the quality list: not qualities.
bool IsQualityPlaceholder(const QString& text) {
    const QString t = text.trimmed();
    return t.isEmpty() || t == QStringLiteral("_") || t == QStringLiteral("Enumerating...");
}

int WavSizeCode(int bits) {
    switch (bits) {
    case 8: return 0;
    case 16: return 1;
    case 24: return 2;
    case 32: return 3;
    default: return 1;
    }
}

}  // namespace

qint32 DetermineFrequence(const QString& text, qint32 defaultValue) {
    ErrorTrap trap(QStringLiteral("Frm_Main:DetermineFrequence"));
    qint32 rate = defaultValue;
    trap(10, [&] {
        const double value = Val(text.left(6));
        // A rate that is not a positive number cannot be recorded.
        if (value >= 1) rate = qint32(value);
    });
    return rate;
}

qint32 DetermineChannel(const QString& text, qint32 /*defaultValue*/) {
    return text.contains(QStringLiteral("mono"), Qt::CaseInsensitive) ? 1 : 2;
}

qint32 DetermineBit(const QString& text, qint32 /*defaultValue*/) {
    static const qint32 depths[] = {16, 24, 32};
    // The depth written before "bit" first: a rate such as " 16000" must not
    // be taken for a bit depth.
    for (qint32 bits : depths)
        if (text.contains(QStringLiteral(" ") + QString::number(bits) + QStringLiteral(" bit"), Qt::CaseInsensitive))
            return bits;
    for (qint32 bits : depths)
        if (text.contains(QStringLiteral(" ") + QString::number(bits), Qt::CaseInsensitive)) return bits;
    return 8;
}

CaptureFormat CaptureFormatOf(const RecorderConfig& config, bool force128k) {
    CaptureFormat f;
    if (force128k) return f;
    const QString text = config.QualityText;
    if (!IsQualityPlaceholder(text)) {
        f.rate = DetermineFrequence(text, f.rate);
        f.channels = DetermineChannel(text, f.channels);
        f.bits = DetermineBit(text, f.bits);
    }
    return f;
}

void ConfigureEncoder(const RecorderConfig& config, const CaptureFormat& f, bool force128k,
                      platform::EncoderSettings& e) {
    e.CaptureRate = f.rate;
    e.CaptureChannels = f.channels;
    e.CaptureBits = f.bits;
    if (force128k) {
        e.FormatToUse = 2;
        e.Mp3Vbr = false;
        e.Mp3Bitrate = 128000;
        return;
    }
    const int format = config.FormatIndex;
    const int entry = UsableCharacteristic(format, config.FormatCharacteristic);
    // A value list without a usable entry counts as 0, as an empty choice.
    const int value = std::max(0, CharacteristicValue(format, entry));
    switch (format) {
    case FormatMemory:
        e.FormatToUse = 0;
        break;
    case FormatWav:
        e.FormatToUse = 1;
        e.WavSampleSizeCode = WavSizeCode(f.bits);
        e.WavRate = f.rate;
        e.WavChannels = f.channels;
        e.WavSetting4 = 0;
        break;
    case FormatMp3:
        e.FormatToUse = 2;
        switch (entry) {
        case 0: e.Mp3Vbr = true; e.Mp3VbrQuality = 1; break;
        case 1: e.Mp3Vbr = true; e.Mp3VbrQuality = 0; break;
        case 2: e.Mp3Vbr = true; e.Mp3VbrQuality = 2; break;
        case 3: e.Mp3Vbr = false; e.Mp3Bitrate = 320000; break;
        case 4: e.Mp3Vbr = false; e.Mp3Bitrate = 192000; break;
        case 5: e.Mp3Vbr = false; e.Mp3Bitrate = 128000; break;
        default: break;
        }
        break;
    case FormatWma:
        e.FormatToUse = 3;
        e.WmaBitrate = value;
        break;
    case FormatOgg:
        e.FormatToUse = 4;
        e.OggMode = 0;
        e.OggValue = value;
        break;
    case FormatAac:
        e.FormatToUse = 6;
        e.AacMode = 0;
        e.AacValue = value;
        break;
    default:
        e.FormatToUse = 1;
        break;
    }
}

bool SameEncoderSettings(const platform::EncoderSettings& a, const platform::EncoderSettings& b) {
    return a.FormatToUse == b.FormatToUse && a.CaptureRate == b.CaptureRate &&
           a.CaptureChannels == b.CaptureChannels && a.CaptureBits == b.CaptureBits &&
           a.WavSampleSizeCode == b.WavSampleSizeCode && a.WavRate == b.WavRate &&
           a.WavChannels == b.WavChannels && a.WavSetting4 == b.WavSetting4 && a.Mp3Vbr == b.Mp3Vbr &&
           a.Mp3VbrQuality == b.Mp3VbrQuality && a.Mp3Bitrate == b.Mp3Bitrate && a.WmaBitrate == b.WmaBitrate &&
           a.OggMode == b.OggMode && a.OggValue == b.OggValue && a.AacMode == b.AacMode &&
           a.AacValue == b.AacValue;
}

double NominalByteRate(const platform::EncoderSettings& s) {
    switch (s.FormatToUse) {
    case 1: {
        static const int kBits[] = {8, 16, 24, 32};
        const int bits = kBits[std::clamp(s.WavSampleSizeCode, 0, 3)];
        return double(s.WavRate) * s.WavChannels * bits / 8.0;
    }
    case 2: return s.Mp3Vbr ? 200000 / 8.0 : s.Mp3Bitrate / 8.0;
    case 6: return std::clamp(s.AacValue, 10, 500) * 1000 / 8.0;
    case 3: return 192000 / 8.0;  // the largest WMA rates
    case 4: return 256000 / 8.0;  // Ogg Vorbis at its best qualities
    default: return 0;
    }
}

QString ExtensionFichier(int recorder) {
    ErrorTrap trap(QStringLiteral("Lib_Systeme:ExtensionFichier"));
    QString ext;
    trap(10, [&] { ext = ExtensionFormat(Rec(recorder).config().FormatIndex); });
    return ext;
}
