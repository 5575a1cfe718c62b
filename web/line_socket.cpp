#include "web/line_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace web {

ConnectResult LineSocket::connect(const std::string& path, std::string* detail) {
    close();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        if (detail) *detail = "socket path too long: " + path;
        return ConnectResult::Failed;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (detail) *detail = std::strerror(errno);
        return ConnectResult::Failed;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int e = errno;
        ::close(fd);
        if (detail) *detail = path + ": " + std::strerror(e);
        if (e == ENOENT || e == ECONNREFUSED || e == ENOTDIR) return ConnectResult::NotRunning;
        if (e == EACCES || e == EPERM) return ConnectResult::NoAccess;
        if (e == EAGAIN) return ConnectResult::Busy;
        return ConnectResult::Failed;
    }
    fd_ = fd;
    in_.clear();
    out_.clear();
    skipping_ = false;
    return ConnectResult::Connected;
}

void LineSocket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    in_.clear();
    out_.clear();
}

bool LineSocket::send(const std::string& line) {
    if (fd_ < 0) return false;
    out_ += line;
    out_ += '\n';
    return flush();
}

bool LineSocket::flush() {
    while (fd_ >= 0 && !out_.empty()) {
        const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            out_.erase(0, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
    }
    return fd_ >= 0;
}

bool LineSocket::receive() {
    if (fd_ < 0) return false;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n > 0) {
            in_.append(buf, size_t(n));
            if (in_.size() > kMaxLine && in_.find('\n') == std::string::npos) {
                // A line too long: dropped up to its end.
                in_.clear();
                skipping_ = true;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;  // end of stream or error
    }
}

std::optional<std::string> LineSocket::nextLine() {
    for (;;) {
        const auto nl = in_.find('\n');
        if (nl == std::string::npos) return std::nullopt;
        std::string line = in_.substr(0, nl);
        in_.erase(0, nl + 1);
        if (skipping_) {
            skipping_ = false;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
}

std::optional<std::string> LineSocket::readLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (auto line = nextLine()) return line;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || fd_ < 0) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, int(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        if (!receive()) {
            // What arrived before the end still counts.
            if (auto line = nextLine()) return line;
            close();
            return std::nullopt;
        }
    }
}

bool LineSocket::sendAndFlush(const std::string& line, int timeoutMs) {
    if (!send(line)) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!out_.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, int(left.count())) < 0 && errno != EINTR) return false;
        if (!flush()) return false;
    }
    return true;
}

}  // namespace web
