#pragma once
// UDP transport: the nine input lines (bound sockets, reception queues and the
// queue timer that hands messages to the command interpreter) and the output
// sockets of the nine targets. The sockets, the queues and the timer belong to
// the hidden companion window Frm_MainBis; the parameters are the station's
// settings (Station()).
#include "platform/udp_socket.h"
#include "remote/message_text.h"
#include "settings/station_config.h"

#include <functional>

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <array>
#include <deque>
#include <memory>

constexpr int kUdpOutSockets = 12;        // output sockets 0..11, 0..8 used by the targets
constexpr int kUdpQueueCap = 1000;        // messages waiting on one input line at most
constexpr int kUdpReadMax = 1024;         // bytes read of one datagram
constexpr int kUdpHandOverGapMs = 200;    // between two hand-overs to the interpreter
constexpr int kUdpTimerMs = 10;           // period of TimerUDP while messages wait

struct FrmMainBis {
    std::array<std::unique_ptr<platform::SocketWrench>, kUdpLines> SocketWrenchUDPIn;
    std::array<std::unique_ptr<platform::SocketWrench>, kUdpOutSockets> SocketWrenchUDPOut;
    // Reception queues (ListeUDPIn), first in first out.
    std::array<std::deque<QString>, kUdpLines> ListeUDPIn;
    // Last address and port to which each output socket sent.
    std::array<QString, kUdpOutSockets> LastAddress;
    std::array<qint32, kUdpOutSockets> LastPort{};
    // Destination each output socket is connected to (empty while closed):
    // a send elsewhere reconnects it, even when the last write failed.
    std::array<QString, kUdpOutSockets> ConnectedAddress;
    std::array<qint32, kUdpOutSockets> ConnectedPort{};
    QTimer TimerUDP;
    // Period of TimerUDP while a line can take a message; while every waiting
    // message sits behind a line still interpreting one, it ticks every
    // kUdpHandOverGapMs only.
    int ReadyIntervalMs = kUdpTimerMs;
    // A message of the line is being handed over (its interpreter runs).
    std::array<bool, kUdpLines> HandOverRunning{};
    // Clock tick of the latest hand-over of each line (0 none), and the line
    // that had the last turn (the lines take turns).
    std::array<qint64, kUdpLines> LastHandOverTick{};
    int LastLine = kUdpLines - 1;
    // Datagrams dropped since the queue of the line became full.
    std::array<qint64, kUdpLines> Dropped{};
    bool Loaded = false;
};

// The companion window's state (created at first use).
FrmMainBis& MainBis();
// The companion window's load and unload: sockets created, timer wired;
// at unload every socket is closed and the timer stopped.
void FrmMainBis_Load();
void FrmMainBis_Unload();

// Input lines
void CheckUDPInActif_Click(int k);
void SocketWrenchUDPIn_OnRead(int k);
void SocketWrenchUDPIn_OnError(int k, int number, const QString& text);
// Queue timer: hands the oldest waiting message of the next line (in turn)
// that can take one to the interpreter, at least kUdpHandOverGapMs after
// that line's previous hand-over. A line whose message is still being
// interpreted (it waits) takes no other; the other lines go on meanwhile.
void TimerUDP_Timer();

// The interpreter of a line has finished a message: messages waiting behind
// it are looked at without waiting for the slow tick.
void KickUdpQueue();

// Where the messages of the input lines go: the command interpreter, set
// when the UDP remote control is installed.
struct UdpMessageSink {
    std::function<void(int line, const QString& message)> Interpret;
    // The interpreter still works on a message of the line.
    std::function<bool(int line)> Busy;
    // A message that asks for something; any other is dropped on arrival.
    std::function<bool(const QString& message)> CarriesCommand;
};
UdpMessageSink& UdpSink();
// Hands a message of line k to the interpreter at once (it waits in the
// line's queue while the line is busy).
void PutInInbox(int k, const QString& message);
// Puts a message at the end of line k's queue.
void QueueUdpMessage(int k, const QString& message);

// What the setup window shows of the input lines: a line bound (its fields
// locked) or released, and the last message received.
struct UdpDisplayHooks {
    std::function<void(int line, bool bound)> LineBound;
    std::function<void(int line, const QString& text)> Received;
};
UdpDisplayHooks& UdpDisplay();

// Output
// A literal address in its plain dotted form ("127.1" and "::ffff:127.0.0.1"
// are 127.0.0.1); any other text is returned trimmed.
QString CanonicalTargetAddress(const QString& address);
void SendDataUDPSocketWrench(int t, const QString& address, qint32 port, const QString& data);
void BtnUDPSend_Click(int t);
void SocketWrenchUDPOut_OnError(int t, int number, const QString& text);

// The bytes of an outgoing datagram (UTF-8).
QByteArray DatagramBytes(const QString& text);
// A text from the network made fit for one trace line: control characters
// are shown as \r, \n, \t or \xNN.
QString PrintableText(const QString& text);

// Installs the transport's part (the silence alarm's notifications).
void InstallUdpTransport();
// Tests: closes every socket, empties the queues.
void ResetUdpTransport();
