#include "core/control_bridge.h"

#include "control/control_server.h"
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "core/recorder_panel.h"
#include "recording/input_levels.h"
#include "recording/loudness_alarm.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/formats.h"
#include "support/incident_log.h"
#include "support/tracelog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <cmath>

namespace {

QString Iso(const QDateTime& t) { return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate); }

double Db(float peak) { return peak > 1e-6f ? std::round(200.0 * std::log10(double(peak))) / 10.0 : -120.0; }

QJsonArray PeaksDb(const QVector<float>& peaks) {
    QJsonArray out;
    for (float p : peaks) out.append(Db(p));
    return out;
}

QJsonObject IncidentObject(const IncidentRecord& r) {
    QJsonObject o{{QStringLiteral("seq"), r.Seq},
                  {QStringLiteral("time"), Iso(r.Time)},
                  {QStringLiteral("text"), r.Text},
                  {QStringLiteral("acknowledged"), r.Acknowledged}};
    if (r.Recorder >= 0 && r.Recorder < kRecorders) o.insert(QStringLiteral("recorder"), r.Recorder + 1);
    return o;
}

QJsonValue Lufs(double v) { return std::isfinite(v) ? QJsonValue(std::round(v * 10.0) / 10.0) : QJsonValue(); }

QJsonObject LoudnessObject(const platform::capture::LoudnessSnapshot& s, const RecorderConfig& c) {
    const LoudnessOptions o = ParseLoudnessOptions(c.LoudnessTarget, c.LoudnessTolerance, c.LoudnessDelay);
    return {{QStringLiteral("momentary_lufs"), Lufs(s.momentaryLufs)},
            {QStringLiteral("short_term_lufs"), Lufs(s.shortTermLufs)},
            {QStringLiteral("true_peak_dbtp"), Lufs(s.truePeakDbtp)},
            {QStringLiteral("integrated_lufs"), Lufs(s.integratedLufs)},
            {QStringLiteral("lra_lu"), std::round(s.loudnessRangeLu * 10.0) / 10.0},
            {QStringLiteral("target_lufs"), o.targetLufs},
            {QStringLiteral("tolerance_lu"), o.toleranceLu}};
}

control::CommandResult Refused(const QString& message) {
    control::CommandResult r;
    r.error = QStringLiteral("refused");
    r.message = message;
    return r;
}

control::CommandResult Done(int i) {
    control::CommandResult r;
    r.ok = true;
    r.recorder = RecorderControl::StatusOf(i);
    return r;
}

QString Name(int i) { return QStringLiteral("Rec. ") + QString::number(i + 1); }

// Why a command of the control interface cannot be carried out on
// recorder i ("" it can), as the main window would refuse it.
QString CommandRefusal(int i) {
    if (MainState().UnloadStarted || MainState().QuitRequested) return QStringLiteral("Le programme se ferme");
    if (!MainState().StartupDone) return QStringLiteral("Le démarrage du programme n'est pas terminé");
    if (i < 0 || i >= kRecorders) return QStringLiteral("Il n'y a pas d'enregistreur ") + QString::number(i + 1);
    if (!Rec(i).InService()) return Name(i) + QStringLiteral(" n'est pas en service");
    if (Rec(i).config().Logging)
        return Name(i) + QStringLiteral(" est l'enregistreur de pige : il se commande par ses tranches horaires");
    if (!Rec(i).engine()) return Name(i) + QStringLiteral(" n'a pas de moteur d'enregistrement");
    return {};
}

}  // namespace

QJsonObject RecorderControl::StatusOf(int i) {
    const Recorder& r = Rec(i);
    const RecorderConfig& c = r.config();
    QJsonObject o{{QStringLiteral("recorder"), i + 1},
                  {QStringLiteral("label"), c.Label},
                  {QStringLiteral("in_service"), r.InService()},
                  {QStringLiteral("state"), StateCode(r.State())}};
    if (!r.InService()) return o;
    const RecorderPanel panel = RecorderPanelOf(i);
    const RecorderRuntime& rt = r.runtime();
    platform::ActiveSoundRecorder* e = r.engine();
    o.insert(QStringLiteral("logging"), c.Logging);
    o.insert(QStringLiteral("state_text"), panel.State);
    o.insert(QStringLiteral("writing"), panel.Writing);
    o.insert(QStringLiteral("wanted"), r.Wanted());
    QString device = MissingDeviceCaption(i);
    if (device.isEmpty() && e && r.BoundDevice() >= 0) device = e->InputDeviceName(r.BoundDevice());
    o.insert(QStringLiteral("device"), device);
    o.insert(QStringLiteral("device_present"), !r.health().WaitingForDevice);
    o.insert(QStringLiteral("format"), rt.Forced128k && r.EngineRecording() ? QStringLiteral("mp3") : FormatCode(c.FormatIndex));
    o.insert(QStringLiteral("format_text"), FormatWords(c));
    o.insert(QStringLiteral("quality"), c.QualityText);
    o.insert(QStringLiteral("forced_128k"), rt.Forced128k && r.EngineRecording());
    o.insert(QStringLiteral("folder"), c.RecordFolder);
    qint64 fileBytes = 0;
    if (panel.Writing && !rt.RecordingFilePath.isEmpty()) {
        fileBytes = QFileInfo(rt.RecordingFilePath).size();
        o.insert(QStringLiteral("file"), rt.RecordingFilePath);
        o.insert(QStringLiteral("elapsed_s"), double(r.PositionMs()) / 1000.0);
        o.insert(QStringLiteral("file_bytes"), fileBytes);
    }
    o.insert(QStringLiteral("bytes_written"), rt.BytesDone + fileBytes);
    if (!c.RecordFolder.isEmpty()) {
        const platform::VolumeSpace space = platform::VolumeSpaceOf(c.RecordFolder);
        if (space.ok) o.insert(QStringLiteral("free_bytes"), qint64(space.free));
    }
    if (panel.SecondsLeft >= 0) o.insert(QStringLiteral("seconds_left"), panel.SecondsLeft);
    o.insert(QStringLiteral("silence"), r.silence().alarmOn());
    o.insert(QStringLiteral("silence_s"), r.silence().alarmOn() ? double(r.silence().silenceMs()) / 1000.0 : 0.0);
    o.insert(QStringLiteral("overruns"), e ? qint64(e->OverrunCount()) : 0);
    if (e && r.EngineRecording()) o.insert(QStringLiteral("peak_dbfs"), PeaksDb(e->PeakLevels()));
    const platform::capture::LoudnessSnapshot loud = RecorderLoudness(i);
    if (loud.valid) o.insert(QStringLiteral("loudness"), LoudnessObject(loud, c));
    const LoudnessWatch::Side side = LoudnessWatchOf(i).side();
    if (side != LoudnessWatch::Side::Within)
        o.insert(QStringLiteral("loudness_alarm"), side == LoudnessWatch::Side::High ? QStringLiteral("high") : QStringLiteral("low"));
    const IncidentRecord last = IncidentList().LastOf(i);
    if (last.Seq > 0)
        o.insert(QStringLiteral("last_incident"),
                 QJsonObject{{QStringLiteral("time"), Iso(last.Time)}, {QStringLiteral("text"), last.Text}});
    return o;
}

QJsonObject RecorderControl::Program() {
    return {{QStringLiteral("version"), VersionApplication()},
            {QStringLiteral("instance"), App().InstanceNumber},
            {QStringLiteral("pid"), qint64(QCoreApplication::applicationPid())},
            {QStringLiteral("startup_done"), MainState().StartupDone},
            {QStringLiteral("closing"), MainState().UnloadStarted || MainState().QuitRequested},
            {QStringLiteral("recorders"), kRecorders}};
}

QJsonArray RecorderControl::RecorderStatus() {
    QJsonArray out;
    for (int i = 0; i < kRecorders; ++i) out.append(StatusOf(i));
    return out;
}

control::CommandResult RecorderControl::Start(int recorder, const control::StartArgs& args, const control::Caller& who) {
    const int i = recorder - 1;
    const QString refused = CommandRefusal(i);
    if (!refused.isEmpty()) return Refused(refused);
    Recorder& r = Rec(i);
    if (r.Wanted()) return Refused(Name(i) + QStringLiteral(" enregistre déjà"));
    TraceLog(-1, i, -1, QStringLiteral("XPButtonRecord.Checked: True |Sub: Control:Start"));
    StartRequest request;
    request.Origin = CommandOrigin::Control;
    request.Who = control::CallerText(who);
    request.Name = args.name;
    request.Folder = args.folder;
    request.DurationMs = qint32(qBound(qint64(0), args.durationS, qint64(604800)) * 1000);
    const StartResult result = r.Start(request);
    if (!result.Accepted)
        return Refused(Name(i) + QStringLiteral(" n'a pas démarré : ") + result.Refusal);
    return Done(i);
}

control::CommandResult RecorderControl::Pause(int recorder, const control::Caller&) {
    const int i = recorder - 1;
    const QString refused = CommandRefusal(i);
    if (!refused.isEmpty()) return Refused(refused);
    Recorder& r = Rec(i);
    if (!r.EngineRecording()) return Refused(Name(i) + QStringLiteral(" n'enregistre pas : rien à mettre en pause"));
    if (!r.PauseWanted()) r.Pause();
    return Done(i);
}

control::CommandResult RecorderControl::Continue(int recorder, const control::Caller&) {
    const int i = recorder - 1;
    const QString refused = CommandRefusal(i);
    if (!refused.isEmpty()) return Refused(refused);
    Recorder& r = Rec(i);
    if (!r.EngineRecording()) return Refused(Name(i) + QStringLiteral(" n'enregistre pas : rien à reprendre"));
    if (r.PauseWanted()) r.Continue();
    return Done(i);
}

control::CommandResult RecorderControl::Stop(int recorder, const control::Caller&) {
    const int i = recorder - 1;
    const QString refused = CommandRefusal(i);
    if (!refused.isEmpty()) return Refused(refused);
    Recorder& r = Rec(i);
    if (r.Wanted() || r.EngineRecording()) {
        TraceLog(-1, i, -1, QStringLiteral("XPButtonRecord.Checked: False |Sub: Control:Stop"));
        r.Stop(StopReason::Remote);
    }
    return Done(i);
}

QJsonArray RecorderControl::Incidents(int last) {
    QJsonArray out;
    for (const IncidentRecord& r : IncidentList().Last(last)) out.append(IncidentObject(r));
    return out;
}

control::CommandResult RecorderControl::Acknowledge(qint64 seq, bool all, const control::Caller&) {
    const qint64 upTo = all ? IncidentList().Count() : seq;
    if (!IncidentList().Acknowledge(upTo, all)) {
        control::CommandResult r;
        r.error = QStringLiteral("bad-argument");
        r.message = QStringLiteral("Pas d'incident n° ") + QString::number(seq);
        return r;
    }
    control::CommandResult r;
    r.ok = true;
    return r;
}

QStringList RecorderControl::TraceLines(int last) {
    // Today's file, then the lines not yet written to it.
    QStringList lines;
    const QString file = Trace().LogFolder + D2S(CurrentClock().now().date()) + QStringLiteral(".Log");
    QFile f(file);
    if (!Trace().LogFolder.isEmpty() && f.open(QIODevice::ReadOnly)) {
        // The end of the file is enough: each line is under a few hundred bytes.
        const qint64 tail = qint64(last) * 512;
        if (f.size() > tail) f.seek(f.size() - tail);
        lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        if (f.size() > tail && !lines.isEmpty()) lines.removeFirst();  // cut by the seek
    }
    lines += Trace().ListeLogTemp;
    lines += Trace().ListeLog;
    if (lines.size() > last) lines = lines.mid(lines.size() - last);
    return lines;
}

QJsonArray RecorderControl::Levels() {
    QJsonArray out;
    for (int i = 0; i < RecordersInService(); ++i) {
        const Recorder& r = Rec(i);
        if (!r.engine() || !r.EngineRecording()) continue;
        QJsonObject level{{QStringLiteral("recorder"), i + 1},
                          {QStringLiteral("peak_dbfs"), PeaksDb(r.engine()->PeakLevels())}};
        const platform::capture::LoudnessSnapshot loud = RecorderLoudness(i);
        if (loud.valid && std::isfinite(loud.shortTermLufs)) level.insert(QStringLiteral("short_term_lufs"), Lufs(loud.shortTermLufs));
        out.append(level);
    }
    return out;
}
