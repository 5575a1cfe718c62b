#pragma once
// Versions of the libraries the program runs with (as loaded, not as built).
#include <QString>

namespace platform {

QString QtVersionText();      // e.g. "6.4.2"
QString FfmpegVersionText();  // e.g. "5.1.4 (libavformat 59.27.100, libavcodec 59.37.100)"
QString PulseVersionText();   // libpulse, e.g. "16.1.0"

}  // namespace platform
