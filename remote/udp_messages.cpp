// The interpreter of the UDP command messages and the notifications that
// follow a stop. Each input line interprets one message at a time; a message
// that waits (its "<WaitDuration:", the closing of a stopped file) waits on
// its own line's timer, never in a nested event loop, so that the other
// lines go on meanwhile.
#include "remote/udp_messages.h"

#include "platform/capture/active_sound_recorder.h"
#include "recording/recording.h"
#include "remote/serial_link.h"
#include "remote/udp_transport.h"
#include "settings/station_config.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace {

const QString kWhere = QStringLiteral("FrmSetup:LabelDataArrivalUDP_Change");
// How often a line's wait looks whether the program is closing.
constexpr int kWaitLookMs = 250;

// Every line of the interpreter: column 1 the input line, column 2 the
// recorder (-1 where not marked), flushed at once.
void Trace(int line, int recorder, const QString& text) { TraceLog(line, recorder, -1, text, false, true); }
void Framed(int line, int recorder, const QString& text, const QString& frame) {
    TraceLogEncadre(line, recorder, -1, text, frame, false);
}
QString P(const QString& networkText) { return PrintableText(networkText); }
QString Num(qint64 v) { return QString::number(v); }

bool Blank(const QString& s) { return s.trimmed().isEmpty(); }
bool Is(const QString& action, const char* word) {
    return action.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// The recorder index named by the text of "<Recorder:": its numeric value
// minus 1; 0 and non-numbers designate recorder 1. -1 when the number names
// no recorder (above 8, or negative).
int RecorderIndex(const QString& text) {
    const int r = CIntRound(Val(text) - 1);
    if (r == -1) return 0;
    if (r < -1 || r >= kRecorders) return -1;
    return r;
}

// What a stop announces: the recording that was stopped, as it stood when
// the stop was ordered (a later start of the recorder, during the wait for
// the file to close, must not change it).
struct StoppedRecording {
    QString articleId;
    QString songId;
    QString path;
};

// The message of one line being interpreted, between its steps.
struct Job {
    int line = 0;
    QString message;
    QString action, recorderText, songId, articleId;
    qint32 wait = 0;
    int recorder = -1;
    StoppedRecording stopped;
    bool stopRecording = false;
    bool closed = false;
    qint64 deadline = 0;
    QTimer timer;
    QMetaObject::Connection finished;
};

std::array<std::unique_ptr<Job>, kUdpLines>& Jobs() {
    static auto* jobs = new std::array<std::unique_ptr<Job>, kUdpLines>;
    return *jobs;
}

// The podcast (or conversion) notification of recorder r after a stop.
void Notify(int k, int r, bool podcast, const StoppedRecording& stopped) {
    const RecorderConfig& c = Rec(r).config();
    const bool option = podcast ? c.UdpPodcast : c.UdpConvert;
    Trace(k, r, (podcast ? QStringLiteral("UDP: CheckUDPPodcaster: ") : QStringLiteral("UDP: CheckUDPConvertir: ")) +
                    Num(option ? 1 : 0));
    if (!option) return;
    const int entry = podcast ? c.PodcastTargetEntry : c.ConvertTargetEntry;
    if (podcast) Trace(k, r, QStringLiteral("UDP: ComboEmissionUDPPodcaster(NoPipe).ListIndex: ") + Num(entry));
    if (entry <= 0 || entry > kUdpTargets) return;
    const int t = entry - 1;
    const UdpTargetConfig& target = Station().UdpOut[size_t(t)];
    const QString address = target.Address.trimmed();
    const QString portText = target.Port.trimmed();
    if (podcast) Trace(k, r, QStringLiteral("UDP: Idx: ") + Num(t) + QStringLiteral(": ") + address + QLatin1Char(':') + portText);
    if (address.isEmpty() || portText.isEmpty()) return;
    const qint32 port = CLngRound(Val(portText));
    const QString& article = stopped.articleId;
    const QString& song = stopped.songId;
    if (podcast) {
        Trace(k, r, QStringLiteral("UDP: Adresse:NoPort: ") + address + QLatin1Char(':') + Num(port));
        Trace(k, r, QStringLiteral("UDP: PvSArticleId: ") + P(article));
        Trace(k, r, QStringLiteral("UDP: PvSSongId: ") + P(song));
    }
    const QString head = podcast ? QStringLiteral("<Do:Podcast>") : QStringLiteral("<Do:Convert>");
    const QString file = QStringLiteral("<SoundFile:") + stopped.path + QLatin1Char('>');
    QString text;
    if (!Blank(article)) text = head + QStringLiteral("<ArticleId:") + article + QLatin1Char('>') + file;
    else if (!Blank(song)) text = head + QStringLiteral("<SongId:") + song + QLatin1Char('>') + file;
    if (podcast) Trace(k, r, QStringLiteral("UDP: MsgUDP: ") + P(text));
    if (text.isEmpty()) return;
    // No file came of the recording (its start failed): nothing to announce.
    if (Blank(stopped.path)) {
        TraceLog(k, r, -1,
                 QStringLiteral("Err: UDP: No recording file to announce: not sent to ") + address + QLatin1Char(':') +
                     Num(port) + QLatin1Char(' ') + P(text),
                 false, true);
        return;
    }
    SendDataUDPSocketWrench(t, address, port, text);
    Trace(k, r, QStringLiteral("UDP: Send to: ") + address + QLatin1Char(':') + Num(port) + QLatin1Char(' ') + P(text));
}

void RemoteStart(ErrorTrap& trap, int k, int r, const QString& songId, const QString& articleId) {
    UdpCommandState& st = UdpCommands();
    Recorder& rec = Rec(r);
    bool already = false;
    trap(200, [&] {
        already = rec.Wanted();
        if (already) Framed(k, r, QStringLiteral("Err: Record already started: No action"), QStringLiteral("="));
    });
    if (already) return;
    StartRequest request;
    request.Origin = CommandOrigin::Udp;
    trap(210, [&] {
        Trace(-1, r, QStringLiteral("XPButtonRecord.Checked: True |Sub: ") + kWhere);
        st.PvSSongId[size_t(r)].clear();
        rec.runtime().AnnouncedFilePath.clear();
        st.PvSArticleId[size_t(r)].clear();
        request.Force128k = Station().StartRecord128;
    });
    trap(220, [&] {
        if (!Blank(articleId)) {
            request.Name = articleId;
            rec.Start(request);
            st.PvSArticleId[size_t(r)] = articleId;
            Trace(-1, r, QStringLiteral("ArticleId set to: ") + P(st.PvSArticleId[size_t(r)]));
        } else if (!Blank(songId)) {
            request.Name = songId;
            rec.Start(request);
            st.PvSSongId[size_t(r)] = songId;
            Trace(-1, r, QStringLiteral("PvSSongId set to: ") + P(st.PvSSongId[size_t(r)]));
        } else {
            rec.Start(request);
        }
    });
}

void Finish(Job& job);
void Act(Job& job);

// The notifications of a stop, once its file is closed (or given up).
void Announce(Job& job) {
    ErrorTrap trap(kWhere);
    const int k = job.line, r = job.recorder;
    QObject::disconnect(job.finished);
    job.timer.stop();
    QObject::disconnect(&job.timer, nullptr, nullptr, nullptr);
    trap(320, [&] {
        if (job.stopRecording && !job.closed)
            TraceLog(k, r, -1,
                     QStringLiteral("Err: UDP: Recording file not closed ") + Num(kFinalisationWaitMs) +
                         QStringLiteral(" ms after the stop: announced anyway: ") + job.stopped.path,
                     true, true);
    });
    trap(330, [&] { Notify(k, r, true, job.stopped); });
    trap(340, [&] { Notify(k, r, false, job.stopped); });
    Finish(job);
}

// The stop of the message's recorder, then its notifications once its file
// is closed.
void RemoteStop(Job& job) {
    ErrorTrap trap(kWhere);
    const int r = job.recorder;
    Recorder& rec = Rec(r);
    job.stopRecording = rec.EngineRecording() && rec.engine();
    job.closed = false;
    if (job.stopRecording) {
        job.finished = QObject::connect(rec.engine(), &platform::ActiveSoundRecorder::RecordingFinalizationDone,
                                        &job.timer, [&job, r](int index, bool) {
                                            if (index == r) job.closed = true;
                                        });
    }
    trap(290, [&] {
        const UdpCommandState& st = UdpCommands();
        job.stopped = {st.PvSArticleId[size_t(r)], st.PvSSongId[size_t(r)], rec.runtime().AnnouncedFilePath};
    });
    trap(300, [&] { rec.Stop(StopReason::Remote); });
    if (!job.stopRecording || job.closed) {
        Announce(job);
        return;
    }
    // The services are told about a file that is complete.
    job.deadline = CurrentClock().tickMs() + kFinalisationWaitMs;
    job.timer.setInterval(kWaitLookMs);
    QObject::connect(&job.timer, &QTimer::timeout, [&job] {
        if (job.closed || RemoteClosing() || CurrentClock().tickMs() >= job.deadline) Announce(job);
    });
    job.timer.start();
}

void Act(Job& job) {
    ErrorTrap trap(kWhere);
    const int k = job.line;
    int& r = job.recorder;
    bool named = false;
    trap(80, [&] {
        r = RecorderIndex(job.recorderText);
        Trace(k, -1, QStringLiteral("UDP: Action: ") + P(job.action));
        named = !Blank(job.recorderText);
    });
    if (!named || !trap(90, [&] {
            if (r < 0)
                RaiseError(9, QStringLiteral("Subscript out of range: Recorder: ") + P(job.recorderText) +
                                  QStringLiteral(" is not a recorder (1 to 8): no action"));
            // A recorder out of service has no capture: a start would be
            // announced later for a file that was never made.
            if (r >= RecordersInService())
                RaiseError(9, QStringLiteral("Subscript out of range: Recorder: ") + P(job.recorderText) +
                                  QStringLiteral(" is not in service: no action"));
        })) {
        Finish(job);
        return;
    }
    if (Is(job.action, "Start") || Is(job.action, "On")) {
        RemoteStart(trap, k, r, job.songId, job.articleId);
    } else if (Is(job.action, "Pause")) {
        trap(400, [&] { Rec(r).TogglePause(); });
    } else if (Is(job.action, "Stop") || Is(job.action, "Off")) {
        RemoteStop(job);
        return;
    } else {
        trap(500, [&] { Trace(k, -1, QStringLiteral("UDP: Unknow action: ") + P(job.action)); });
    }
    Finish(job);
}

// The end of the message's wait: the action, unless the program is closing.
void WaitOver(Job& job) {
    job.timer.stop();
    QObject::disconnect(&job.timer, nullptr, nullptr, nullptr);
    const QString sub = QStringLiteral("FrmSetup") + QLatin1Char(':') + QStringLiteral("LabelDataArrivalUDP_Change");
    Trace(-1, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: WaitDuration: ") + Num(job.wait) +
                      QStringLiteral(" ms |End |Sub: ") + sub);
    if (RemoteClosing()) {
        Trace(job.line, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: the program is closing: no action"));
        Finish(job);
        return;
    }
    Act(job);
}

void Finish(Job& job) {
    ErrorTrap trap(kWhere);
    const int k = job.line;
    trap(600, [&] {
        Framed(k, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: End: |Data: ") + P(job.message),
               QStringLiteral("="));
    });
    UdpCommands().InProcess[size_t(k)] = false;
    // The job is deleted once its own handlers have returned.
    std::unique_ptr<Job>& slot = Jobs()[size_t(k)];
    if (slot.get() == &job) {
        Job* done = slot.release();
        QTimer::singleShot(0, [done] { delete done; });
    }
    trap(700, [&] { KickUdpQueue(); });
}

}  // namespace

bool RemoteClosing() { return ProgramQuitting() || ProgramUnloading(); }

UdpCommandState& UdpCommands() {
    static UdpCommandState state;
    return state;
}

void ResetUdpCommandState() {
    for (auto& job : Jobs()) {
        if (!job) continue;
        QObject::disconnect(job->finished);
        job->timer.stop();
        job.reset();
    }
    UdpCommands() = UdpCommandState{};
}

bool UdpLineBusy(int k) { return k >= 0 && k < kUdpLines && UdpCommands().InProcess[size_t(k)]; }

bool UdpMessageCarriesCommand(const QString& message) {
    return !Blank(ExtraireBalise(message, QStringLiteral("<Record:"))) ||
           !Blank(ExtraireBalise(message, QStringLiteral("<ASC82Plus:")));
}

void LabelDataArrivalUDP_Change(int k, const QString& message) {
    ErrorTrap trap(kWhere);
    if (!trap(5, [&] {
            if (k < 0 || k >= kUdpLines) RaiseError(9, QStringLiteral("Subscript out of range"));
        }))
        return;
    if (Blank(message)) return;
    UdpCommandState& st = UdpCommands();
    // A message of this line is still being interpreted: this one waits in
    // the line's queue.
    if (st.InProcess[size_t(k)]) {
        QueueUdpMessage(k, message);
        return;
    }
    st.InProcess[size_t(k)] = true;
    auto owned = std::make_unique<Job>();
    Job& job = *owned;
    Jobs()[size_t(k)] = std::move(owned);
    job.line = k;
    job.message = message;
    trap(30, [&] {
        Framed(k, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: Start: |Data: ") + P(message), QStringLiteral("="));
        Trace(k, -1, QStringLiteral("UDP: Receipt: ") + P(message));
    });
    QString waitText, convert, serial;
    trap(40, [&] {
        job.action = ExtraireBalise(message, QStringLiteral("<Record:"));
        job.recorderText = ExtraireBalise(message, QStringLiteral("<Recorder:"));
        waitText = ExtraireBalise(message, QStringLiteral("<WaitDuration:"));
        job.wait = CLngRound(Val(waitText));
        job.songId = ExtraireBalise(message, QStringLiteral("<SongId:"));
        if (Blank(job.songId)) job.songId = ExtraireBalise(message, QStringLiteral("<Song:"));
        job.articleId = ExtraireBalise(message, QStringLiteral("<ArticleId:"));
        if (Blank(job.articleId)) job.articleId = ExtraireBalise(message, QStringLiteral("<Article:"));
        convert = ExtraireBalise(message, QStringLiteral("<Convert:"));
        serial = ExtraireBalise(message, QStringLiteral("<ASC82Plus:"));
    });
    trap(50, [&] {
        Trace(-1, -1,
              QStringLiteral("UDP: LabelDataArrivalUDP_Change: Action: ") + P(job.action) + QStringLiteral(" |Recorder: ") +
                  P(job.recorderText) + QStringLiteral(" |SongId: ") + P(job.songId) + QStringLiteral(" |ArticleId: ") +
                  P(job.articleId) + QStringLiteral(" |AConvertir: ") + P(convert) + QStringLiteral(" |ASC82Plus: ") +
                  P(serial));
    });
    // The serial command goes out whatever the rest of the message.
    trap(60, [&] {
        if (Blank(serial)) return;
        SendPortCOM(serial, QStringLiteral("UDP: LabelDataArrivalUDP_Change: COM: Data sended: "));
    });
    if (Blank(job.action)) {
        Finish(job);
        return;
    }
    if (job.wait <= 0) {
        Act(job);
        return;
    }
    // The delay, bounded, on this line's own timer.
    trap(70, [&] {
        if (job.wait > kMaxWaitDurationMs) {
            Trace(k, -1,
                  QStringLiteral("UDP: LabelDataArrivalUDP_Change: WaitDuration: ") + Num(job.wait) +
                      QStringLiteral(" ms is too long: cut to ") + Num(kMaxWaitDurationMs) + QStringLiteral(" ms"));
            job.wait = kMaxWaitDurationMs;
        }
        const QString sub = QStringLiteral("FrmSetup") + QLatin1Char(':') + QStringLiteral("LabelDataArrivalUDP_Change");
        Trace(-1, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: WaitDuration: ") + Num(job.wait) +
                          QStringLiteral(" ms |Start |Sub: ") + sub);
    });
    job.deadline = CurrentClock().tickMs() + job.wait;
    job.timer.setInterval(int(qMin<qint64>(job.wait, kWaitLookMs)));
    QObject::connect(&job.timer, &QTimer::timeout, [&job] {
        if (RemoteClosing() || CurrentClock().tickMs() >= job.deadline) WaitOver(job);
    });
    job.timer.start();
}

void CommandTestUDP_Click(int index) {
    ErrorTrap trap(QStringLiteral("FrmSetup:CommandTestUDP_Click"));
    trap(10, [&] {
        if (index == 0) PutInInbox(0, QStringLiteral("<Record:Start><Recorder:1><ArticleId:ART00009>"));
        else if (index == 1) PutInInbox(0, QStringLiteral("<Record:Stop><Recorder:1>"));
    });
}

void Command_Click() {
    ErrorTrap trap(QStringLiteral("FrmSetup:Command_Click"));
    trap(10, [&] { PutInInbox(0, QStringLiteral("<Record:Start><SongId:99999999><Recorder:1>")); });
}

void Command1_Click() {
    ErrorTrap trap(QStringLiteral("FrmSetup:Command1_Click"));
    trap(10, [&] { PutInInbox(0, QStringLiteral("<Record:Stop><SongId:99999999><Recorder:1>")); });
}

void InstallUdpRemote() {
    InstallUdpTransport();
    UdpMessageSink& sink = UdpSink();
    sink.Interpret = [](int k, const QString& message) { LabelDataArrivalUDP_Change(k, message); };
    sink.Busy = UdpLineBusy;
    sink.CarriesCommand = UdpMessageCarriesCommand;
}

void ResetUdpRemote() {
    ResetUdpTransport();
    ResetUdpCommandState();
}
