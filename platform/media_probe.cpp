#include "platform/media_probe.h"

#include <QFile>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

namespace platform {

namespace {

quint32 Le32(const char* p) {
    return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8 | quint32(quint8(p[2])) << 16 |
           quint32(quint8(p[3])) << 24;
}

}  // namespace

qint64 WavDurationMs(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const qint64 fileSize = f.size();
    char head[12];
    if (f.read(head, 12) != 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return -1;
    quint32 byteRate = 0;
    // Walk the chunks up to "data" (bounded: a broken header ends the walk).
    for (int guard = 0; guard < 64; ++guard) {
        char chunk[8];
        if (f.read(chunk, 8) != 8) return -1;
        const quint32 size = Le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            char fmt[16];
            if (size < 16 || f.read(fmt, 16) != 16) return -1;
            byteRate = Le32(fmt + 8);
            if (!f.seek(f.pos() + (size - 16) + (size & 1))) return -1;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (byteRate == 0) return -1;
            qint64 bytes = size;
            const qint64 onDisk = fileSize - f.pos();
            // Still being written, or larger than 4 GiB: what is on the disk.
            if (size == 0 || size == 0xFFFFFFFFu || bytes > onDisk) bytes = onDisk;
            return bytes * 1000 / byteRate;
        } else {
            if (!f.seek(f.pos() + qint64(size) + (size & 1))) return -1;
        }
    }
    return -1;
}

qint64 MediaDurationMs(const QString& path) {
    const qint64 wav = WavDurationMs(path);
    if (wav >= 0) return wav;
    AVFormatContext* ctx = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&ctx, name.constData(), nullptr, nullptr) < 0) return -1;
    qint64 ms = -1;
    if (avformat_find_stream_info(ctx, nullptr) >= 0 && ctx->duration != AV_NOPTS_VALUE && ctx->duration >= 0)
        ms = ctx->duration / (AV_TIME_BASE / 1000);
    avformat_close_input(&ctx);
    return ms;
}

}  // namespace platform
