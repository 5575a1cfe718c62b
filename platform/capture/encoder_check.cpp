#include "platform/capture/encoder_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}
#include <pulse/version.h>

namespace platform {

QStringList MissingEncoders() {
    QStringList missing;
    // The client library must be loadable and of the generation we were built for.
    const char* pulseVersion = pa_get_library_version();
    if (!pulseVersion || QString::fromLatin1(pulseVersion).section('.', 0, 0).toInt() < PA_MAJOR)
        missing << "libpulse";
    if (AV_VERSION_MAJOR(avcodec_version()) != LIBAVCODEC_VERSION_MAJOR)
        missing << "libavcodec";
    if (AV_VERSION_MAJOR(avformat_version()) != LIBAVFORMAT_VERSION_MAJOR)
        missing << "libavformat";

    struct Piece { const char* encoder; const char* muxer; };
    static const Piece pieces[] = {
        {"pcm_u8", "wav"}, {"pcm_s16le", "wav"}, {"pcm_s24le", "wav"}, {"pcm_s32le", "wav"},
        {"libmp3lame", nullptr}, {"wmav2", "asf"}, {"libvorbis", "ogg"}, {"aac", "adts"},
    };
    for (const Piece& p : pieces) {
        if (!avcodec_find_encoder_by_name(p.encoder) && !missing.contains(p.encoder))
            missing << p.encoder;
        if (p.muxer && !av_guess_format(p.muxer, nullptr, nullptr) && !missing.contains(p.muxer))
            missing << p.muxer;
    }
    // MP3 files are written raw by the mp3 muxer.
    if (!av_guess_format("mp3", nullptr, nullptr)) missing << "mp3";
    return missing;
}

}  // namespace platform
