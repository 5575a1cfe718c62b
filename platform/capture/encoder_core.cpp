#include "platform/capture/encoder_core.h"

#include "platform/capture/wav_repair.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace platform::capture {

namespace {

QString AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

AVSampleFormat InputSampleFormat(const CaptureFormat& f) {
    return f.bits == 8 ? AV_SAMPLE_FMT_U8 : f.bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
}

// Rates an encoder takes when it publishes no list of its own.
const int kWmaRates[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000, 0};

// The input rate when the encoder takes it, else the highest rate it takes
// below the input, else its lowest.
int ChooseRate(const int* rates, int input) {
    if (!rates) return input;
    int below = 0, lowest = 0;
    for (const int* r = rates; *r; ++r) {
        if (*r == input) return input;
        if (*r < input && *r > below) below = *r;
        if (lowest == 0 || *r < lowest) lowest = *r;
    }
    return below ? below : lowest;
}

int OutputRateFor(const QString& codecName, int inputRate) {
    if (codecName == QLatin1String("wmav2")) return ChooseRate(kWmaRates, inputRate);
    const AVCodec* codec = avcodec_find_encoder_by_name(codecName.toLatin1().constData());
    if (!codec) return inputRate;
    return ChooseRate(codec->supported_samplerates, inputRate);
}

// LAME's highest bit rate for the MPEG version of a sample rate.
qint64 Mp3MaxBitRate(int rate) {
    if (rate >= 32000) return 320000;
    if (rate >= 16000) return 160000;
    return 64000;
}

constexpr int kIoBufferBytes = 64 * 1024;

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using IoBytes = const uint8_t*;
#else
using IoBytes = uint8_t*;
#endif

// The muxer's output: every byte goes to the file, or the system's error.
int WriteOutput(void* opaque, IoBytes data, int size) {
    auto* out = static_cast<EncoderCore::Output*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(out->fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return AVERROR(errno);
        }
        if (n == 0) return AVERROR(EIO);
        done += int(n);
        out->written += n;
    }
    return size;
}

int64_t SeekOutput(void* opaque, int64_t offset, int whence) {
    auto* out = static_cast<EncoderCore::Output*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(out->fd, &st) == 0 ? int64_t(st.st_size) : int64_t(AVERROR(errno));
    }
    const off_t at = ::lseek(out->fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? int64_t(AVERROR(errno)) : int64_t(at);
}

void QuietFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

}  // namespace

int LameLevelForQuality(int qualityIndex) {
    switch (qualityIndex) {
    case 1: return 4;  // "VBR 150-180 Kbps"
    case 2: return 1;  // "VBR 200-240 Kbps"
    default: return 2; // 0: "VBR 170-210 Kbps"
    }
}

int WmaBitRateFor(int characteristic) {
    const int c = std::clamp(characteristic, 0, 100);
    return 24000 + c * (192000 - 24000) / 100;
}

qint64 AacMaxBitRate(int channels, int rate) {
    // The encoder spends at most 6144 bits per channel on a frame of 1024 samples.
    return 6144LL * channels * rate / 1024;
}

bool ProfileFor(const EncoderSettings& s, const CaptureFormat& in, EncoderProfile* p) {
    *p = EncoderProfile{};
    switch (s.FormatToUse) {
    case 1: {
        static const int kBits[] = {8, 16, 24, 32};
        const int code = (s.WavSampleSizeCode >= 0 && s.WavSampleSizeCode <= 3) ? s.WavSampleSizeCode : 1;
        p->muxer = "wav";
        p->sampleBits = kBits[code];
        p->codec = code == 0 ? "pcm_u8" : code == 1 ? "pcm_s16le" : code == 2 ? "pcm_s24le" : "pcm_s32le";
        p->extension = ".wav";
        return true;
    }
    case 2: {
        p->muxer = "mp3";
        p->codec = "libmp3lame";
        p->extension = ".mp3";
        if (s.Mp3Vbr) {
            p->vbrQuality = LameLevelForQuality(s.Mp3VbrQuality);
        } else {
            const int rate = OutputRateFor(p->codec, in.rate);
            const qint64 wanted = s.Mp3Bitrate > 0 ? s.Mp3Bitrate : 128000;
            p->bitRate = std::min(wanted, Mp3MaxBitRate(rate));
            if (p->bitRate != wanted) {
                p->notice = QStringLiteral("MP3 bit rate %1 bit/s is above what %2 Hz allows: %3 bit/s used")
                                .arg(wanted).arg(rate).arg(p->bitRate);
            }
        }
        return true;
    }
    case 3:
        p->muxer = "asf";
        p->codec = "wmav2";
        p->extension = ".wma";
        p->bitRate = WmaBitRateFor(s.WmaBitrate);
        return true;
    case 4:
        p->muxer = "ogg";
        p->codec = "libvorbis";
        p->extension = ".ogg";
        p->vbrQuality = std::clamp(s.OggValue, 0, 10);
        return true;
    case 6: {
        p->muxer = "adts";
        p->codec = "aac";
        p->extension = ".aac";
        // The "fast" quantiser search: on speech and on music at 128 kbit/s
        // it takes a third to a half of the CPU of the default one
        // (bench/aac_coder_bench.sh), for as good a result.
        p->coder = "fast";
        const int rate = OutputRateFor(p->codec, in.rate);
        const qint64 wanted = qint64(s.AacValue) * 1000;
        const qint64 low = 10000, high = AacMaxBitRate(in.channels, rate);
        p->bitRate = std::clamp(wanted, low, std::max(low, high));
        if (p->bitRate != wanted) {
            p->notice = QStringLiteral("AAC bit rate %1 kbit/s is outside what the encoder takes for %2 "
                                       "channel(s) at %3 Hz: %4 bit/s used")
                            .arg(s.AacValue).arg(in.channels).arg(rate).arg(p->bitRate);
        }
        return true;
    }
    default:
        return false;
    }
}

EncoderCore::EncoderCore() { QuietFfmpegLog(); }

EncoderCore::~EncoderCore() {
    if (format_) {
        QString ignored;
        Finish(&ignored);
    }
    release();
}

int EncoderCore::outputRate() const { return codec_ ? codec_->sample_rate : 0; }

bool EncoderCore::FileGone() const {
    struct stat st {};
    return out_.fd >= 0 && ::fstat(out_.fd, &st) == 0 && st.st_nlink == 0;
}

void EncoderCore::release() {
    if (format_ && format_->pb) {
        av_freep(&format_->pb->buffer);
        avio_context_free(&format_->pb);
    }
    if (out_.fd >= 0) ::close(out_.fd);
    out_.fd = -1;
    if (format_) avformat_free_context(format_);
    format_ = nullptr;
    stream_ = nullptr;
    avcodec_free_context(&codec_);
    swr_free(&swr_);
    if (fifo_) av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

int EncoderCore::Open(const QString& path, const EncoderProfile& profile, const CaptureFormat& input,
                      QString* errorText) {
    release();
    path_ = path;
    input_ = input;
    nextPts_ = 0;
    headerWritten_ = false;
    failed_ = false;
    created_ = false;
    muxer_ = profile.muxer;
    out_ = Output{};
    headerBytes_ = 0;
    auto fail = [&](int code, const QString& text) {
        if (errorText) *errorText = text;
        release();
        // The file was made by this call and holds nothing recorded.
        if (created_) QFile::remove(path);
        created_ = false;
        return code;
    };
    if (!input.valid()) return fail(-53, QStringLiteral("invalid capture format"));

    const QByteArray codecName = profile.codec.toLatin1();
    const AVCodec* codec = avcodec_find_encoder_by_name(codecName.constData());
    if (!codec) return fail(-83, QStringLiteral("encoder %1 is not available").arg(profile.codec));
    const QByteArray file = path.toUtf8();
    int rc = avformat_alloc_output_context2(&format_, nullptr, profile.muxer.toLatin1().constData(), file.constData());
    if (rc < 0 || !format_) return fail(-83, QStringLiteral("container %1: %2").arg(profile.muxer, AvErrorText(rc)));

    codec_ = avcodec_alloc_context3(codec);
    if (!codec_) return fail(-2, QStringLiteral("out of memory"));
    codec_->sample_rate = OutputRateFor(profile.codec, input.rate);
    av_channel_layout_default(&codec_->ch_layout, input.channels);
    const AVSampleFormat inFmt = InputSampleFormat(input);
    AVSampleFormat chosen = AV_SAMPLE_FMT_NONE;
    if (codec->sample_fmts) {
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == inFmt) chosen = *f;
        }
        if (chosen == AV_SAMPLE_FMT_NONE) {
            for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
                if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT) { chosen = *f; break; }
            }
        }
        if (chosen == AV_SAMPLE_FMT_NONE) chosen = codec->sample_fmts[0];
    } else {
        chosen = inFmt;
    }
    codec_->sample_fmt = chosen;
    if (profile.sampleBits == 24) codec_->bits_per_raw_sample = 24;
    codec_->time_base = AVRational{1, codec_->sample_rate};
    if (profile.bitRate > 0) codec_->bit_rate = profile.bitRate;
    if (profile.vbrQuality >= 0) {
        codec_->flags |= AV_CODEC_FLAG_QSCALE;
        codec_->global_quality = profile.vbrQuality * FF_QP2LAMBDA;
    }
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* codecOptions = nullptr;
    if (!profile.coder.isEmpty()) av_dict_set(&codecOptions, "aac_coder", profile.coder.toLatin1().constData(), 0);
    rc = avcodec_open2(codec_, codec, &codecOptions);
    av_dict_free(&codecOptions);
    if (rc < 0) {
        return fail(-83, QStringLiteral("encoder %1 refused %2 Hz, %3 channel(s): %4")
                             .arg(profile.codec).arg(codec_->sample_rate).arg(input.channels).arg(AvErrorText(rc)));
    }
    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_) return fail(-2, QStringLiteral("out of memory"));
    stream_->time_base = codec_->time_base;
    avcodec_parameters_from_context(stream_->codecpar, codec_);

    // Exclusive creation: a file of that name, however it came there, is
    // never truncated.
    out_.fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out_.fd < 0) {
        const int code = errno;
        return fail(-8, QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(code))));
    }
    created_ = true;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer) format_->pb = avio_alloc_context(buffer, kIoBufferBytes, 1, &out_, nullptr, &WriteOutput, &SeekOutput);
    if (!format_->pb) {
        av_free(buffer);
        return fail(-2, QStringLiteral("out of memory"));
    }
    format_->pb->seekable = AVIO_SEEKABLE_NORMAL;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* muxOptions = nullptr;
    if (profile.muxer == QLatin1String("wav")) av_dict_set(&muxOptions, "rf64", "auto", 0);
    rc = avformat_write_header(format_, &muxOptions);
    av_dict_free(&muxOptions);
    if (rc < 0) return fail(-84, QStringLiteral("cannot start %1: %2").arg(profile.muxer, AvErrorText(rc)));
    headerWritten_ = true;
    avio_flush(format_->pb);
    if (format_->pb->error < 0) return fail(-8, QStringLiteral("cannot write %1: %2").arg(path, AvErrorText(format_->pb->error)));
    headerBytes_ = out_.written;

    if (chosen != inFmt || codec_->sample_rate != input.rate) {
        AVChannelLayout layout;
        av_channel_layout_default(&layout, input.channels);
        rc = swr_alloc_set_opts2(&swr_, &codec_->ch_layout, chosen, codec_->sample_rate, &layout, inFmt, input.rate,
                                 0, nullptr);
        av_channel_layout_uninit(&layout);
        if (rc < 0 || swr_init(swr_) < 0) return fail(-84, QStringLiteral("sample conversion could not start"));
    }
    const bool variable = codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
    frameSize_ = (codec_->frame_size > 0 && !variable) ? codec_->frame_size : 0;
    padLastFrame_ = frameSize_ > 0 && !(codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    // An encoder without its own delay line (wmav2) decodes one frame short:
    // a frame of silence at the end brings the last samples out.
    silentTailFrame_ = frameSize_ > 0 && !(codec->capabilities & AV_CODEC_CAP_DELAY);
    fifo_ = av_audio_fifo_alloc(chosen, input.channels, std::max(frameSize_, 4096));
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!fifo_ || !frame_ || !packet_) return fail(-2, QStringLiteral("out of memory"));
    return 0;
}

int EncoderCore::Write(const uint8_t* data, size_t frames, QString* errorText) {
    if (!format_ || failed_) {
        if (errorText) *errorText = QStringLiteral("the encoder is not running");
        return -8;
    }
    if (frames == 0) return 0;
    if (swr_) {
        const int outMax = swr_get_out_samples(swr_, static_cast<int>(frames));
        if (av_audio_fifo_space(fifo_) < outMax &&
            av_audio_fifo_realloc(fifo_, av_audio_fifo_size(fifo_) + outMax) < 0) {
            failed_ = true;
            if (errorText) *errorText = QStringLiteral("out of memory");
            return -2;
        }
        uint8_t** converted = nullptr;
        if (av_samples_alloc_array_and_samples(&converted, nullptr, input_.channels, outMax, codec_->sample_fmt, 0) < 0) {
            failed_ = true;
            if (errorText) *errorText = QStringLiteral("out of memory");
            return -2;
        }
        const uint8_t* in[1] = {data};
        const int got = swr_convert(swr_, converted, outMax, in, static_cast<int>(frames));
        if (got > 0) av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted), got);
        av_freep(&converted[0]);
        av_freep(&converted);
    } else {
        void* in[1] = {const_cast<uint8_t*>(data)};
        if (av_audio_fifo_write(fifo_, in, static_cast<int>(frames)) < static_cast<int>(frames)) {
            failed_ = true;
            if (errorText) *errorText = QStringLiteral("out of memory");
            return -2;
        }
    }
    return encodeFrames(false, errorText);
}

int EncoderCore::encodeFrames(bool drainAll, QString* errorText) {
    for (;;) {
        const int available = av_audio_fifo_size(fifo_);
        int take = 0;
        if (frameSize_ == 0) {
            take = std::min(available, 65536);
        } else if (available >= frameSize_) {
            take = frameSize_;
        } else if (drainAll) {
            take = available;
        }
        if (take <= 0) return 0;
        av_frame_unref(frame_);
        frame_->nb_samples = (padLastFrame_ && take < frameSize_) ? frameSize_ : take;
        frame_->format = codec_->sample_fmt;
        frame_->sample_rate = codec_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
        if (av_frame_get_buffer(frame_, 0) < 0) {
            failed_ = true;
            if (errorText) *errorText = QStringLiteral("out of memory");
            return -2;
        }
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), take);
        if (frame_->nb_samples > take) {
            av_samples_set_silence(frame_->data, take, frame_->nb_samples - take, codec_->ch_layout.nb_channels,
                                   codec_->sample_fmt);
        }
        frame_->pts = nextPts_;
        nextPts_ += take;
        const int rc = sendFrame(frame_, errorText);
        if (rc != 0) return rc;
    }
}

int EncoderCore::sendFrame(AVFrame* frame, QString* errorText) {
    int rc = avcodec_send_frame(codec_, frame);
    if (rc < 0 && rc != AVERROR_EOF) {
        failed_ = true;
        if (errorText) *errorText = QStringLiteral("encoding failed: %1").arg(AvErrorText(rc));
        return -8;
    }
    for (;;) {
        rc = avcodec_receive_packet(codec_, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
        if (rc < 0) {
            failed_ = true;
            if (errorText) *errorText = QStringLiteral("encoding failed: %1").arg(AvErrorText(rc));
            return -8;
        }
        av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        rc = av_write_frame(format_, packet_);
        av_packet_unref(packet_);
        if (rc < 0 || format_->pb->error < 0) {
            failed_ = true;
            if (errorText) {
                *errorText = QStringLiteral("writing %1 failed: %2")
                                 .arg(path_, AvErrorText(rc < 0 ? rc : format_->pb->error));
            }
            return -8;
        }
    }
    return 0;
}

void EncoderCore::Flush() {
    if (format_ && format_->pb) avio_flush(format_->pb);
}

int EncoderCore::Finish(QString* errorText) {
    if (!format_) return 0;
    int result = failed_ ? -8 : 0;
    if (failed_ && errorText) *errorText = QStringLiteral("%1 was closed after a write failure").arg(path_);
    if (!failed_) {
        if (swr_) {
            const int outMax = swr_get_out_samples(swr_, 0);
            if (outMax > 0) {
                uint8_t** converted = nullptr;
                if (av_samples_alloc_array_and_samples(&converted, nullptr, input_.channels, outMax,
                                                       codec_->sample_fmt, 0) >= 0) {
                    const int got = swr_convert(swr_, converted, outMax, nullptr, 0);
                    if (got > 0) av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted), got);
                    av_freep(&converted[0]);
                    av_freep(&converted);
                }
            }
        }
        result = encodeFrames(true, errorText);
        if (result == 0 && silentTailFrame_) {
            av_frame_unref(frame_);
            frame_->nb_samples = frameSize_;
            frame_->format = codec_->sample_fmt;
            frame_->sample_rate = codec_->sample_rate;
            av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
            if (av_frame_get_buffer(frame_, 0) >= 0) {
                av_samples_set_silence(frame_->data, 0, frameSize_, codec_->ch_layout.nb_channels, codec_->sample_fmt);
                frame_->pts = nextPts_;
                nextPts_ += frameSize_;
                result = sendFrame(frame_, errorText);
            }
        }
        if (result == 0) result = sendFrame(nullptr, errorText);
    }
    if (headerWritten_) {
        const int rc = av_write_trailer(format_);
        if (result == 0 && (rc < 0 || format_->pb->error < 0)) {
            if (errorText) *errorText = QStringLiteral("closing %1 failed: %2").arg(path_, AvErrorText(rc < 0 ? rc : format_->pb->error));
            result = -8;
        }
    }
    if (format_->pb) {
        avio_flush(format_->pb);
        if (result == 0 && format_->pb->error < 0) {
            if (errorText) *errorText = QStringLiteral("closing %1 failed: %2").arg(path_, AvErrorText(format_->pb->error));
            result = -8;
        }
    }
    const bool wav = muxer_ == QLatin1String("wav");
    const bool onlyHeader = out_.written <= headerBytes_;
    if (out_.fd >= 0) {
        const int rc = ::close(out_.fd);
        const int code = errno;
        out_.fd = -1;
        if (rc != 0 && result == 0) {
            if (errorText) *errorText = QStringLiteral("closing %1 failed: %2").arg(path_, QString::fromLocal8Bit(std::strerror(code)));
            result = -8;
        }
    }
    release();
    if (result != 0 && created_) {
        if (onlyHeader) {
            // Nothing recorded reached the file: no empty take is left behind.
            QFile::remove(path_);
        } else if (wav) {
            // The muxer could not close the header: the sizes are set to what
            // reached the disk.
            QString ignored;
            RepairWavHeader(path_, &ignored);
        }
    }
    return result;
}

}  // namespace platform::capture
