#pragma once
// A client end of the recorder's control socket: a Unix stream socket that
// carries one JSON object per line. Non-blocking underneath; the waits are
// poll() with a bound.
#include <optional>
#include <string>

namespace web {

enum class ConnectResult { Connected, NotRunning, NoAccess, Busy, Failed };

class LineSocket {
public:
    // Lines longer than this are dropped whole (the recorder's own answers
    // stay far below it: 5000 trace lines are about 1 MiB).
    static constexpr size_t kMaxLine = 16u << 20;

    LineSocket() = default;
    ~LineSocket() { close(); }
    LineSocket(const LineSocket&) = delete;
    LineSocket& operator=(const LineSocket&) = delete;

    // ENOENT and ECONNREFUSED: nobody listens (NotRunning); EACCES: the
    // socket's permissions keep us out; EAGAIN: its queue is full (Busy).
    ConnectResult connect(const std::string& path, std::string* detail = nullptr);
    void close();
    int fd() const { return fd_; }
    bool connected() const { return fd_ >= 0; }

    // Queues a line (a '\n' is added) and writes what the socket takes now.
    bool send(const std::string& line);
    // Writes more of the queue; false when the connection failed.
    bool flush();
    size_t pendingOut() const { return out_.size(); }

    // Reads what arrived; false at the end of the stream or on an error.
    bool receive();
    // The next whole line (its '\r' removed), if one arrived.
    std::optional<std::string> nextLine();

    // Blocking helpers for simple clients: waits at most timeoutMs for a line.
    std::optional<std::string> readLine(int timeoutMs);
    bool sendAndFlush(const std::string& line, int timeoutMs);

private:
    int fd_ = -1;
    std::string in_;
    std::string out_;
    bool skipping_ = false;  // inside a line that was too long
};

}  // namespace web
