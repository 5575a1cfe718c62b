#pragma once
// Start-up check of the pieces the capture engine cannot record without.
#include <QStringList>

namespace platform {

// Names of the missing pieces, empty when everything is present: the sound
// server client library and, for each recording format, its FFmpeg encoder
// and container ("libmp3lame", "wmav2" + "asf", "libvorbis" + "ogg",
// "aac" + "adts", "pcm_u8"/"pcm_s16le"/"pcm_s24le"/"pcm_s32le" + "wav").
QStringList MissingEncoders();

}  // namespace platform
