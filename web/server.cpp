#include "web/server.h"

#include "support/clock.h"
#include "web/bounded_server.h"

#include <httplib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace web {

// ---------------------------------------------------------------- accounts on disk

std::optional<std::string> AccountDirectory::load() {
    std::lock_guard lock(mutex_);
    struct stat st {};
    mtimeNs_ = ::stat(file_.path().c_str(), &st) == 0 ? int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : 0;
    checkedMs_ = CurrentClock().tickMs();
    return file_.load();
}

void AccountDirectory::refreshLocked() {
    const int64_t now = CurrentClock().tickMs();
    if (checkedMs_ >= 0 && now - checkedMs_ < 1000) return;
    checkedMs_ = now;
    struct stat st {};
    const int64_t m = ::stat(file_.path().c_str(), &st) == 0 ? int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : 0;
    if (m == mtimeNs_) return;
    mtimeNs_ = m;
    file_.load();  // a broken file leaves no account: nobody gets in
}

std::optional<Account> AccountDirectory::find(const std::string& name) {
    std::lock_guard lock(mutex_);
    refreshLocked();
    const Account* a = file_.find(name);
    return a ? std::optional<Account>(*a) : std::nullopt;
}

size_t AccountDirectory::count() {
    std::lock_guard lock(mutex_);
    refreshLocked();
    return file_.accounts().size();
}

// ---------------------------------------------------------------- language

std::string PreferredLanguage(const std::string& header) {
    double fr = -1, en = -1;
    std::stringstream items(header);
    std::string item;
    while (std::getline(items, item, ',')) {
        std::string tag = item.substr(0, item.find(';'));
        tag.erase(std::remove_if(tag.begin(), tag.end(), ::isspace), tag.end());
        std::transform(tag.begin(), tag.end(), tag.begin(), ::tolower);
        double q = 1;
        const auto qp = item.find("q=");
        if (qp != std::string::npos) q = std::atof(item.c_str() + qp + 2);
        const std::string primary = tag.substr(0, tag.find('-'));
        if (primary == "fr") fr = std::max(fr, q);
        if (primary == "en") en = std::max(en, q);
    }
    return en > fr && en > 0 ? "en" : "fr";
}

// ---------------------------------------------------------------- the server

WebServer::WebServer(const WebConfig& config, RecorderLink& link, AccountDirectory& accounts, AssetStore& assets,
                     WebLog& log, ServerLimits limits)
    : config_(config), link_(link), accounts_(accounts), assets_(assets), log_(log), limits_(limits),
      sessions_(int64_t(config.sessionMinutes) * 60000) {
    // Checked against when the account is unknown: the answer takes as long.
    dummyHash_ = HashPassword(RandomToken());
}

WebServer::~WebServer() { stop(); }

int64_t WebServer::nowMs() const { return CurrentClock().tickMs(); }

std::string WebServer::cookieName() const { return "quillon_session_" + std::to_string(port_ > 0 ? port_ : config_.port); }

std::string WebServer::sessionCookie(const std::string& token, int64_t maxAgeS) const {
    std::string c = cookieName() + "=" + token + "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" + std::to_string(maxAgeS);
    if (config_.tls()) c += "; Secure";
    return c;
}

bool WebServer::bind() {
    if (config_.tls()) {
        std::string error;
        http_ = MakeTlsServer(config_.tlsCertificate, config_.tlsKey, limits_.head, &error);
        if (!http_) {
            log_.write(error);
            return false;
        }
    } else {
        http_ = MakeServer(limits_.head);
    }
    const int threads = limits_.threads;
    http_->new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    http_->set_payload_max_length(limits_.maxBody);
    http_->set_keep_alive_max_count(100);
    http_->set_keep_alive_timeout(5);
    http_->set_read_timeout(10, 0);
    http_->set_write_timeout(10, 0);
    installRoutes();
    if (config_.port == 0) {
        port_ = http_->bind_to_any_port(config_.address);
        if (port_ <= 0) port_ = 0;
    } else if (http_->bind_to_port(config_.address, config_.port)) {
        port_ = config_.port;
    }
    if (port_ == 0) {
        log_.write("cannot listen on " + config_.address + ":" + std::to_string(config_.port));
        return false;
    }
    return true;
}

bool WebServer::run() { return http_ && http_->listen_after_bind(); }

void WebServer::stop() {
    if (stopping_.exchange(true)) return;
    link_.interruptWaits();
    if (http_) http_->stop();
}

WebServer::Caller WebServer::callerOf(const httplib::Request& req) {
    Caller c;
    c.address = req.remote_addr;
    const std::string name = cookieName() + "=";
    for (size_t i = 0, n = req.get_header_value_count("Cookie"); i < n; ++i) {
        const std::string cookies = req.get_header_value("Cookie", i);
        size_t at = 0;
        while (at < cookies.size()) {
            while (at < cookies.size() && (cookies[at] == ' ' || cookies[at] == ';')) ++at;
            const size_t end = std::min(cookies.find(';', at), cookies.size());
            if (cookies.compare(at, name.size(), name) == 0) c.token = cookies.substr(at + name.size(), end - at - name.size());
            at = end;
        }
    }
    if (!c.token.empty()) c.session = sessions_.find(c.token, nowMs());
    if (c.session) {
        // An account removed, or given another role, ends its sessions.
        const auto account = accounts_.find(c.session->user);
        if (!account || account->role != c.session->role) {
            sessions_.remove(c.token);
            c.session.reset();
        }
    }
    return c;
}

bool WebServer::sameOrigin(const httplib::Request& req) const {
    const std::string site = req.get_header_value("Sec-Fetch-Site");
    if (!site.empty() && site != "same-origin" && site != "none") return false;
    const std::string origin = req.get_header_value("Origin");
    if (origin.empty()) return true;
    const std::string host = req.get_header_value("Host");
    return origin == std::string(config_.tls() ? "https://" : "http://") + host;
}

void WebServer::json(httplib::Response& res, int status, const nlohmann::json& body) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

bool WebServer::authorise(const httplib::Request& req, httplib::Response& res, Caller& caller, Role needed,
                          bool changesState) {
    caller = callerOf(req);
    if (!caller.session) {
        json(res, 401, {{"error", "login-required"}});
        return false;
    }
    if (changesState && (!sameOrigin(req) || !CsrfValid(*caller.session, req.get_header_value("X-CSRF-Token")))) {
        log_.write("refused: bad CSRF token " + LogField("user", caller.session->user) + " " +
                   LogField("addr", caller.address) + " " + LogField("path", req.path));
        json(res, 403, {{"error", "csrf"}});
        return false;
    }
    if (!Allows(caller.session->role, needed)) {
        log_.write("refused: role " + std::string(RoleName(caller.session->role)) + " " +
                   LogField("user", caller.session->user) + " " + LogField("addr", caller.address) + " " +
                   LogField("path", req.path));
        json(res, 403, {{"error", "forbidden"}});
        return false;
    }
    return true;
}

void WebServer::servePage(const httplib::Request& req, httplib::Response& res, const std::string& name) {
    const Asset* page = assets_.find(name);
    if (!page) {
        res.status = 500;
        res.set_content("missing page " + name, "text/plain");
        return;
    }
    std::string body = page->body;
    const std::string lang = PreferredLanguage(req.get_header_value("Accept-Language"));
    const std::string mark = "{{lang}}";
    for (size_t at = body.find(mark); at != std::string::npos; at = body.find(mark, at)) body.replace(at, mark.size(), lang);
    res.set_header("Cache-Control", "no-store");
    res.set_header("Vary", "Accept-Language");
    res.set_content(body, page->contentType);
}

void WebServer::installRoutes() {
    httplib::Headers headers = {
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy",
         "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
         "media-src 'self'; object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'"},
    };
    if (config_.tls()) headers.emplace("Strict-Transport-Security", "max-age=31536000");
    http_->set_default_headers(headers);

    // Without a session: GET of pages and assets, the login itself and the
    // metrics (which check their own token). Everything else: 401.
    http_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const bool read = req.method == "GET" || req.method == "HEAD";
        const bool open = (read && (req.path == "/" || req.path == "/login" || req.path.rfind("/assets/", 0) == 0 ||
                                    req.path == "/metrics" || req.path == "/favicon.ico")) ||
                          (req.method == "POST" && req.path == "/api/login");
        if (!open && !callerOf(req).session) {
            json(res, 401, {{"error", "login-required"}});
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!read && req.method != "POST") {
            json(res, 405, {{"error", "method-not-allowed"}});
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http_->set_exception_handler([this](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown";
        try {
            if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        log_.write("internal error on " + LogField("path", req.path) + " " + LogField("what", what));
        json(res, 500, {{"error", "internal"}});
    });
    http_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) res.set_content("{\"error\":\"" + std::to_string(res.status) + "\"}", "application/json");
    });

    http_->Get("/", [this](const httplib::Request& req, httplib::Response& res) {
        if (!callerOf(req).session) {
            res.set_redirect("/login", 303);
            return;
        }
        servePage(req, res, "index.html");
    });
    http_->Get("/login", [this](const httplib::Request& req, httplib::Response& res) {
        if (callerOf(req).session) {
            res.set_redirect("/", 303);
            return;
        }
        servePage(req, res, "login.html");
    });
    http_->Get("/favicon.ico", [this](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/assets/icon.svg", 301);
    });
    http_->Get(R"(/assets/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        const auto name = SafeRelativePath(req.matches[1].str());
        const Asset* asset = name ? assets_.find(*name) : nullptr;
        if (!asset) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        res.set_header("ETag", asset->etag);
        res.set_header("Cache-Control", "no-cache");
        if (req.get_header_value("If-None-Match") == asset->etag) {
            res.status = 304;
            return;
        }
        res.set_content(asset->body, asset->contentType);
    });
    installLogin();
    installApi();
    installEvents();
    installMetrics();
}

bool WebServer::acquireHashSlot() {
    std::unique_lock lock(hashMutex_);
    if (!hashFree_.wait_for(lock, std::chrono::seconds(5), [&] { return hashesRunning_ < limits_.maxConcurrentHashes; }))
        return false;
    ++hashesRunning_;
    return true;
}

void WebServer::releaseHashSlot() {
    std::lock_guard lock(hashMutex_);
    --hashesRunning_;
    hashFree_.notify_one();
}

}  // namespace web
