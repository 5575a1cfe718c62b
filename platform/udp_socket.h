#pragma once
// The datagram socket of the UDP input lines and targets, with the operations
// and the error numbers that the remote-control code expects of its socket
// component: Disconnect, the handle, Resolve, Bind, Read (one datagram per
// read event), Connect, Write, the last error's number and text, and the
// peer of the last datagram. Built on QUdpSocket; everything runs on the
// event-loop thread and every wait (name lookups, connection) blocks in the
// event loop with a bound.
//
// Error numbers are those of the Windows socket layer, so that the traces
// read as the family's other programs write them (full table in the README):
// 10054 connection reset (the peer's port is closed), 11001 host not found,
// 10048 address in use, 10049 address not available (also a port outside
// 1..65535), 10013 permission denied, -1 any other failure.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QUdpSocket;

namespace platform {

// Error number and text for an error of Qt's sockets (QAbstractSocket::SocketError).
int SocketErrorNumber(int qtSocketError);
QString SocketErrorText(int number);

class SocketWrench {
public:
    SocketWrench();
    ~SocketWrench();
    SocketWrench(const SocketWrench&) = delete;
    SocketWrench& operator=(const SocketWrench&) = delete;

    // Closes the socket (bound or connected). 0; closing a closed socket is no error.
    int Disconnect();
    // The operating system's handle of the socket, -1 when none is open.
    qintptr Handle() const;
    // The first IPv4 address of a host name, in dotted form. 0 on success;
    // else the error number (also left in LastError) and hostAddress unchanged.
    // The lookup runs in the background; the call waits in the event loop.
    int Resolve(const QString& hostName, QString& hostAddress, int timeoutMs = 5000);
    // Opens a datagram socket bound to a literal local address (IPv4 or IPv6)
    // and port, for this program alone (no other socket may share it).
    // 0 or the error number. A name is refused with 11001.
    int Bind(const QString& localAddress, qint32 localPort);
    // Takes the next waiting datagram: at most maxLength bytes of it into
    // data, the rest of a longer datagram is lost. The number of bytes; 0 when
    // no datagram is waiting; -1 on error (LastError).
    qint64 Read(QByteArray& data, int maxLength = 1024);
    // Opens a datagram socket connected to host (dotted address or name) and
    // port: every Write goes there. 0 or the error number.
    int Connect(const QString& host, qint32 port, int timeoutMs = 5000);
    // Sends one datagram to the connected peer: its length, or -1 (LastError).
    qint64 Write(const QByteArray& data);

    int LastError() const { return lastError_; }
    QString LastErrorText() const { return lastErrorText_; }
    // Peer of the last datagram read.
    QString RemoteAddress() const { return remoteAddress_; }
    quint16 RemotePort() const { return remotePort_; }
    // Local port of a bound socket (0 when none).
    quint16 LocalPort() const;

    // Events, on the event-loop thread: a datagram is waiting (raised again
    // while datagrams remain after a read); an error of the socket.
    std::function<void()> OnRead;
    std::function<void(int number, const QString& text)> OnError;

private:
    int fail(int number, const QString& detail = {});
    int failFromSocket();
    void makeSocket();

    std::unique_ptr<QUdpSocket> socket_;
    int lastError_ = 0;
    QString lastErrorText_;
    QString remoteAddress_;
    quint16 remotePort_ = 0;
};

}  // namespace platform
