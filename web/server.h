#pragma once
// The console's HTTP(S) server: pages and assets, the JSON API of the status
// page, its event stream and /metrics, behind accounts and sessions.
#include "web/accounts.h"
#include "web/bounded_server.h"
#include "web/config.h"
#include "web/paths.h"
#include "web/rate_limit.h"
#include "web/recorder_link.h"
#include "web/sessions.h"
#include "web/weblog.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace web {

// The accounts file, read again when it changes on disk (checked at most
// once a second), so that --add-user and --remove-user take effect at once.
class AccountDirectory {
public:
    explicit AccountDirectory(std::string path) : file_(std::move(path)) {}
    std::optional<std::string> load();
    std::optional<Account> find(const std::string& name);
    size_t count();

private:
    void refreshLocked();
    std::mutex mutex_;
    AccountFile file_;
    int64_t checkedMs_ = -1;
    int64_t mtimeNs_ = -1;
};

// "fr" or "en" from an Accept-Language header: French unless English is
// preferred to it.
std::string PreferredLanguage(const std::string& acceptLanguage);

// /metrics: from loopback, or with "Authorization: Bearer <token>" when a
// token is set.
bool MetricsAllowed(const std::string& remote, const std::string& authorization, const std::string& token);

struct ServerLimits {
    size_t maxBody = 64 * 1024;
    int maxStreams = 64;        // open event streams
    int threads = 96;           // > maxStreams: other requests always find one
    int maxConcurrentHashes = 2;
    int eventMinIntervalMs = 100;  // at most 10 updates a second per page
    int heartbeatMs = 15000;
    int commandTimeoutMs = 15000;
    HeadBounds head;  // request heads: size and time
};

class WebServer {
public:
    WebServer(const WebConfig& config, RecorderLink& link, AccountDirectory& accounts, AssetStore& assets, WebLog& log,
              ServerLimits limits = {});
    ~WebServer();

    // False (and the reason in the log) when the TLS files do not load or the
    // address cannot be bound. Port 0 binds any free port.
    bool bind();
    int port() const { return port_; }
    // Serves until stop(); returns false when it could not serve.
    bool run();
    void stop();
    int streams() const { return streams_.load(); }

private:
    friend class Routes;
    struct Caller {
        std::string address;
        std::optional<Session> session;
        std::string token;
    };
    void installRoutes();
    Caller callerOf(const httplib::Request& req);
    // Answers 401/403 itself and returns false when the caller may not.
    bool authorise(const httplib::Request& req, httplib::Response& res, Caller& caller, Role needed, bool changesState);
    bool sameOrigin(const httplib::Request& req) const;
    void json(httplib::Response& res, int status, const nlohmann::json& body);
    void servePage(const httplib::Request& req, httplib::Response& res, const std::string& name);
    std::string cookieName() const;
    std::string sessionCookie(const std::string& token, int64_t maxAgeS) const;
    int64_t nowMs() const;

    // Route groups (api.cpp, events.cpp).
    void installLogin();
    void installApi();
    void installEvents();
    void installMetrics();
    bool acquireHashSlot();
    void releaseHashSlot();

    const WebConfig config_;
    RecorderLink& link_;
    AccountDirectory& accounts_;
    AssetStore& assets_;
    WebLog& log_;
    const ServerLimits limits_;
    std::unique_ptr<httplib::Server> http_;
    SessionStore sessions_;
    LoginThrottle throttle_;
    std::string dummyHash_;
    int port_ = 0;
    std::atomic<int> streams_{0};
    std::atomic<bool> stopping_{false};
    std::mutex hashMutex_;
    std::condition_variable hashFree_;
    int hashesRunning_ = 0;
};

}  // namespace web
