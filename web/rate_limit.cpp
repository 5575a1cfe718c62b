#include "web/rate_limit.h"

#include <algorithm>

namespace web {

int64_t LoginThrottle::waitAfter(int failures) const {
    const int past = failures - policy_.freeFailures;
    if (past <= 0) return 0;
    int64_t wait = policy_.firstWaitMs;
    for (int i = 1; i < past && wait < policy_.maxWaitMs; ++i) wait *= 2;
    return std::min(wait, policy_.maxWaitMs);
}

int64_t LoginThrottle::waitMs(const std::string& key, int64_t nowMs) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(key);
    if (it == entries_.end()) return 0;
    const int64_t until = it->second.lastFailureMs + waitAfter(it->second.failures);
    return std::max<int64_t>(0, until - nowMs);
}

void LoginThrottle::failure(const std::string& key, int64_t nowMs) {
    std::lock_guard lock(mutex_);
    if (entries_.size() >= policy_.maxKeys) pruneLocked(nowMs);
    if (entries_.size() >= policy_.maxKeys) {
        // Still full: the key whose last failure is oldest goes.
        auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
            return a.second.lastFailureMs < b.second.lastFailureMs;
        });
        entries_.erase(oldest);
    }
    Entry& e = entries_[key];
    if (e.failures > 0 && nowMs - e.lastFailureMs >= policy_.forgetAfterMs) e.failures = 0;
    e.failures += 1;
    e.lastFailureMs = nowMs;
}

void LoginThrottle::success(const std::string& key) {
    std::lock_guard lock(mutex_);
    entries_.erase(key);
}

size_t LoginThrottle::size() {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void LoginThrottle::pruneLocked(int64_t nowMs) {
    std::erase_if(entries_, [&](const auto& e) { return nowMs - e.second.lastFailureMs >= policy_.forgetAfterMs; });
}

}  // namespace web
