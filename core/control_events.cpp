// The control socket's life in the program, and the events its subscribers
// receive: recorder states, files started and finished, incidents.
#include "control/control_server.h"
#include "core/control_bridge.h"
#include "core/frm_main.h"
#include "platform/capture/active_sound_recorder.h"
#include "support/app_globals.h"
#include "support/incident_log.h"
#include "support/tracelog.h"

#include <QFileInfo>
#include <array>

namespace {

struct Socket {
    RecorderControl target;
    control::ControlServer* server = nullptr;
    QObject* context = nullptr;
    std::array<QString, kRecorders> lastState;
};

Socket& S0() {
    static Socket* s = new Socket;
    return *s;
}

void Publish(const QJsonObject& event) {
    if (S0().server) S0().server->Publish(event);
}

void PublishState(int i) {
    const QJsonObject status = RecorderControl::StatusOf(i);
    const QString state = status.value(QStringLiteral("state")).toString() +
                          (status.value(QStringLiteral("wanted")).toBool() ? QStringLiteral("+") : QString());
    QString& last = S0().lastState[size_t(i)];
    if (state == last) return;
    last = state;
    Publish({{QStringLiteral("event"), QStringLiteral("state")},
             {QStringLiteral("recorder"), i + 1},
             {QStringLiteral("state"), status.value(QStringLiteral("state"))},
             {QStringLiteral("state_text"), status.value(QStringLiteral("state_text"))},
             {QStringLiteral("wanted"), status.value(QStringLiteral("wanted"))}});
}

void Connect() {
    QObject* ctx = S0().context;
    for (int i = 0; i < kRecorders; ++i) {
        Recorder* r = &Rec(i);
        QObject::connect(r, &Recorder::StateChanged, ctx, [](int index) { PublishState(index); });
        QObject::connect(r, &Recorder::FileStarted, ctx, [](int index, const QString& path) {
            Publish({{QStringLiteral("event"), QStringLiteral("file-started")},
                     {QStringLiteral("recorder"), index + 1},
                     {QStringLiteral("path"), path}});
        });
        QObject::connect(r, &Recorder::FileFinished, ctx, [](int index, const QString& path, bool ok) {
            const platform::ActiveSoundRecorder* e = Rec(index).engine();
            Publish({{QStringLiteral("event"), QStringLiteral("file-finished")},
                     {QStringLiteral("recorder"), index + 1},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("seconds"), e ? double(e->RecordingPositionMs()) / 1000.0 : 0.0},
                     {QStringLiteral("bytes"), path.isEmpty() ? 0 : QFileInfo(path).size()},
                     {QStringLiteral("ok"), ok}});
        });
    }
    IncidentList().Added = [](const IncidentRecord& r) {
        QJsonObject o{{QStringLiteral("event"), QStringLiteral("incident")},
                      {QStringLiteral("seq"), r.Seq},
                      {QStringLiteral("time"), r.Time.toOffsetFromUtc(r.Time.offsetFromUtc()).toString(Qt::ISODate)},
                      {QStringLiteral("text"), r.Text}};
        if (r.Recorder >= 0 && r.Recorder < kRecorders) o.insert(QStringLiteral("recorder"), r.Recorder + 1);
        Publish(o);
    };
}

}  // namespace

void OpenControlSocket() {
    Socket& s = S0();
    if (s.server) return;
    s.context = new QObject;
    s.server = new control::ControlServer(s.target);
    QObject::connect(s.server, &control::ControlServer::traceLine, s.context,
                     [](const QString& text) { TraceLog(-1, -1, -1, text); });
    if (!s.server->Listen(App().InstanceNumber)) {
        TraceLogEncadre(-1, -1, -1, QStringLiteral("Err: Control socket not opened: ") + s.server->error(),
                        QStringLiteral("="), true);
    }
    Connect();
}

void CloseControlSocket() {
    Socket& s = S0();
    IncidentList().Added = nullptr;
    if (s.server) {
        s.server->Close();
        delete s.server;
        s.server = nullptr;
    }
    delete s.context;
    s.context = nullptr;
    s.lastState = {};
}

control::ControlServer* ControlSocket() { return S0().server; }
