#pragma once
// Login sessions: a random token (in the session cookie) and a CSRF token
// per session, with a fixed lifetime from the login. Tokens are kept by
// their hash only. Thread-safe.
#include "web/accounts.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace web {

// 32 random bytes from libsodium, as 64 hexadecimal digits.
std::string RandomToken();
// Constant-time comparison of two texts.
bool SameSecret(const std::string& a, const std::string& b);

struct Session {
    std::string user;
    Role role = Role::Listen;
    std::string csrf;
    int64_t createdMs = 0;  // on the clock's tick (milliseconds)
    int64_t expiresMs = 0;
};

class SessionStore {
public:
    explicit SessionStore(int64_t lifetimeMs, size_t maxSessions = 2000)
        : lifetimeMs_(lifetimeMs), maxSessions_(maxSessions) {}

    // A new session; returns its cookie token.
    std::string create(const std::string& user, Role role, int64_t nowMs, Session* made = nullptr);
    std::optional<Session> find(const std::string& token, int64_t nowMs);
    void remove(const std::string& token);
    // Ends the sessions of an account that is gone or whose role changed.
    void retain(const std::function<bool(const Session&)>& keep);
    size_t size();
    int64_t lifetimeMs() const { return lifetimeMs_; }

private:
    void pruneLocked(int64_t nowMs);

    const int64_t lifetimeMs_;
    const size_t maxSessions_;
    std::mutex mutex_;
    std::unordered_map<std::string, Session> byHash_;
};

// The CSRF check of a state-changing request: the header's token equals the
// session's.
bool CsrfValid(const Session& session, const std::string& headerValue);

}  // namespace web
