// Login, session and the JSON API of the status page, and /metrics.
#include "support/app_globals.h"
#include "web/metrics.h"
#include "web/server.h"
#include "web/status_view.h"

#include <httplib.h>

#include <regex>

namespace web {

namespace {
nlohmann::json bodyJson(const httplib::Request& req) {
    auto j = nlohmann::json::parse(req.body, nullptr, false);
    return j.is_object() ? j : nlohmann::json(nullptr);
}

bool isJson(const httplib::Request& req) {
    const std::string type = req.get_header_value("Content-Type");
    return type.rfind("application/json", 0) == 0;
}

int statusOfError(const std::string& error) {
    if (error == "refused") return 409;
    if (error == "bad-argument") return 400;
    if (error == "unavailable") return 503;
    return 502;
}

// The recorder's refusal or error, answered as it is (its message is for the operator).
bool refused(const CallResult& r, httplib::Response& res) {
    if (r.ok) return false;
    res.status = statusOfError(r.error);
    res.set_header("Cache-Control", "no-store");
    res.set_content(nlohmann::json{{"ok", false}, {"error", r.error}, {"message", r.message}}.dump(), "application/json");
    return true;
}

int boundedInt(const httplib::Request& req, const char* name, int def, int lo, int hi) {
    if (!req.has_param(name)) return def;
    try {
        return std::clamp(std::stoi(req.get_param_value(name)), lo, hi);
    } catch (...) {
        return def;
    }
}
}  // namespace

bool MetricsAllowed(const std::string& remote, const std::string& authorization, const std::string& token) {
    if (IsLoopbackAddress(remote)) return true;
    const std::string prefix = "Bearer ";
    return !token.empty() && authorization.rfind(prefix, 0) == 0 && SameSecret(authorization.substr(prefix.size()), token);
}

void WebServer::installLogin() {
    http_->Post("/api/login", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string addr = req.remote_addr;
        if (!isJson(req) || !sameOrigin(req)) {
            json(res, 415, {{"error", "json-required"}});
            return;
        }
        const auto body = bodyJson(req);
        if (!body.is_object() || !body.contains("user") || !body["user"].is_string() || !body.contains("password") ||
            !body["password"].is_string()) {
            json(res, 400, {{"error", "bad-request"}});
            return;
        }
        const std::string user = body["user"].get<std::string>().substr(0, 64);
        const std::string password = body["password"].get<std::string>();
        const int64_t now = nowMs();
        const int64_t wait = std::max(throttle_.waitMs("addr:" + addr, now), throttle_.waitMs("user:" + user, now));
        if (wait > 0) {
            const int64_t seconds = (wait + 999) / 1000;
            log_.write("login throttled " + LogField("user", user) + " " + LogField("addr", addr) + " wait=" +
                       std::to_string(seconds) + "s");
            res.set_header("Retry-After", std::to_string(seconds));
            json(res, 429, {{"error", "throttled"}, {"retry_after", seconds}});
            return;
        }
        if (!acquireHashSlot()) {
            json(res, 503, {{"error", "busy"}});
            return;
        }
        const auto account = ValidAccountName(user) ? accounts_.find(user) : std::nullopt;
        const bool good = VerifyPassword(account ? account->hash : dummyHash_, password) && account.has_value();
        releaseHashSlot();
        if (!good) {
            throttle_.failure("addr:" + addr, nowMs());
            throttle_.failure("user:" + user, nowMs());
            log_.write("login failed " + LogField("user", user) + " " + LogField("addr", addr) +
                       (account ? "" : " (no such account)"));
            json(res, 401, {{"error", "bad-credentials"}});
            return;
        }
        throttle_.success("addr:" + addr);
        throttle_.success("user:" + user);
        Session made;
        const std::string token = sessions_.create(account->name, account->role, nowMs(), &made);
        res.set_header("Set-Cookie", sessionCookie(token, sessions_.lifetimeMs() / 1000));
        log_.write("login " + LogField("user", account->name) + " role=" + RoleName(account->role) + " " +
                   LogField("addr", addr));
        json(res, 200, {{"user", account->name}, {"role", RoleName(account->role)}, {"csrf", made.csrf}});
    });
    http_->Post("/api/logout", [this](const httplib::Request& req, httplib::Response& res) {
        Caller caller;
        if (!authorise(req, res, caller, Role::Listen, true)) return;
        sessions_.remove(caller.token);
        res.set_header("Set-Cookie", sessionCookie("", 0));
        log_.write("logout " + LogField("user", caller.session->user) + " " + LogField("addr", caller.address));
        json(res, 200, {{"ok", true}});
    });
    http_->Get("/api/session", [this](const httplib::Request& req, httplib::Response& res) {
        Caller caller;
        if (!authorise(req, res, caller, Role::Listen, false)) return;
        const int64_t left = std::max<int64_t>(0, caller.session->expiresMs - nowMs());
        json(res, 200,
             {{"user", caller.session->user},
              {"role", RoleName(caller.session->role)},
              {"csrf", caller.session->csrf},
              {"lang", PreferredLanguage(req.get_header_value("Accept-Language"))},
              {"instance", config_.instance},
              {"version", VersionApplication().toStdString()},
              {"expires_in_s", left / 1000}});
    });
}

void WebServer::installApi() {
    http_->Get("/api/status", [this](const httplib::Request& req, httplib::Response& res) {
        Caller caller;
        if (!authorise(req, res, caller, Role::Listen, false)) return;
        json(res, 200, StatusView(link_.snapshot()));
    });
    http_->Post(R"(/api/recorders/(\d{1,2})/(start|pause|continue|stop))",
                [this](const httplib::Request& req, httplib::Response& res) {
        Caller caller;
        if (!authorise(req, res, caller, Role::Operate, true)) return;
        const int recorder = std::stoi(req.matches[1].str());
        const std::string command = req.matches[2].str();
        const std::string who = "web:" + caller.session->user;
        nlohmann::json request = {{"request", command}, {"recorder", recorder}, {"user", who}};
        const CallResult r = link_.call(request, limits_.commandTimeoutMs);
        log_.write("command " + command + " recorder=" + std::to_string(recorder) + " " + LogField("user", who) + " " +
                   LogField("addr", caller.address) + " " +
                   (r.ok ? std::string("result=ok") : "result=" + r.error + " " + LogField("message", r.message)));
        if (refused(r, res)) return;
        json(res, 200, {{"ok", true}, {"recorder", r.answer.value("recorder", nlohmann::json::object())}});
    });
    http_->Get("/api/incidents", [this](const httplib::Request& req, httplib::Response& res) {
        Caller caller;
        if (!authorise(req, res, caller, Role::Admin, false)) return;
        const CallResult r = link_.call({{"request", "incidents"}, {"last", boundedInt(req, "last", 100, 1, 1000)}}, 5000);
        if (refused(r, res)) return;
        json(res, 200, {{"ok", true}, {"incidents", r.answer.value("incidents", nlohmann::json::array())}});
    });
    http_->Post("/api/incidents/acknowledge", [this](const httplib::Request& req, httplib::Response& res) {
        Caller caller;
        if (!authorise(req, res, caller, Role::Admin, true)) return;
        const auto body = bodyJson(req);
        const std::string who = "web:" + caller.session->user;
        nlohmann::json request = {{"request", "acknowledge"}, {"user", who}};
        std::string what;
        if (body.is_object() && body.value("all", false) == true) {
            request["all"] = true;
            what = "all";
        } else if (body.is_object() && body.contains("seq") && body["seq"].is_number_unsigned()) {
            request["seq"] = body["seq"];
            what = body["seq"].dump();
        } else {
            json(res, 400, {{"ok", false}, {"error", "bad-argument"}});
            return;
        }
        const CallResult r = link_.call(request, 5000);
        log_.write("command acknowledge incident=" + what + " " + LogField("user", who) + " " +
                   LogField("addr", caller.address) + " " +
                   (r.ok ? std::string("result=ok") : "result=" + r.error + " " + LogField("message", r.message)));
        if (refused(r, res)) return;
        json(res, 200, {{"ok", true}});
    });
    http_->Get("/api/trace", [this](const httplib::Request& req, httplib::Response& res) {
        Caller caller;
        if (!authorise(req, res, caller, Role::Admin, false)) return;
        const CallResult r = link_.call({{"request", "trace"}, {"last", boundedInt(req, "last", 500, 1, 5000)}}, 8000);
        if (refused(r, res)) return;
        json(res, 200, {{"ok", true}, {"lines", r.answer.value("lines", nlohmann::json::array())}});
    });
}

void WebServer::installMetrics() {
    http_->Get("/metrics", [this](const httplib::Request& req, httplib::Response& res) {
        if (!MetricsAllowed(req.remote_addr, req.get_header_value("Authorization"), config_.metricsToken)) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Bearer realm=\"quillon-web metrics\"");
            res.set_content("metrics: loopback or bearer token only\n", "text/plain");
            return;
        }
        MetricsInput in{link_.snapshot(), VersionApplication().toStdString(), config_.instance, streams(),
                        link_.levelSubscriptions()};
        res.set_header("Cache-Control", "no-store");
        res.set_content(RenderMetrics(in), "text/plain; version=0.0.4; charset=utf-8");
    });
}

}  // namespace web
