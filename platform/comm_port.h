#pragma once
// The serial port component: one port, chosen by its device path, configured
// by a settings text ("9600,N,8,1"), written a line at a time, with its
// received characters and its events reported through OnComm. Built on
// QSerialPort; the port is opened exclusively (lock file, TIOCEXCL and an
// flock on the open device, which also holds against root and against
// programs that open the same device under another name).
//
// Failures come back as a CommResult with the component's numbers below; the
// caller raises them as its run-time errors.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace platform {

// Error numbers of the component.
constexpr int kCommInvalidOperation = 8000;  // not allowed while the port is open
constexpr int kCommInvalidPort = 8002;       // no such device, or not a terminal
constexpr int kCommPortInUse = 8005;         // opened by another program
constexpr int kCommNotOpen = 8018;           // operation valid only when the port is open
constexpr int kCommOpenFailed = 8010;        // any other failure of the open
constexpr int kCommInvalidSettings = 380;    // settings text the port cannot take
constexpr int kCommPermissionDenied = 70;    // the device may not be opened by this user

// Codes of CommEvent (the events that this system can report).
enum CommEventCode {
    comEvReceive = 2,
    comEvCTS = 3,
    comEvDSR = 4,
    comEvCD = 5,
    comEvRing = 6,
    comEventBreak = 1001,
    comEventFrame = 1004,
    comEventOverrun = 1006,
    comEventRxOver = 1008,
    comEventRxParity = 1009,
};

// Device of serial port n (1..9) when no other device is configured:
// "/dev/ttyS" + (n - 1).
QString DefaultCommDevice(int port);

// A settings text taken apart. Valid when ok; else error says why.
struct CommSettings {
    bool ok = false;
    QString error;
    int baud = 9600;
    char parity = 'N';  // E, M, N, O, S
    int dataBits = 8;
    int stopTenths = 10;  // 10, 15 or 20
};
// "speed,parity,data bits,stop bits"; the stop bits may be written "1,5" or
// "1.5". Only what a Linux serial port can do is accepted: 5 to 8 data bits,
// 1 or 2 stop bits.
CommSettings ParseCommSettings(const QString& text);

// Counters of the serial driver (TIOCGICOUNT), for the line and error events.
struct CommCounters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
// The CommEvent codes that the change from one reading of the counters to
// the next stands for, in the order of the table of codes.
QList<int> CommEventsBetween(const CommCounters& before, const CommCounters& after);

// Outcome of an operation: number 0 = done.
struct CommResult {
    int number = 0;
    QString description;
    bool ok() const { return number == 0; }
};

class CommPort {
public:
    CommPort();
    ~CommPort();
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

    // CommPort: the device to open (an absolute path);
    // kCommInvalidOperation while the port is open.
    CommResult SetDevice(const QString& path);
    QString Device() const;
    // Settings: kCommInvalidSettings for a text the port cannot take (the
    // port keeps its previous settings).
    CommResult SetSettings(const QString& text);
    QString Settings() const;

    bool PortOpen() const;
    // Opens the device with the settings: kCommInvalidPort, kCommPortInUse,
    // kCommPermissionDenied, kCommInvalidSettings or kCommOpenFailed.
    CommResult Open();
    void Close();

    // Size of the output buffer (nominal: the output is buffered without limit).
    int OutBufferSize() const { return 512; }
    // Writes the bytes (kCommNotOpen when closed).
    CommResult Output(const QByteArray& data);
    // Characters not yet handed to the line: those still in our buffer and
    // those in the driver's output queue.
    qint64 OutBufferCount() const;
    // Drops whatever has not been sent yet.
    void ClearOutput();
    // Everything received so far.
    QByteArray Input();
    // Code of the event being reported (valid during OnComm).
    int CommEvent() const;
    // True while the line and error events of the driver are followed (the
    // driver reports them; a pseudo-terminal does not).
    bool FollowsLineEvents() const;

    // Raised for every event (CommEvent tells which).
    std::function<void()> OnComm;
    // The device went away while open (unplugged adapter, hang-up): the port
    // is closed already; the text says what the system reported.
    std::function<void(const QString&)> OnLost;
    // Any other error reported while open.
    std::function<void(const QString&)> OnError;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace platform
