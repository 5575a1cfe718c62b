#pragma once
// "<file>.loudness.json", the loudness report written beside each recorded
// file: programme loudness, loudness range and maximum true peak of the file,
// and its short-term loudness every 10 s of audio. It is rewritten whole into
// "<file>.loudness.json.tmp" and renamed over the report, so that the report
// on disk is always a complete JSON document, whenever the process stops.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

namespace platform::capture {

struct LoudnessReport {
    QString file;           // name of the recorded file (no folder)
    QDateTime start;        // time of the first sample (local, with its offset)
    double seconds = 0.0;   // audio measured
    int sampleRate = 0;
    int channels = 0;
    bool complete = false;  // the file is finished
    double integratedLufs;  // minus infinity: not measurable (null)
    double loudnessRangeLu;
    double truePeakDbtp;
    int intervalSeconds = 10;
    // Short-term loudness (3 s window) at the end of each complete interval.
    QVector<double> shortTermLufs;
};

// The report as JSON text (values rounded to 0.01; minus infinity as null).
QByteArray LoudnessReportJson(const LoudnessReport& report);

// Writes bytes to path + ".tmp" and renames it over path; false with the
// system's cause.
bool ReplaceFileContents(const QString& path, const QByteArray& bytes, QString* errorText);

}  // namespace platform::capture
