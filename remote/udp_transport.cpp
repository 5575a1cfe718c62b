// UDP transport: binding of the input lines, reception into the queues, the
// queue timer that hands messages to the interpreter, and the output sockets.
#include "remote/udp_transport.h"

#include "platform/os.h"
#include "recording/recording.h"
#include "recording/loudness_alarm.h"
#include "recording/silence_alarm.h"
#include "remote/clock_wait.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QHostAddress>
#include <QStringDecoder>

using remote_detail::WaitTicks;

namespace {

const QString kSubBind = QStringLiteral("FrmSetup:CheckUDPInActif_Click");
const QString kSubRead = QStringLiteral("Frm_MainBis:SocketWrenchUDPIn_OnRead");
const QString kSubSend = QStringLiteral("Frm_MainBis:SendDataUDPSocketWrench");

// Trace lines of this module: column 1 carries the input line or the output
// socket (-1 for the binding lines), flushed at once.
void Trace(int column1, const QString& text, bool incident = false) {
    TraceLog(column1, -1, -1, text, incident, true);
}

QString Num(qint64 v) { return QString::number(v); }

bool StartsWithDigit(const QString& s) {
    return !s.isEmpty() && s.at(0) >= QLatin1Char('0') && s.at(0) <= QLatin1Char('9');
}

// An address that stands for every interface of the computer.
bool IsEveryInterface(const QString& address) {
    QHostAddress a;
    if (!a.setAddress(address.trimmed())) return false;
    return a == QHostAddress(QHostAddress::AnyIPv4) || a == QHostAddress(QHostAddress::AnyIPv6);
}

QString ErrorPart(const platform::SocketWrench& s) { return Num(s.LastError()) + QStringLiteral(": ") + s.LastErrorText(); }

FrmMainBis& State() {
    // Lives for the whole process, like the window it stands for.
    static FrmMainBis* bis = [] {
        auto* b = new FrmMainBis;
        b->TimerUDP.setInterval(kUdpTimerMs);
        b->TimerUDP.setTimerType(Qt::PreciseTimer);
        QObject::connect(&b->TimerUDP, &QTimer::timeout, [] { TimerUDP_Timer(); });
        return b;
    }();
    return *bis;
}

platform::SocketWrench& InSocket(int k) {
    auto& s = State().SocketWrenchUDPIn[size_t(k)];
    if (!s) {
        s = std::make_unique<platform::SocketWrench>();
        s->OnRead = [k] { SocketWrenchUDPIn_OnRead(k); };
        s->OnError = [k](int number, const QString& text) { SocketWrenchUDPIn_OnError(k, number, text); };
    }
    return *s;
}

platform::SocketWrench& OutSocket(int t) {
    auto& s = State().SocketWrenchUDPOut[size_t(t)];
    if (!s) {
        s = std::make_unique<platform::SocketWrench>();
        s->OnError = [t](int number, const QString& text) { SocketWrenchUDPOut_OnError(t, number, text); };
    }
    return *s;
}

// Releases input line k for the in-service box; doneText is traced on success.
void DisconnectLine(int k, const QString& doneText) {
    platform::SocketWrench& s = InSocket(k);
    if (s.Disconnect() == 0) Trace(-1, doneText);
    else
        Trace(-1, QStringLiteral("Err: UDP: SocketWrenchUDPIn.Disconnect: ") + ErrorPart(s) + QStringLiteral(" (Index: ") +
                      Num(k) + QStringLiteral(") |Sub") + kSubBind);
}

void CheckLine(int k) {
    if (k < 0 || k >= kUdpLines) RaiseError(9, QStringLiteral("Subscript out of range"));
}

// A line whose message is still being interpreted takes no other.
bool LineBusy(int k) {
    return State().HandOverRunning[size_t(k)] || (UdpSink().Busy && UdpSink().Busy(k));
}

bool StartupDone() { return RecordingEnv().StartupDone && RecordingEnv().StartupDone(); }

// A line may take its next message: not busy, and its last one handed over
// at least kUdpHandOverGapMs ago.
bool LineReady(int k, qint64 now) {
    const FrmMainBis& b = State();
    if (b.ListeUDPIn[size_t(k)].empty() || LineBusy(k)) return false;
    const qint64 last = b.LastHandOverTick[size_t(k)];
    return last == 0 || now - last > kUdpHandOverGapMs || now < last;
}

bool AnyQueued() {
    for (const auto& q : State().ListeUDPIn)
        if (!q.empty()) return true;
    return false;
}

// The timer runs only while some queue holds messages: at its short period
// when a line can take one, slowly while they all wait behind lines that are
// still interpreting (it keeps running, so they are handed over after).
void RearmTimer() {
    FrmMainBis& b = State();
    if (!AnyQueued() || ProgramQuitting() || ProgramUnloading()) return;
    // A line that can take a message (now, or once its gap has passed) is
    // looked at the short period; lines that are all busy, slowly.
    bool ready = false;
    for (int i = 0; i < kUdpLines && !ready; ++i) ready = !b.ListeUDPIn[size_t(i)].empty() && !LineBusy(i);
    // Before the end of the start-up nothing is handed over: a slow look.
    if (!StartupDone()) ready = false;
    const int interval = ready ? qMax(1, b.ReadyIntervalMs) : kUdpHandOverGapMs;
    if (!b.TimerUDP.isActive() || b.TimerUDP.remainingTime() > interval) b.TimerUDP.start(interval);
}

void Enqueue(int k, const QString& text) {
    FrmMainBis& b = State();
    auto& queue = b.ListeUDPIn[size_t(k)];
    if (int(queue.size()) >= kUdpQueueCap) {
        qint64& dropped = b.Dropped[size_t(k)];
        ++dropped;
        // The first loss of a full queue is an incident; the others are traced.
        Trace(k, QStringLiteral("Err: UDP: Reception queue full (") + Num(kUdpQueueCap) +
                     QStringLiteral(" messages): datagram dropped: ") + PrintableText(text),
              dropped == 1);
        return;
    }
    queue.push_back(text);
}

QString Pop(int k) {
    FrmMainBis& b = State();
    auto& queue = b.ListeUDPIn[size_t(k)];
    const QString message = queue.front();
    queue.pop_front();
    qint64& dropped = b.Dropped[size_t(k)];
    if (dropped > 0) {
        Trace(k, QStringLiteral("Err: UDP: Reception queue full: ") + Num(dropped) +
                     QStringLiteral(" datagram(s) dropped"),
              true);
        dropped = 0;
    }
    return message;
}

}  // namespace

void PutInInbox(int k, const QString& message) {
    if (UdpSink().Interpret) UdpSink().Interpret(k, message);
}

UdpMessageSink& UdpSink() {
    static UdpMessageSink sink;
    return sink;
}

void QueueUdpMessage(int k, const QString& message) {
    if (k < 0 || k >= kUdpLines) return;
    Enqueue(k, message);
    RearmTimer();
}

UdpDisplayHooks& UdpDisplay() {
    static UdpDisplayHooks hooks;
    return hooks;
}

FrmMainBis& MainBis() { return State(); }

void KickUdpQueue() { RearmTimer(); }

void FrmMainBis_Load() {
    ErrorTrap trap(QStringLiteral("Frm_MainBis:Form_Load"));
    trap(10, [&] {
        FrmMainBis& b = State();
        b.Loaded = true;
        for (int k = 0; k < kUdpLines; ++k) InSocket(k);
        for (int t = 0; t < kUdpOutSockets; ++t) OutSocket(t);
    });
}

void FrmMainBis_Unload() {
    ErrorTrap trap(QStringLiteral("Frm_MainBis:Form_Unload"));
    trap(10, [&] {
        FrmMainBis& b = State();
        b.TimerUDP.stop();
        for (auto& s : b.SocketWrenchUDPIn)
            if (s) s->Disconnect();
        for (auto& s : b.SocketWrenchUDPOut)
            if (s) s->Disconnect();
        b.Loaded = false;
    });
}

// ---------------------------------------------------------------- input lines

void CheckUDPInActif_Click(int k) {
    ErrorTrap trap(kSubBind);
    if (!trap(5, [&] { CheckLine(k); })) return;
    const UdpLineConfig& line = Station().UdpIn[size_t(k)];
    const QString index = QStringLiteral(" (Index: ") + Num(k) + QLatin1Char(')');
    auto bound = [k](bool on) {
        if (UdpDisplay().LineBound) UdpDisplay().LineBound(k, on);
    };
    if (line.Active) {
        QString address;
        qint32 port = 0;
        bool go = true;
        trap(10, [&] {
            address = line.Address.trimmed();
            port = CLngRound(Val(line.Port));
        });
        trap(20, [&] {
            if (!address.isEmpty()) return;
            Trace(-1, QStringLiteral("Err: Unable to Check CheckUDPInActif because of IP source is empty"));
            go = false;
        });
        if (go) {
            trap(30, [&] {
                DisconnectLine(k, QStringLiteral("UDP: SocketWrenchUDPIn.Disconnected") + index);
                if (InSocket(k).Handle() != -1) go = false;
            });
        }
        if (go) {
            trap(40, [&] {
                if (StartsWithDigit(address)) return;
                platform::SocketWrench& s = InSocket(k);
                QString resolved;
                if (s.Resolve(address, resolved) == 0) {
                    Trace(-1, QStringLiteral("UDP: SocketWrenchUDPin.Resolve: HostName changed to HostAddress: ") +
                                  address + QStringLiteral(" to ") + resolved);
                    address = resolved;
                } else {
                    Trace(-1, QStringLiteral("Warning: UDP: SocketWrenchUDPin.Resolve: ") + ErrorPart(s) +
                                  QStringLiteral(" |Sub: ") + kSubBind);
                }
            });
            trap(50, [&] {
                // A line listens on one interface, never on all of them.
                if (!IsEveryInterface(address)) return;
                QString own = Station().HostAddress.trimmed();
                if (own.isEmpty() || IsEveryInterface(own)) own = platform::HostAddress();
                Trace(-1, QStringLiteral("UDP: SocketWrenchUDPIn: ") + address +
                              QStringLiteral(" would listen on every interface: this computer's address ") + own +
                              QStringLiteral(" is used") + index);
                address = own;
            });
            trap(60, [&] {
                platform::SocketWrench& s = InSocket(k);
                Trace(-1, QStringLiteral("UDP: SocketWrenchUDPIn: Try to Bind: ") + address + QLatin1Char(':') +
                              Num(port) + index);
                if (s.Bind(address, port) == 0) {
                    Trace(-1, QStringLiteral("UDP: SocketWrenchUDPIn.Binded to: ") + address + QLatin1Char(':') +
                                  Num(port) + index);
                    bound(true);
                } else {
                    // A line in service that cannot listen is deaf to its
                    // remote commands: the operator must see it.
                    const QString head = s.LastError() == 11001 ? QStringLiteral("Warning: UDP: SocketWrenchUDPIn.Bind: ")
                                                                : QStringLiteral("Err: UDP: SocketWrenchUDPIn.Bind: ");
                    Trace(-1, head + ErrorPart(s) + index + QStringLiteral(" |Sub") + kSubBind, true);
                }
            });
        }
    } else {
        trap(70, [&] { DisconnectLine(k, QStringLiteral("UDP: SocketWrenchUDPIn.Disconnected ") + index); });
        trap(80, [&] { bound(false); });
    }
}

void SocketWrenchUDPIn_OnRead(int k) {
    ErrorTrap trap(kSubRead);
    if (!trap(5, [&] { CheckLine(k); })) return;
    platform::SocketWrench& s = InSocket(k);
    QByteArray bytes;
    qint64 n = 0;
    trap(10, [&] { n = s.Read(bytes, kUdpReadMax); });
    const QString remote = s.RemoteAddress() + QLatin1Char(':') + Num(s.RemotePort());
    if (n == -1) {
        trap(20, [&] {
            if (s.LastError() == 10054) {
                Trace(k,
                      QStringLiteral("Err: UDP: SocketWrenchUDPIn_OnRead: There is no server running on the specified "
                                     "host address and/or port number |Remote: ") +
                          remote,
                      true);
                Trace(k, QStringLiteral("Err: UDP: SocketWrenchUDPIn_OnRead: ") + ErrorPart(s));
                if (s.Handle() != -1) {
                    if (s.Disconnect() == 0) Trace(k, QStringLiteral("UDP: SocketWrenchUDPIn.Disconnect: True"));
                    else
                        Trace(k, QStringLiteral("Err: UDP: SocketWrenchUDPIn.Disconnect: ") + ErrorPart(s) +
                                     QStringLiteral(" |Sub") + kSubRead);
                }
            } else {
                Trace(k,
                      QStringLiteral("Err: UDP: SocketWrenchUDPIn_OnRead: ") + ErrorPart(s) +
                          QStringLiteral("  |Remote: ") + remote + QStringLiteral(" |Sub") + kSubRead,
                      true);
            }
        });
        return;
    }
    if (n <= 0) return;
    trap(30, [&] {
        const QString text = DatagramText(bytes);
        Trace(k, QStringLiteral("UDP: OnRead: Data read from the socket: ") + PrintableText(text));
        if (text.trimmed().isEmpty()) return;
        if (UdpDisplay().Received) UdpDisplay().Received(k, TimingMilliSec() + QStringLiteral(" | ") + PrintableText(text));
        // A message that asks for nothing never takes the line's turn.
        if (UdpSink().CarriesCommand && !UdpSink().CarriesCommand(text)) {
            Trace(k, QStringLiteral("Err: UDP: No command in the message: dropped: ") + PrintableText(text));
            return;
        }
        Enqueue(k, text);
        RearmTimer();
    });
}

void SocketWrenchUDPIn_OnError(int k, int number, const QString& text) {
    ErrorTrap trap(QStringLiteral("Frm_MainBis:SocketWrenchUDPIn_OnError"));
    trap(10, [&] { Trace(k, QStringLiteral("UDP: SocketWrenchUDPIn_OnError |Err: ") + Num(number) + QStringLiteral(": ") + text); });
}

// ---------------------------------------------------------------- queue timer

void TimerUDP_Timer() {
    ErrorTrap trap(QStringLiteral("Frm_MainBis:TimerUDP_Timer"));
    FrmMainBis& b = State();
    trap(10, [&] { b.TimerUDP.stop(); });
    if (ProgramQuitting() || ProgramUnloading()) return;
    // Messages that arrive while the program starts wait for the recorders.
    if (!StartupDone()) {
        trap(20, [&] { RearmTimer(); });
        return;
    }
    int k = -1;
    trap(30, [&] {
        // The lines take turns: a busy or flooded line never holds up another.
        const qint64 now = CurrentClock().tickMs();
        for (int n = 1; n <= kUdpLines; ++n) {
            const int i = (b.LastLine + n) % kUdpLines;
            if (!LineReady(i, now)) continue;
            k = i;
            break;
        }
    });
    if (k >= 0) {
        QString message;
        trap(40, [&] { message = Pop(k); });
        trap(50, [&] {
            b.HandOverRunning[size_t(k)] = true;
            b.LastLine = k;
            b.LastHandOverTick[size_t(k)] = CurrentClock().tickMs();
            // The other lines go on while this message is interpreted.
            RearmTimer();
            TraceLogEncadre(k, -1, -1, PrintableText(message), QStringLiteral("*"));
        });
        // The line is marked busy by the interpreter until the message is done.
        trap(60, [&] {
            b.HandOverRunning[size_t(k)] = false;
            PutInInbox(k, message);
        });
    }
    trap(80, [&] { RearmTimer(); });
}

// ---------------------------------------------------------------- output

void SendDataUDPSocketWrench(int t, const QString& address, qint32 port, const QString& data) {
    ErrorTrap trap(kSubSend);
    if (!trap(5, [&] {
            if (t < 0 || t >= kUdpOutSockets) RaiseError(9, QStringLiteral("Subscript out of range"));
        }))
        return;
    QString target = address.trimmed();
    if (target.isEmpty()) return;
    FrmMainBis& b = State();
    platform::SocketWrench& s = OutSocket(t);
    trap(10, [&] {
        if (StartsWithDigit(target)) return;
        QString resolved;
        if (s.Resolve(target, resolved) == 0) {
            Trace(t, QStringLiteral("UDP: SocketWrenchUDPOut.Resolve: HostName changed to HostAddress: ") + target +
                         QStringLiteral(" to ") + resolved);
            target = resolved;
        } else {
            Trace(t, QStringLiteral("Warning: UDP: SocketWrenchUDPOut.Resolve: ") + ErrorPart(s) +
                         QStringLiteral(" |Sub: ") + kSubSend);
        }
    });
    // Nothing is ever sent to this address, however it is written; an
    // address of every interface would reach this computer the same way.
    target = CanonicalTargetAddress(target);
    if (target == QLatin1String("127.0.0.1")) return;
    if (IsEveryInterface(target)) {
        Trace(t, QStringLiteral("Err: UDP: SocketWrenchUDPOut: ") + target +
                     QStringLiteral(" is no destination: nothing sent |Sub") + kSubSend);
        return;
    }
    int rc = 0;
    trap(20, [&] {
        if (s.Handle() == -1) return;
        // The socket is connected somewhere: reused only for that destination.
        if (target == b.ConnectedAddress[size_t(t)] && port == b.ConnectedPort[size_t(t)]) return;
        b.ConnectedAddress[size_t(t)].clear();
        b.ConnectedPort[size_t(t)] = 0;
        rc = s.Disconnect();
        if (rc == 0) Trace(t, QStringLiteral("UDP: SocketWrenchUDPOut.Disconnected"));
        else
            Trace(t, QStringLiteral("Err: UDP: SocketWrenchUDPOut.Disconnect: ") + ErrorPart(s) +
                         QStringLiteral(" |Sub") + kSubSend);
        platform::LetEventsRun();
    });
    trap(30, [&] {
        if (s.Handle() != -1) return;
        rc = s.Connect(target, port);
        if (rc == 0) {
            b.ConnectedAddress[size_t(t)] = target;
            b.ConnectedPort[size_t(t)] = port;
            Trace(t, QStringLiteral("UDP: SocketWrenchUDPOut.Connected to: ") + target + QLatin1Char(':') + Num(port));
        } else {
            // The last address is forgotten: the next send connects again.
            b.LastAddress[size_t(t)].clear();
            b.LastPort[size_t(t)] = 0;
            Trace(t, QStringLiteral("Err: UDP: SocketWrenchUDPOut.Connect: ") + ErrorPart(s) + QStringLiteral(" |Sub") +
                         kSubSend);
        }
        platform::LetEventsRun();
    });
    if (rc == 0) {
        trap(40, [&] {
            const QString payload = data.trimmed().left(kUdpReadMax);
            if (s.Write(DatagramBytes(payload)) == -1) {
                Trace(t, QStringLiteral("Err: UDP: SocketWrenchUDPOut.Write: ") + ErrorPart(s), true);
                return;
            }
            Trace(t, QStringLiteral("UDP: SocketWrenchUDPOut.Write: Data Sent to: ") + target + QLatin1Char(':') +
                         Num(port) + QStringLiteral(" |Data: ") + PrintableText(data));
            b.LastAddress[size_t(t)] = target;
            b.LastPort[size_t(t)] = port;
            // At most about five datagrams a second.
            WaitTicks(kUdpHandOverGapMs, {}, true);
        });
    }
    trap(50, [&] { platform::LetEventsRun(); });
}

QString CanonicalTargetAddress(const QString& address) {
    const QString text = address.trimmed();
    QHostAddress literal;
    if (!literal.setAddress(text)) return text;
    bool mapped = false;
    const quint32 v4 = literal.toIPv4Address(&mapped);
    if (mapped) return QHostAddress(v4).toString();
    return literal.toString();
}

void BtnUDPSend_Click(int t) {
    ErrorTrap trap(QStringLiteral("FrmSetup:BtnUDPSend_Click"));
    if (!trap(5, [&] {
            if (t < 0 || t >= kUdpTargets) RaiseError(9, QStringLiteral("Subscript out of range"));
        }))
        return;
    const UdpTargetConfig& target = Station().UdpOut[size_t(t)];
    const QString message = target.Message;
    if (message.trimmed().isEmpty()) return;
    const QString address = target.Address;
    trap(10, [&] { SendDataUDPSocketWrench(t, address, CLngRound(Val(target.Port)), message); });
    const QString more[] = {target.PortB, target.PortC, target.PortD};
    int line = 20;
    for (const QString& port : more) {
        trap(line, [&] { WaitTicks(24); });
        trap(line + 10, [&] {
            const double value = Val(port);
            if (value > 0) SendDataUDPSocketWrench(t, address, CLngRound(value), message);
        });
        line += 20;
    }
}

void SocketWrenchUDPOut_OnError(int t, int number, const QString& text) {
    ErrorTrap trap(QStringLiteral("Frm_MainBis:SocketWrenchUDPOut_OnError"));
    trap(10, [&] {
        Trace(t, QStringLiteral("UDP: SocketWrenchUDPOut_OnError |Err: ") + Num(number) + QStringLiteral(": ") + text);
    });
}

// ---------------------------------------------------------------- text

QByteArray DatagramBytes(const QString& text) { return text.toUtf8(); }

QString PrintableText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u != 0x7F && !(u >= 0x80 && u < 0xA0)) {
            out += c;
        } else if (u == '\r') {
            out += QStringLiteral("\\r");
        } else if (u == '\n') {
            out += QStringLiteral("\\n");
        } else if (u == '\t') {
            out += QStringLiteral("\\t");
        } else {
            out += QStringLiteral("\\x") + QString::number(int(u), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        }
    }
    return out;
}

// ---------------------------------------------------------------- installation

namespace {

// The silence alarm of a recorder told to UDP target t.
void SendSilenceAlarm(int recorder, int t, bool on) {
    ErrorTrap trap(QStringLiteral("Frm_MainBis:SendSilenceAlarm"));
    trap(10, [&] {
        if (t < 0 || t >= kUdpTargets || ProgramQuitting() || ProgramUnloading()) return;
        const UdpTargetConfig& target = Station().UdpOut[size_t(t)];
        const QString address = target.Address.trimmed();
        const QString portText = target.Port.trimmed();
        const QString text = SilenceAlarmMessage(recorder, on);
        if (address.isEmpty() || portText.isEmpty()) {
            TraceLog(-1, recorder, -1,
                     QStringLiteral("Err: UDP: Silence alarm: target ") + Num(t) +
                         QStringLiteral(" has no address or port: not sent: ") + text,
                     true, true);
            return;
        }
        const qint32 port = CLngRound(Val(portText));
        SendDataUDPSocketWrench(t, address, port, text);
        TraceLog(-1, recorder, -1, QStringLiteral("UDP: Send to: ") + address + QLatin1Char(':') + Num(port) +
                                        QLatin1Char(' ') + text, false, true);
    });
}

// The loudness alarm of a recorder told to UDP target t.
void SendLoudnessAlarm(int recorder, int t, const QString& text) {
    ErrorTrap trap(QStringLiteral("Frm_MainBis:SendLoudnessAlarm"));
    trap(10, [&] {
        if (t < 0 || t >= kUdpTargets || ProgramQuitting() || ProgramUnloading()) return;
        const UdpTargetConfig& target = Station().UdpOut[size_t(t)];
        const QString address = target.Address.trimmed();
        const QString portText = target.Port.trimmed();
        if (address.isEmpty() || portText.isEmpty()) {
            TraceLog(-1, recorder, -1,
                     QStringLiteral("Err: UDP: Loudness alarm: target ") + Num(t) +
                         QStringLiteral(" has no address or port: not sent: ") + text,
                     true, true);
            return;
        }
        const qint32 port = CLngRound(Val(portText));
        SendDataUDPSocketWrench(t, address, port, text);
        TraceLog(-1, recorder, -1, QStringLiteral("UDP: Send to: ") + address + QLatin1Char(':') + Num(port) +
                                        QLatin1Char(' ') + text, false, true);
    });
}

}  // namespace

void InstallUdpTransport() {
    SetSilenceNotifier(SendSilenceAlarm);
    SetLoudnessNotifier(SendLoudnessAlarm);
}

void ResetUdpTransport() {
    FrmMainBis& b = State();
    b.TimerUDP.stop();
    b.TimerUDP.setInterval(kUdpTimerMs);
    b.ReadyIntervalMs = kUdpTimerMs;
    for (auto& s : b.SocketWrenchUDPIn) s.reset();
    for (auto& s : b.SocketWrenchUDPOut) s.reset();
    for (auto& q : b.ListeUDPIn) q.clear();
    for (auto& a : b.LastAddress) a.clear();
    b.LastPort.fill(0);
    for (auto& a : b.ConnectedAddress) a.clear();
    b.ConnectedPort.fill(0);
    b.HandOverRunning.fill(false);
    b.Dropped.fill(0);
    b.LastHandOverTick.fill(0);
    b.LastLine = kUdpLines - 1;
    b.Loaded = false;
}
