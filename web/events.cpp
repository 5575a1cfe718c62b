// The status page's event stream (Server-Sent Events): the status when it
// changes, the levels when they change, at most one write every 100 ms, a
// comment line now and then so that a dead connection is found. One pool
// thread per open page; the number of pages is bounded below the pool's
// size so that other requests always find a thread.
#include "web/server.h"
#include "web/status_view.h"

#include <httplib.h>

#include <thread>

namespace web {

namespace {
std::string eventText(const char* name, const nlohmann::json& data) {
    return std::string("event: ") + name + "\ndata: " +
           data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n\n";
}

struct StreamState {
    uint64_t statusSeen = ~uint64_t(0);
    uint64_t levelsSeen = ~uint64_t(0);
    std::chrono::steady_clock::time_point lastWrite{};
    bool first = true;
};
}  // namespace

void WebServer::installEvents() {
    http_->Get("/api/events", [this](const httplib::Request& req, httplib::Response& res) {
        Caller caller;
        if (!authorise(req, res, caller, Role::Listen, false)) return;
        if (streams_.fetch_add(1) >= limits_.maxStreams) {
            streams_.fetch_sub(1);
            json(res, 503, {{"error", "too-many-streams"}});
            return;
        }
        link_.addViewer();
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Accel-Buffering", "no");
        auto state = std::make_shared<StreamState>();
        const std::string token = caller.token;
        const auto minInterval = std::chrono::milliseconds(limits_.eventMinIntervalMs);
        const auto heartbeat = std::chrono::milliseconds(limits_.heartbeatMs);
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, state, token, minInterval, heartbeat](size_t, httplib::DataSink& sink) {
                using Clock = std::chrono::steady_clock;
                if (stopping_.load()) return false;
                if (!state->first) {
                    // At most one write per interval; then wait for news.
                    const auto earliest = state->lastWrite + minInterval;
                    if (Clock::now() < earliest) std::this_thread::sleep_until(earliest);
                    link_.waitChange(state->statusSeen, state->levelsSeen, Clock::now() + heartbeat);
                    if (stopping_.load()) return false;
                }
                std::string out;
                if (state->first) out += "retry: 2000\n\n";
                state->first = false;
                // The session ends with its lifetime, a logout, or its account.
                const auto session = sessions_.find(token, nowMs());
                const auto account = session ? accounts_.find(session->user) : std::nullopt;
                if (!session || !account || account->role != session->role) {
                    out += eventText("logout", nlohmann::json::object());
                    sink.write(out.data(), out.size());
                    return false;
                }
                const LinkSnapshot snap = link_.snapshot();
                if (snap.statusVersion != state->statusSeen) {
                    state->statusSeen = snap.statusVersion;
                    out += eventText("status", StatusView(snap));
                }
                uint64_t levelsVersion = 0;
                const nlohmann::json levels = link_.levels(&levelsVersion);
                if (levelsVersion != state->levelsSeen) {
                    state->levelsSeen = levelsVersion;
                    if (!levels.is_null()) out += eventText("levels", levels);
                }
                if (out.empty()) out = ": still here\n\n";
                state->lastWrite = Clock::now();
                return sink.write(out.data(), out.size());
            },
            [this](bool) {
                link_.removeViewer();
                streams_.fetch_sub(1);
            });
    });
}

}  // namespace web
