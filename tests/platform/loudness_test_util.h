#pragma once
// Shared pieces of the loudness tests: waiting in the event loop, the
// sidecars read back (the report as JSON, the waveform by a parser of the
// format's own), the waveform computed from a file decoded by FFmpeg, and
// the outside tools (sox, paplay, pactl, ffmpeg).
#include "capture_test_util.h"

#include <QAbstractEventDispatcher>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <cstdint>
#include <vector>

namespace loudness_test {

// Runs the event loop until done() holds after the events of a pass, or the
// deadline; blocks between events. True when done.
inline bool WaitInLoop(const std::function<bool()>& done, int timeoutMs) {
    if (done()) return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    const auto c = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                                    &loop, [&] {
                                        if (done()) loop.quit();
                                    });
    loop.exec();
    QObject::disconnect(c);
    return done();
}

// Lets the event loop run for ms milliseconds.
inline void RunLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The loudness report of a recorded file, as JSON.
struct Report {
    bool ok = false;
    QString error;
    QJsonObject o;
    double number(const char* key) const { return o.value(key).toDouble(-1e9); }
    bool isNull(const char* key) const { return o.value(key).isNull(); }
    QJsonArray series() const { return o.value("short_term_lufs").toArray(); }
};

inline Report ReadReport(const QString& audioPath) {
    Report r;
    QFile f(audioPath + ".loudness.json");
    if (!f.open(QIODevice::ReadOnly)) {
        r.error = "no report beside " + audioPath;
        return r;
    }
    QJsonParseError e;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &e);
    if (e.error != QJsonParseError::NoError || !doc.isObject()) {
        r.error = "the report is not a JSON object: " + e.errorString();
        return r;
    }
    r.o = doc.object();
    r.ok = true;
    return r;
}

// A waveform file, read by the format's description (version 1 or 2,
// little-endian header, then min/max pairs of 8 or 16 bits).
struct Peaks {
    bool ok = false;
    QString error;
    int version = 0, bits = 0, rate = 0, perPixel = 0, channels = 1;
    quint32 length = 0;
    qint64 extraBytes = 0;        // data past the points the header counts
    std::vector<int> mins, maxs;  // channel 0
};

inline Peaks ReadPeaks(const QString& path) {
    Peaks p;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        p.error = "cannot open " + path;
        return p;
    }
    const QByteArray b = f.readAll();
    auto le32 = [&](int at) {
        return quint32(uint8_t(b[at])) | quint32(uint8_t(b[at + 1])) << 8 | quint32(uint8_t(b[at + 2])) << 16 |
               quint32(uint8_t(b[at + 3])) << 24;
    };
    if (b.size() < 20) {
        p.error = "shorter than a header";
        return p;
    }
    p.version = int(le32(0));
    if (p.version != 1 && p.version != 2) {
        p.error = QString("version %1").arg(p.version);
        return p;
    }
    p.bits = (le32(4) & 1) ? 8 : 16;
    p.rate = int(le32(8));
    p.perPixel = int(le32(12));
    p.length = le32(16);
    int header = 20;
    if (p.version == 2) {
        if (b.size() < 24) {
            p.error = "shorter than a version 2 header";
            return p;
        }
        p.channels = int(le32(20));
        header = 24;
    }
    const qint64 valueBytes = p.bits / 8;
    const qint64 need = qint64(p.length) * 2 * p.channels * valueBytes;
    if (b.size() - header < need) {
        p.error = QString("the header counts %1 points, the file holds %2 bytes of them").arg(p.length).arg(b.size() - header);
        return p;
    }
    p.extraBytes = b.size() - header - need;
    for (quint32 i = 0; i < p.length; ++i) {
        const qint64 at = header + qint64(i) * 2 * p.channels * valueBytes;
        auto value = [&](qint64 k) {
            return valueBytes == 1 ? int(int8_t(b[k])) : int(int16_t(quint16(uint8_t(b[k])) | quint16(uint8_t(b[k + 1])) << 8));
        };
        p.mins.push_back(value(at));
        p.maxs.push_back(value(at + valueBytes));
    }
    p.ok = true;
    return p;
}

// The waveform of decoded samples (interleaved, -1..1, from 8, 16 or 24-bit
// PCM) as the recorder makes it: lowest and highest of all channels over
// each perPixel frames, in steps of 1/128 rounded down (a 16-bit sample
// shifted right by 8 bits).
inline void PeaksOfSamples(const std::vector<double>& interleaved, int channels, int perPixel,
                           std::vector<int>* mins, std::vector<int>* maxs) {
    const size_t frames = interleaved.size() / size_t(channels);
    for (size_t start = 0; start < frames; start += size_t(perPixel)) {
        int lo = 127, hi = -128;
        const size_t end = std::min(frames, start + size_t(perPixel));
        for (size_t i = start * channels; i < end * channels; ++i) {
            const int v = int(std::floor(interleaved[i] * 128.0));
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        mins->push_back(lo);
        maxs->push_back(hi);
    }
}

inline bool HaveTool(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

// Runs a program to its end; its standard output (and error, merged).
inline QString RunTool(const QString& program, const QStringList& args, int* exitCode = nullptr, int timeoutMs = 60000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool finished = p.waitForFinished(timeoutMs);
    if (exitCode) *exitCode = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll());
}

// FFmpeg's own ebur128 filter on a file: integrated loudness, loudness range
// and true peak of its summary; false when it could not be read.
struct FfmpegLoudness {
    bool ok = false;
    double integrated = 0, range = 0, truePeak = 0;
    QString output;
};

inline FfmpegLoudness MeasureWithFfmpeg(const QString& path) {
    FfmpegLoudness r;
    int rc = 0;
    r.output = RunTool("ffmpeg", {"-nostdin", "-hide_banner", "-nostats", "-i", path, "-filter_complex",
                              "ebur128=peak=true", "-f", "null", "-"},
                   &rc, 120000);
    if (rc != 0) return r;
    const int summary = r.output.lastIndexOf("Summary:");
    if (summary < 0) return r;
    const QString s = r.output.mid(summary);
    auto after = [&](const QString& label, double* out) {
        const int at = s.indexOf(label);
        if (at < 0) return false;
        bool ok = false;
        *out = s.mid(at + label.size()).trimmed().section(' ', 0, 0).toDouble(&ok);
        return ok;
    };
    r.ok = after("I:", &r.integrated) && after("LRA:", &r.range) && after("Peak:", &r.truePeak);
    return r;
}

}  // namespace loudness_test
