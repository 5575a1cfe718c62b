// Shell services: file copy and delete with the shell's result codes,
// opening documents and programs, starting processes and reading their
// exit codes.
#include "platform/os.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QMimeType>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>

extern char** environ;

namespace fs = std::filesystem;

namespace platform {

// Result codes of the shell file operations, as the callers know them.
//   0     success
//   2     delete: nothing matches the path (file or folder missing)
//   5     access denied (permissions), and any failure not listed here
//   14    out of memory
//   19    the volume is read-only
//   32    the file is in use (busy)
//   53    copy: the target folder cannot be made or reached
//   112   the disk is full (or the quota exceeded)
//   113   copy: source and target are the same file
//   118   copy: the target folder lies inside the source folder
//   206   a name is too long
//   1026  copy: the source is missing
namespace {

constexpr int kShellOk = 0;
constexpr int kShellNotFound = 2;
constexpr int kShellAccessDenied = 5;
constexpr int kShellOutOfMemory = 14;
constexpr int kShellWriteProtected = 19;
constexpr int kShellInUse = 32;
constexpr int kShellFolderNotFound = 53;
constexpr int kShellDiskFull = 112;
constexpr int kShellSameFile = 113;
constexpr int kShellDestInsideSource = 118;
constexpr int kShellNameTooLong = 206;
constexpr int kShellSourceMissing = 1026;

int ShellCodeOf(const std::error_code& ec, bool deleting) {
    switch (ec.value()) {
    case ENOENT: return deleting ? kShellNotFound : kShellSourceMissing;
    case ENOTDIR: return deleting ? kShellNotFound : kShellFolderNotFound;
    case EBUSY:
    case ETXTBSY: return kShellInUse;
    case EROFS: return kShellWriteProtected;
    case ENOSPC:
    case EDQUOT: return kShellDiskFull;
    case ENOMEM: return kShellOutOfMemory;
    case ENAMETOOLONG: return kShellNameTooLong;
    default: return kShellAccessDenied;
    }
}

fs::path ToPath(const QString& s) { return fs::path(QFile::encodeName(s).toStdString()); }

bool HasWildcards(const QString& name) {
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// Splits "folder/name" into its folder (with "/", "" for a bare name) and name.
void SplitFolderName(const QString& path, QString& folder, QString& name) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    folder = slash < 0 ? QString() : path.left(slash + 1);
    name = path.mid(slash + 1);
}

bool EntryExists(const QString& path) {
    std::error_code ec;
    return fs::symlink_status(ToPath(path), ec).type() != fs::file_type::not_found && !ec;
}

bool WildcardMatchAt(const QString& p, int pi, const QString& n, int ni) {
    // Iterative matching with one backtrack point per "*".
    int starP = -1, starN = -1;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == QLatin1Char('?') || p[pi].toCaseFolded() == n[ni].toCaseFolded())) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == QLatin1Char('*')) {
            starP = pi++;
            starN = ni;
        } else if (starP >= 0) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == QLatin1Char('*')) ++pi;
    return pi == p.size();
}

int CopyOne(const QString& source, const QString& target) {
    const fs::path src = ToPath(source);
    const fs::path dst = ToPath(target);
    std::error_code ec;
    if (!fs::exists(src, ec)) return kShellSourceMissing;
    if (fs::exists(dst, ec) && fs::equivalent(src, dst, ec)) return kShellSameFile;
    const bool folder = fs::is_directory(src, ec);
    if (folder) {
        const fs::path s = fs::weakly_canonical(src, ec);
        const fs::path d = fs::weakly_canonical(dst, ec);
        auto rel = d.lexically_relative(s);
        if (!rel.empty() && *rel.begin() != "..") return kShellDestInsideSource;
    }
    const fs::path parent = dst.parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
        fs::create_directories(parent, ec);
        if (ec || !fs::is_directory(parent)) return kShellFolderNotFound;
    }
    if (folder) {
        fs::copy(src, dst, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    } else {
        fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec);
    }
    return ec ? ShellCodeOf(ec, false) : kShellOk;
}

int DeleteOne(const QString& path) {
    std::error_code ec;
    const fs::path p = ToPath(path);
    if (fs::symlink_status(p, ec).type() == fs::file_type::directory) fs::remove_all(p, ec);
    else fs::remove(p, ec);
    return ec ? ShellCodeOf(ec, true) : kShellOk;
}

}  // namespace

bool WildcardMatch(const QString& pattern, const QString& name) {
    const QString p = pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
    return WildcardMatchAt(p, 0, name, 0);
}

QStringList FindFiles(const QString& path, bool includeFolders) {
    QStringList found;
    QString folder, name;
    SplitFolderName(path, folder, name);
    if (!HasWildcards(name)) {
        if (name.isEmpty() || !EntryExists(path)) return found;
        if (!includeFolders && QFileInfo(path).isDir()) return found;
        found.append(path);
        return found;
    }
    QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (!dir.exists()) return found;
    QDir::Filters filters = QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    if (includeFolders) filters |= QDir::Dirs;
    const QStringList names = dir.entryList(filters, QDir::Name);
    for (const QString& entry : names) {
        if (WildcardMatch(name, entry)) found.append(folder + entry);
    }
    return found;
}

// Copies a file or folder, or every entry matching a wildcard name, into
// target. The target is a folder when it ends with "/", when it is an
// existing folder, or when the source holds wildcards; missing folders of
// the target are created; existing files are replaced. The first failure
// ends the operation.
int ShellCopy(const QString& source, const QString& target) {
    if (source.trimmed().isEmpty() || target.trimmed().isEmpty()) return kShellSourceMissing;
    QString folder, name;
    SplitFolderName(source, folder, name);
    const bool wildcard = HasWildcards(name);
    const QStringList sources = FindFiles(source, true);
    if (sources.isEmpty()) return kShellSourceMissing;
    const bool intoFolder = wildcard || target.endsWith(QLatin1Char('/')) || QFileInfo(target).isDir();
    const QString targetFolder = target.endsWith(QLatin1Char('/')) ? target : target + QLatin1Char('/');
    for (const QString& s : sources) {
        const QString t = intoFolder ? targetFolder + QFileInfo(s).fileName() : target;
        const int code = CopyOne(s, t);
        if (code != kShellOk) return code;
    }
    return kShellOk;
}

// Deletes a file, a folder with its content, or every file (files only)
// matching a wildcard name. Permanent: there is no waste basket.
int ShellDelete(const QString& path) {
    if (path.trimmed().isEmpty()) return kShellNotFound;
    QString folder, name;
    SplitFolderName(path, folder, name);
    QStringList targets;
    if (HasWildcards(name)) {
        targets = FindFiles(path, false);
    } else if (!name.isEmpty() && EntryExists(path)) {
        targets.append(path);
    } else if (name.isEmpty() && QFileInfo(path).isDir()) {
        targets.append(path.chopped(1));
    }
    if (targets.isEmpty()) return kShellNotFound;
    for (const QString& t : targets) {
        const int code = DeleteOne(t);
        if (code != kShellOk) return code;
    }
    return kShellOk;
}

// ---------------------------------------------------------------- shell open

namespace {

// Shell "Open" results.
constexpr int kOpenDone = 42;          // any value above 32 means success
constexpr int kOpenOutOfMemory = 8;
constexpr int kOpenFileNotFound = 2;
constexpr int kOpenPathNotFound = 3;
constexpr int kOpenBadFormat = 11;     // the program cannot be run
constexpr int kOpenNoAssociation = 31;

bool HasDesktopDefault(const QString& mimeName) {
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty()) return true;  // nothing to ask: let the opener decide
    QProcess p;
    p.start(query, {QStringLiteral("query"), QStringLiteral("default"), mimeName});
    if (!p.waitForFinished(3000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return true;
    return !QString::fromUtf8(p.readAllStandardOutput()).trimmed().isEmpty();
}

// A document type is associated when it, or one of the types it derives
// from, has a default program.
bool HasAssociation(const QString& file) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
    if (!type.isValid()) return true;
    QStringList names{type.name()};
    names += type.allAncestors();
    for (const QString& n : names) {
        if (HasDesktopDefault(n)) return true;
    }
    return false;
}

// Hands a document, folder or address to the desktop's opener.
int OpenWithDesktop(const QString& target, const QString& directory, bool checkAssociation) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return kOpenNoAssociation;
    if (checkAssociation && QFileInfo(target).isFile() && !HasAssociation(target)) return kOpenNoAssociation;
    const QString wd = QFileInfo(directory).isDir() ? directory : QString();
    return QProcess::startDetached(opener, {target}, wd) ? kOpenDone : kOpenNoAssociation;
}

int RunProgram(const QString& program, const QString& parameters, const QString& directory) {
    const QString wd = QFileInfo(directory).isDir() ? directory : QString();
    const QStringList args = QProcess::splitCommand(parameters);
    qint64 pid = 0;
    if (QProcess::startDetached(program, args, wd, &pid)) return kOpenDone;
    return QFileInfo(program).isExecutable() ? kOpenBadFormat : kOpenFileNotFound;
}

bool IsAddress(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^(?:[A-Za-z][A-Za-z0-9+.-]*://|mailto:)"));
    return re.match(s).hasMatch();
}

}  // namespace

// "Open" of a document (with the desktop's program for its type), of a
// folder, of an address, or of a program (run with the parameters, in
// directory). "Notepad.exe" stands for the desktop's text editor: the
// parameters name the document (they may also follow the name in file).
// Other operations are treated as "Open".
int ShellOpen(const QString& operation, const QString& file, const QString& parameters, const QString& directory) {
    Q_UNUSED(operation);
    QString target = file.trimmed();
    QString params = parameters.trimmed();

    static const QRegularExpression notepad(QStringLiteral("^notepad(?:\\.exe)?(?:\\s+(.*))?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto m = notepad.match(target);
    if (m.hasMatch()) {
        QString document = (m.captured(1).trimmed() + QLatin1Char(' ') + params).trimmed();
        if (document.size() >= 2 && document.startsWith(QLatin1Char('"')) && document.endsWith(QLatin1Char('"')))
            document = document.mid(1, document.size() - 2);
        if (document.isEmpty()) return kOpenFileNotFound;
        if (!QFileInfo::exists(document))
            return QFileInfo(QFileInfo(document).absolutePath()).isDir() ? kOpenFileNotFound : kOpenPathNotFound;
        return OpenWithDesktop(document, directory, false);
    }

    if (target.isEmpty()) return kOpenFileNotFound;
    if (IsAddress(target)) return OpenWithDesktop(target, directory, false);

    QString path = target;
    if (!target.contains(QLatin1Char('/'))) {
        const QString inDirectory =
            directory.isEmpty() ? QString()
                                : (directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/')) + target;
        if (!inDirectory.isEmpty() && QFileInfo::exists(inDirectory)) {
            path = inDirectory;
        } else {
            const QString program = QStandardPaths::findExecutable(target);
            if (program.isEmpty()) return kOpenFileNotFound;
            return RunProgram(program, params, directory);
        }
    }
    const QFileInfo info(path);
    if (!info.exists()) return QFileInfo(info.absolutePath()).isDir() ? kOpenFileNotFound : kOpenPathNotFound;
    if (info.isDir()) return OpenWithDesktop(path, directory, false);
    if (info.isExecutable()) return RunProgram(info.absoluteFilePath(), params, directory);
    return OpenWithDesktop(path, directory, true);
}

// ---------------------------------------------------------------- processes

namespace {
// Exit codes of children already reaped, for the callers that ask again.
QHash<qint64, int>& ReapedChildren() {
    static QHash<qint64, int> codes;
    return codes;
}
constexpr int kStillActive = 259;
}  // namespace

qint64 StartProcess(const QString& program, const QStringList& arguments) {
    if (program.trimmed().isEmpty()) return -1;
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& a : arguments) storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    ReapedChildren().remove(pid);  // a number used again by the system
    return pid;
}

int ProcessExitCode(qint64 pid) {
    if (pid <= 0) return -1;
    auto& reaped = ReapedChildren();
    if (reaped.contains(pid)) return reaped.value(pid);
    int status = 0;
    const pid_t r = waitpid(pid_t(pid), &status, WNOHANG);
    if (r == 0) return kStillActive;
    if (r == pid_t(pid)) {
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        reaped.insert(pid, code);
        return code;
    }
    // Not a child of ours: all that can be told is whether it still runs.
    if (kill(pid_t(pid), 0) == 0 || errno == EPERM) return kStillActive;
    return -1;
}

}  // namespace platform
