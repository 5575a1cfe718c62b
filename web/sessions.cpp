#include "web/sessions.h"

#include <sodium.h>

#include <algorithm>
#include <functional>

namespace web {

namespace {
std::string hashOf(const std::string& token) {
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(token.data()), token.size(), nullptr, 0);
    return std::string(reinterpret_cast<const char*>(out), sizeof out);
}
}  // namespace

std::string RandomToken() {
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char hex[sizeof bytes * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return false;
    return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string SessionStore::create(const std::string& user, Role role, int64_t nowMs, Session* made) {
    Session s{user, role, RandomToken(), nowMs, nowMs + lifetimeMs_};
    const std::string token = RandomToken();
    std::lock_guard lock(mutex_);
    pruneLocked(nowMs);
    if (byHash_.size() >= maxSessions_) {
        // The oldest session makes room.
        auto oldest = std::min_element(byHash_.begin(), byHash_.end(),
                                       [](const auto& a, const auto& b) { return a.second.createdMs < b.second.createdMs; });
        if (oldest != byHash_.end()) byHash_.erase(oldest);
    }
    byHash_[hashOf(token)] = s;
    if (made) *made = s;
    return token;
}

std::optional<Session> SessionStore::find(const std::string& token, int64_t nowMs) {
    if (token.size() != 64) return std::nullopt;
    std::lock_guard lock(mutex_);
    const auto it = byHash_.find(hashOf(token));
    if (it == byHash_.end()) return std::nullopt;
    if (nowMs >= it->second.expiresMs) {
        byHash_.erase(it);
        return std::nullopt;
    }
    return it->second;
}

void SessionStore::remove(const std::string& token) {
    std::lock_guard lock(mutex_);
    byHash_.erase(hashOf(token));
}

void SessionStore::retain(const std::function<bool(const Session&)>& keep) {
    std::lock_guard lock(mutex_);
    std::erase_if(byHash_, [&](const auto& entry) { return !keep(entry.second); });
}

size_t SessionStore::size() {
    std::lock_guard lock(mutex_);
    return byHash_.size();
}

void SessionStore::pruneLocked(int64_t nowMs) {
    std::erase_if(byHash_, [&](const auto& entry) { return nowMs >= entry.second.expiresMs; });
}

bool CsrfValid(const Session& session, const std::string& headerValue) { return SameSecret(session.csrf, headerValue); }

}  // namespace web
