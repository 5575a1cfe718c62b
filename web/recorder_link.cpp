#include "web/recorder_link.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace web {

namespace {
constexpr const char* kUnavailable = "Le programme d'enregistrement ne répond pas";
constexpr const char* kIdStatus = "web-status";
constexpr const char* kIdSubscribe = "web-subscribe";
constexpr const char* kIdIncidents = "web-incidents";

std::string lower(const std::string& s) {
    std::string out;
    for (char c : s) out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}
bool has(const std::string& text, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (text.find(w) != std::string::npos) return true;
    return false;
}
}  // namespace

const char* LinkStateName(LinkState state) {
    switch (state) {
    case LinkState::Connecting: return "connecting";
    case LinkState::Up: return "up";
    case LinkState::NotRunning: return "not-running";
    case LinkState::NoAccess: return "no-access";
    case LinkState::NotAnswering: return "not-answering";
    case LinkState::Incompatible: return "incompatible";
    }
    return "connecting";
}

std::string IncidentKind(const std::string& text) {
    const std::string t = lower(text);
    if (has(t, {"silence"})) return "silence";
    if (has(t, {"gap", "resumed", "overrun", "lost", "perdu", "reprise"})) return "gap";
    if (has(t, {"device", "périphérique", "absent", "sound server", "serveur de son"})) return "device";
    if (has(t, {"disk", "space", "full", "disque", "espace", "plein"})) return "disk";
    if (has(t, {"fail", "error", "erreur", "échec", "impossible"})) return "failure";
    return "other";
}

RecorderLink::RecorderLink(LinkOptions options) : options_(std::move(options)) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

RecorderLink::~RecorderLink() {
    stop();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void RecorderLink::start() {
    if (running_.exchange(true)) return;
    thread_ = std::thread([this] { run(); });
}

void RecorderLink::stop() {
    if (!running_.exchange(false)) return;
    wake();
    if (thread_.joinable()) thread_.join();
}

void RecorderLink::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

LinkSnapshot RecorderLink::snapshot() const {
    std::lock_guard lock(mutex_);
    LinkSnapshot s = snap_;
    if (!s.status.is_null())
        s.statusAgeMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - statusAt_).count();
    return s;
}

nlohmann::json RecorderLink::levels(uint64_t* version) const {
    std::lock_guard lock(mutex_);
    if (version) *version = levelsVersion_;
    return levels_;
}

void RecorderLink::waitChange(uint64_t statusSeen, uint64_t levelsSeen, Clock::time_point deadline) const {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline, [&] {
        return snap_.statusVersion != statusSeen || levelsVersion_ != levelsSeen || interrupted_.load();
    });
}

void RecorderLink::interruptWaits() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    changed_.notify_all();
}

void RecorderLink::addViewer() {
    if (viewers_.fetch_add(1) == 0) wake();
}

void RecorderLink::removeViewer() {
    if (viewers_.fetch_sub(1) == 1) wake();
}

CallResult RecorderLink::call(nlohmann::json request, int timeoutMs) {
    auto p = std::make_shared<Pending>();
    p->deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    {
        std::unique_lock lock(mutex_);
        if (snap_.state != LinkState::Up) return {false, nullptr, "unavailable", kUnavailable};
        p->id = "web-call-" + std::to_string(nextId_++);
        request["id"] = p->id;
        pending_[p->id] = p;
        outgoing_.push_back(std::move(request));
    }
    wake();
    std::unique_lock lock(mutex_);
    callDone_.wait_until(lock, p->deadline, [&] { return p->done; });
    pending_.erase(p->id);
    if (!p->done) return {false, nullptr, "unavailable", kUnavailable};
    return p->result;
}

void RecorderLink::setState(LinkState state, const std::string& detail) {
    {
        std::lock_guard lock(mutex_);
        if (snap_.state == state && snap_.detail == detail) return;
        snap_.state = state;
        snap_.detail = detail;
        ++snap_.statusVersion;
        changed_.notify_all();
    }
    announce();
}

void RecorderLink::announce() {
    LinkState state;
    std::string detail;
    nlohmann::json greeting;
    {
        std::lock_guard lock(mutex_);
        if (snap_.state == announced_) return;
        announced_ = state = snap_.state;
        detail = snap_.detail;
        greeting = snap_.greeting;
    }
    if (options_.onChange) options_.onChange(state, detail, greeting);
}

void RecorderLink::disconnect(LinkState state, const std::string& detail) {
    socket_.close();
    greeted_ = false;
    statusInFlight_ = false;
    levelsSubscribed_ = false;
    reconnectAt_ = Clock::now() + std::chrono::milliseconds(options_.reconnectMs);
    {
        std::lock_guard lock(mutex_);
        // Calls waiting for an answer that will not come.
        for (auto& [id, p] : pending_) {
            p->done = true;
            p->result = {false, nullptr, "unavailable", kUnavailable};
        }
        callDone_.notify_all();
        outgoing_.clear();
        levels_ = nullptr;
        ++levelsVersion_;
    }
    setState(state, detail);
}

void RecorderLink::tryConnect(Clock::time_point now) {
    std::string firstDetail;
    ConnectResult first = ConnectResult::NotRunning;
    std::vector<std::string> paths{options_.socketPath};
    paths.insert(paths.end(), options_.socketFallbacks.begin(), options_.socketFallbacks.end());
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string detail;
        const ConnectResult r = socket_.connect(paths[i], &detail);
        if (r == ConnectResult::Connected) {
            connectedAt_ = now;
            greeted_ = false;
            return;
        }
        // What the first place says, unless a later one says more than "nobody".
        if (i == 0 || (first == ConnectResult::NotRunning && r != ConnectResult::NotRunning)) {
            first = r;
            firstDetail = detail;
        }
    }
    switch (first) {
    case ConnectResult::NoAccess: disconnect(LinkState::NoAccess, firstDetail); return;
    case ConnectResult::Busy: disconnect(LinkState::NotAnswering, firstDetail); return;
    default: disconnect(LinkState::NotRunning, firstDetail); return;
    }
}

void RecorderLink::sendInternal(const std::string& id, nlohmann::json request) {
    request["id"] = id;
    socket_.send(request.dump());
}

void RecorderLink::sendSubscribe() {
    const bool levels = viewers_.load() > 0;
    sendInternal(kIdSubscribe, {{"request", "subscribe"}, {"levels", levels}});
    if (levels) ++levelSubscriptions_;
    levelsSubscribed_ = levels;
}

void RecorderLink::sendStatus(Clock::time_point now) {
    sendInternal(kIdStatus, {{"request", "status"}});
    ++statusRequests_;
    statusInFlight_ = true;
    statusAgain_ = false;
    statusSentAt_ = now;
}

void RecorderLink::onGreeting(const nlohmann::json& greeting, Clock::time_point now) {
    if (!greeting.is_object() || !greeting.contains("protocol")) {
        disconnect(LinkState::Incompatible, "no greeting from the recorder program");
        return;
    }
    if (greeting.value("protocol", 0) != 1) {
        disconnect(LinkState::Incompatible, "the recorder program speaks protocol " + greeting["protocol"].dump());
        reconnectAt_ = now + std::chrono::milliseconds(options_.reconnectMs * 5);
        return;
    }
    greeted_ = true;
    const int64_t pid = greeting.value("pid", int64_t(-1));
    if (pid != lastPid_) {
        // Another run of the program: its incidents are numbered anew.
        lastPid_ = pid;
        lastIncidentSeq_ = 0;
        incidentsLoaded_ = false;
        std::lock_guard lock(mutex_);
        snap_.incidentsByKind.clear();
    }
    {
        std::lock_guard lock(mutex_);
        snap_.greeting = greeting;
    }
    sendSubscribe();
    sendInternal(kIdIncidents, {{"request", "incidents"}, {"last", 1000}});
    sendStatus(now);
}

void RecorderLink::countIncident(uint64_t seq, const std::string& text) {
    if (seq != 0 && seq <= lastIncidentSeq_) return;
    lastIncidentSeq_ = std::max(lastIncidentSeq_, seq);
    std::lock_guard lock(mutex_);
    ++snap_.incidentsByKind[IncidentKind(text)];
}

void RecorderLink::onAnswer(const nlohmann::json& answer, Clock::time_point now) {
    const std::string id = answer.contains("id") && answer["id"].is_string() ? answer["id"].get<std::string>() : "";
    if (id == kIdStatus) {
        statusInFlight_ = false;
        const auto period = viewers_.load() > 0 ? options_.viewedPollMs : options_.idlePollMs;
        statusDue_ = statusAgain_ ? now : now + std::chrono::milliseconds(period);
        if (answer.value("ok", false)) {
            nlohmann::json status = answer;
            status.erase("id");
            std::lock_guard lock(mutex_);
            snap_.status = std::move(status);
            statusAt_ = now;
            snap_.state = LinkState::Up;
            snap_.detail.clear();
            ++snap_.statusVersion;
            changed_.notify_all();
        }
        announce();
        return;
    }
    if (id == kIdIncidents) {
        if (answer.value("ok", false) && answer.contains("incidents") && answer["incidents"].is_array()) {
            for (const auto& i : answer["incidents"])
                if (i.is_object()) countIncident(i.value("seq", uint64_t(0)), i.value("text", std::string()));
            incidentsLoaded_ = true;
        }
        return;
    }
    if (id == kIdSubscribe) return;
    std::lock_guard lock(mutex_);
    const auto it = pending_.find(id);
    if (it == pending_.end()) return;  // its caller gave up
    CallResult& r = it->second->result;
    r.ok = answer.value("ok", false);
    r.answer = answer;
    if (!r.ok) {
        r.error = answer.value("error", std::string("internal"));
        r.message = answer.value("message", std::string());
    }
    it->second->done = true;
    callDone_.notify_all();
}

void RecorderLink::onEvent(const nlohmann::json& event) {
    const std::string kind = event.value("event", std::string());
    if (kind == "levels") {
        std::lock_guard lock(mutex_);
        levels_ = event;
        ++levelsVersion_;
        changed_.notify_all();
        return;
    }
    if (kind == "incident") countIncident(event.value("seq", uint64_t(0)), event.value("text", std::string()));
    // Any other event changes what the status shows: asked again at once.
    if (statusInFlight_) statusAgain_ = true;
    else statusDue_ = Clock::now();
}

void RecorderLink::onLine(const std::string& line, Clock::time_point now) {
    nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return;
    if (!greeted_) {
        onGreeting(j, now);
        return;
    }
    if (j.contains("event")) onEvent(j);
    else if (j.contains("ok")) onAnswer(j, now);
}

int RecorderLink::pollTimeoutMs(Clock::time_point now) const {
    auto next = now + std::chrono::seconds(5);
    if (!socket_.connected()) next = std::min(next, reconnectAt_);
    else if (!greeted_) next = std::min(next, connectedAt_ + std::chrono::milliseconds(options_.answerTimeoutMs));
    else if (statusInFlight_) next = std::min(next, statusSentAt_ + std::chrono::milliseconds(options_.answerTimeoutMs));
    else next = std::min(next, statusDue_);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return int(std::clamp<int64_t>(ms, 1, 5000));
}

void RecorderLink::run() {
    reconnectAt_ = Clock::now();
    while (running_.load()) {
        auto now = Clock::now();
        if (!socket_.connected() && now >= reconnectAt_) tryConnect(now);

        if (socket_.connected()) {
            // Commands from pages, the subscription that follows the viewers.
            std::deque<nlohmann::json> out;
            {
                std::lock_guard lock(mutex_);
                out.swap(outgoing_);
            }
            if (greeted_) {
                for (auto& r : out) socket_.send(r.dump());
                if (levelsSubscribed_ != (viewers_.load() > 0)) sendSubscribe();
                if (!statusInFlight_ && now >= statusDue_) sendStatus(now);
            } else {
                std::lock_guard lock(mutex_);
                for (auto& r : out) outgoing_.push_back(std::move(r));
            }
            // Silence of the recorder: first "not answering", later a new connection.
            const auto waitingSince = !greeted_ ? connectedAt_ : statusInFlight_ ? statusSentAt_ : now;
            const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(now - waitingSince).count();
            if (silent >= options_.dropAfterMs) {
                disconnect(LinkState::NotAnswering, "no answer for " + std::to_string(silent / 1000) + " s; reconnecting");
            } else if (silent >= options_.answerTimeoutMs) {
                setState(LinkState::NotAnswering, "no answer for " + std::to_string(silent / 1000) + " s");
            }
            if (socket_.pendingOut() > (1u << 20)) disconnect(LinkState::NotAnswering, "the recorder program reads nothing");
        }

        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {socket_.fd(), short(POLLIN | (socket_.pendingOut() ? POLLOUT : 0)), 0}};
        const int n = socket_.connected() ? 2 : 1;
        const int r = ::poll(fds, nfds_t(n), pollTimeoutMs(Clock::now()));
        if (r < 0) continue;
        if (fds[0].revents & POLLIN) {
            uint64_t v;
            [[maybe_unused]] const auto got = ::read(wakeFd_, &v, sizeof v);
        }
        if (n == 2 && fds[1].revents) {
            now = Clock::now();
            if ((fds[1].revents & POLLOUT) && !socket_.flush()) {
                disconnect(LinkState::NotRunning, "the recorder program closed the connection");
                continue;
            }
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                const bool open = socket_.receive();
                while (auto line = socket_.nextLine()) {
                    onLine(*line, now);
                    if (!socket_.connected()) break;
                }
                if (!open && socket_.connected())
                    disconnect(LinkState::NotRunning, "the recorder program closed the connection");
            }
        }
    }
    socket_.close();
    std::lock_guard lock(mutex_);
    for (auto& [id, p] : pending_) p->done = true;
    callDone_.notify_all();
    changed_.notify_all();
}

}  // namespace web
