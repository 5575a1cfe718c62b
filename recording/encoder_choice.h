#pragma once
// The encoder settings of a start, chosen from the recorder's configuration
// values: the capture format from its quality text, the format and its
// characteristic (MP3 mode, WMA, Ogg and AAC values).
#include "settings/recorder_config.h"

namespace platform { struct EncoderSettings; }

struct CaptureFormat {
    int rate = 44100;
    int channels = 2;
    int bits = 16;
};

// The capture format of the recorder's quality; a forced 128 kbit/s take
// records the default format.
CaptureFormat CaptureFormatOf(const RecorderConfig& config, bool force128k);
// The encoder settings of the recorder's format; a forced take is MP3 CBR
// 128 kbit/s whatever the format.
void ConfigureEncoder(const RecorderConfig& config, const CaptureFormat& format, bool force128k,
                      platform::EncoderSettings& encoder);
bool SameEncoderSettings(const platform::EncoderSettings& a, const platform::EncoderSettings& b);
// Nominal bytes a second of the encoder's settings (0 memory / unknown).
double NominalByteRate(const platform::EncoderSettings& encoder);
