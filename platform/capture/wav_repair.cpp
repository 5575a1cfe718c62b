#include "platform/capture/wav_repair.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::capture {

namespace {

quint32 Le32(const unsigned char* p) { return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24; }

bool WriteLe32At(int fd, off_t at, quint32 v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return ::pwrite(fd, b, 4, at) == 4;
}

QString SystemText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

}  // namespace

bool RepairWavHeader(const QString& path, QString* errorText) {
    auto fail = [&](const QString& text) {
        if (errorText) *errorText = QStringLiteral("%1: %2").arg(path, text);
        return false;
    };
    // No O_CREAT, no O_TRUNC: only the bytes of the sizes change.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return fail(SystemText(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(SystemText(errno));
    const qint64 size = st.st_size;
    unsigned char head[12];
    if (size < 12 || ::pread(fd, head, 12, 0) != 12) return fail(QStringLiteral("no WAV header"));
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return fail(QStringLiteral("not a RIFF/WAVE file"));

    int blockAlign = 1;
    qint64 offset = 12;
    while (offset + 8 <= size) {
        unsigned char chunk[8];
        if (::pread(fd, chunk, 8, offset) != 8) return fail(SystemText(errno));
        const quint32 length = Le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[16];
            if (::pread(fd, fmt, 16, offset + 8) == 16) blockAlign = std::max(1, int(fmt[12] | fmt[13] << 8));
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            const qint64 dataOffset = offset + 8;
            qint64 dataBytes = (size - dataOffset) / blockAlign * blockAlign;
            // A sample frame cut by the failure is dropped: it would shift
            // every channel of a later reader.
            if (dataOffset + dataBytes < size && ::ftruncate(fd, dataOffset + dataBytes) != 0)
                return fail(SystemText(errno));
            const qint64 riff = dataOffset + dataBytes - 8;
            const bool fits = riff <= 0xFFFFFFFFLL;
            if (!WriteLe32At(fd, offset + 4, fits ? quint32(dataBytes) : 0xFFFFFFFFu) ||
                !WriteLe32At(fd, 4, fits ? quint32(riff) : 0xFFFFFFFFu))
                return fail(SystemText(errno));
            return true;
        }
        offset += 8 + qint64(length) + (length & 1);
    }
    return fail(QStringLiteral("no data chunk"));
}

}  // namespace platform::capture
