#pragma once
// What a recording measures besides encoding: the loudness of its input
// (one LoudnessMeter for the whole recording, across gapless changes of
// file) and, beside each file, its loudness report ("<file>.loudness.json")
// and its waveform ("<file>.peaks.dat"). Driven by the recording's encoder
// thread with the very blocks it encodes, so that the sidecars of a file
// cover exactly the samples of that file; their life follows the file's:
// begun with it, brought up to date while it grows (the report every 10 s of
// audio, the waveform every second), finished when the encoder finishes it.
// A sidecar that cannot be written never stops the recording: the failure
// is reported once per file through the notice given here, and the other
// sidecar and the recording go on.
#include "platform/capture/capture_source.h"
#include "platform/capture/loudness_meter.h"
#include "platform/capture/loudness_sidecar.h"
#include "platform/capture/waveform_peaks.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace platform::capture {

class RecordingAnalysis {
public:
    static constexpr int kReportIntervalSeconds = 10;

    struct FilePlan {
        QString audioPath;            // empty for a memory take: no sidecar
        bool loudnessReport = false;  // needs the measure
        bool peaks = false;
        // The time of day at a moment of the boot-time clock, read on the
        // engine's thread when the file was asked for: the file's start is
        // stamped from them and the boot-time clock of its first sample.
        QDateTime anchorWall;
        qint64 anchorBootMs = 0;
    };

    // measure: run the loudness measure (the live values and the report),
    // with the true peak or not.
    RecordingAnalysis(const CaptureFormat& format, bool measure, bool truePeak,
                      std::function<void(const QString&)> notice);
    ~RecordingAnalysis();

    // The live measure, for readers on other threads; null when not measured.
    std::shared_ptr<LoudnessMeter> meter() const { return meter_; }

    // --- encoder thread -------------------------------------------------------
    void BeginFile(const FilePlan& plan);
    // A block as the encoder received it; framesQueued: frames captured after
    // it and not yet read (they date its first sample).
    void Add(const uint8_t* data, size_t frames, size_t framesQueued);
    // With the encoder's own flush.
    void Flush();
    // With the encoder's Finish; fileKept false when the encoder removed the
    // file (nothing of it reached the disk): its sidecars go too.
    void EndFile(bool fileKept);

    static QString ReportPath(const QString& audioPath) { return audioPath + QStringLiteral(".loudness.json"); }
    static QString PeaksPath(const QString& audioPath) { return audioPath + QStringLiteral(".peaks.dat"); }
    // For the listings and the clean-ups of recording folders: whether a
    // file name is a sidecar's (the report, its temporary file, the
    // waveform), and the paths of every sidecar a recorded file may have.
    static bool IsSidecarName(const QString& fileName);
    static QStringList SidecarPaths(const QString& audioPath);

private:
    void writeReport(bool complete);
    void failed(const QString& text);

    CaptureFormat format_;
    std::shared_ptr<LoudnessMeter> meter_;
    std::function<void(const QString&)> notice_;
    bool firstFile_ = true;
    bool open_ = false;
    FilePlan plan_;
    std::unique_ptr<PeaksWriter> peaks_;
    LoudnessReport report_;
    quint64 frames_ = 0;
    quint64 nextMark_ = 0;
    bool reportFailed_ = false;
    bool noticeGiven_ = false;
};

}  // namespace platform::capture
