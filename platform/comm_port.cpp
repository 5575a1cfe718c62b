#include "platform/comm_port.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSerialPort>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// How often the driver's line and error counters are read while the port is open.
constexpr int kLineEventsMs = 200;

bool ReadCounters(int fd, CommCounters& out) {
    serial_icounter_struct c{};
    if (fd < 0 || ::ioctl(fd, TIOCGICOUNT, &c) != 0) return false;
    out.cts = c.cts;
    out.dsr = c.dsr;
    out.rng = c.rng;
    out.dcd = c.dcd;
    out.frame = c.frame;
    out.overrun = c.overrun;
    out.parity = c.parity;
    out.brk = c.brk;
    out.bufOverrun = c.buf_overrun;
    return true;
}

QSerialPort::Parity ParityOf(char p) {
    switch (p) {
    case 'E': return QSerialPort::EvenParity;
    case 'M': return QSerialPort::MarkParity;
    case 'O': return QSerialPort::OddParity;
    case 'S': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

}  // namespace

QString DefaultCommDevice(int port) { return QStringLiteral("/dev/ttyS") + QString::number(port - 1); }

CommSettings ParseCommSettings(const QString& text) {
    CommSettings s;
    const QStringList f = text.split(QLatin1Char(','));
    if (f.size() < 4 || f.size() > 5) {
        s.error = QStringLiteral("settings text \"") + text + QStringLiteral("\" is not speed,parity,data,stop");
        return s;
    }
    bool ok = false;
    s.baud = f[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0) {
        s.error = QStringLiteral("invalid speed \"") + f[0].trimmed() + QStringLiteral("\"");
        return s;
    }
    const QString parity = f[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("EMNOS").contains(parity)) {
        s.error = QStringLiteral("invalid parity \"") + f[1].trimmed() + QStringLiteral("\"");
        return s;
    }
    s.parity = parity[0].toLatin1();
    s.dataBits = f[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8) {
        s.error = f[2].trimmed() + QStringLiteral(" data bits: a serial port here takes 5 to 8");
        return s;
    }
    QString stop = f.mid(3).join(QLatin1Char('.')).trimmed();
    stop.replace(QLatin1Char(','), QLatin1Char('.'));
    if (stop == QLatin1String("1")) s.stopTenths = 10;
    else if (stop == QLatin1String("2")) s.stopTenths = 20;
    else if (stop == QLatin1String("1.5")) {
        s.error = QStringLiteral("1.5 stop bits: a serial port here takes 1 or 2");
        return s;
    } else {
        s.error = QStringLiteral("invalid stop bits \"") + stop + QStringLiteral("\"");
        return s;
    }
    s.ok = true;
    return s;
}

QList<int> CommEventsBetween(const CommCounters& a, const CommCounters& b) {
    QList<int> codes;
    if (b.cts != a.cts) codes << comEvCTS;
    if (b.dsr != a.dsr) codes << comEvDSR;
    if (b.dcd != a.dcd) codes << comEvCD;
    if (b.rng != a.rng) codes << comEvRing;
    if (b.brk != a.brk) codes << comEventBreak;
    if (b.frame != a.frame) codes << comEventFrame;
    if (b.overrun != a.overrun) codes << comEventOverrun;
    if (b.bufOverrun != a.bufOverrun) codes << comEventRxOver;
    if (b.parity != a.parity) codes << comEventRxParity;
    return codes;
}

struct CommPort::Impl {
    CommPort* self = nullptr;
    QSerialPort port;
    QString device;
    QString settingsText = QStringLiteral("9600,N,8,1");
    CommSettings settings = ParseCommSettings(QStringLiteral("9600,N,8,1"));
    int event = 0;
    QTimer lineTimer;
    CommCounters counters;
    bool followLines = false;

    void raise(int code) {
        event = code;
        if (self->OnComm) self->OnComm();
        event = 0;
    }

    void readLineCounters() {
        CommCounters now;
        if (!port.isOpen() || !ReadCounters(int(port.handle()), now)) return;
        const CommCounters before = counters;
        counters = now;
        for (int code : CommEventsBetween(before, now)) {
            if (!port.isOpen()) return;  // a handler closed it
            raise(code);
        }
    }

    void onError(QSerialPort::SerialPortError error) {
        if (error == QSerialPort::NoError || !port.isOpen()) return;
        const QString text = port.errorString();
        port.clearError();
        if (error == QSerialPort::ResourceError || error == QSerialPort::DeviceNotFoundError ||
            error == QSerialPort::ReadError) {
            // The device is gone (adapter pulled, other end hung up); what
            // the system last said is often unrelated.
            self->Close();
            if (self->OnLost) self->OnLost(QStringLiteral("device removed or hung up"));
            return;
        }
        if (self->OnError) self->OnError(text);
    }

    CommResult apply() {
        const CommSettings& s = settings;
        QStringList refused;
        if (!port.setBaudRate(s.baud)) refused << QString::number(s.baud) + QStringLiteral(" bauds");
        if (!port.setParity(ParityOf(s.parity))) refused << QStringLiteral("parity ") + QChar::fromLatin1(s.parity);
        if (!port.setDataBits(QSerialPort::DataBits(s.dataBits)))
            refused << QString::number(s.dataBits) + QStringLiteral(" data bits");
        if (!port.setStopBits(s.stopTenths == 20 ? QSerialPort::TwoStop : QSerialPort::OneStop))
            refused << QString::number(s.stopTenths / 10) + QStringLiteral(" stop bits");
        if (!port.setFlowControl(QSerialPort::NoFlowControl)) refused << QStringLiteral("no flow control");
        port.clearError();
        if (refused.isEmpty()) return {};
        return {kCommInvalidSettings,
                QStringLiteral("Invalid property value (the device refuses ") + refused.join(QStringLiteral(", ")) +
                    QStringLiteral(")")};
    }
};

CommPort::CommPort() : d(std::make_unique<Impl>()) {
    d->self = this;
    d->lineTimer.setInterval(kLineEventsMs);
    QObject::connect(&d->lineTimer, &QTimer::timeout, [this] { d->readLineCounters(); });
    QObject::connect(&d->port, &QSerialPort::readyRead, [this] {
        if (d->port.bytesAvailable() > 0) d->raise(comEvReceive);
    });
    QObject::connect(&d->port, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError e) { d->onError(e); });
}

CommPort::~CommPort() {
    OnComm = nullptr;
    OnLost = nullptr;
    OnError = nullptr;
    Close();
}

CommResult CommPort::SetDevice(const QString& path) {
    if (PortOpen()) return {kCommInvalidOperation, QStringLiteral("Invalid operation on an opened port")};
    d->device = path;
    return {};
}

QString CommPort::Device() const { return d->device; }

CommResult CommPort::SetSettings(const QString& text) {
    const CommSettings parsed = ParseCommSettings(text);
    if (!parsed.ok) return {kCommInvalidSettings, QStringLiteral("Invalid property value (") + parsed.error + ")"};
    d->settings = parsed;
    d->settingsText = text;
    if (PortOpen()) return d->apply();
    return {};
}

QString CommPort::Settings() const { return d->settingsText; }

bool CommPort::PortOpen() const { return d->port.isOpen(); }

CommResult CommPort::Open() {
    if (PortOpen()) return {kCommPortInUse, QStringLiteral("Port already open")};
    const QString path = d->device;
    if (path.isEmpty() || !QFileInfo(path).isAbsolute())
        return {kCommInvalidPort, QStringLiteral("Invalid port number (no device)")};
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return {kCommInvalidPort, QStringLiteral("Invalid port number (") + path + QStringLiteral(": no such terminal)")};
    if (::access(native.constData(), R_OK | W_OK) != 0)
        return {kCommPermissionDenied, QStringLiteral("Permission denied (") + path +
                                           QStringLiteral(": the user needs the rights of the device's group)")};

    // Opened under its real name, so that the lock file is the one every
    // program uses for this device whatever link leads to it.
    const QString real = QFileInfo(path).canonicalFilePath();
    d->port.setPortName(real.isEmpty() ? path : real);
    if (!d->port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError e = d->port.error();
        const QString text = d->port.errorString();
        d->port.clearError();
        switch (e) {
        case QSerialPort::PermissionError:  // lock file held, or TIOCEXCL of another opener
            return {kCommPortInUse, QStringLiteral("Port already open (") + text + QStringLiteral(")")};
        case QSerialPort::DeviceNotFoundError:
        case QSerialPort::UnsupportedOperationError:  // not a terminal
            return {kCommInvalidPort, QStringLiteral("Invalid port number (") + path + QStringLiteral(": ") + text + ")"};
        default:
            return {kCommOpenFailed, QStringLiteral("The hardware is not available (") + text + QStringLiteral(")")};
        }
    }
    const int fd = int(d->port.handle());
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        d->port.close();
        if (err == EWOULDBLOCK) return {kCommPortInUse, QStringLiteral("Port already open (device locked)")};
        return {kCommOpenFailed, QStringLiteral("The hardware is not available (") +
                                     QString::fromLocal8Bit(std::strerror(err)) + QStringLiteral(")")};
    }
    const CommResult applied = d->apply();
    if (!applied.ok()) {
        d->port.close();
        return applied;
    }
    d->followLines = ReadCounters(fd, d->counters);
    if (d->followLines) d->lineTimer.start();
    return {};
}

void CommPort::Close() {
    d->lineTimer.stop();
    d->followLines = false;
    if (d->port.isOpen()) d->port.close();
    d->port.clearError();
}

CommResult CommPort::Output(const QByteArray& data) {
    if (!PortOpen()) return {kCommNotOpen, QStringLiteral("Operation valid only when the port is open")};
    const qint64 n = d->port.write(data);
    if (n != data.size()) {
        const QString text = d->port.errorString();
        d->port.clearError();
        return {kCommOpenFailed, QStringLiteral("Write error (") + text + QStringLiteral(")")};
    }
    return {};
}

qint64 CommPort::OutBufferCount() const {
    if (!PortOpen()) return 0;
    qint64 count = d->port.bytesToWrite();
    int queued = 0;
    if (::ioctl(int(d->port.handle()), TIOCOUTQ, &queued) == 0 && queued > 0) count += queued;
    return count;
}

void CommPort::ClearOutput() {
    if (!PortOpen()) return;
    d->port.clear(QSerialPort::Output);
    d->port.clearError();
}

QByteArray CommPort::Input() { return PortOpen() ? d->port.readAll() : QByteArray(); }

int CommPort::CommEvent() const { return d->event; }

bool CommPort::FollowsLineEvents() const { return d->followLines; }

}  // namespace platform
