#pragma once
// Helpers of the web console's tests: a temporary folder, a scripted peer on
// a real Unix socket standing for the recorder program, and raw HTTP over
// real TCP on loopback.
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace webtest {

// libsodium is ready before any test runs.
inline const int kSodiumInit = sodium_init();

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/qw-test.XXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Waits (bounded, sleeping between looks) until pred() holds.
inline bool waitFor(const std::function<bool()>& pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

// A recorder program as far as its control socket goes: it greets, answers
// each request line through `answer`, and can stop reading (frozen) or push
// events to its clients.
class Peer {
public:
    using Answer = std::function<nlohmann::json(const nlohmann::json& request)>;

    Peer(std::string path, Answer answer, nlohmann::json greeting = nullptr)
        : path_(std::move(path)), answer_(std::move(answer)), greeting_(std::move(greeting)) {
        if (greeting_.is_null())
            greeting_ = {{"protocol", 1}, {"program", "quillon-recorder"}, {"version", "test"}, {"instance", 1},
                         {"pid", 4242}, {"recorders", 8}};
        ::unlink(path_.c_str());
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path_.c_str());
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 16) != 0) std::abort();
        thread_ = std::thread([this] { run(); });
    }
    ~Peer() { close(); }

    void close() {
        if (stop_.exchange(true)) return;
        thread_.join();
        ::close(listen_);
        for (int fd : clients_) ::close(fd);
        ::unlink(path_.c_str());
    }
    void freeze(bool on) { frozen_ = on; }
    void push(const nlohmann::json& event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event.dump());
    }
    std::vector<nlohmann::json> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int connections() const { return connections_.load(); }

private:
    void sendLine(int fd, const std::string& line) {
        const std::string l = line + "\n";
        [[maybe_unused]] auto n = ::send(fd, l.data(), l.size(), MSG_NOSIGNAL);
    }
    void run() {
        std::vector<std::string> buffers;
        while (!stop_) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (int fd : clients_) fds.push_back({fd, short(frozen_ ? 0 : POLLIN), 0});
            ::poll(fds.data(), fds.size(), 20);
            if (fds[0].revents & POLLIN) {
                const int c = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    ++connections_;
                    clients_.push_back(c);
                    buffers.emplace_back();
                    sendLine(c, greeting_.dump());
                }
            }
            if (!frozen_) {
                std::vector<std::string> events;
                {
                    std::lock_guard lock(mutex_);
                    events.swap(events_);
                }
                for (const auto& e : events)
                    for (int fd : clients_) sendLine(fd, e);
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                char buf[65536];
                const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
                if (n <= 0) {
                    ::close(fds[i].fd);
                    clients_[i - 1] = -1;
                    continue;
                }
                std::string& b = buffers[i - 1];
                b.append(buf, size_t(n));
                for (auto nl = b.find('\n'); nl != std::string::npos; nl = b.find('\n')) {
                    const auto req = nlohmann::json::parse(b.substr(0, nl), nullptr, false);
                    b.erase(0, nl + 1);
                    {
                        std::lock_guard lock(mutex_);
                        requests_.push_back(req);
                    }
                    nlohmann::json a = answer_(req);
                    if (a.is_null()) continue;
                    if (req.contains("id")) a["id"] = req["id"];
                    sendLine(fds[i].fd, a.dump());
                }
            }
            for (size_t i = clients_.size(); i-- > 0;)
                if (clients_[i] < 0) {
                    clients_.erase(clients_.begin() + long(i));
                    buffers.erase(buffers.begin() + long(i));
                }
        }
    }

    std::string path_;
    Answer answer_;
    nlohmann::json greeting_;
    int listen_ = -1;
    std::vector<int> clients_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> frozen_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<nlohmann::json> requests_;
};

// A status answer with recorders 1 (recording) and 2 (out of service).
inline nlohmann::json SampleStatus() {
    return nlohmann::json::parse(R"({"ok":true,"program":{"version":"2026.1211.1628","instance":1,"pid":4242,
      "startup_done":true,"closing":false},
      "recorders":[{"recorder":1,"label":"Antenne \"A\"","in_service":true,"logging":true,"state":"recording",
        "state_text":"Enregistrement","writing":true,"wanted":true,"device":"Monitor of Antenne","device_present":true,
        "format":"mp3","format_text":"MP3 CBR 192 Kbps","quality":"48000 Hz 16 bits stereo","folder":"/srv/audio/Antenne/",
        "file":"/srv/audio/Antenne/Pige.mp3","elapsed_s":1925.4,"file_bytes":46209600,"bytes_written":46209600,
        "free_bytes":512000000000,"seconds_left":21333333,"silence":false,"silence_s":0,"overruns":2,"samples_lost":480,
        "peak_dbfs":[-12.5,-13.1]},
       {"recorder":2,"label":"Studio","in_service":false,"state":"out-of-service"}]})");
}

// Whether `text` holds a whole answer with a Content-Length (or none to wait for).
inline bool wholeResponse(const std::string& text) {
    const auto head = text.find("\r\n\r\n");
    if (head == std::string::npos) return false;
    const int status = text.size() > 12 ? std::atoi(text.c_str() + 9) : 0;
    if (status == 304 || status == 204 || (status >= 100 && status < 200)) return true;
    std::string lower = text.substr(0, head);
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    const auto cl = lower.find("\r\ncontent-length:");
    if (cl == std::string::npos) return false;  // streamed: read until the end or the time
    return text.size() - head - 4 >= size_t(std::atol(lower.c_str() + cl + 17));
}

// A whole HTTP exchange over a new TCP connection to 127.0.0.1:port: the
// bytes sent as they are, the answer read until it is whole, the server
// closes, or the time is up.
inline std::string RawHttp(int port, const std::string& bytes, int timeoutMs = 3000) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return {};
    }
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += size_t(n);
    }
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (wholeResponse(out)) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) break;
        char buf[8192];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return out;
}

// The status code of a raw HTTP answer (0: none).
inline int StatusOf(const std::string& response) {
    if (response.rfind("HTTP/1.", 0) != 0 || response.size() < 12) return 0;
    return std::atoi(response.c_str() + 9);
}

}  // namespace webtest
