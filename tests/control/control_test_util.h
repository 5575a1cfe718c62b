#pragma once
// A client of the control socket for the tests, on a raw Unix socket: it
// sends exactly the bytes it is given, and reads while the test's event loop
// lets the server (in the same thread) run. Every wait has a time limit.
#include "control/control_server.h"
#include "platform/os.h"
#include "scripted_target.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ctltest {

class TestClient {
public:
    explicit TestClient(const QString& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        const QByteArray p = path.toLocal8Bit();
        std::memcpy(addr.sun_path, p.constData(), size_t(qMin<qsizetype>(p.size(), sizeof(addr.sun_path) - 1)));
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~TestClient() { Close(); }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

    // Sends every byte, letting the server read meanwhile (a long line does
    // not fit the kernel's buffer). False when it could not within the limit.
    bool Send(const QByteArray& bytes, int timeoutMs = 5000) {
        qsizetype sent = 0;
        return platform::WaitInEventLoop(
            [&] {
                while (sent < bytes.size()) {
                    const ssize_t n = ::send(fd_, bytes.constData() + sent, size_t(bytes.size() - sent),
                                             MSG_DONTWAIT | MSG_NOSIGNAL);
                    if (n <= 0) return n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;  // a failure ends it
                    sent += n;
                }
                return true;
            },
            timeoutMs) && sent == bytes.size();
    }
    bool SendLine(const QJsonObject& o) { return Send(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n'); }

    // The next line (without "\n"); nullopt when none came within the limit
    // or the server closed the connection.
    std::optional<QByteArray> NextLine(int timeoutMs = 5000) {
        platform::WaitInEventLoop([&] { return Fill(), buffer_.contains('\n') || eof_; }, timeoutMs);
        const qsizetype nl = buffer_.indexOf('\n');
        if (nl < 0) return std::nullopt;
        QByteArray line = buffer_.left(nl);
        buffer_.remove(0, nl + 1);
        return line;
    }
    std::optional<QJsonObject> Next(int timeoutMs = 5000) {
        const auto line = NextLine(timeoutMs);
        if (!line) return std::nullopt;
        QJsonParseError e;
        const QJsonDocument doc = QJsonDocument::fromJson(*line, &e);
        EXPECT_TRUE(doc.isObject()) << "not a JSON object: " << line->left(200).toStdString();
        return doc.object();
    }
    // The next answer; events that come before it are kept in events.
    std::optional<QJsonObject> Answer(int timeoutMs = 5000) {
        while (auto o = Next(timeoutMs)) {
            if (!o->contains("event")) return o;
            events.append(*o);
        }
        return std::nullopt;
    }
    std::optional<QJsonObject> Ask(const QJsonObject& request, int timeoutMs = 5000) {
        if (!SendLine(request)) return std::nullopt;
        return Answer(timeoutMs);
    }
    // True once the server closed the connection (whatever came before is kept).
    bool WaitClosed(int timeoutMs = 5000) {
        return platform::WaitInEventLoop([&] { return Fill(), eof_; }, timeoutMs);
    }
    // Bytes received and not yet taken.
    const QByteArray& buffered() const { return buffer_; }

    QList<QJsonObject> events;

private:
    void Fill() {
        char chunk[65536];
        while (fd_ >= 0 && !eof_) {
            const ssize_t n = ::recv(fd_, chunk, sizeof(chunk), MSG_DONTWAIT);
            if (n > 0) {
                buffer_.append(chunk, n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) eof_ = true;
            return;
        }
    }
    int fd_ = -1;
    QByteArray buffer_;
    bool eof_ = false;
};

// A server on a socket in a temporary folder, with a scripted target.
class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("1.sock");
        QObject::connect(&server, &control::ControlServer::traceLine, [this](const QString& t) { traced << t; });
        ASSERT_TRUE(server.ListenAt(path)) << server.error().toStdString();
    }
    // A client that has read its greeting.
    std::unique_ptr<TestClient> Connect() {
        auto c = std::make_unique<TestClient>(path);
        EXPECT_TRUE(c->connected());
        const auto greeting = c->Next();
        EXPECT_TRUE(greeting && greeting->value("protocol").toInt() == 1);
        return c;
    }

    QTemporaryDir dir;
    QString path;
    QStringList traced;
    ScriptedTarget target;
    control::ControlServer server{target};
};

}  // namespace ctltest
