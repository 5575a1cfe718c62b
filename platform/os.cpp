#include "platform/os.h"

#include "platform/profile.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QtDebug>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- folders

QString DriveRoot() {
    QString root = qEnvironmentVariable("VELMORA_DRIVE");
    if (root.isEmpty()) root = QDir::homePath();
    if (!root.endsWith(QLatin1Char('/'))) root += QLatin1Char('/');
    return root;
}

QString WindowsFolder() { return DriveRoot() + QStringLiteral("Windows/"); }

QString SystemFolder() { return WindowsFolder() + QStringLiteral("System32/"); }

// ---------------------------------------------------------------- clocks

qint64 BootTimeMs() {
    timespec ts{};
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

qint64 WallClockMs() { return QDateTime::currentMSecsSinceEpoch(); }

// ---------------------------------------------------------------- identity

namespace {
QString FullHostName() {
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return QStringLiteral("localhost");
    return QString::fromLocal8Bit(buf);
}
}  // namespace

QString ComputerName() {
    const QString full = FullHostName();
    const int dot = full.indexOf(QLatin1Char('.'));
    return dot > 0 ? full.left(dot) : full;
}

namespace {
bool IsLoopbackV4(const QString& dotted) { return dotted.startsWith(QLatin1String("127.")); }

// First IPv4 address of an interface that is up and is not the loopback.
QString FirstNetworkAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return QString();
    QString found;
    for (ifaddrs* a = list; a && found.isEmpty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        if ((a->ifa_flags & IFF_UP) == 0 || (a->ifa_flags & IFF_LOOPBACK) != 0) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) && !IsLoopbackV4(QString::fromLatin1(text)))
            found = QString::fromLatin1(text);
    }
    freeifaddrs(list);
    return found;
}
}  // namespace

QString HostAddress() {
    // Many systems map their own name to a loopback address (127.0.1.1 on
    // Debian): other computers could not reach it, so the address of the
    // network interface stands in for it.
    QString result = LookedUpHostAddress();
    if (IsLoopbackV4(result)) {
        const QString network = FirstNetworkAddress();
        if (!network.isEmpty()) result = network;
    }
    return result;
}

QString LookedUpHostAddress() {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    QString result = QStringLiteral("127.0.0.1");
    if (getaddrinfo(FullHostName().toLocal8Bit().constData(), nullptr, &hints, &list) == 0) {
        for (addrinfo* a = list; a; a = a->ai_next) {
            if (a->ai_family != AF_INET) continue;
            char text[INET_ADDRSTRLEN] = {};
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
                result = QString::fromLatin1(text);
                break;
            }
        }
        freeaddrinfo(list);
    }
    return result;
}

bool Is64BitOs() {
    if (sizeof(void*) == 8) return true;
    utsname u{};
    if (uname(&u) != 0) return false;
    const QString machine = QString::fromLatin1(u.machine);
    return machine.contains(QLatin1String("64")) || machine == QLatin1String("s390x");
}

QString OsDisplayString() {
    QString name;
    QFile f(QStringLiteral("/etc/os-release"));
    if (f.open(QIODevice::ReadOnly)) {
        QString fallbackName, fallbackVersion;
        for (const QString& raw : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
            const int eq = raw.indexOf(QLatin1Char('='));
            if (eq <= 0) continue;
            const QString key = raw.left(eq).trimmed();
            QString value = raw.mid(eq + 1).trimmed();
            if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
                value.back() == value.front())
                value = value.mid(1, value.size() - 2);
            if (key == QLatin1String("PRETTY_NAME")) name = value;
            else if (key == QLatin1String("NAME")) fallbackName = value;
            else if (key == QLatin1String("VERSION")) fallbackVersion = value;
        }
        if (name.isEmpty()) name = (fallbackName + QLatin1Char(' ') + fallbackVersion).trimmed();
    }
    if (name.isEmpty()) {
        utsname u{};
        if (uname(&u) == 0) name = QString::fromLatin1(u.sysname) + QLatin1Char(' ') + QString::fromLatin1(u.release);
        else name = QStringLiteral("Linux");
    }
    return name + (Is64BitOs() ? QStringLiteral(", 64-bit") : QStringLiteral(", 32-bit"));
}

QString LocaleAbbreviation() {
    QString loc;
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
        loc = qEnvironmentVariable(var).trimmed();
        if (!loc.isEmpty()) break;
    }
    // language[_COUNTRY][.codeset][@modifier]
    const int cut = loc.indexOf(QRegularExpression(QStringLiteral("[.@]")));
    if (cut >= 0) loc = loc.left(cut);
    if (loc.isEmpty() || loc == QLatin1String("C") || loc == QLatin1String("POSIX")) return QStringLiteral("ENU");
    const QString language = loc.section(QLatin1Char('_'), 0, 0).toLower();
    const QString country = loc.section(QLatin1Char('_'), 1, 1).toUpper();
    if (language == QLatin1String("fr")) {
        if (country == QLatin1String("BE")) return QStringLiteral("FRB");
        if (country == QLatin1String("LU")) return QStringLiteral("FRL");
        if (country == QLatin1String("MC")) return QStringLiteral("FRM");
        if (country == QLatin1String("CH")) return QStringLiteral("FRS");
        if (country == QLatin1String("FR") || country.isEmpty()) return QStringLiteral("FRA");
    }
    if (language.size() < 2) return QStringLiteral("ENU");
    if (country.isEmpty()) {
        if (language == QLatin1String("en")) return QStringLiteral("ENU");
        return language.left(2).toUpper() + language.left(1).toUpper();
    }
    return language.left(2).toUpper() + country.left(1);
}

// ---------------------------------------------------------------- shares

QList<Share> NetShares() {
    QList<Share> shares;
    QString conf = qEnvironmentVariable("VELMORA_SMB_CONF");
    if (conf.isEmpty()) conf = QStringLiteral("/etc/samba/smb.conf");
    QFile f(conf);
    if (!f.open(QIODevice::ReadOnly)) return shares;

    // Lines ending with "\" continue on the next one.
    QStringList lines;
    QString pending;
    for (QString line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.endsWith(QLatin1Char('\\'))) {
            pending += line.chopped(1);
            continue;
        }
        lines.append(pending + line);
        pending.clear();
    }
    if (!pending.isEmpty()) lines.append(pending);

    struct Section {
        QString name;
        QString path;
        bool printable = false;
        bool available = true;
    };
    QList<Section> sections;
    auto isTrue = [](const QString& v) {
        const QString t = v.trimmed().toLower();
        return t == QLatin1String("yes") || t == QLatin1String("true") || t == QLatin1String("1") ||
               t == QLatin1String("on");
    };
    for (const QString& raw : lines) {
        const QString t = raw.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char('#')) || t.startsWith(QLatin1Char(';'))) continue;
        if (t.startsWith(QLatin1Char('['))) {
            const int close = t.indexOf(QLatin1Char(']'));
            sections.append(Section{(close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed(), {}, false, true});
            continue;
        }
        if (sections.isEmpty()) continue;
        const int eq = t.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        // Parameter names ignore case and blanks.
        QString key = t.left(eq).toLower();
        key.remove(QLatin1Char(' '));
        key.remove(QLatin1Char('\t'));
        const QString value = t.mid(eq + 1).trimmed();
        Section& s = sections.last();
        if (key == QLatin1String("path") || key == QLatin1String("directory")) s.path = value;
        else if (key == QLatin1String("printable") || key == QLatin1String("printok")) s.printable = isTrue(value);
        else if (key == QLatin1String("available")) s.available = isTrue(value);
    }
    for (const Section& s : sections) {
        const QString lower = s.name.toLower();
        if (lower == QLatin1String("global") || lower == QLatin1String("printers") || lower == QLatin1String("print$"))
            continue;
        if (s.path.isEmpty() || !s.available) continue;
        shares.append(Share{s.name, s.printable ? 1 : 0, s.path});
    }
    return shares;
}

// ---------------------------------------------------------------- volumes

namespace {
// The path itself when it exists, else its nearest existing parent.
QString NearestExisting(const QString& path) {
    QString p = QDir::cleanPath(QFileInfo(path.isEmpty() ? QStringLiteral(".") : path).absoluteFilePath());
    while (!QFileInfo::exists(p)) {
        const QString up = QFileInfo(p).path();
        if (up == p) break;
        p = up;
    }
    return p;
}
}  // namespace

VolumeSpace VolumeSpaceOf(const QString& path) {
    VolumeSpace v;
    struct statvfs s {};
    if (statvfs(QFile::encodeName(NearestExisting(path)).constData(), &s) != 0) return v;
    v.ok = true;
    v.total = quint64(s.f_blocks) * s.f_frsize;
    // What an ordinary user can still write (blocks kept for the superuser excluded).
    v.free = quint64(s.f_bavail) * s.f_frsize;
    return v;
}

QString VolumeRootOf(const QString& path) {
    QString p = NearestExisting(path);
    struct stat st {};
    if (stat(QFile::encodeName(p).constData(), &st) != 0) return QString();
    const dev_t dev = st.st_dev;
    if (!QFileInfo(p).isDir()) p = QFileInfo(p).path();
    while (p != QLatin1String("/")) {
        const QString up = QFileInfo(p).path();
        struct stat su {};
        if (stat(QFile::encodeName(up).constData(), &su) != 0 || su.st_dev != dev) break;
        p = up;
    }
    return p.endsWith(QLatin1Char('/')) ? p : p + QLatin1Char('/');
}

// ---------------------------------------------------------------- named lock

QString RuntimeFolder() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QStringLiteral("/tmp");
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

void CreateNamedLock(const QString& name) {
    static std::vector<int> held;  // kept open, and locked, until the process ends
    QString file = name;
    file.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QByteArray path = QFile::encodeName(RuntimeFolder() + file + QStringLiteral(".lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    (void)flock(fd, LOCK_EX | LOCK_NB);  // as with the named mutex, the outcome does not matter
    held.push_back(fd);
}

bool AcquireProcessLock(const QString& path, QString* holder) {
    static QStringList held;  // open, and locked, until the process ends
    if (held.contains(path)) return true;  // this process holds it already
    const QByteArray name = QFile::encodeName(path);
    // Opened without truncation: a refused lock leaves the file as it was.
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (holder) *holder = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        char text[32] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        ::close(fd);
        if (holder) {
            const QString pid = QString::fromLatin1(text, n > 0 ? int(n) : 0).trimmed();
            *holder = code == EWOULDBLOCK ? (pid.isEmpty() ? QStringLiteral("another process")
                                                           : QStringLiteral("process ") + pid)
                                          : QString::fromLocal8Bit(std::strerror(code));
        }
        return false;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
    held.push_back(path);
    return true;
}

// ---------------------------------------------------------------- registry

namespace {
QString RegistryFile() { return WindowsFolder() + QStringLiteral("Registry/HKEY_LOCAL_MACHINE.ini"); }
QString RegistryEntry(const QString& valueName) {
    return valueName.trimmed().isEmpty() ? QStringLiteral("@") : valueName;  // the key's default value
}
}  // namespace

QString RegistryRead(const QString& keyPath, const QString& valueName) {
    return ProfileRead(RegistryFile(), keyPath, RegistryEntry(valueName), QString(), -1);
}

bool RegistryWrite(const QString& keyPath, const QString& valueName, const QString& value) {
    QDir().mkpath(QFileInfo(RegistryFile()).path());
    return ProfileWrite(RegistryFile(), keyPath, RegistryEntry(valueName), value);
}

// ---------------------------------------------------------------- event loop

namespace {
// Longest time a wait stays asleep without looking at its condition: the
// condition may change without any event (a child process ending, another
// thread setting a flag).
constexpr int kWakeMs = 10;

bool HaveEventLoop() {
    return QCoreApplication::instance() != nullptr && QAbstractEventDispatcher::instance(QThread::currentThread());
}
}  // namespace

void LetEventsRun() {
    if (HaveEventLoop()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void LetEventsRunFor(int ms) {
    if (ms <= 0) {
        LetEventsRun();
        return;
    }
    WaitInEventLoop([] { return false; }, ms);
}

bool WaitInEventLoop(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    auto remaining = [&]() -> qint64 { return timeoutMs < 0 ? -1 : timeoutMs - elapsed.elapsed(); };

    if (!HaveEventLoop()) {
        // No event loop here (no application object, or a worker thread): sleep in slices.
        while (!done()) {
            const qint64 left = remaining();
            if (timeoutMs >= 0 && left <= 0) return false;
            const qint64 slice = left < 0 ? kWakeMs : qMin<qint64>(left, kWakeMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        }
        return true;
    }

    // The timer only wakes the dispatcher up; events that arrive earlier
    // (sockets, other timers, posted events) end the sleep at once.
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    int interval = kWakeMs;
    if (timeoutMs >= 0 && timeoutMs < interval) interval = qMax(timeoutMs, 0);
    wake.start(interval);
    while (true) {
        if (done()) return true;
        const qint64 left = remaining();
        if (timeoutMs >= 0 && left <= 0) return false;
        if (left >= 0 && left < interval) {
            interval = int(left);
            wake.start(interval);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

// ---------------------------------------------------------------- notices

namespace {
std::function<void(const QString&)>& NoticeHook() {
    static std::function<void(const QString&)> hook;
    return hook;
}
}  // namespace

void SetNoticeHook(std::function<void(const QString&)> hook) { NoticeHook() = std::move(hook); }

void Notice(const QString& text) {
    if (NoticeHook()) NoticeHook()(text);
    else qInfo().noquote() << text;
}

}  // namespace platform
