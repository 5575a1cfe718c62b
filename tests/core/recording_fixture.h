#pragma once
// Shared set-up of the recording and main-timer tests: a sandbox drive, a
// manual clock, fresh shared state, real capture engines on the test-tone
// device, the trace lines of a recorder, and FFmpeg read-back of the files.
#include "core/main_window_state.h"
#include "archive/history.h"
#include "core/frm_main.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/capture/recording_analysis.h"
#include "platform/os.h"
#include "ui/setup/frm_setup.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QVector>
#include <gtest/gtest.h>

#include <cstdlib>

namespace h5b {

// One trace line cut into its recorder column and its text.
struct TraceLine {
    int recorder = -1;
    QString text;
};

inline QList<TraceLine> AllTraceLines() {
    QList<TraceLine> out;
    QStringList lines = Trace().ListeLogTemp;
    lines += Trace().ListeLog;
    for (const QString& l : lines) {
        // "hh:mm:ss:mmm :" then three columns, each " :" or a value and ":".
        int pos = 14;
        if (l.size() < pos || l.mid(pos, 6) == QStringLiteral("Debug:")) continue;
        int cols[3] = {-1, -1, -1};
        bool ok = true;
        for (int c = 0; c < 3 && ok; ++c) {
            if (l.mid(pos, 2) == QStringLiteral(" :")) {
                pos += 2;
                continue;
            }
            const int colon = l.indexOf(QLatin1Char(':'), pos);
            if (colon < 0) ok = false;
            else {
                cols[c] = l.mid(pos, colon - pos).toInt();
                pos = colon + 1;
            }
        }
        if (ok) out.push_back({cols[1], l.mid(pos)});
    }
    return out;
}

// Texts traced on a recorder's line, in order.
inline QStringList TracesOf(int recorder) {
    QStringList out;
    for (const TraceLine& t : AllTraceLines())
        if (t.recorder == recorder) out << t.text;
    return out;
}

inline int CountOf(const QStringList& texts, const QString& text) { return int(texts.count(text)); }

inline QStringList StartingWith(const QStringList& texts, const QString& prefix) {
    QStringList out;
    for (const QString& t : texts)
        if (t.startsWith(prefix)) out << t;
    return out;
}

// What ffprobe reads of a sound file.
struct Probe {
    bool ok = false;
    QString codec;
    int rate = 0;
    int channels = 0;
    double duration = 0;
    qint64 bitRate = 0;
};

inline Probe ProbeFile(const QString& path) {
    Probe p;
    QProcess ff;
    ff.start(QStringLiteral("ffprobe"),
             {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
              QStringLiteral("stream=codec_name,sample_rate,channels,bit_rate:format=duration"), QStringLiteral("-of"),
              QStringLiteral("default=nw=1"), path});
    if (!ff.waitForFinished(20000) || ff.exitCode() != 0) return p;
    const QStringList lines = QString::fromUtf8(ff.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        const QString key = line.left(eq), value = line.mid(eq + 1).trimmed();
        if (key == QStringLiteral("codec_name")) p.codec = value;
        else if (key == QStringLiteral("sample_rate")) p.rate = value.toInt();
        else if (key == QStringLiteral("channels")) p.channels = value.toInt();
        else if (key == QStringLiteral("duration")) p.duration = value.toDouble();
        else if (key == QStringLiteral("bit_rate")) p.bitRate = value.toLongLong();
    }
    p.ok = !p.codec.isEmpty();
    return p;
}

// The first channel of a file, decoded by FFmpeg to 16-bit samples.
inline QVector<qint16> DecodeFirstChannel(const QString& path, int channels) {
    QProcess ff;
    ff.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                                        QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-acodec"),
                                        QStringLiteral("pcm_s16le"), QStringLiteral("-")});
    QVector<qint16> out;
    if (!ff.waitForFinished(30000) || ff.exitCode() != 0) return out;
    const QByteArray raw = ff.readAllStandardOutput();
    const auto* s = reinterpret_cast<const qint16*>(raw.constData());
    const qsizetype frames = raw.size() / qsizetype(sizeof(qint16)) / channels;
    out.reserve(frames);
    for (qsizetype f = 0; f < frames; ++f) out.push_back(s[f * channels]);
    return out;
}

// The operator at the save dialog and the message box.
class ScriptedDialogs : public Dialogs {
public:
    QStringList saveAnswers;  // one per opening; "" = cancel
    QList<int> messageAnswers;
    int saveCalls = 0;
    QString lastFolder, lastProposed, lastFilter;
    QStringList messages;
    QString SaveFile(const QString& folder, const QString& proposedName, const QString& filter) override {
        ++saveCalls;
        lastFolder = folder;
        lastProposed = proposedName;
        lastFilter = filter;
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    int MessageBox(const QString& text, const QString&, MsgButtons, MsgIcon, int defaultResult) override {
        messages << text;
        return messageAnswers.isEmpty() ? defaultResult : messageAnswers.takeFirst();
    }
    // Task dialogs: text, default id and time limit; answered from taskAnswers
    // (the default when empty, as when nobody answers in time).
    QStringList tasks;
    QList<int> taskDefaults, taskTimeouts, taskAnswers;
    int TaskDialog(const QString&, const QString& text, const QList<QPair<int, QString>>&, int defaultId,
                   int timeoutMs) override {
        tasks << text;
        taskDefaults << defaultId;
        taskTimeouts << timeoutMs;
        return taskAnswers.isEmpty() ? defaultId : taskAnswers.takeFirst();
    }
};

class RecorderFixture : public ::testing::Test {
protected:
    QTemporaryDir sandbox;
    ManualClock clock{QDateTime(QDate(2024, 1, 15), QTime(10, 20, 30))};
    ScriptedDialogs dialogs;
    QString drive;
    int toneDevice = -1;

    void SetUp() override {
        ASSERT_TRUE(sandbox.isValid());
        drive = sandbox.path() + QStringLiteral("/");
        qputenv("VELMORA_DRIVE", drive.toUtf8());
        SetClock(&clock);
        SetDialogs(&dialogs);
        ResetTraceState();
        ResetSharedState();
        ResetSetupControls();
        ResetRecordingControlState();
        ResetHistoryGrids();
        InitGeneralGridHisto();
        platform::ActiveSoundRecorder::EnableTestTone(true);
        SetRecordersInService(2);
        for (int i = 0; i < 2; ++i) Rec(i).SetEngine(new platform::ActiveSoundRecorder(i));
        ConnectRecorderButtons();
        ASSERT_EQ(Rec(0).engine()->InitRecorder(0), 0);
        ASSERT_EQ(Rec(1).engine()->InitRecorder(0), 0);
        MainState().ControlVersion = Val(Rec(0).engine()->ControlVersion());
        platform::ActiveSoundRecorder& e = *Rec(0).engine();
        for (int d = 0; d < e.InputDeviceCount(); ++d)
            if (e.InputDeviceName(d).startsWith(QStringLiteral("Test tone"))) toneDevice = d;
        ASSERT_GE(toneDevice, 0) << "the engine lists no test-tone device";
        platform::WaitInEventLoop([&] { return e.InputFormatCount(toneDevice) >= 0; }, 5000);
    }

    void TearDown() override {
        for (int i = 0; i < kRecorders; ++i) {
            platform::ActiveSoundRecorder* engine = Rec(i).engine();
            Rec(i).SetEngine(nullptr);
            delete engine;
        }
        platform::LetEventsRun();
        SetDialogs(nullptr);
        SetClock(nullptr);
        ResetRecordingControlState();
    }

    QString Folder(const QString& name) { return drive + name + QStringLiteral("/"); }

    // A recorder on the test tone: format, folder, label; logging or ordinary.
    void Prepare(int i, int format, const QString& folder, const QString& label = QStringLiteral("Antenne"),
                 bool logging = false) {
        platform::ActiveSoundRecorder& e = *Rec(size_t(i)).engine();
        FrmSetupControls& setup = ::Setup();
        QStringList devices;
        for (int d = 0; d < e.InputDeviceCount(); ++d) devices << e.InputDeviceName(d);
        setup.ComboInputDevices[size_t(i)].setEntries(devices);
        setup.ComboInputDevices[size_t(i)].setListIndex(toneDevice);
        setup.ComboInputFormats[size_t(i)].setEntries({QStringLiteral("Mémoire"), QStringLiteral("wave"),
                                                       QStringLiteral("mp3"), QStringLiteral("wma"),
                                                       QStringLiteral("ogg vorbis"), QStringLiteral("aac")});
        setup.ComboInputFormats[size_t(i)].setListIndex(format);
        QDir().mkpath(folder);
        setup.TexteDossier[size_t(i)].setText(folder);
        setup.TexteLibelleRecorder[size_t(i)].setText(label);
        setup.TextePigeNbJours[size_t(i)].setText(QStringLiteral("30"));
        if (logging) setup.CheckPigeAntenne[size_t(i)].setChecked(true);
        EditRecorderConfig(size_t(i), [&](RecorderConfig& rc) { rc.FormatIndex = qint16(format); });
    }

    // The quality entry of the test-tone device with this text start.
    bool SelectQuality(int i, const QString& start) {
        ComboCtl& q = ::Setup().ComboInputQuality[size_t(i)];
        for (int k = 0; k < q.count(); ++k)
            if (q.entry(k).startsWith(start)) return q.setListIndex(k);
        return false;
    }

    platform::ActiveSoundRecorder& Engine(int i) { return *Rec(size_t(i)).engine(); }
    XPButton& RecordButton(int i) { return S().main.rec[size_t(i)].XPButtonRecord; }

    // A start as a command source asks for it (the button by default).
    StartResult Record(int i, CommandOrigin origin = CommandOrigin::Button, const QString& path = {},
                       bool force128k = false) {
        StartRequest request;
        request.Origin = origin;
        request.Path = path;
        request.Force128k = force128k;
        return Rec(i).Start(request);
    }
    int Finalisations(int i) { return CountOf(TracesOf(i), QStringLiteral("RecordingFinalizationDone")); }
    // Stops as the operator does and waits for the end of the file.
    void Stop(int i) {
        const int before = Finalisations(i);
        BtnStopOn(i);
        platform::WaitInEventLoop([&] { return Finalisations(i) > before; }, 10000);
    }

    // The recordings of a folder (a recording's sidecars are no recordings).
    static QStringList FilesIn(const QString& folder) {
        QStringList out;
        for (const QString& n : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name))
            if (!platform::capture::RecordingAnalysis::IsSidecarName(n)) out << n;
        return out;
    }
};

}  // namespace h5b
