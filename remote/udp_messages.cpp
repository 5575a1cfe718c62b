// The interpreter of the UDP command messages and the notifications that
// follow a stop.
#include "remote/udp_messages.h"

#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "remote/clock_wait.h"
#include "remote/serial_link.h"
#include "remote/udp_transport.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QObject>

using remote_detail::WaitTicks;

namespace {

const QString kWhere = QStringLiteral("FrmSetup:LabelDataArrivalUDP_Change");

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

// The podcast (or conversion) notification of recorder r after a stop.
void Notify(int k, int r, bool podcast, const StoppedRecording& stopped) {
    FrmSetupControls& c = Setup();
    const CheckBoxCtl& option = podcast ? c.CheckUDPPodcaster[size_t(r)] : c.CheckUDPConvertir[size_t(r)];
    const ComboCtl& targets = podcast ? c.ComboEmissionUDPPodcaster[size_t(r)] : c.ComboEmissionUDPConvertir[size_t(r)];
    Trace(k, r, (podcast ? QStringLiteral("UDP: CheckUDPPodcaster: ") : QStringLiteral("UDP: CheckUDPConvertir: ")) +
                    Num(option.value()));
    if (option.value() != 1) return;
    const int entry = targets.listIndex();
    if (podcast) Trace(k, r, QStringLiteral("UDP: ComboEmissionUDPPodcaster(NoPipe).ListIndex: ") + Num(entry));
    if (entry <= 0 || entry > kUdpTargets) return;
    const int t = entry - 1;
    const QString address = c.TexteUDPIPCible[size_t(t)].text().trimmed();
    const QString portText = c.TexteUDPPortCible[size_t(t)].text().trimmed();
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

// The stop of recorder r, then its notifications once its file is closed.
void RemoteStop(ErrorTrap& trap, int k, int r) {
    platform::ActiveSoundRecorder* engine = S().ActiveSoundRecorder1[size_t(r)];
    const bool recording = RecorderEngineRecording(r);
    bool closed = false;
    QObject context;
    if (recording && engine) {
        QObject::connect(engine, &platform::ActiveSoundRecorder::RecordingFinalizationDone, &context,
                         [&closed, r](int index, bool) {
                             if (index == r) closed = true;
                         });
    }
    StoppedRecording stopped;
    trap(290, [&] {
        const UdpCommandState& st = UdpCommands();
        stopped = {st.PvSArticleId[size_t(r)], st.PvSSongId[size_t(r)], S().slot[size_t(r)].AnnouncedFilePath};
    });
    trap(300, [&] {
        S().RemoteActionRunning = true;
        BtnStopOn(r);
    });
    trap(310, [&] { S().RemoteActionRunning = false; });
    // The services are told about a file that is complete.
    trap(320, [&] {
        if (!recording || !engine) return;
        if (!platform::WaitInEventLoop([&] { return closed || RemoteClosing(); }, kFinalisationWaitMs) && !closed)
            TraceLog(k, r, -1,
                     QStringLiteral("Err: UDP: Recording file not closed ") + Num(kFinalisationWaitMs) +
                         QStringLiteral(" ms after the stop: announced anyway: ") + stopped.path,
                     true, true);
    });
    trap(330, [&] { Notify(k, r, true, stopped); });
    trap(340, [&] { Notify(k, r, false, stopped); });
}

void RemoteStart(ErrorTrap& trap, int k, int r, const QString& songId, const QString& articleId) {
    UdpCommandState& st = UdpCommands();
    XPButton& record = S().main.rec[size_t(r)].XPButtonRecord;
    bool already = false;
    trap(200, [&] {
        already = record.Checked();
        if (already) Framed(k, r, QStringLiteral("Err: Record already started: No action"), QStringLiteral("="));
    });
    if (already) return;
    trap(210, [&] {
        record.setChecked(true);
        Trace(-1, r, QStringLiteral("XPButtonRecord.Checked: True |Sub: ") + kWhere);
        S().RemoteActionRunning = true;
        st.PvSSongId[size_t(r)].clear();
        S().slot[size_t(r)].AnnouncedFilePath.clear();
        st.PvSArticleId[size_t(r)].clear();
        if (Setup().CheckRecord128.value() == 1) S().Force128Kbits = true;
    });
    trap(220, [&] {
        if (!Blank(articleId)) {
            BtnRecordOn(r, QString(), articleId, QString());
            st.PvSArticleId[size_t(r)] = articleId;
            Trace(-1, r, QStringLiteral("ArticleId set to: ") + P(st.PvSArticleId[size_t(r)]));
        } else if (!Blank(songId)) {
            BtnRecordOn(r, QString(), songId, QString());
            st.PvSSongId[size_t(r)] = songId;
            Trace(-1, r, QStringLiteral("PvSSongId set to: ") + P(st.PvSSongId[size_t(r)]));
        } else {
            BtnRecordOn(r);
        }
    });
    trap(230, [&] {
        S().Force128Kbits = false;
        S().RemoteActionRunning = false;
    });
}

}  // namespace

bool RemoteClosing() { return S().QuitRequested || MainState().UnloadStarted; }

UdpCommandState& UdpCommands() {
    static UdpCommandState state;
    return state;
}

void ResetUdpCommandState() { UdpCommands() = UdpCommandState{}; }

void LabelDataArrivalUDP_Change(int k) {
    ErrorTrap trap(kWhere);
    if (!trap(5, [&] {
            if (k < 0 || k >= kUdpLines) RaiseError(9, QStringLiteral("Subscript out of range"));
        }))
        return;
    UdpCommandState& st = UdpCommands();
    LabelCtl& inbox = Setup().LabelDataArrivalUDP[size_t(k)];

    // 1. A message of this line is still being interpreted: this one waits
    // for it, for a while.
    bool busy = false;
    trap(10, [&] {
        if (st.InProcess[size_t(k)] && !Blank(inbox.text())) {
            const QString arriving = inbox.text();
            if (!WaitTicks(kInProcessWaitMs, [&] { return !st.InProcess[size_t(k)] || RemoteClosing(); }, true) &&
                st.InProcess[size_t(k)])
                Framed(k, -1, QStringLiteral("UDP: Receipt: ") + P(arriving) + QStringLiteral(" But InProcess: Aborted"),
                       QStringLiteral("*"));
        }
        busy = st.InProcess[size_t(k)];
    });
    if (busy) return;

    // 2-3.
    QString message;
    trap(20, [&] {
        st.InProcess[size_t(k)] = true;
        message = inbox.text();
    });
    if (!Blank(message)) {
        // 4-6.
        trap(30, [&] {
            Framed(k, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: Start: |Data: ") + P(message),
                   QStringLiteral("="));
            Trace(k, -1, QStringLiteral("UDP: Receipt: ") + P(message));
        });
        QString action, recorderText, waitText, songId, articleId, convert, serial;
        qint32 wait = 0;
        trap(40, [&] {
            action = ExtraireBalise(message, QStringLiteral("<Record:"));
            recorderText = ExtraireBalise(message, QStringLiteral("<Recorder:"));
            waitText = ExtraireBalise(message, QStringLiteral("<WaitDuration:"));
            wait = CLngRound(Val(waitText));
            songId = ExtraireBalise(message, QStringLiteral("<SongId:"));
            if (Blank(songId)) songId = ExtraireBalise(message, QStringLiteral("<Song:"));
            articleId = ExtraireBalise(message, QStringLiteral("<ArticleId:"));
            if (Blank(articleId)) articleId = ExtraireBalise(message, QStringLiteral("<Article:"));
            convert = ExtraireBalise(message, QStringLiteral("<Convert:"));
            serial = ExtraireBalise(message, QStringLiteral("<ASC82Plus:"));
        });
        trap(50, [&] {
            Trace(-1, -1,
                  QStringLiteral("UDP: LabelDataArrivalUDP_Change: Action: ") + P(action) + QStringLiteral(" |Recorder: ") +
                      P(recorderText) + QStringLiteral(" |SongId: ") + P(songId) + QStringLiteral(" |ArticleId: ") +
                      P(articleId) + QStringLiteral(" |AConvertir: ") + P(convert) + QStringLiteral(" |ASC82Plus: ") +
                      P(serial));
        });
        // 7. The serial command goes out whatever the rest of the message.
        trap(60, [&] {
            if (Blank(serial)) return;
            SendPortCOM(serial, QStringLiteral("UDP: LabelDataArrivalUDP_Change: COM: Data sended: "));
        });
        bool closing = false;
        if (!Blank(action)) {
            // 9. The delay, bounded.
            trap(70, [&] {
                if (wait <= 0) return;
                if (wait > kMaxWaitDurationMs) {
                    Trace(k, -1,
                          QStringLiteral("UDP: LabelDataArrivalUDP_Change: WaitDuration: ") + Num(wait) +
                              QStringLiteral(" ms is too long: cut to ") + Num(kMaxWaitDurationMs) + QStringLiteral(" ms"));
                    wait = kMaxWaitDurationMs;
                }
                const QString sub = QStringLiteral("FrmSetup") + QLatin1Char(':') + QStringLiteral("LabelDataArrivalUDP_Change");
                Trace(-1, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: WaitDuration: ") + Num(wait) +
                                  QStringLiteral(" ms |Start |Sub: ") + sub);
                WaitTicks(wait, RemoteClosing);
                Trace(-1, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: WaitDuration: ") + Num(wait) +
                                  QStringLiteral(" ms |End |Sub: ") + sub);
                if (RemoteClosing()) {
                    Trace(k, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: the program is closing: no action"));
                    closing = true;
                }
            });
            // 10. The recorder.
            int r = -1;
            bool named = false;
            trap(80, [&] {
                r = RecorderIndex(recorderText);
                Trace(k, -1, QStringLiteral("UDP: Action: ") + P(action));
                named = !Blank(recorderText);
            });
            if (named && !closing && trap(90, [&] {
                    if (r < 0)
                        RaiseError(9, QStringLiteral("Subscript out of range: Recorder: ") + P(recorderText) +
                                          QStringLiteral(" is not a recorder (1 to 8): no action"));
                    // A recorder out of service has no capture: a start would
                    // be announced later for a file that was never made.
                    if (r >= qBound(0, int(S().RecorderCount), kRecorders))
                        RaiseError(9, QStringLiteral("Subscript out of range: Recorder: ") + P(recorderText) +
                                          QStringLiteral(" is not in service: no action"));
                })) {
                // 11.
                trap(100, [&] { S().slot[size_t(r)].RemoteCommandActive = true; });
                if (Is(action, "Start") || Is(action, "On")) {
                    RemoteStart(trap, k, r, songId, articleId);
                } else if (Is(action, "Pause")) {
                    trap(400, [&] {
                        XPButton& pause = S().main.rec[size_t(r)].XPButtonPause;
                        pause.setChecked(!pause.Checked());
                        S().RemoteActionRunning = true;
                        BtnPauseOn(r);
                    });
                    trap(410, [&] { S().RemoteActionRunning = false; });
                } else if (Is(action, "Stop") || Is(action, "Off")) {
                    RemoteStop(trap, k, r);
                } else {
                    trap(500, [&] { Trace(k, -1, QStringLiteral("UDP: Unknow action: ") + P(action)); });
                }
                trap(510, [&] { S().slot[size_t(r)].RemoteCommandActive = false; });
            }
        }
        // 12.
        trap(600, [&] {
            Framed(k, -1, QStringLiteral("UDP: LabelDataArrivalUDP_Change: End: |Data: ") + P(message),
                   QStringLiteral("="));
        });
        trap(610, [&] { inbox.setText(QString()); });
    }
    // 13.
    st.InProcess[size_t(k)] = false;
    trap(700, [&] { KickUdpQueue(); });
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
