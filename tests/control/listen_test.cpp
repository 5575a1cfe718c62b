// Where the socket is made and how: the folder rules, the file's mode and
// group, a stale file replaced, a live one left to its owner, the file
// removed at close, and the client's search for a program's socket.
#include "control/socket_path.h"
#include "control_test_util.h"

#include <grp.h>
#include <sys/stat.h>

using namespace ctltest;

namespace {

// Sets (or unsets, with nullptr) an environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name), had_(qEnvironmentVariableIsSet(name)),
                                                     old_(qgetenv(name)) {
        if (value) qputenv(name, value); else qunsetenv(name);
    }
    ~ScopedEnv() {
        if (had_) qputenv(name_, old_); else qunsetenv(name_);
    }
private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

struct stat StatOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.toLocal8Bit().constData(), &st), 0) << path.toStdString();
    return st;
}

// A socket file nobody listens on: bound, then closed.
void MakeStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.toLocal8Bit().constData());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ::close(fd);
}

}  // namespace

TEST(ControlListen, TheSocketIsMode0660AndGoesAwayAtClose) {
    QTemporaryDir dir;
    const QString path = dir.filePath("0.sock");
    ScriptedTarget target;
    {
        control::ControlServer server(target);
        ASSERT_TRUE(server.ListenAt(path)) << server.error().toStdString();
        const struct stat st = StatOf(path);
        EXPECT_TRUE(S_ISSOCK(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0660u);
        // Group "quillon" when it exists (and we may give the file to it),
        // else the process's own.
        const group* quillon = ::getgrnam("quillon");
        if (quillon && ::geteuid() == 0)
            EXPECT_EQ(st.st_gid, quillon->gr_gid);
        else
            EXPECT_EQ(st.st_gid, ::getegid());
        TestClient c(path);
        EXPECT_TRUE(c.Next());
        server.Close();
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_TRUE(c.WaitClosed());
    }
    // The destructor closes too.
    {
        control::ControlServer server(target);
        ASSERT_TRUE(server.ListenAt(path));
    }
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(ControlListen, AStaleSocketIsReplacedALiveOneIsNot) {
    QTemporaryDir dir;
    const QString path = dir.filePath("2.sock");
    ScriptedTarget target;
    MakeStaleSocket(path);
    QStringList traced;
    control::ControlServer first(target);
    QObject::connect(&first, &control::ControlServer::traceLine, [&](const QString& t) { traced << t; });
    ASSERT_TRUE(first.ListenAt(path)) << first.error().toStdString();
    EXPECT_EQ(traced.filter("stale").size(), 1);

    {
        control::ControlServer second(target);
        EXPECT_FALSE(second.ListenAt(path));
        EXPECT_TRUE(second.error().contains(QString("écoute déjà"))) << second.error().toStdString();
    }
    // The first one's file and service are untouched.
    EXPECT_TRUE(S_ISSOCK(StatOf(path).st_mode));
    TestClient c(path);
    EXPECT_TRUE(c.Next());

    // A file that is no socket is never removed.
    const QString plain = dir.filePath("3.sock");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("data");
    f.close();
    control::ControlServer third(target);
    EXPECT_FALSE(third.ListenAt(plain));
    EXPECT_TRUE(third.error().contains(QString("n'est pas un socket")));
    EXPECT_EQ(QFileInfo(plain).size(), 4);
}

TEST(ControlListen, TheFolderFollowsSystemdThenTheUsersRuntimeFolder) {
    QTemporaryDir dir;
    ScriptedTarget target;
    {
        ScopedEnv a("RUNTIME_DIRECTORY", dir.filePath("sys").toLocal8Bit().constData());
        ScopedEnv b("XDG_RUNTIME_DIR", dir.path().toLocal8Bit().constData());
        const control::SocketFolder f = control::ServerSocketFolder();
        EXPECT_EQ(f.path, dir.filePath("sys") + "/");
        EXPECT_TRUE(f.managed);
        // systemd's folder is not made by us: missing, it is an error.
        control::ControlServer server(target);
        EXPECT_FALSE(server.Listen(0));
        EXPECT_TRUE(server.error().contains("systemd"));
        ASSERT_TRUE(QDir().mkdir(dir.filePath("sys")));
        ::chmod(dir.filePath("sys").toLocal8Bit().constData(), 0755);
        ASSERT_TRUE(server.Listen(4)) << server.error().toStdString();
        EXPECT_EQ(server.socketPath(), dir.filePath("sys/4.sock"));
        EXPECT_EQ(StatOf(dir.filePath("sys")).st_mode & 07777, 0755u);  // left as it was
    }
    {
        // A unit with a folder of its instance and the shared one.
        const QByteArray both = (dir.filePath("quillon-recorder-4") + ":" + dir.filePath("quillon-recorder")).toLocal8Bit();
        ScopedEnv a("RUNTIME_DIRECTORY", both.constData());
        EXPECT_EQ(control::ServerSocketFolder().path, dir.filePath("quillon-recorder") + "/");
        EXPECT_EQ(control::ClientSocketFolders().value(0), dir.filePath("quillon-recorder") + "/");
        EXPECT_EQ(control::ClientSocketFolders().value(1), dir.filePath("quillon-recorder-4") + "/");
    }
    {
        ScopedEnv a("RUNTIME_DIRECTORY", nullptr);
        ScopedEnv b("XDG_RUNTIME_DIR", dir.path().toLocal8Bit().constData());
        control::ControlServer server(target);
        ASSERT_TRUE(server.Listen(7)) << server.error().toStdString();
        EXPECT_EQ(server.socketPath(), dir.filePath("quillon-recorder/7.sock"));
        EXPECT_EQ(StatOf(dir.filePath("quillon-recorder")).st_mode & 07777, 0700u);
        EXPECT_EQ(StatOf(server.socketPath()).st_mode & 07777, 0660u);
    }
    {
        ScopedEnv a("RUNTIME_DIRECTORY", nullptr);
        ScopedEnv b("XDG_RUNTIME_DIR", nullptr);
        const control::SocketFolder f = control::ServerSocketFolder();
        if (::access("/run", W_OK) == 0)
            EXPECT_EQ(f.path, "/run/quillon-recorder/");
        else
            EXPECT_TRUE(f.path.isEmpty());
    }
}

TEST(ControlListen, ClientsFindInstanceZeroOrTheOnlySocket) {
    QTemporaryDir a, b;
    const QStringList folders{a.path() + "/", b.path() + "/"};
    ScriptedTarget target;
    auto search = control::FindSocket(-1, folders);
    EXPECT_TRUE(search.path.isEmpty());
    EXPECT_TRUE(search.error.contains("Aucun programme")) << search.error.toStdString();

    control::ControlServer three(target);
    ASSERT_TRUE(three.ListenAt(b.filePath("3.sock")));
    EXPECT_EQ(control::FindSocket(-1, folders).path, b.filePath("3.sock"));  // the only one
    EXPECT_EQ(control::FindSocket(3, folders).path, b.filePath("3.sock"));
    EXPECT_TRUE(control::FindSocket(0, folders).path.isEmpty());              // asked for 0 explicitly

    control::ControlServer five(target);
    ASSERT_TRUE(five.ListenAt(a.filePath("5.sock")));
    search = control::FindSocket(-1, folders);
    EXPECT_TRUE(search.path.isEmpty());
    EXPECT_TRUE(search.error.contains("3") && search.error.contains("5") && search.error.contains("--instance"))
        << search.error.toStdString();

    control::ControlServer zero(target);
    ASSERT_TRUE(zero.ListenAt(b.filePath("0.sock")));
    EXPECT_EQ(control::FindSocket(-1, folders).path, b.filePath("0.sock"));
    // Files that are no sockets, or not named after an instance, do not count.
    QFile(a.filePath("9.sock")).open(QIODevice::WriteOnly);
    MakeStaleSocket(a.filePath("x.sock"));
    EXPECT_TRUE(control::FindSocket(9, folders).path.isEmpty());
}
