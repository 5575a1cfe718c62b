#pragma once
// Login throttling: after a few failures, a key (an address, an account
// name) must wait before its next attempt, twice as long at each further
// failure, up to a ceiling. A success clears the key; a key with no failure
// for an hour is forgotten. Thread-safe; time on the clock's tick.
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace web {

struct ThrottlePolicy {
    int freeFailures = 3;         // failures before any wait
    int64_t firstWaitMs = 1000;   // the wait after the first failure past them
    int64_t maxWaitMs = 300000;   // ceiling
    int64_t forgetAfterMs = 3600000;
    size_t maxKeys = 10000;
};

class LoginThrottle {
public:
    explicit LoginThrottle(ThrottlePolicy policy = {}) : policy_(policy) {}
    // Milliseconds the key must still wait (0: it may try now).
    int64_t waitMs(const std::string& key, int64_t nowMs);
    void failure(const std::string& key, int64_t nowMs);
    void success(const std::string& key);
    size_t size();

private:
    struct Entry {
        int failures = 0;
        int64_t lastFailureMs = 0;
    };
    int64_t waitAfter(int failures) const;
    void pruneLocked(int64_t nowMs);

    ThrottlePolicy policy_;
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace web
