#include "platform/udp_socket.h"

#include "platform/os.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QObject>
#include <QUdpSocket>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace platform {

namespace {

// Receive buffer asked of the system for the input lines, so that a burst of
// datagrams waits in the kernel while the event loop is busy. The system caps
// it (net.core.rmem_max).
constexpr int kReceiveBufferBytes = 2 * 1024 * 1024;

bool ValidPort(qint32 port) { return port >= 1 && port <= 65535; }

// Windows socket error number of a system error of send().
int ErrnoNumber(int e) {
    switch (e) {
    case ECONNREFUSED:
    case ECONNRESET: return 10054;
    case EACCES: return 10013;
    case EMSGSIZE: return 10040;
    case ENETUNREACH: return 10051;
    case EHOSTUNREACH: return 10065;
    case ENETDOWN: return 10050;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EAGAIN: return 10035;
    case ENOTCONN: return 10057;
    default: return -1;
    }
}

}  // namespace

int SocketErrorNumber(int qtSocketError) {
    switch (QAbstractSocket::SocketError(qtSocketError)) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::DatagramTooLargeError: return 10040;
    case QAbstractSocket::NetworkError: return 10051;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError: return 10047;
    case QAbstractSocket::TemporaryError: return 10035;
    case QAbstractSocket::OperationError: return 10022;
    default: return -1;
    }
}

QString SocketErrorText(int number) {
    switch (number) {
    case 10013: return QStringLiteral("Permission denied");
    case 10022: return QStringLiteral("Invalid argument");
    case 10035: return QStringLiteral("Resource temporarily unavailable");
    case 10040: return QStringLiteral("Message too long");
    case 10047: return QStringLiteral("Address family not supported by protocol family");
    case 10048: return QStringLiteral("Address already in use");
    case 10049: return QStringLiteral("Cannot assign requested address");
    case 10050: return QStringLiteral("Network is down");
    case 10051: return QStringLiteral("Network is unreachable");
    case 10054: return QStringLiteral("Connection reset by peer");
    case 10055: return QStringLiteral("No buffer space available");
    case 10057: return QStringLiteral("Socket is not connected");
    case 10060: return QStringLiteral("Connection timed out");
    case 10065: return QStringLiteral("No route to host");
    case 11001: return QStringLiteral("Host not found");
    case 11002: return QStringLiteral("Nonauthoritative host not found");
    default: return QStringLiteral("Unknown error");
    }
}

SocketWrench::SocketWrench() = default;

SocketWrench::~SocketWrench() {
    if (socket_) {
        QObject::disconnect(socket_.get(), nullptr, nullptr, nullptr);
        socket_->abort();
    }
}

void SocketWrench::makeSocket() {
    if (socket_) return;
    socket_ = std::make_unique<QUdpSocket>();
    socket_->setProxy(QNetworkProxy::NoProxy);
    QObject::connect(socket_.get(), &QUdpSocket::readyRead, socket_.get(), [this] {
        if (OnRead) OnRead();
    });
    QObject::connect(socket_.get(), &QUdpSocket::errorOccurred, socket_.get(),
                     [this](QAbstractSocket::SocketError e) {
                         const int number = SocketErrorNumber(int(e));
                         if (OnError) OnError(number, SocketErrorText(number));
                     });
}

int SocketWrench::fail(int number, const QString& detail) {
    lastError_ = number;
    lastErrorText_ = SocketErrorText(number);
    if (!detail.isEmpty()) lastErrorText_ += QStringLiteral(" (") + detail + QLatin1Char(')');
    return number;
}

int SocketWrench::failFromSocket() {
    const int number = SocketErrorNumber(int(socket_->error()));
    // Without a number of ours, Qt's own description says what went wrong.
    return fail(number, number == -1 ? socket_->errorString() : QString());
}

int SocketWrench::Disconnect() {
    if (socket_) socket_->abort();
    return 0;
}

qintptr SocketWrench::Handle() const {
    if (!socket_) return -1;
    const auto state = socket_->state();
    if (state != QAbstractSocket::BoundState && state != QAbstractSocket::ConnectedState) return -1;
    return socket_->socketDescriptor();
}

quint16 SocketWrench::LocalPort() const { return socket_ ? socket_->localPort() : 0; }

int SocketWrench::Resolve(const QString& hostName, QString& hostAddress, int timeoutMs) {
    const QString name = hostName.trimmed();
    if (name.isEmpty()) return fail(11001);
    QHostAddress literal;
    if (literal.setAddress(name) && literal.protocol() == QAbstractSocket::IPv4Protocol) {
        hostAddress = literal.toString();
        return 0;
    }
    bool answered = false;
    QHostInfo info;
    QObject context;
    const int id = QHostInfo::lookupHost(name, &context, [&](const QHostInfo& result) {
        info = result;
        answered = true;
    });
    if (!WaitInEventLoop([&] { return answered; }, timeoutMs)) {
        QHostInfo::abortHostLookup(id);
        return fail(11002, QStringLiteral("no answer within %1 ms").arg(timeoutMs));
    }
    for (const QHostAddress& a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            hostAddress = a.toString();
            return 0;
        }
    }
    return fail(11001);
}

int SocketWrench::Bind(const QString& localAddress, qint32 localPort) {
    if (!ValidPort(localPort)) return fail(10049, QStringLiteral("port %1").arg(localPort));
    QHostAddress address;
    if (!address.setAddress(localAddress.trimmed())) return fail(11001);
    makeSocket();
    socket_->abort();
    if (!socket_->bind(address, quint16(localPort), QAbstractSocket::DontShareAddress)) {
        const int rc = failFromSocket();
        socket_->abort();
        return rc;
    }
    socket_->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBufferBytes);
    return 0;
}

qint64 SocketWrench::Read(QByteArray& data, int maxLength) {
    data.clear();
    if (!socket_ || !socket_->hasPendingDatagrams()) return 0;
    QByteArray buffer(qMax(maxLength, 1), Qt::Uninitialized);
    QHostAddress from;
    quint16 port = 0;
    const qint64 n = socket_->readDatagram(buffer.data(), maxLength, &from, &port);
    if (n < 0) {
        failFromSocket();
        return -1;
    }
    remoteAddress_ = from.toString();
    remotePort_ = port;
    data = buffer.left(n);
    return n;
}

int SocketWrench::Connect(const QString& host, qint32 port, int timeoutMs) {
    if (!ValidPort(port)) return fail(10049, QStringLiteral("port %1").arg(port));
    QHostAddress address;
    if (!address.setAddress(host.trimmed())) {
        QString resolved;
        const int rc = Resolve(host, resolved, timeoutMs);
        if (rc != 0) return rc;
        address.setAddress(resolved);
    }
    makeSocket();
    socket_->abort();
    socket_->connectToHost(address, quint16(port));
    WaitInEventLoop(
        [&] {
            const auto s = socket_->state();
            return s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
    if (socket_->state() == QAbstractSocket::ConnectedState) return 0;
    if (socket_->state() != QAbstractSocket::UnconnectedState) {
        socket_->abort();
        return fail(10060);
    }
    return failFromSocket();
}

qint64 SocketWrench::Write(const QByteArray& data) {
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) {
        fail(10057);
        return -1;
    }
    // Sent on the descriptor itself: the system's reason for a refusal (the
    // peer's port closed, no route...) is what the trace must tell.
    ssize_t n;
    do {
        n = ::send(int(socket_->socketDescriptor()), data.constData(), size_t(data.size()), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int e = errno;
        fail(ErrnoNumber(e), QString::fromLocal8Bit(strerror(e)));
        return -1;
    }
    return n;
}

}  // namespace platform
