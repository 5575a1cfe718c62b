#include "platform/capture/input_formats.h"

#include <QVector>

namespace platform::capture {

QString InputFormatTextFor(int rate, int bits, int channels) {
    return QStringLiteral("%1 Hz, %2 bits, %3")
        .arg(rate, 5, 10, QLatin1Char('0'))
        .arg(bits)
        .arg(channels == 1 ? QStringLiteral("mono") : QStringLiteral("stereo"));
}

QStringList InputFormatList(int nativeRate, int nativeChannels, int nativeBits) {
    static const int kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000};
    const int kBits[] = {16, 24, 32};
    QStringList list;
    auto add = [&list](int rate, int bits, int channels) {
        const QString text = InputFormatTextFor(rate, bits, channels);
        for (const QString& earlier : list) {
            if (earlier.contains(text, Qt::CaseInsensitive)) return;
        }
        list << text;
    };
    auto addRate = [&](int rate, int firstChannels, int firstBits) {
        QVector<int> bits{firstBits};
        for (int b : kBits) {
            if (b != firstBits) bits << b;
        }
        for (int channels : {firstChannels, 3 - firstChannels}) {
            for (int b : bits) add(rate, b, channels);
        }
    };
    const bool nativeKnown = nativeRate >= 8000 && nativeRate <= 192000;
    const int channels = nativeChannels == 1 ? 1 : 2;
    const int bits = (nativeBits == 24 || nativeBits == 32) ? nativeBits : 16;
    if (nativeKnown) addRate(nativeRate, channels, bits);
    for (int rate : kRates) addRate(rate, channels, 16);
    return list;
}

}  // namespace platform::capture
