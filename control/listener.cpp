// Binding of the control socket.
#include "control/listener.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace control {

namespace {

QString Errno() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool Address(const QByteArray& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof(*addr));
    addr->sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof(addr->sun_path))) return false;
    std::memcpy(addr->sun_path, path.constData(), size_t(path.size()));
    return true;
}

// 1: someone answers there; 0: nobody (stale file); -1: cannot tell (errno).
int Probe(const sockaddr_un& addr) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    const int saved = errno;
    ::close(fd);
    if (rc == 0) return 1;
    errno = saved;
    return saved == ECONNREFUSED ? 0 : -1;
}

}  // namespace

BoundSocket BindControlSocket(const QString& path) {
    BoundSocket s;
    s.path = path;
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un addr;
    if (!Address(native, &addr)) {
        s.error = QStringLiteral("Chemin de socket trop long (%1 octets au plus) : %2")
                      .arg(sizeof(addr.sun_path) - 1)
                      .arg(path);
        return s;
    }
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            s.error = QStringLiteral("%1 existe et n'est pas un socket : il n'est pas remplacé").arg(path);
            return s;
        }
        const int alive = Probe(addr);
        if (alive == 1) {
            s.error = QStringLiteral("Un autre programme écoute déjà sur %1 (même instance ?) : il n'est pas "
                                     "remplacé")
                          .arg(path);
            return s;
        }
        if (alive < 0) {
            s.error = QStringLiteral("Impossible de vérifier le socket existant %1 : %2").arg(path, Errno());
            return s;
        }
        if (::unlink(native.constData()) != 0 && errno != ENOENT) {
            s.error = QStringLiteral("Impossible de supprimer le socket abandonné %1 : %2").arg(path, Errno());
            return s;
        }
        s.replacedStale = true;
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        s.error = QStringLiteral("socket() : %1").arg(Errno());
        return s;
    }
    // Until the chmod below, the file has the umask's mode, which gives no
    // one else the write right that connecting needs.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        s.error = QStringLiteral("Impossible de créer le socket %1 : %2").arg(path, Errno());
        ::close(fd);
        return s;
    }
    if (::chmod(native.constData(), 0660) != 0 || ::lstat(native.constData(), &st) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        s.error = QStringLiteral("Impossible de préparer le socket %1 : %2").arg(path, Errno());
        ::close(fd);
        ::unlink(native.constData());
        return s;
    }
    s.inode = quint64(st.st_ino);
    if (const group* g = ::getgrnam("quillon")) {
        if (::chown(native.constData(), uid_t(-1), g->gr_gid) == 0) s.group = QStringLiteral("quillon");
    }
    s.fd = fd;
    return s;
}

void UnbindControlSocket(BoundSocket& socket) {
    if (socket.fd < 0) return;
    ::close(socket.fd);
    socket.fd = -1;
    const QByteArray native = QFile::encodeName(socket.path);
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0 && S_ISSOCK(st.st_mode) && quint64(st.st_ino) == socket.inode)
        ::unlink(native.constData());
}

}  // namespace control
