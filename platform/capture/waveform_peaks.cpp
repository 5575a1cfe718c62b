#include "platform/capture/waveform_peaks.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform::capture {

namespace {

void PutLe32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}

bool WriteAll(int fd, const void* data, size_t bytes, off_t offset, int* code) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = ::pwrite(fd, p, bytes, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *code = n < 0 ? errno : EIO;
            return false;
        }
        p += n;
        bytes -= size_t(n);
        offset += n;
    }
    return true;
}

// Lowest and highest 8-bit value of `count` interleaved samples.
template <typename Sample, int Shift, int Bias>
void Range(const uint8_t* data, size_t count, int* lo, int* hi) {
    int l = *lo, h = *hi;
    for (size_t i = 0; i < count; ++i) {
        Sample s;
        std::memcpy(&s, data + i * sizeof(Sample), sizeof(Sample));
        const int v = (int(s) - Bias) >> Shift;
        l = std::min(l, v);
        h = std::max(h, v);
    }
    *lo = l;
    *hi = h;
}

}  // namespace

int PeaksWriter::SamplesPerPixel(int rate) {
    int perPixel = 512;
    while (rate > perPixel * 100) perPixel *= 2;
    return perPixel;
}

PeaksWriter::~PeaksWriter() {
    if (fd_ >= 0) ::close(fd_);
}

bool PeaksWriter::fail(int code, QString* errorText) {
    failed_ = true;
    if (errorText) *errorText = QStringLiteral("cannot write %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(code)));
    return false;
}

bool PeaksWriter::Open(const QString& path, const CaptureFormat& format, QString* errorText) {
    path_ = path;
    format_ = format;
    perPixel_ = SamplesPerPixel(format.rate);
    fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return fail(errno, errorText);
    uint8_t header[kHeaderBytes];
    PutLe32(header, 1);       // version
    PutLe32(header + 4, 1);   // 8-bit values
    PutLe32(header + 8, uint32_t(format.rate));
    PutLe32(header + 12, uint32_t(perPixel_));
    PutLe32(header + 16, 0);  // no point yet
    int code = 0;
    if (!WriteAll(fd_, header, sizeof header, 0, &code)) return fail(code, errorText);
    pending_.reserve(256);
    return true;
}

void PeaksWriter::point() {
    pending_.push_back(int8_t(lo_));
    pending_.push_back(int8_t(hi_));
    lo_ = 127;
    hi_ = -128;
    inPixel_ = 0;
}

void PeaksWriter::Add(const uint8_t* data, size_t frames) {
    if (fd_ < 0 || failed_) return;
    const size_t channels = size_t(format_.channels);
    const size_t frameBytes = size_t(format_.bytesPerFrame());
    while (frames > 0) {
        const size_t take = std::min(frames, size_t(perPixel_ - inPixel_));
        const size_t samples = take * channels;
        switch (format_.bits) {
        case 8: Range<uint8_t, 0, 128>(data, samples, &lo_, &hi_); break;
        case 16: Range<int16_t, 8, 0>(data, samples, &lo_, &hi_); break;
        default: Range<int32_t, 24, 0>(data, samples, &lo_, &hi_); break;
        }
        data += take * frameBytes;
        frames -= take;
        inPixel_ += int(take);
        if (inPixel_ == perPixel_) point();
    }
}

bool PeaksWriter::Flush(QString* errorText) {
    if (fd_ < 0 || failed_) return !failed_;
    if (pending_.empty()) return true;
    int code = 0;
    const off_t at = off_t(kHeaderBytes) + off_t(written_) * 2;
    if (!WriteAll(fd_, pending_.data(), pending_.size(), at, &code)) return fail(code, errorText);
    // The points are in the file before the header counts them.
    const quint32 count = written_ + quint32(pending_.size() / 2);
    uint8_t length[4];
    PutLe32(length, count);
    if (!WriteAll(fd_, length, sizeof length, 16, &code)) return fail(code, errorText);
    written_ = count;
    pending_.clear();
    return true;
}

bool PeaksWriter::Finish(QString* errorText) {
    if (fd_ < 0) return !failed_;
    if (inPixel_ > 0 && !failed_) point();
    const bool ok = Flush(errorText);
    const int rc = ::close(fd_);
    const int code = errno;
    fd_ = -1;
    if (ok && rc != 0) return fail(code, errorText);
    return ok;
}

}  // namespace platform::capture
