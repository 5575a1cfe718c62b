#pragma once
// The input formats offered for a device, as texts that the quality parsers
// of the recording code read back to exactly the format recorded:
//   rate     = numeric value of the first six characters,
//   channels = 1 when the text holds "mono", else 2,
//   bits     = 16 / 24 / 32 when it holds " 16" / " 24" / " 32".
// No text of a list is contained (ignoring case) in an earlier one, because
// the setup window drops such texts.
#include <QString>
#include <QStringList>

namespace platform::capture {

// "44100 Hz, 16 bits, stereo"; rates below 10000 Hz get a leading zero
// ("08000 Hz, ...") so that their text is not part of "48000 Hz, ...".
QString InputFormatTextFor(int rate, int bits, int channels);

// The device's native rate and channel count first (native bit depth
// first among them), then the usual rates from 8000 to 96000 Hz, each in
// 16, 24 and 32 bits, stereo and mono.
QStringList InputFormatList(int nativeRate, int nativeChannels, int nativeBits);

}  // namespace platform::capture
