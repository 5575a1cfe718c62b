#pragma once
// Common ground of the UDP tests: real sockets on loopback addresses of their
// own (127.x.y.z, never 127.0.0.1 and never a fixed port, since other test
// runs share the machine), a peer that sends and listens, a clock that runs
// faster than real time, and the trace lines.
#include "platform/os.h"
#include "remote/udp_messages.h"
#include "remote/udp_messages.h"
#include "remote/udp_transport.h"
#include "ui/setup/setup_pages.h"
#include "ui/setup/frm_setup.h"
#include "support/clock.h"
#include "support/tracelog.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << l.join(" | ").toStdString(); }

namespace udptest {

// A loopback address of this test alone: 127.a.b.c with random a, b, c.
inline QString RandomLoopback() {
    QRandomGenerator* g = QRandomGenerator::global();
    return QStringLiteral("127.%1.%2.%3").arg(g->bounded(1, 255)).arg(g->bounded(0, 256)).arg(g->bounded(2, 255));
}

// A port free on address at this moment (bound on port 0 and read back).
inline quint16 FreePort(const QString& address) {
    QUdpSocket probe;
    if (!probe.bind(QHostAddress(address), 0)) return 0;
    return probe.localPort();
}

// Ticks that run `factor` times faster than real time; the date stays real.
class FastClock : public Clock {
public:
    explicit FastClock(qint64 factor) : factor_(factor) { real_.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 tickMs() const override { return 5000000 + real_.elapsed() * factor_; }
private:
    qint64 factor_;
    QElapsedTimer real_;
};

// The other system on the network: sends from its own address and collects
// what it receives on its own port.
class Peer {
public:
    explicit Peer(const QString& address) : address_(address) {
        socket_.bind(QHostAddress(address), 0);
        QObject::connect(&socket_, &QUdpSocket::readyRead, [this] {
            while (socket_.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket_.receiveDatagram();
                received_ << QString::fromUtf8(d.data());
                ports_ << d.destinationPort();
            }
        });
    }
    const QString& address() const { return address_; }
    quint16 port() const { return socket_.localPort(); }
    bool bound() const { return socket_.state() == QAbstractSocket::BoundState; }

    void send(const QString& to, quint16 port, const QByteArray& bytes) {
        socket_.writeDatagram(bytes, QHostAddress(to), port);
    }
    void send(const QString& to, quint16 port, const QString& text) { send(to, port, text.toUtf8()); }

    // Waits (in the event loop) until count datagrams arrived.
    bool waitFor(int count, int ms = 5000) {
        return platform::WaitInEventLoop([&] { return received_.size() >= count; }, ms);
    }
    QStringList& received() { return received_; }

private:
    QString address_;
    QUdpSocket socket_;
    QStringList received_;
    QList<int> ports_;
};

// Trace lines so far (the fixtures keep them in memory).
inline QStringList Lines() { return Trace().ListeLogTemp + Trace().ListeLog; }
// The text of a trace line, after its time and three columns.
inline QString TextOf(const QString& line) {
    int pos = 14;
    for (int c = 0; c < 3; ++c) {
        if (line.mid(pos, 2) == QStringLiteral(" :")) {
            pos += 2;
            continue;
        }
        const int colon = line.indexOf(QLatin1Char(':'), pos);
        if (colon < 0) return line;
        pos = colon + 1;
    }
    return line.mid(pos);
}
// The three columns of a trace line as text, e.g. "0: :" or " :1: :".
inline QString ColumnsOf(const QString& line) {
    const QString text = TextOf(line);
    return line.mid(14, line.size() - 14 - text.size());
}
inline QStringList Texts() {
    QStringList out;
    for (const QString& l : Lines()) out << TextOf(l);
    return out;
}
inline QStringList TextsWith(const QString& part) { return Texts().filter(part); }
inline QStringList LinesWith(const QString& part) { return Lines().filter(part); }

// Puts the UDP parts in place on fresh controls, with every line down.
inline void FreshUdp() {
    ResetUdpRemote();
    InstallUdpPage();
    FrmMainBis_Load();
}

// Binds input line k to address:port through its in-service box.
inline bool BindLine(int k, const QString& address, quint16 port) {
    FrmSetupControls& c = Setup();
    c.TexteUDPIPSource[size_t(k)].setText(address);
    c.TexteUDPPortSource[size_t(k)].setText(QString::number(port));
    c.CheckUDPInActif[size_t(k)].setChecked(true);
    return MainBis().SocketWrenchUDPIn[size_t(k)] && MainBis().SocketWrenchUDPIn[size_t(k)]->Handle() != -1;
}

// Sets target t's address and first port.
inline void SetTarget(int t, const QString& address, quint16 port) {
    Setup().TexteUDPIPCible[size_t(t)].setText(address);
    Setup().TexteUDPPortCible[size_t(t)].setText(QString::number(port));
}

}  // namespace udptest
