// Trace log: on-screen holders, the daily log file, its header block and the
// purge of old files.
#include "support/tracelog.h"
#include "support/incident_log.h"

#include "platform/os.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/formats.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace {

const QString kHeaderPrefix = QStringLiteral("==:==:==:====:=:=:=:");
const QString kHeaderRule = QStringLiteral("==:==:==:====:=:=:=:===========================================");

// Log files older than this many days are deleted.
constexpr int kLogKeepDays = 45;
// The incident list is cleared when it holds more lines than this.
constexpr int kIncidentCap = 1000;

void NotifyChanged() {
    const auto& hook = Trace().OnChanged;
    if (hook) hook();
}

QString Column(int value) {
    if (value < 0) return QStringLiteral(" :");
    return QString::number(value) + QLatin1Char(':');
}

// Third column: 0..9 as the digit, 10 and above as a letter ("A" for 10).
QString LetterColumn(int value) {
    if (value < 0) return QStringLiteral(" :");
    if (value <= 9) return QString::number(value) + QLatin1Char(':');
    return QString(QChar(static_cast<char16_t>(value + 55))) + QLatin1Char(':');
}

// Trims blanks (spaces) at both ends.
QString TrimBlanks(const QString& text) {
    qsizetype start = 0, end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' ')) ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' ')) --end;
    return text.mid(start, end - start);
}

qint64 UptimeDays(qint64 ms) { return ms < 0 ? 0 : ms / 1000 / 86400; }

QStringList HeaderBlock() {
    return {
        kHeaderRule,
        kHeaderPrefix + QStringLiteral("System started since ") + UptimeText(TempsSystemeMs()),
        kHeaderPrefix + QStringLiteral("App.Version: ") + VersionApplication(),
        kHeaderPrefix + QStringLiteral("App.ExeName: ") + App().ExeName,
        kHeaderPrefix + QStringLiteral("App.ProductName: ") + App().ProductName,
        kHeaderPrefix + QStringLiteral("Computer.Name: ") + platform::ComputerName(),
        kHeaderPrefix + QStringLiteral("Operating System: ") + platform::OsDisplayString(),
        kHeaderRule,
        kHeaderPrefix + QStringLiteral("asrecmms.Version: ") + Trace().AsrecmmsVersion,
        kHeaderRule,
    };
}

void WriteLines(QFile& file, const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    if (bytes.isEmpty()) return;
    if (file.write(bytes) != bytes.size())
        RaiseError(75, QStringLiteral("Path/File access error: ") + file.fileName() + QStringLiteral(" (") +
                           file.errorString() + QLatin1Char(')'));
}

// Deletes the log files of LogFolder whose day stamp sorts before limit.
// Other extensions are left alone.
void PurgeOldLogs(ErrorTrap& trap, const QString& folder, const QString& limit) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir(folder.toStdString());
    fs::directory_iterator it(dir, ec), end;
    if (ec) return;  // no folder: nothing to purge
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        const QString name = QString::fromStdString(it->path().filename().string());
        if (name == QLatin1String(".") || name == QLatin1String("..")) continue;
        if (!name.endsWith(QLatin1String(".log"), Qt::CaseInsensitive)) continue;
        std::error_code kind;
        if (it->is_directory(kind)) continue;
        const QString base = name.left(name.size() - 4);
        if (QString::compare(base, limit, Qt::CaseSensitive) >= 0) continue;
        const fs::path victim = it->path();
        trap(110, [&] {
            std::error_code rc;
            if (!fs::remove(victim, rc) && rc)
                RaiseError(75, QStringLiteral("Path/File access error: ") + folder + name + QStringLiteral(" (") +
                                   QString::fromStdString(rc.message()) + QLatin1Char(')'));
        });
    }
}

}  // namespace

TraceState& Trace() {
    static TraceState state;
    return state;
}

void ResetTraceState() {
    IncidentList().Clear();
    Trace() = TraceState{}; }

QString TracePrefix(int column1, int column2, int column3) {
    QString prefix = TimingMilliSec() + QStringLiteral(" :");
    if (column2 == -2 && column3 == -2) return prefix + QStringLiteral("Debug:");
    return prefix + Column(column1) + Column(column2) + LetterColumn(column3);
}

QString UptimeText(qint64 ms) {
    qint64 seconds = ms < 0 ? 0 : ms / 1000;
    qint64 minutes = seconds / 60;
    seconds %= 60;
    qint64 hours = 0, days = 0;
    if (minutes >= 60) {
        hours = minutes / 60;
        minutes %= 60;
    }
    if (hours >= 24) {
        days = hours / 24;
        hours %= 24;
    }
    QString text;
    if (days > 0)
        text = QString::number(days) + QStringLiteral(" D ") + QString::number(hours) + QStringLiteral(" H ");
    else if (hours > 0)
        text = QString::number(hours) + QStringLiteral(" H ");
    return text + QString::number(minutes) + QStringLiteral(" Min ") + QString::number(seconds) +
           QStringLiteral(" Sec");
}

void TraceLog(int column1, int column2, int column3, const QString& text, bool incident, bool flush) {
    ErrorTrap trap(QStringLiteral("Lib_Public:TraceLog"));
    TraceState& t = Trace();
    QString prefix;
    trap(10, [&] { prefix = TracePrefix(column1, column2, column3); });
    trap(20, [&] {
        if (t.SetupLoaded) {
            if (!t.ListeLogTemp.isEmpty()) {
                t.ListeLog += t.ListeLogTemp;
                t.ListeLogTemp.clear();
            }
            t.ListeLog.append(prefix + text);
        } else {
            t.ListeLogTemp.append(prefix + text);
        }
    });
    trap(30, [&] {
        if (!incident) return;
        if (t.ListeIncidents.size() > kIncidentCap) t.ListeIncidents.clear();
        QString shown = TrimBlanks(text);
        if (shown.startsWith(QLatin1Char(':'))) shown = TrimBlanks(shown.mid(1));
        t.ListeIncidents.append(prefix + shown);
        t.CheckIncidents = true;
        IncidentList().Add(column2, shown);
    });
    trap(40, [&] { NotifyChanged(); });
    trap(50, [&] {
        if (incident && t.SetupLoaded && flush) {
            QString name;
            TraceLogForce(t.ListeLog, name, false);
        }
    });
    trap(60, [&] {
        if (t.SetupLoaded && !t.ListeLog.isEmpty() && !t.LogFolder.isEmpty() && flush) {
            QString name;
            TraceLogForce(t.ListeLog, name, false);
        }
    });
}

void TraceLogEncadre(int column1, int column2, int column3, const QString& text, const QString& frameChar,
                     bool incident) {
    ErrorTrap trap(QStringLiteral("Lib_Public:TraceLogEncadre"));
    QString frame;
    bool framed = false;
    trap(10, [&] {
        if (frameChar.isEmpty()) RaiseError(5, QStringLiteral("Invalid procedure call or argument"));
        frame = QString(text.size(), frameChar.at(0));
        framed = true;
    });
    trap(20, [&] {
        if (framed) TraceLog(column1, column2, column3, frame, false, true);
    });
    trap(30, [&] { TraceLog(column1, column2, column3, text, incident, true); });
    trap(40, [&] {
        if (framed) TraceLog(column1, column2, column3, frame, false, true);
    });
}

void TraceLogForce(QStringList& lines, QString& fileName, bool yesterday) {
    ErrorTrap trap(QStringLiteral("Lib_Public:TraceLogForce"));
    TraceState& t = Trace();
    QDateTime now, day;
    QString dayText;
    bool stop = false;
    trap(10, [&] {
        now = CurrentClock().now();
        day = yesterday ? now.addDays(-1) : now;
        dayText = Date2StringEx(day, App().DateDisplayFormat);
    });
    trap(20, [&] { stop = lines.isEmpty() && dayText == t.LastHeaderDay; });
    if (stop) return;
    // Without a log folder there is nowhere to write (nor to purge): the
    // lines stay pending until the folder is known.
    if (t.LogFolder.trimmed().isEmpty()) return;
    trap(30, [&] {
        if (fileName.trimmed().isEmpty()) fileName = D2S(day);
    });

    QFile file;
    bool opened = false;
    trap(40, [&] {
        file.setFileName(t.LogFolder + fileName + QStringLiteral(".Log"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            if (!QFileInfo(t.LogFolder).isDir())
                RaiseError(76, QStringLiteral("Path not found: ") + file.fileName());
            RaiseError(75, QStringLiteral("Path/File access error: ") + file.fileName() + QStringLiteral(" (") +
                               file.errorString() + QLatin1Char(')'));
        }
        opened = true;
    });
    trap(50, [&] {
        if (!opened || dayText == t.LastHeaderDay) return;
        WriteLines(file, HeaderBlock());
        t.LastHeaderDay = dayText;
        const qint64 days = UptimeDays(TempsSystemeMs());
        if (days > 45 && !t.Warned45) {
            TraceLog(-1, -1, -1, QStringLiteral("Reboot needed because computer started since more 45 days"), true,
                     false);
            t.Warned45 = true;
        }
        if (days > 48 && !t.Warned48) {
            TraceLog(-1, -1, -1, QStringLiteral("Reboot needed because computer started since more 48 days"), true,
                     false);
            t.Warned48 = true;
        }
    });
    // The pending lines are taken out before writing, so that lines traced
    // while writing (an error report) start a new pending list.
    QStringList pending;
    trap(60, [&] {
        pending = std::move(lines);
        lines.clear();
    });
    const bool written = trap(70, [&] {
        if (opened) WriteLines(file, pending);
    });
    trap(80, [&] {
        if (!opened) return;
        file.close();
        if (written && file.error() != QFileDevice::NoError)
            RaiseError(75, QStringLiteral("Path/File access error: ") + file.fileName() + QStringLiteral(" (") +
                               file.errorString() + QLatin1Char(')'));
    });
    trap(90, [&] { NotifyChanged(); });
    trap(100, [&] {
        const QString today = Date2StringEx(now, App().DateDisplayFormat);
        if (today == t.LastLogPurgeDay) return;
        PurgeOldLogs(trap, t.LogFolder, D2S(now.addDays(-kLogKeepDays)));
        t.LastLogPurgeDay = today;
    });
}

void TraceLogFlushPending() {
    QString name;
    TraceLogForce(Trace().ListeLog, name, false);
}
