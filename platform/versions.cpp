#include "platform/versions.h"

#include <QtGlobal>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}
#include <pulse/version.h>

namespace platform {

namespace {
QString Triple(unsigned v) { return QStringLiteral("%1.%2.%3").arg(v >> 16).arg((v >> 8) & 0xff).arg(v & 0xff); }
}  // namespace

QString QtVersionText() { return QString::fromLatin1(qVersion()); }

QString FfmpegVersionText() {
    return QStringLiteral("%1 (libavformat %2, libavcodec %3)")
        .arg(QString::fromLatin1(av_version_info()), Triple(avformat_version()), Triple(avcodec_version()));
}

QString PulseVersionText() { return QString::fromLatin1(pa_get_library_version()); }

}  // namespace platform
