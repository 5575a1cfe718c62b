#include "support/files.h"

#include "platform/os.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

const QString kLibSysteme = QStringLiteral("Lib_Systeme");
const QString kLibPublic = QStringLiteral("Lib_Public");

void (*g_relancerHook)(const QString&) = nullptr;

void RelancerApplication(const QString& reason) {
    if (g_relancerHook) g_relancerHook(reason);
}

bool IsBlank(const QString& s) { return s.trimmed().isEmpty(); }

}  // namespace

PathPieces& LastPathPieces() {
    static PathPieces pieces;
    return pieces;
}

void SetRelancerApplicationHook(void (*hook)(const QString& reason)) { g_relancerHook = hook; }

// ---------------------------------------------------------------- copy, delete

void File_Copy(const QString& source, const QString& target, int flags, int window) {
    Q_UNUSED(flags);
    Q_UNUSED(window);
    ErrorTrap trap(kLibSysteme + QStringLiteral(":File_Copy"));
    bool go = true;
    trap(10, [&] {
        if (IsBlank(source)) {
            TraceLog(-1, -1, -1, QStringLiteral("Warning: File_Copy: File name null"), false, true);
            go = false;
        }
    });
    if (!go) return;
    trap(20, [&] {
        if (!File_Exist(source, kLibSysteme + QStringLiteral(":File_Copy"))) {
            TraceLog(-1, -1, -1, QStringLiteral("Warning: File_Copy: File not found: ") + source, false, true);
            go = false;
        }
    });
    if (!go) return;
    int r = 0;
    trap(30, [&] { r = platform::ShellCopy(source, target); });
    trap(40, [&] {
        if (r == 0) return;
        QString detail;
        bool incident = false;
        switch (r) {
        case 53: detail = QStringLiteral(" |Folder not found. Source: "); incident = true; break;
        case 32: detail = QStringLiteral(" |File in use. Source: "); incident = true; break;
        case 1026: detail = QStringLiteral(" |Source file missing. Source: "); incident = true; break;
        case 1223: detail = QStringLiteral(" |Cancelled. Source: "); incident = true; break;
        case 14: detail = QStringLiteral(" |Out of memory. Source: "); incident = true; break;
        case 68: detail = QStringLiteral(" |Too many names. Source: "); break;
        case 113: detail = QStringLiteral(" |Fichiers source et cible identiques. Source: "); break;
        default: detail = QStringLiteral(" |Source: "); break;
        }
        TraceLog(-1, -1, -1,
                 QStringLiteral("File_Copy: Err: ") + QString::number(r) + detail + source + QStringLiteral("  Target: ") +
                     target,
                 incident, true);
        if (r == 14) RelancerApplication(kLibSysteme + QStringLiteral(":File_Copy"));
    });
    trap(50, [&] {
        if (r != 0 || target.startsWith(QLatin1String("//"))) return;
        const platform::VolumeSpace space = platform::VolumeSpaceOf(target);
        if (!space.ok) return;
        TraceLog(-1, -1, -1,
                 QStringLiteral("Free space for ") + platform::VolumeRootOf(target) + QStringLiteral(": ") +
                     SizeText(double(space.free)),
                 false, false);
    });
}

bool File_Delete(const QString& path, const QString& caller, int flags, int window) {
    Q_UNUSED(window);
    // Flags 0 stands for 1168 (no confirmation, files only, no error
    // window): the shell service here always works that way.
    Q_UNUSED(flags);
    const QString sub = QStringLiteral(" |Sub: ") + caller + QStringLiteral(">") + kLibSysteme + QStringLiteral(":File_Delete");
    ErrorTrap trap(caller + QStringLiteral(">") + kLibSysteme + QStringLiteral(":File_Delete"));
    bool result = false;
    trap(10, [&] {
        if (IsBlank(path)) {
            TraceLog(-1, -1, -1, QStringLiteral("Warning: File_Delete: File name null") + sub, false, true);
            return;
        }
        const int r = platform::ShellDelete(path);
        if (r == 0) {
            result = true;
            return;
        }
        QString prefix = QStringLiteral("File_Delete: Err: ");
        QString detail = QStringLiteral(" |");
        bool incident = true;
        switch (r) {
        case 2: prefix = QStringLiteral("File_Delete: Warning: "); detail = QStringLiteral(" |File not found: "); incident = false; break;
        case 32: prefix = QStringLiteral("File_Delete: Warning: "); detail = QStringLiteral(" |File in use: "); incident = false; break;
        case 1026: detail = QStringLiteral(" |Source file missing: "); incident = false; break;
        case 1223: prefix = QStringLiteral("File_Delete: Warning: "); detail = QStringLiteral(" |Cancelled: File: "); incident = false; break;
        case 14: detail = QStringLiteral(" |Out of memory. File: "); break;
        default: break;
        }
        TraceLog(-1, -1, -1, prefix + QString::number(r) + detail + path + sub, incident, true);
        if (r == 14) RelancerApplication(QStringLiteral("File_Delete:") + kLibSysteme);
    });
    return result;
}

void DeleteFile(const QString& path, const QString& caller) {
    ErrorTrap trap(caller + QStringLiteral(">") + kLibPublic + QStringLiteral(":DeleteFile"));
    bool present = false;
    trap(10, [&] {
        present = !IsBlank(path) &&
                  File_Exist(path, caller + QStringLiteral(":") + kLibPublic + QStringLiteral(":DeleteFile"));
    });
    if (!present) return;
    trap(20, [&] {
        if (!path.contains(QLatin1Char('*'))) File_RemoveFlag(path, 1);
    });
    bool deleted = false;
    trap(30, [&] {
        // Plain file deletion: folders are never removed here.
        const QStringList files = platform::FindFiles(path, false);
        if (files.isEmpty()) RaiseError(53, QStringLiteral("Fichier introuvable"));
        for (const QString& f : files) {
            std::error_code ec;
            std::filesystem::remove(std::filesystem::path(QFile::encodeName(f).toStdString()), ec);
            if (ec) {
                RaiseError(ec.value() == EACCES || ec.value() == EPERM ? 70 : 75,
                           ec.value() == EACCES || ec.value() == EPERM ? QStringLiteral("Permission refusée")
                                                                       : QStringLiteral("Erreur d'accès au chemin/fichier"));
            }
        }
        deleted = true;
    });
    trap(40, [&] {
        if (deleted) TraceLog(-1, -1, -1, QStringLiteral("File '") + path + QStringLiteral("' deleted |Sub: ") + caller);
    });
}

// ---------------------------------------------------------------- existence and size

bool File_Exist(const QString& path, const QString& caller, bool notEmpty) {
    ErrorTrap trap(caller + QStringLiteral(">") + kLibSysteme + QStringLiteral(":File_Exist"));
    bool found = false;
    QString p;
    trap(10, [&] {
        p = path.trimmed();
        while (p.contains(QLatin1String(" ."))) p.replace(QLatin1String(" ."), QLatin1String("."));
    });
    trap(20, [&] {
        // A path ending with "/" names no entry (as a lookup of "folder\" finds nothing).
        if (p.isEmpty() || p.endsWith(QLatin1Char('/'))) return;
        found = !platform::FindFiles(p, true).isEmpty();
    });
    trap(30, [&] {
        if (found && notEmpty && TailleDuFichier(p) == 0) found = false;
    });
    return found;
}

// Size in bytes; -1 when the file cannot be opened for reading.
qint64 TailleDuFichier(const QString& path) {
    ErrorTrap trap(kLibSysteme + QStringLiteral(":TailleDuFichier"));
    qint64 size = -1;
    qint64 start = 0;
    trap(10, [&] { start = TempsSystemeMs(); });
    trap(20, [&] {
        QFile f(path);
        if (QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly)) {
            size = f.size();
            f.close();
        }
    });
    trap(30, [&] {
        const qint64 ms = TempsSystemeMs() - start;
        if (ms != 0) {
            TraceLog(-1, -1, -1,
                     QStringLiteral("Function ") + kLibSysteme + QStringLiteral(":TailleDuFichier Duration: ") +
                         QString::number(ms) + QStringLiteral(" ms (File: ") + path + QStringLiteral(")"));
        }
    });
    return size;
}

// Attribute 1 (read-only) gives the owner the right to write again; the
// other attributes (hidden, system, archive) have no counterpart here.
void File_RemoveFlag(const QString& path, int attribute) {
    ErrorTrap trap(kLibSysteme + QStringLiteral(":File_RemoveFlag"));
    trap(10, [&] {
        if ((attribute & 1) == 0 || IsBlank(path)) return;
        QFile f(path);
        if (!f.exists()) return;
        const QFile::Permissions perms = f.permissions();
        if (perms & QFile::WriteOwner) return;
        if (!f.setPermissions(perms | QFile::WriteOwner | QFile::WriteUser))
            RaiseError(75, QStringLiteral("Erreur d'accès au chemin/fichier"));
    });
}

QDateTime DateModificationFichier(int recorder, const QString& path, bool accessTime) {
    Q_UNUSED(recorder);
    ErrorTrap trap(kLibSysteme + QStringLiteral(":DateModificationFichier"));
    QDateTime result;
    trap(10, [&] {
        if (IsBlank(path)) return;
        const QFileInfo info(path);
        if (!info.exists()) return;
        QDateTime t = accessTime ? info.lastRead() : info.lastModified();
        if (!t.isValid()) return;
        t = t.toLocalTime();
        // To the second, as the system's date and time formats show it.
        t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
        result = t;
    });
    return result;
}

// ---------------------------------------------------------------- folders

bool VerificationEtCreationRepertoire(const QString& folder, bool create) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":VerificationEtCreationRepertoire"));
    bool ok = false;
    QString name;
    trap(10, [&] { name = NettoieNomDeDossier(folder); });
    if (IsBlank(name)) return false;
    trap(20, [&] {
        name = CheckRep(name);
        for (int i = 0; i < name.size(); ++i) {
            if (name.at(i) != QLatin1Char('/')) continue;
            const QString prefix = name.left(i + 1);
            if (prefix.size() <= 1) continue;  // the root
            if (QFileInfo(prefix).isDir()) continue;
            if (create) QDir().mkdir(prefix);
            if (!QFileInfo(prefix).isDir()) {
                if (create) {
                    TraceLog(-1, -1, -1, QStringLiteral("Folder '") + prefix + QStringLiteral("' not found"), false,
                             true);
                }
                return;
            }
        }
        ok = QFileInfo(name).isDir();
    });
    return ok;
}

bool FolderFound(const QString& folder) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":FolderFound"));
    bool found = false;
    trap(10, [&] { found = !IsBlank(folder) && QFileInfo(folder).isDir(); });
    return found;
}

QString CheckRep(const QString& folder) {
    if (folder.isEmpty()) return QString();
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// ---------------------------------------------------------------- names

PathPieces EclateRepFicExt(const QString& path) {
    PathPieces pieces;
    ErrorTrap trap(kLibPublic + QStringLiteral(":EclateRepFicExt"));
    trap(10, [&] {
        const QString p = path.trimmed();
        pieces.PathFolder = p;
        int extensionDot = -1;
        for (int i = p.size() - 1; i >= 0; --i) {
            const QChar c = p.at(i);
            if (c == QLatin1Char('.') && extensionDot < 0) {
                extensionDot = i;
                pieces.PathExtension = p.mid(i);
            }
            if (c == QLatin1Char('/') || i == 0) {
                const int nameStart = c == QLatin1Char('/') ? i + 1 : 0;
                pieces.PathFolder = p.left(nameStart);
                const int nameEnd = extensionDot < 0 ? p.size() : extensionDot;
                pieces.PathBaseName = p.mid(nameStart, nameEnd - nameStart);
                // Everything to the left is the folder: a dot there is no extension.
                break;
            }
        }
    });
    LastPathPieces() = pieces;
    return pieces;
}

bool NomFichierCorrect(const QString& name) {
    for (const QChar c : name) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('"') || c == QLatin1Char('|'))
            return false;
    }
    return true;
}

QString NettoieNomDeDossier(const QString& name) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":NettoieNomDeDossier"));
    QString r;
    trap(10, [&] {
        r = name;
        // "\" is no separator here: like the other characters a file name
        // cannot usefully hold, it becomes a blank.
        for (const QChar c : {QLatin1Char('\\'), QLatin1Char('*'), QLatin1Char('?'), QLatin1Char('"'),
                              QLatin1Char('<'), QLatin1Char('>'), QLatin1Char('|'), QLatin1Char(',')}) {
            r.replace(c, QLatin1Char(' '));
        }
        r.remove(QLatin1String("..."));
        r.remove(QLatin1String(".."));
        r.remove(QLatin1Char('%'));
    });
    trap(20, [&] {
        if (r.size() > 2) {
            QString rest = r.mid(2);
            rest.replace(QLatin1Char(':'), QLatin1Char(' '));
            const int run = rest.indexOf(QLatin1String("   "));
            if (run >= 0) rest.replace(run, 3, QLatin1String(" "));
            r = r.left(2) + rest;
        }
        while (r.contains(QLatin1String(" /"))) r.replace(QLatin1String(" /"), QLatin1String("/"));
        r = r.trimmed();
    });
    return r;
}

QString ExtensionFormat(int formatIndex) {
    switch (formatIndex) {
    case 0: return QString();
    case 1: return QStringLiteral(".wav");
    case 2: return QStringLiteral(".mp3");
    case 3: return QStringLiteral(".wma");
    case 4: return QStringLiteral(".ogg");
    case 5: return QStringLiteral(".aac");
    default: return QStringLiteral(".wav");
    }
}

QString EvalueNomFichier(const QString& pattern) {
    ErrorTrap trap(kLibPublic + QStringLiteral(":EvalueNomFichier"));
    QString text;
    trap(10, [&] {
        text = pattern;
        const QDateTime now = CurrentClock().now();
        const QDate d = now.date();
        const QTime t = now.time();
        auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
        while (true) {
            const int open = text.indexOf(QLatin1Char('<'));
            if (open < 0) break;
            const int close = text.indexOf(QLatin1Char('>'), open + 1);
            if (close < 0) break;
            const QString token = text.mid(open, close - open + 1);
            QString inside = token.mid(1, token.size() - 2);
            inside.replace(QLatin1String("yyyy"), QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0')),
                           Qt::CaseInsensitive);
            inside.replace(QLatin1String("YY"), two(d.year() % 100), Qt::CaseInsensitive);
            inside.replace(QLatin1String("MM"), two(d.month()), Qt::CaseSensitive);
            inside.replace(QLatin1String("dd"), two(d.day()), Qt::CaseInsensitive);
            inside.replace(QLatin1String("hh"), two(t.hour()), Qt::CaseInsensitive);
            inside.replace(QLatin1String("mm"), two(t.minute()), Qt::CaseSensitive);
            inside.replace(QLatin1String("ss"), two(t.second()), Qt::CaseInsensitive);
            text.replace(token, inside, Qt::CaseInsensitive);
        }
        for (const QChar c : {QLatin1Char('<'), QLatin1Char('>'), QLatin1Char('/'), QLatin1Char('\\'), QLatin1Char(':')})
            text.remove(c);
    });
    return text;
}

QString SizeText(double bytes) {
    static const char* const units[] = {" Octets", " Ko", " Mo", " Go", " To", " Po", " Eo", " Zo", " Yo"};
    double v = bytes < 0 ? 0 : bytes;
    int unit = 0;
    while (v >= 1024 && unit < 8) {
        v /= 1024;
        ++unit;
    }
    // "###,###,##0.00"
    const qint64 hundredths = qint64(v * 100 + 0.5);
    const QString whole = QString::number(hundredths / 100);
    QString grouped;
    for (int i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += QLatin1Char(',');
        grouped += whole.at(i);
    }
    return grouped + QLatin1Char('.') + QStringLiteral("%1").arg(hundredths % 100, 2, 10, QLatin1Char('0')) +
           QLatin1String(units[unit]);
}
