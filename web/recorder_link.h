#pragma once
// The console's one connection to the recorder program. A thread of its own
// keeps it: it connects (and reconnects), asks the status every second while
// someone watches (every five otherwise, and at once after a state event),
// subscribes to events, and to levels only while at least one page shows
// them: however many pages are open, the recorder is asked once. Pages and
// metrics read the last snapshot; commands ride on the same connection.
#include "web/line_socket.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace web {

enum class LinkState {
    Connecting,    // not tried yet
    Up,            // greeting and status received
    NotRunning,    // no socket, or nobody listens on it
    NoAccess,      // the socket's permissions keep the console out
    NotAnswering,  // connected, but no answer in time
    Incompatible,  // a protocol other than 1
};
const char* LinkStateName(LinkState state);

struct LinkSnapshot {
    LinkState state = LinkState::Connecting;
    std::string detail;          // why, for the log and the page
    nlohmann::json greeting;     // as received
    nlohmann::json status;       // the last status answer (without "id")
    int64_t statusAgeMs = -1;    // since it arrived; -1: none
    std::map<std::string, uint64_t> incidentsByKind;
    uint64_t statusVersion = 0;  // grows at each new status or state
};

struct CallResult {
    bool ok = false;
    nlohmann::json answer;   // the recorder's answer when there was one
    std::string error;       // the protocol's error code, or "unavailable"
    std::string message;     // French, for the operator
};

struct LinkOptions {
    std::string socketPath;
    std::vector<std::string> socketFallbacks;  // tried in turn when nobody listens at socketPath
    int answerTimeoutMs = 3000;   // no answer after this: not answering
    int dropAfterMs = 20000;      // no answer after this: reconnect
    int reconnectMs = 1000;
    int viewedPollMs = 1000;
    int idlePollMs = 5000;
    // Called on the link's thread at each change of state (for the log).
    std::function<void(LinkState state, const std::string& detail, const nlohmann::json& greeting)> onChange;
};

// The kind of an incident, from its text: silence, gap, device, disk,
// failure or other (the metrics count incidents by kind).
std::string IncidentKind(const std::string& text);

class RecorderLink {
public:
    explicit RecorderLink(LinkOptions options);
    ~RecorderLink();
    RecorderLink(const RecorderLink&) = delete;
    RecorderLink& operator=(const RecorderLink&) = delete;

    void start();
    void stop();

    LinkSnapshot snapshot() const;
    // The last level event (null before any) and its version.
    nlohmann::json levels(uint64_t* version = nullptr) const;

    // Sends a request (an "id" is added) and waits for its answer, at most
    // timeoutMs. Fails at once while the recorder is not up.
    CallResult call(nlohmann::json request, int timeoutMs);

    // Pages that show levels: the subscription follows their number.
    void addViewer();
    void removeViewer();
    int viewers() const { return viewers_.load(); }

    // Ends every waitChange at once (the server is stopping).
    void interruptWaits();
    // Blocks until the status or the levels change, or the deadline.
    void waitChange(uint64_t statusSeen, uint64_t levelsSeen, std::chrono::steady_clock::time_point deadline) const;

    // How many times the recorder was asked for levels (subscribe with
    // levels:true), and how many status requests were sent.
    uint64_t levelSubscriptions() const { return levelSubscriptions_.load(); }
    uint64_t statusRequests() const { return statusRequests_.load(); }

private:
    struct Pending {
        std::string id;
        bool done = false;
        CallResult result;
        std::chrono::steady_clock::time_point deadline;
    };
    using Clock = std::chrono::steady_clock;

    void run();
    void wake();
    void disconnect(LinkState state, const std::string& detail);
    void tryConnect(Clock::time_point now);
    void onLine(const std::string& line, Clock::time_point now);
    void onGreeting(const nlohmann::json& greeting, Clock::time_point now);
    void onAnswer(const nlohmann::json& answer, Clock::time_point now);
    void onEvent(const nlohmann::json& event);
    void sendInternal(const std::string& id, nlohmann::json request);
    void sendSubscribe();
    void sendStatus(Clock::time_point now);
    void setState(LinkState state, const std::string& detail);
    void announce();
    LinkState announced_ = LinkState::Connecting;
    void countIncident(uint64_t seq, const std::string& text);
    int pollTimeoutMs(Clock::time_point now) const;

    const LinkOptions options_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    int wakeFd_ = -1;
    LineSocket socket_;  // the link thread's alone

    // Link thread's bookkeeping.
    bool greeted_ = false;
    Clock::time_point connectedAt_{};
    Clock::time_point reconnectAt_{};
    Clock::time_point statusDue_{};
    Clock::time_point statusSentAt_{};
    bool statusInFlight_ = false;
    bool statusAgain_ = false;
    bool levelsSubscribed_ = false;
    uint64_t nextId_ = 1;
    int64_t lastPid_ = -1;
    uint64_t lastIncidentSeq_ = 0;
    bool incidentsLoaded_ = false;

    mutable std::mutex mutex_;  // guards what follows
    mutable std::condition_variable changed_;
    LinkSnapshot snap_;
    Clock::time_point statusAt_{};
    nlohmann::json levels_;
    uint64_t levelsVersion_ = 0;
    std::deque<nlohmann::json> outgoing_;
    std::map<std::string, std::shared_ptr<Pending>> pending_;
    std::condition_variable callDone_;

    std::atomic<bool> interrupted_{false};
    std::atomic<int> viewers_{0};
    std::atomic<uint64_t> levelSubscriptions_{0};
    std::atomic<uint64_t> statusRequests_{0};
};

}  // namespace web
