#include "web/bounded_server.h"

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace web {

namespace {

using Clock = std::chrono::steady_clock;

// How bytes cross the connection: plain socket or TLS.
class Transport {
public:
    explicit Transport(int fd) : fd_(fd) {}
    virtual ~Transport() = default;
    virtual ssize_t recvSome(char* buf, size_t n) { return ::recv(fd_, buf, n, 0); }
    virtual ssize_t sendSome(const char* buf, size_t n) { return ::send(fd_, buf, n, MSG_NOSIGNAL); }
    virtual bool buffered() const { return false; }
    int fd() const { return fd_; }

    // The socket's own receive and send timeouts bound each blocking call.
    void timeouts(int recvMs, int sendMs) const {
        auto tv = [](int ms) { return timeval{ms / 1000, (ms % 1000) * 1000}; };
        const timeval r = tv(std::max(recvMs, 1)), s = tv(std::max(sendMs, 1));
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &s, sizeof s);
    }

protected:
    int fd_;
};

class TlsTransport : public Transport {
public:
    TlsTransport(int fd, SSL* ssl) : Transport(fd), ssl_(ssl) {}
    ~TlsTransport() override {
        SSL_shutdown(ssl_);
        SSL_free(ssl_);
    }
    ssize_t recvSome(char* buf, size_t n) override {
        const int r = SSL_read(ssl_, buf, int(std::min<size_t>(n, 1 << 30)));
        return r > 0 ? r : -1;
    }
    ssize_t sendSome(const char* buf, size_t n) override {
        const int r = SSL_write(ssl_, buf, int(std::min<size_t>(n, 1 << 30)));
        return r > 0 ? r : -1;
    }
    bool buffered() const override { return SSL_pending(ssl_) > 0; }

private:
    SSL* ssl_;
};

class BoundedStream : public httplib::Stream {
public:
    BoundedStream(Transport& t, HeadBounds bounds, int readMs, int writeMs)
        : t_(t), bounds_(bounds), readMs_(readMs), writeMs_(writeMs) {}

    // A new request starts: its head is counted and timed from here.
    void beginRequest() {
        inHead_ = true;
        headBytes_ = 0;
        tail_ = 0;
        headDeadline_ = Clock::now() + std::chrono::milliseconds(bounds_.headDeadlineMs);
    }

    // Whether a request begins within `ms` (keep-alive wait).
    bool waitForRequest(int ms) {
        if (at_ < buf_.size() || t_.buffered()) return true;
        pollfd p{t_.fd(), POLLIN, 0};
        return ::poll(&p, 1, ms) > 0 && (p.revents & POLLIN);
    }

    bool is_readable() const override { return at_ < buf_.size() || t_.buffered(); }
    bool is_writable() const override {
        pollfd p{t_.fd(), POLLOUT, 0};
        return ::poll(&p, 1, writeMs_) > 0 && (p.revents & POLLOUT);
    }

    ssize_t read(char* ptr, size_t size) override {
        if (at_ >= buf_.size() && !fill()) return -1;
        size_t n = std::min(size, buf_.size() - at_);
        if (inHead_) {
            for (size_t i = 0; i < n; ++i) {
                tail_ = (tail_ << 8) | static_cast<unsigned char>(buf_[at_ + i]);
                if (++headBytes_ > bounds_.maxHeadBytes) return -1;
                if ((tail_ & 0xffffffffu) == 0x0d0a0d0au) {
                    inHead_ = false;
                    n = i + 1;
                    break;
                }
            }
        }
        std::memcpy(ptr, buf_.data() + at_, n);
        at_ += n;
        return ssize_t(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        t_.timeouts(readMs_, writeMs_);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = t_.sendSome(ptr + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return -1;
            done += size_t(n);
        }
        return ssize_t(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(false, ip, port); }
    socket_t socket() const override { return t_.fd(); }

private:
    bool fill() {
        int waitMs = readMs_;
        if (inHead_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(headDeadline_ - Clock::now()).count();
            if (left <= 0) return false;
            waitMs = int(std::min<int64_t>(waitMs, left));
        }
        t_.timeouts(waitMs, writeMs_);
        buf_.resize(16384);
        for (;;) {
            const ssize_t n = t_.recvSome(buf_.data(), buf_.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                buf_.clear();
                at_ = 0;
                return false;
            }
            buf_.resize(size_t(n));
            at_ = 0;
            return true;
        }
    }

    void address(bool peer, std::string& ip, int& port) const {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        const int r = peer ? ::getpeername(t_.fd(), reinterpret_cast<sockaddr*>(&a), &len)
                           : ::getsockname(t_.fd(), reinterpret_cast<sockaddr*>(&a), &len);
        if (r != 0) return;
        char text[INET6_ADDRSTRLEN] = {};
        if (a.ss_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
            ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            port = ntohs(v4->sin_port);
        } else if (a.ss_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            port = ntohs(v6->sin6_port);
        }
        ip = text;
    }

    Transport& t_;
    const HeadBounds bounds_;
    const int readMs_;
    const int writeMs_;
    std::string buf_;
    size_t at_ = 0;
    bool inHead_ = true;
    size_t headBytes_ = 0;
    uint64_t tail_ = 0;
    Clock::time_point headDeadline_{};
};

// The keep-alive loop of one connection, as the library runs it, on a
// bounded stream.
template <class Base>
class Bounded : public Base {
public:
    template <class... Args>
    explicit Bounded(HeadBounds bounds, Args&&... args) : Base(std::forward<Args>(args)...), bounds_(bounds) {}

protected:
    bool serve(Transport& t) {
        const int readMs = int(this->read_timeout_sec_ * 1000 + this->read_timeout_usec_ / 1000);
        const int writeMs = int(this->write_timeout_sec_ * 1000 + this->write_timeout_usec_ / 1000);
        BoundedStream stream(t, bounds_, readMs, writeMs);
        bool ok = true;
        for (size_t count = this->keep_alive_max_count_; count > 0 && this->is_running(); --count) {
            if (!stream.waitForRequest(int(this->keep_alive_timeout_sec_ * 1000))) break;
            stream.beginRequest();
            bool closed = false;
            ok = this->process_request(stream, count == 1, closed, nullptr);
            if (!ok || closed) break;
        }
        return ok;
    }
    static void close(int fd) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }

    HeadBounds bounds_;
};

class PlainServer : public Bounded<httplib::Server> {
public:
    explicit PlainServer(HeadBounds b) : Bounded<httplib::Server>(b) {}

private:
    bool process_and_close_socket(socket_t sock) override {
        bool ok = false;
        {
            Transport t(sock);
            ok = serve(t);
        }
        close(sock);
        return ok;
    }
};

class TlsServer : public Bounded<httplib::SSLServer> {
public:
    TlsServer(HeadBounds b, const std::string& cert, const std::string& key)
        : Bounded<httplib::SSLServer>(b, cert.c_str(), key.c_str()) {}

private:
    bool process_and_close_socket(socket_t sock) override {
        bool ok = false;
        SSL* ssl = SSL_new(ssl_context());
        if (ssl && SSL_set_fd(ssl, sock) == 1) {
            Transport(sock).timeouts(int(read_timeout_sec_ * 1000), int(write_timeout_sec_ * 1000));
            if (SSL_accept(ssl) == 1) {
                TlsTransport t(sock, ssl);
                ok = serve(t);
                ssl = nullptr;  // freed with t
            }
        }
        if (ssl) SSL_free(ssl);
        ERR_clear_error();
        close(sock);
        return ok;
    }
};

}  // namespace

std::unique_ptr<httplib::Server> MakeServer(HeadBounds bounds) { return std::make_unique<PlainServer>(bounds); }

std::unique_ptr<httplib::Server> MakeTlsServer(const std::string& certificate, const std::string& key,
                                               HeadBounds bounds, std::string* error) {
    auto s = std::make_unique<TlsServer>(bounds, certificate, key);
    if (!s->is_valid()) {
        if (error) *error = "cannot load the TLS certificate " + certificate + " with its key " + key;
        return nullptr;
    }
    return s;
}

}  // namespace web
