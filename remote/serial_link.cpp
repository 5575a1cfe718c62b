// The serial link: opening the port, writing command lines, tracing what the
// port reports.
#include "remote/serial_link.h"

#include "platform/comm_port.h"
#include "platform/os.h"
#include "settings/station_config.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

namespace {

constexpr int kDefaultDrainTimeoutMs = 5000;

struct LinkState {
    platform::CommPort* port = nullptr;
    int drainTimeoutMs = kDefaultDrainTimeoutMs;
    // Counts the times pending output was thrown away (close, loss, clear):
    // a line whose wait saw it change did not go out whole.
    quint64 discards = 0;
    bool installed = false;
    int openPort = 0;  // number of the port last opened
    // A port lost while the link is in service is opened again by itself:
    // a first attempt after 1 s, then less and less often, 10 s apart at most.
    QTimer* reopen = nullptr;
    int reopenTries = 0;
    qint64 lostTick = 0;
    QString lostDevice;
};

LinkState& L() {
    static LinkState state;
    return state;
}

// Every line of the link: no columns, no incident, flushed at once.
void TraceCom(const QString& text) { TraceLog(-1, -1, -1, text, false, true); }

void TryReopen();

QString Decode(const QByteArray& bytes) { return QString::fromUtf8(bytes); }

}  // namespace

QString SerialPrintable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const ushort u = ch.unicode();
        if (u == '\r') out += QStringLiteral("<CR>");
        else if (u == '\n') out += QStringLiteral("<LF>");
        else if (u == '\t') out += QStringLiteral("<TAB>");
        else if (u == 0) out += QStringLiteral("<NUL>");
        else if (u == 0x1B) out += QStringLiteral("<ESC>");
        else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("<0x") + QString::number(u, 16).rightJustified(2, QLatin1Char('0')).toUpper() +
                   QStringLiteral(">");
        else out += ch;
    }
    return out;
}

namespace {

constexpr int kFirstReopenMs = 1000;
constexpr int kLongestReopenMs = 10000;

void ArmReopen(int ms) {
    LinkState& l = L();
    if (!l.reopen) {
        l.reopen = new QTimer;
        l.reopen->setSingleShot(true);
        QObject::connect(l.reopen, &QTimer::timeout, [] { TryReopen(); });
    }
    l.reopen->start(ms);
}

void OnPortLost(const QString& reason) {
    ++L().discards;
    TraceLogEncadre(-1, -1, -1,
                    QStringLiteral("Err: COM: Port COM #") + QString::number(L().openPort) + QStringLiteral(" (") +
                        ComControl().Device() + QStringLiteral(") lost: ") + reason + QStringLiteral(". Port closed."),
                    QStringLiteral("="), true);
    // The link in service: the port is looked for again (the adapter may
    // be plugged back).
    if (!Station().Serial.Active || L().openPort < 1) return;
    L().lostDevice = ComControl().Device();
    L().lostTick = CurrentClock().tickMs();
    L().reopenTries = 0;
    ArmReopen(kFirstReopenMs);
}

void OnPortError(const QString& text) { TraceCom(QStringLiteral("COM: Err: ") + text); }

void CloseComControl() {
    if (L().port && L().port->PortOpen()) {
        L().port->Close();
        ++L().discards;
    }
}

enum class Written { Whole, Refused, Discarded, TimedOut };

// One line and CR LF, then the wait until the output has drained. Failures
// are traced; the success is the caller's to trace.
Written WriteLine(const QString& line) {
    platform::CommPort& port = ComControl();
    const platform::CommResult r = port.Output(line.toUtf8() + "\r\n");
    if (!r.ok()) {
        TraceCom(QStringLiteral("Err: COM: ") + r.description + QStringLiteral(". Data not sended: ") + SerialPrintable(line));
        return Written::Refused;
    }
    const quint64 discards = L().discards;
    auto gone = [&] { return L().discards != discards || !port.PortOpen(); };
    platform::LetEventsRun();
    const bool drained =
        platform::WaitInEventLoop([&] { return gone() || port.OutBufferCount() == 0; }, L().drainTimeoutMs);
    if (gone()) {
        TraceCom(QStringLiteral("Err: COM: Port closed or output cleared before the line was sent whole. "
                                "Data not sended: ") +
                 SerialPrintable(line));
        return Written::Discarded;
    }
    if (!drained) {
        // A line that could not go out in time must not go out later, nor hold
        // back the next ones.
        port.ClearOutput();
        ++L().discards;
        TraceCom(QStringLiteral("Err: COM: Output not drained within ") + QString::number(L().drainTimeoutMs) +
                 QStringLiteral(" ms, output cleared. Data not sended whole: ") + SerialPrintable(line));
        return Written::TimedOut;
    }
    return Written::Whole;
}

}  // namespace

platform::CommPort& ComControl() {
    if (!L().port) {
        L().port = new platform::CommPort;
        L().port->OnComm = [] { ComControl_OnComm(); };
        L().port->OnLost = OnPortLost;
        L().port->OnError = OnPortError;
    }
    return *L().port;
}

bool SerialPortOpen() { return L().port && L().port->PortOpen(); }

void InstallSerialLink() {
    if (L().installed) return;
    L().installed = true;
    // The port closes with the program (its lock file goes with it).
    if (QCoreApplication* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, [] { CloseComControl(); });
}

QString SerialDevicePath(int port) {
    if (port < 1 || port > 9) return {};
    const QString configured =
        LectureIni(NomFichierSettings(".Ini", ""), QStringLiteral("PortCOM"), QStringLiteral("Device_") + QString::number(port), QString())
            .trimmed();
    return configured.isEmpty() ? platform::DefaultCommDevice(port) : configured;
}

QString SerialSettingsText() { return SerialSettingsText(Station().Serial); }

int SerialPortNumber(const SerialConfig& serial) { return serial.PortEntry + 1; }

namespace {

// One attempt to open again the port that was lost, quietly: the return is
// an incident, the attempts are not traced one by one.
void TryReopen() {
    LinkState& l = L();
    if (!Station().Serial.Active || SerialPortOpen() || l.openPort < 1) return;
    ++l.reopenTries;
    platform::CommPort& com = ComControl();
    const QString device = SerialDevicePath(l.openPort);
    const bool ok = !device.isEmpty() && QFileInfo::exists(device) && com.SetDevice(device).ok() &&
                    com.SetSettings(SerialSettingsText()).ok() && com.Open().ok();
    if (!ok) {
        int delay = kFirstReopenMs;
        for (int k = 1; k < l.reopenTries && delay < kLongestReopenMs; ++k) delay *= 2;
        ArmReopen(qMin(delay, kLongestReopenMs));
        return;
    }
    const qint64 gap = CurrentClock().tickMs() - l.lostTick;
    TraceLogEncadre(-1, -1, -1,
                    QStringLiteral("COM: Port COM #") + QString::number(l.openPort) + QStringLiteral(" (") + device +
                        QStringLiteral(") back: opened again after ") + QString::number(double(gap) / 1000.0, 'f', 1) +
                        QStringLiteral(" s (") + QString::number(l.reopenTries) + QStringLiteral(" attempt(s))"),
                    QStringLiteral("="), true);
}

}  // namespace

void CommandPortCOMInit_Click() {
    // The operator opens the port: no attempt of its own meanwhile.
    if (L().reopen) L().reopen->stop();
    ErrorTrap trap(QStringLiteral("FrmSetup:CommandPortCOMInit_Click"));
    QString settings;
    trap(10, [&] { settings = SerialSettingsText(); });
    trap(20, [&] { InitPortCOM(settings); });
}

void InitPortCOM(const QString& settings) {
    bool ok = true;
    int port = 0;
    // Errors of the steps are handled here, not by the error manager: each
    // is traced and the next step runs.
    auto step = [&](auto&& body) {
        int number = 0;
        QString description;
        try {
            body();
            return;
        } catch (const AppError& e) {
            number = e.number();
            description = e.description();
        } catch (const std::exception& e) {
            number = kInternalErrorNumber;
            description = QString::fromLocal8Bit(e.what());
        }
        ok = false;
        const QString n = QString::number(port);
        if (number == platform::kCommInvalidPort) TraceCom(QStringLiteral("GPIO: COM: Invalid COM port #") + n);
        else if (number == platform::kCommPortInUse) TraceCom(QStringLiteral("GPIO: COM: COM port #") + n + QStringLiteral(" in use"));
        else
            TraceCom(QStringLiteral("GPIO: COM: COM port #") + n + QStringLiteral(" Err: ") + QString::number(number) +
                     QStringLiteral(" ") + description);
        platform::LetEventsRun();
    };
    auto check = [](const platform::CommResult& r) {
        if (!r.ok()) RaiseError(r.number, r.description, QStringLiteral("MSCommLib.MSComm"));
    };
    platform::CommPort& com = ComControl();

    step([&] { CloseComControl(); });
    step([&] {
        port = SerialPortNumber(Station().Serial);
    });
    step([&] { TraceCom(QStringLiteral("GPIO: COM: Init Port #") + QString::number(port) + QStringLiteral(": ") + settings); });
    step([&] {
        const QString device = SerialDevicePath(port);
        if (device.isEmpty()) RaiseError(platform::kCommInvalidPort, QStringLiteral("Invalid port number"));
        TraceCom(QStringLiteral("GPIO: COM: Port #") + QString::number(port) + QStringLiteral(" device: ") + device);
        check(com.SetDevice(device));
    });
    if (ok) step([&] { check(com.SetSettings(settings)); });
    if (ok) step([&] {
        check(com.Open());
        L().openPort = port;
    });
    step([&] {
        TraceCom(QStringLiteral("GPIO: COM: Init Port #") + QString::number(port) + QStringLiteral(" Result: ") +
                 BoolText(ok) + QStringLiteral(" |OutBufferSize: ") + QString::number(com.OutBufferSize()));
    });
}

bool SendPortCOM(const QString& line, const QString& sentTracePrefix) {
    ErrorTrap trap(QStringLiteral("FrmSetup:SendPortCOM"));
    bool whole = false;
    trap(10, [&] {
        if (!SerialPortOpen()) {
            TraceCom(QStringLiteral("Err: COM: Port COM not Open. Data not sended: ") + SerialPrintable(line));
            return;
        }
        TraceCom(QStringLiteral("COM: Data to send: ") + SerialPrintable(line));
        whole = WriteLine(line) == Written::Whole;
        if (whole) TraceCom(sentTracePrefix + SerialPrintable(line));
    });
    return whole;
}

void CommandSend_Click(const QString& text) {
    ErrorTrap trap(QStringLiteral("FrmSetup:CommandSend_Click"));
    trap(10, [&] {
        if (SerialPortOpen()) {
            WriteLine(text);
        } else {
            CurrentDialogs().MessageBox(QStringLiteral("Port COM non ouvert."), App().MainWindowCaption, MsgButtons::Ok,
                                        MsgIcon::Critical, MsgOk);
        }
    });
}

QString CommEventText(int code) {
    switch (code) {
    case 1: return QStringLiteral("Nombre de caractères indiqué par la propriété SThreshold dans le tampon de transmission");
    case 2: return QStringLiteral("Nombre de caractères indiqué par la propriété RThreshold reçus");
    case 3: return QStringLiteral("Modification dans la ligne Prêt à émettre");
    case 4: return QStringLiteral("Modification dans la ligne Modem prêt");
    case 5: return QStringLiteral("Modification dans la ligne Détection de porteuse");
    case 6: return QStringLiteral("Modification dans l'Indicateur d'appel");
    case 7: return QStringLiteral("Caractère de fin de fichier trouvé dans le flux en entrée");
    case 1001: return QStringLiteral("Un signal d'arrêt a été reçu");
    case 1002: return QStringLiteral("Erreur de délai d'attente Prêt à émettre");
    case 1003: return QStringLiteral("Erreur de délai d'attente Modem prêt");
    case 1004: return QStringLiteral("Erreur de trame");
    case 1006: return QStringLiteral("Données perdues");
    case 1007: return QStringLiteral("Erreur de délai d'attente Détection de porteuse");
    case 1008: return QStringLiteral("Dépassement de la capacité du tampon de réception");
    case 1009: return QStringLiteral("Erreur de parité");
    case 1010: return QStringLiteral("Tampon de transmission plein");
    case 1011: return QStringLiteral("Erreur inattendue lors de l'extraction du bloc de contrôle de périphérique");
    default: return QString::number(code);
    }
}

void ComControl_OnComm() {
    ErrorTrap trap(QStringLiteral("FrmSetup:ComControl_OnComm"));
    int code = 0;
    QString m, r;
    trap(10, [&] {
        code = ComControl().CommEvent();
        m = CommEventText(code);
        if (code == platform::comEvReceive) r = Decode(ComControl().Input());
    });
    trap(20, [&] {
        if (!r.trimmed().isEmpty()) TraceCom(QStringLiteral("COM: comEvReceive: ") + SerialPrintable(r));
        else if (code != 0) TraceCom(QStringLiteral("COM: Err: ") + m);
    });
}

void ResetSerialLink() {
    if (L().reopen) L().reopen->stop();
    CloseComControl();
    L().drainTimeoutMs = kDefaultDrainTimeoutMs;
}

void SetSerialDrainTimeout(int ms) { L().drainTimeoutMs = ms; }
