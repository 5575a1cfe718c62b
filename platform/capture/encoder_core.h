#pragma once
// One encoder core over libavformat / libavcodec / libswresample, with thin
// per-format settings chosen by the engine's FormatToUse:
//   1 WAV   PCM 8/16/24/32 bits (WavSampleSizeCode 0..3) at the capture rate
//           and channels; the wav muxer switches to RF64 past 4 GB.
//   2 MP3   libmp3lame; constant bit rate, or variable with the quality index
//           0, 1, 2 of the characteristic list mapped onto LAME levels whose
//           average rates fall in the ranges of the captions:
//             index 1 "VBR 150-180 Kbps" -> -V 4 (about 165 kbit/s)
//             index 0 "VBR 170-210 Kbps" -> -V 2 (about 190 kbit/s)
//             index 2 "VBR 200-240 Kbps" -> -V 1 (about 225 kbit/s)
//   3 WMA   wmav2 in ASF; characteristic 0..100 mapped linearly onto
//           24000..192000 bit/s (the range wmav2 encodes cleanly).
//   4 Ogg   libvorbis, quality 0..10.
//   6 AAC   native aac encoder in ADTS; AacValue kbit/s, clamped to what the
//           encoder accepts for the channel count and rate (at most
//           6 x channels x rate bit/s), with a notice when clamped.
// Files are written in place under their final name and stay readable while
// they grow: the engine flushes the output regularly (Flush). A file is always
// created anew (exclusive creation): an existing file of that name is never
// truncated, Open fails instead. A file whose writing failed keeps what
// reached the disk, with a WAV header closed on it; a file that holds nothing
// but its header is removed.
#include "platform/capture/active_sound_recorder.h"
#include "platform/capture/capture_source.h"

#include <QString>
#include <memory>

struct AVFormatContext;
struct AVCodecContext;
struct AVStream;
struct AVFrame;
struct AVPacket;
struct AVAudioFifo;
struct SwrContext;

namespace platform::capture {

// What a format asks of the encoder core.
struct EncoderProfile {
    QString muxer;       // "wav", "mp3", "asf", "ogg", "adts"
    QString codec;       // encoder name
    QString extension;   // usual file extension, for information
    int sampleBits = 0;  // PCM only: 8, 16, 24, 32
    qint64 bitRate = 0;  // bit/s, 0 = none
    int vbrQuality = -1; // >= 0: quality-scaled (global_quality = q * FF_QP2LAMBDA)
    QString coder;       // AAC: the encoder's quantiser search ("fast"), empty for its default
    QString notice;      // set when a value had to be adjusted
};

// The LAME -V level of an MP3 VBR quality index (0, 1, 2).
int LameLevelForQuality(int qualityIndex);
// The WMA bit rate of a characteristic 0..100.
int WmaBitRateFor(int characteristic);
// The largest AAC bit rate the encoder takes for a channel count and rate.
qint64 AacMaxBitRate(int channels, int rate);

// The profile of a FormatToUse (1, 2, 3, 4, 6); false for anything else.
bool ProfileFor(const EncoderSettings& settings, const CaptureFormat& input, EncoderProfile* profile);

class EncoderCore {
public:
    EncoderCore();
    ~EncoderCore();
    EncoderCore(const EncoderCore&) = delete;
    EncoderCore& operator=(const EncoderCore&) = delete;

    // Creates the file and writes its header. 0, or -83 (encoder missing or
    // parameters refused), -8 (file creation failed), -84 (failed to start).
    int Open(const QString& path, const EncoderProfile& profile, const CaptureFormat& input, QString* errorText);
    // Encodes interleaved frames in the capture format. 0 or -8 (write failed).
    int Write(const uint8_t* data, size_t frames, QString* errorText);
    // Pushes what the muxer has written to the file.
    void Flush();
    // Drains the encoder, writes the trailer and closes the file. 0 or -8.
    int Finish(QString* errorText);
    bool isOpen() const { return format_ != nullptr; }
    const QString& path() const { return path_; }
    int outputRate() const;
    // The file being written has no name on disk any more (it, or its
    // folder, was deleted while recording).
    bool FileGone() const;

    // Where the muxer's bytes go: the file created by Open.
    struct Output {
        int fd = -1;
        qint64 written = 0;  // bytes that reached the file
    };

private:
    int encodeFrames(bool drainAll, QString* errorText);
    int sendFrame(AVFrame* frame, QString* errorText);
    void release();

    QString path_;
    CaptureFormat input_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int frameSize_ = 0;
    bool padLastFrame_ = false;
    bool silentTailFrame_ = false;
    qint64 nextPts_ = 0;
    bool headerWritten_ = false;
    bool failed_ = false;
    bool created_ = false;
    QString muxer_;
    Output out_;
    qint64 headerBytes_ = 0;
};

}  // namespace platform::capture
