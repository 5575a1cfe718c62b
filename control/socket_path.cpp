// The control sockets' folders.
#include "control/socket_path.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace control {

namespace {

const QString kFolderName = QStringLiteral("quillon-recorder");
const QString kSystemFolder = QStringLiteral("/run/quillon-recorder/");

// The folders systemd made for the unit ($RUNTIME_DIRECTORY, ':' between
// them), the one named quillon-recorder first: a unit may also have a
// folder of its own instance.
QStringList SystemdFolders() {
    QStringList folders = qEnvironmentVariable("RUNTIME_DIRECTORY").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < folders.size(); ++i) {
        QString f = folders.at(i);
        while (f.size() > 1 && f.endsWith(QLatin1Char('/'))) f.chop(1);
        if (f.section(QLatin1Char('/'), -1) == QLatin1String("quillon-recorder")) folders.move(i, 0);
    }
    return folders;
}

QString WithSlash(QString path) {
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

bool IsSocket(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// "<n>.sock" -> n; -1 for other names.
int InstanceOf(const QString& fileName) {
    if (!fileName.endsWith(QLatin1String(".sock"))) return -1;
    bool ok = false;
    const int n = fileName.chopped(5).toInt(&ok);
    return ok && n >= 0 && QString::number(n) + QLatin1String(".sock") == fileName ? n : -1;
}

}  // namespace

SocketFolder ServerSocketFolder() {
    SocketFolder f;
    const QStringList systemd = SystemdFolders();
    if (!systemd.isEmpty()) {
        f.path = WithSlash(systemd.first());
        f.managed = true;
        return f;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        f.path = WithSlash(runtime) + kFolderName + QLatin1Char('/');
        f.userOwned = true;
        return f;
    }
    if (::access("/run", W_OK) == 0) f.path = kSystemFolder;
    return f;
}

bool PrepareSocketFolder(const SocketFolder& folder, QString* error) {
    if (folder.path.isEmpty()) {
        *error = QStringLiteral("Pas de dossier pour le socket de commande : ni $RUNTIME_DIRECTORY, ni "
                                "$XDG_RUNTIME_DIR, et /run n'est pas accessible en écriture");
        return false;
    }
    const QByteArray path = QFile::encodeName(folder.path);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        *error = QStringLiteral("%1 existe et n'est pas un dossier").arg(folder.path);
        return false;
    }
    if (folder.managed) {
        *error = QStringLiteral("Le dossier %1 donné par systemd n'existe pas").arg(folder.path);
        return false;
    }
    const mode_t mode = folder.userOwned ? 0700 : 0755;
    if (::mkdir(path.constData(), mode) != 0 && errno != EEXIST) {
        *error = QStringLiteral("Impossible de créer %1 : %2").arg(folder.path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    ::chmod(path.constData(), mode);  // whatever the umask took away
    return true;
}

QString SocketFileName(int instance) { return QString::number(instance) + QLatin1String(".sock"); }

QStringList ClientSocketFolders() {
    QStringList folders;
    for (const QString& f : SystemdFolders()) folders << WithSlash(f);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) folders << WithSlash(runtime) + kFolderName + QLatin1Char('/');
    folders << kSystemFolder;
    folders.removeDuplicates();
    return folders;
}

SocketSearch FindSocket(int instance, const QStringList& folders) {
    SocketSearch s;
    const int wanted = instance < 0 ? 0 : instance;
    for (const QString& folder : folders) {
        if (IsSocket(folder + SocketFileName(wanted))) {
            s.path = folder + SocketFileName(wanted);
            return s;
        }
    }
    QStringList seen;
    for (const QString& folder : folders) {
        const QStringList names = QDir(folder).entryList({QStringLiteral("*.sock")}, QDir::System | QDir::Files,
                                                         QDir::Name);
        for (const QString& name : names) {
            const int n = InstanceOf(name);
            if (n < 0 || !IsSocket(folder + name)) continue;
            s.instances << n;
            seen << folder + name;
        }
    }
    if (instance < 0 && seen.size() == 1) {
        s.path = seen.first();
        return s;
    }
    if (instance < 0 && seen.size() > 1) {
        QStringList numbers;
        for (int n : s.instances) numbers << QString::number(n);
        s.error = QStringLiteral("Pas d'instance 0, et plusieurs programmes tournent (instances %1) : "
                                 "choisissez avec --instance")
                      .arg(numbers.join(QStringLiteral(", ")));
        return s;
    }
    s.error = QStringLiteral("Aucun programme ne tourne pour l'instance %1 (pas de %2 dans %3)")
                  .arg(wanted)
                  .arg(SocketFileName(wanted), folders.join(QStringLiteral(", ")));
    return s;
}

}  // namespace control
