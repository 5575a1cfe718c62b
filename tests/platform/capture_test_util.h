#pragma once
// Shared pieces of the capture engine tests: a scratch drive, waiting in the
// event loop, an event recorder, and decoding of recorded files with FFmpeg.
#include "platform/capture/active_sound_recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace capture_test {

// A fresh folder for the files of one test, also the program's drive root.
class ScratchDrive {
public:
    ScratchDrive() {
        root_ = dir_.path() + "/";
        qputenv("VELMORA_DRIVE", root_.toUtf8());
    }
    QString path(const QString& name) const { return root_ + name; }
    const QString& root() const { return root_; }

private:
    QTemporaryDir dir_;
    QString root_;
};

// Runs the event loop until done() or the timeout; true when done.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

inline void RunEventsFor(int ms) {
    WaitFor([] { return false; }, ms);
}

// Every event of one engine, in arrival order: "Started", "Position:120",
// "Stopped:1", "FinalizationDone:0", ...
class EventLog {
public:
    explicit EventLog(platform::ActiveSoundRecorder& r) {
        using R = platform::ActiveSoundRecorder;
        QObject::connect(&r, &R::RecordingStarted, [this](int) { events << "Started"; });
        QObject::connect(&r, &R::RecordingPaused, [this](int) { events << "Paused"; });
        QObject::connect(&r, &R::RecordingResumed, [this](int) { events << "Resumed"; });
        QObject::connect(&r, &R::RecordingPosition,
                         [this](int, qint64 ms) { events << QString("Position:%1").arg(ms); });
        QObject::connect(&r, &R::RecordingStopped, [this](int, int result) {
            events << QString("Stopped:%1").arg(result);
        });
        QObject::connect(&r, &R::RecordingFinalizationStarted, [this](int) { events << "FinalizationStarted"; });
        QObject::connect(&r, &R::RecordingFinalizationDone, [this, &r](int, bool error) {
            events << QString("FinalizationDone:%1").arg(error ? 1 : 0);
            lastErrorAtDone = r.LastError();
        });
        QObject::connect(&r, &R::Validate, [this](int) { events << "Validate"; });
        QObject::connect(&r, &R::DeviceChange, [this](int) { events << "DeviceChange"; });
        QObject::connect(&r, &R::InputFormatsAvailable, [this](int) { events << "InputFormatsAvailable"; });
    }
    int count(const QString& e) const { return events.count(e); }
    // The events other than positions and the device/format notices.
    QStringList main() const {
        QStringList out;
        for (const QString& e : events) {
            if (!e.startsWith("Position:") && e != "DeviceChange" && e != "InputFormatsAvailable" && e != "Validate")
                out << e;
        }
        return out;
    }
    QStringList events;
    int lastErrorAtDone = 0;
};

struct Decoded {
    bool ok = false;
    QString error;
    QString codec;
    QString container;
    int rate = 0;
    int channels = 0;
    qint64 frames = 0;
    int decodeErrors = 0;
    std::vector<double> samples;  // interleaved, when asked for
    double seconds() const { return rate ? double(frames) / rate : 0.0; }
};

// Decodes a whole file with libavformat / libavcodec.
inline Decoded DecodeFile(const QString& path, bool keepSamples = false) {
    Decoded out;
    AVFormatContext* fmt = nullptr;
    const QByteArray file = path.toUtf8();
    if (avformat_open_input(&fmt, file.constData(), nullptr, nullptr) < 0) {
        out.error = "cannot open " + path;
        return out;
    }
    if (avformat_find_stream_info(fmt, nullptr) < 0) {
        out.error = "no stream info";
        avformat_close_input(&fmt);
        return out;
    }
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec) {
        out.error = "no audio stream";
        avformat_close_input(&fmt);
        return out;
    }
    out.container = QString::fromLatin1(fmt->iformat->name);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, fmt->streams[stream]->codecpar);
    if (avcodec_open2(dec, codec, nullptr) < 0) {
        out.error = "cannot open decoder";
        avcodec_free_context(&dec);
        avformat_close_input(&fmt);
        return out;
    }
    out.codec = QString::fromLatin1(codec->name);
    out.rate = dec->sample_rate;
    out.channels = dec->ch_layout.nb_channels;
    SwrContext* swr = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&](AVFrame* f) {
        out.frames += f->nb_samples;
        if (!keepSamples) return;
        if (!swr) {
            swr_alloc_set_opts2(&swr, &f->ch_layout, AV_SAMPLE_FMT_DBL, f->sample_rate, &f->ch_layout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
            swr_init(swr);
        }
        const size_t at = out.samples.size();
        out.samples.resize(at + size_t(f->nb_samples) * out.channels);
        uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(out.samples.data() + at)};
        const int got = swr_convert(swr, dst, f->nb_samples, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
        out.samples.resize(at + size_t(std::max(got, 0)) * out.channels);
    };
    auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) >= 0) {
            take(frame);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == stream) {
            if (avcodec_send_packet(dec, pkt) < 0) ++out.decodeErrors;
            receive();
        }
        av_packet_unref(pkt);
    }
    avcodec_send_packet(dec, nullptr);
    receive();
    out.ok = true;
    av_frame_free(&frame);
    av_packet_free(&pkt);
    swr_free(&swr);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return out;
}

// The quality parsers of the recording code, as the setup texts are read:
// rate = number at the start of the first six characters, mono or stereo,
// bit depth from " 16" / " 24" / " 32".
struct ParsedQuality {
    int rate = 0, channels = 0, bits = 0;
};
inline ParsedQuality ParseQuality(const QString& text) {
    ParsedQuality q;
    const QString head = text.left(6).trimmed();
    int digits = 0;
    while (digits < head.size() && head[digits].isDigit()) ++digits;
    q.rate = head.left(digits).toInt();
    q.channels = text.contains("mono", Qt::CaseInsensitive) ? 1 : 2;
    q.bits = text.contains(" 16") ? 16 : text.contains(" 24") ? 24 : text.contains(" 32") ? 32 : 8;
    return q;
}

// A started engine on the built-in test tone.
struct ToneEngine {
    explicit ToneEngine(int index = 0) : recorder(index), log(recorder) {
        platform::ActiveSoundRecorder::EnableTestTone(true);
        EXPECT_EQ(recorder.InitRecorder(0), 0);
        EXPECT_EQ(recorder.InputDeviceName(tone()), "Test tone 1000 Hz (test only)");
    }
    // The test device is the last one (looked up each time: sound-server
    // devices may come and go meanwhile).
    int tone() { return recorder.InputDeviceCount() - 1; }
    void setFormat(int rate, int channels, int bits) {
        recorder.Encoder().CaptureRate = rate;
        recorder.Encoder().CaptureChannels = channels;
        recorder.Encoder().CaptureBits = bits;
    }
    bool waitDone(int timeoutMs = 10000) {
        return WaitFor([&] { return log.count("FinalizationDone:0") + log.count("FinalizationDone:1") > doneBefore; },
                       timeoutMs);
    }
    // Records for about ms milliseconds and stops; true when finalised.
    bool record(const QString& path, int ms) {
        doneBefore = log.count("FinalizationDone:0") + log.count("FinalizationDone:1");
        if (recorder.StartFromDirectSoundDevice(tone(), 0, path) != 0) return false;
        RunEventsFor(ms);
        if (recorder.RecorderStop() != 0) return false;
        return waitDone();
    }
    platform::ActiveSoundRecorder recorder;
    EventLog log;
    int doneBefore = 0;
};

// Fits a sine of known frequency to channel 0 of interleaved samples (least
// squares, from sample `skip` on) and returns the largest distance of any of
// those samples from the fitted sine.
inline double SineFitResidual(const std::vector<double>& interleaved, int channels, int rate, double frequency,
                              double* amplitudeOut = nullptr, size_t skip = 0) {
    const size_t n = interleaved.size() / channels;
    const double w = 2.0 * M_PI * frequency / rate;
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (size_t i = skip; i < n; ++i) {
        const double s = std::sin(w * double(i)), c = std::cos(w * double(i)), x = interleaved[i * channels];
        ss += s * s;
        cc += c * c;
        sc += s * c;
        xs += x * s;
        xc += x * c;
    }
    const double det = ss * cc - sc * sc;
    if (n <= skip || det == 0) return 1e9;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;  // x ~ a sin + b cos
    if (amplitudeOut) *amplitudeOut = std::hypot(a, b);
    double worst = 0;
    for (size_t i = skip; i < n; ++i) {
        const double fit = a * std::sin(w * double(i)) + b * std::cos(w * double(i));
        worst = std::max(worst, std::abs(interleaved[i * channels] - fit));
    }
    return worst;
}

}  // namespace capture_test
