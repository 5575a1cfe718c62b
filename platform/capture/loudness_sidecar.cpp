#include "platform/capture/loudness_sidecar.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform::capture {

namespace {

QJsonValue Rounded(double v) {
    if (!std::isfinite(v)) return QJsonValue(QJsonValue::Null);
    return QJsonValue(std::round(v * 100.0) / 100.0);
}

QString SystemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

}  // namespace

QByteArray LoudnessReportJson(const LoudnessReport& r) {
    QJsonObject o;
    o.insert(QStringLiteral("file"), r.file);
    const QDateTime start = r.start.toOffsetFromUtc(r.start.offsetFromUtc());
    o.insert(QStringLiteral("start"), r.start.isValid() ? QJsonValue(start.toString(Qt::ISODateWithMs))
                                                        : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("duration_s"), std::round(r.seconds * 1e6) / 1e6);
    o.insert(QStringLiteral("sample_rate"), r.sampleRate);
    o.insert(QStringLiteral("channels"), r.channels);
    o.insert(QStringLiteral("complete"), r.complete);
    o.insert(QStringLiteral("integrated_lufs"), Rounded(r.integratedLufs));
    o.insert(QStringLiteral("lra_lu"), Rounded(r.loudnessRangeLu));
    o.insert(QStringLiteral("true_peak_dbtp"), Rounded(r.truePeakDbtp));
    o.insert(QStringLiteral("interval_s"), r.intervalSeconds);
    QJsonArray series;
    for (double v : r.shortTermLufs) series.append(Rounded(v));
    o.insert(QStringLiteral("short_term_lufs"), series);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool ReplaceFileContents(const QString& path, const QByteArray& bytes, QString* errorText) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".tmp";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int code = errno;
        if (errorText) *errorText = QStringLiteral("cannot create %1.tmp: %2").arg(path, SystemError(code));
        return false;
    }
    qsizetype done = 0;
    int code = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            code = n < 0 ? errno : EIO;
            break;
        }
        done += n;
    }
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code == 0 && ::rename(temporary.constData(), target.constData()) != 0) code = errno;
    if (code != 0) {
        ::unlink(temporary.constData());
        if (errorText) *errorText = QStringLiteral("cannot write %1: %2").arg(path, SystemError(code));
        return false;
    }
    return true;
}

}  // namespace platform::capture
