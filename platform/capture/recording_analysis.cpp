#include "platform/capture/recording_analysis.h"

#include "platform/os.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace platform::capture {

RecordingAnalysis::RecordingAnalysis(const CaptureFormat& format, bool measure, bool truePeak,
                                     std::function<void(const QString&)> notice)
    : format_(format), notice_(std::move(notice)) {
    if (measure) {
        meter_ = std::make_shared<LoudnessMeter>(format.rate, format.channels, format.bits, truePeak);
        if (!meter_->ok()) meter_.reset();
    }
}

RecordingAnalysis::~RecordingAnalysis() {
    if (open_) EndFile(true);
}

bool RecordingAnalysis::IsSidecarName(const QString& fileName) {
    return fileName.endsWith(QLatin1String(".loudness.json")) || fileName.endsWith(QLatin1String(".loudness.json.tmp")) ||
           fileName.endsWith(QLatin1String(".peaks.dat"));
}

QStringList RecordingAnalysis::SidecarPaths(const QString& audioPath) {
    return {ReportPath(audioPath), ReportPath(audioPath) + QStringLiteral(".tmp"), PeaksPath(audioPath)};
}

void RecordingAnalysis::failed(const QString& text) {
    if (noticeGiven_) return;
    noticeGiven_ = true;
    if (notice_) notice_(text);
}

void RecordingAnalysis::BeginFile(const FilePlan& plan) {
    if (open_) EndFile(true);
    if (meter_ && !firstFile_) meter_->NewFile();
    firstFile_ = false;
    open_ = true;
    plan_ = plan;
    frames_ = 0;
    nextMark_ = quint64(format_.rate) * kReportIntervalSeconds;
    reportFailed_ = false;
    noticeGiven_ = false;
    peaks_.reset();
    report_ = LoudnessReport{};
    report_.file = QFileInfo(plan.audioPath).fileName();
    report_.sampleRate = format_.rate;
    report_.channels = format_.channels;
    report_.intervalSeconds = kReportIntervalSeconds;
    report_.integratedLufs = report_.truePeakDbtp = kNoLoudness;
    report_.loudnessRangeLu = 0.0;
    if (plan.audioPath.isEmpty()) {
        plan_.loudnessReport = plan_.peaks = false;
        return;
    }
    if (!meter_) plan_.loudnessReport = false;
    if (plan_.peaks) {
        peaks_ = std::make_unique<PeaksWriter>();
        QString text;
        if (!peaks_->Open(PeaksPath(plan.audioPath), format_, &text)) {
            peaks_.reset();
            failed(text);
        }
    }
}

void RecordingAnalysis::writeReport(bool complete) {
    if (!plan_.loudnessReport || reportFailed_) return;
    report_.complete = complete;
    report_.seconds = double(frames_) / format_.rate;
    if (meter_) {
        report_.integratedLufs = meter_->IntegratedLufs();
        report_.loudnessRangeLu = meter_->LoudnessRangeLu();
        report_.truePeakDbtp = meter_->FileTruePeakDbtp();
    }
    // Until a 3 s block is measured there is no loudness range.
    if (frames_ < quint64(format_.rate) * 3 || report_.integratedLufs == kNoLoudness) report_.loudnessRangeLu = kNoLoudness;
    QString text;
    if (!ReplaceFileContents(ReportPath(plan_.audioPath), LoudnessReportJson(report_), &text)) {
        reportFailed_ = true;
        failed(text);
    }
}

void RecordingAnalysis::Add(const uint8_t* data, size_t frames, size_t framesQueued) {
    if (!open_ || frames == 0) return;
    if (frames_ == 0 && !report_.start.isValid() && plan_.anchorWall.isValid()) {
        // The block's first sample was captured the block and what came after
        // it ago.
        const qint64 ago = qint64(frames + framesQueued) * 1000 / format_.rate;
        report_.start = plan_.anchorWall.addMSecs(BootTimeMs() - ago - plan_.anchorBootMs);
        writeReport(false);
    }
    const size_t frameBytes = size_t(format_.bytesPerFrame());
    while (frames > 0) {
        // Blocks are cut at each interval's end, where the series takes its value.
        size_t take = frames;
        if (plan_.loudnessReport) take = size_t(std::min<quint64>(frames, nextMark_ - frames_));
        if (meter_) meter_->Add(data, take);
        if (peaks_) peaks_->Add(data, take);
        frames_ += take;
        data += take * frameBytes;
        frames -= take;
        if (plan_.loudnessReport && frames_ == nextMark_) {
            report_.shortTermLufs.push_back(meter_->ShortTermLufs());
            nextMark_ += quint64(format_.rate) * kReportIntervalSeconds;
            writeReport(false);
        }
    }
}

void RecordingAnalysis::Flush() {
    if (!open_ || !peaks_) return;
    QString text;
    if (!peaks_->Flush(&text)) {
        peaks_.reset();
        failed(text);
    }
}

void RecordingAnalysis::EndFile(bool fileKept) {
    if (!open_) return;
    open_ = false;
    if (plan_.audioPath.isEmpty()) return;
    if (!fileKept) {
        peaks_.reset();
        QFile::remove(PeaksPath(plan_.audioPath));
        QFile::remove(ReportPath(plan_.audioPath));
        return;
    }
    if (peaks_) {
        QString text;
        if (!peaks_->Finish(&text)) failed(text);
        peaks_.reset();
    }
    if (!report_.start.isValid() && plan_.anchorWall.isValid()) {
        // Not a sample came: the file starts when it was asked for.
        report_.start = plan_.anchorWall;
    }
    writeReport(true);
}

}  // namespace platform::capture
