#pragma once
// The console's accounts: name, role and an Argon2id password hash
// (libsodium's crypto_pwhash_str), kept in a JSON file of mode 0600 that is
// replaced atomically on every change.
#include <optional>
#include <string>
#include <vector>

namespace web {

enum class Role { Listen = 0, Operate = 1, Admin = 2 };
const char* RoleName(Role role);
std::optional<Role> ParseRole(const std::string& name);
// Whether `role` may do what `needed` may do.
inline bool Allows(Role role, Role needed) { return int(role) >= int(needed); }

struct Account {
    std::string name;
    Role role = Role::Listen;
    std::string hash;  // "$argon2id$..."
};

// 1 to 32 of A-Z a-z 0-9 . _ - (the name goes into trace lines and logs).
bool ValidAccountName(const std::string& name);
// 8 to 1024 bytes.
std::optional<std::string> PasswordProblem(const std::string& password);

// Argon2id with libsodium's "interactive" limits (2 passes, 64 MiB).
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& hash, const std::string& password);

class AccountFile {
public:
    explicit AccountFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // Reads the file (a missing file is an empty list); an error text on failure.
    std::optional<std::string> load();
    // Writes the list: a temporary file of mode 0600 beside it, synced, then
    // renamed over it (its folder made 0700 when missing).
    std::optional<std::string> save() const;

    const std::vector<Account>& accounts() const { return accounts_; }
    const Account* find(const std::string& name) const;
    std::optional<std::string> add(const std::string& name, Role role, const std::string& password);
    bool remove(const std::string& name);

private:
    std::string path_;
    std::vector<Account> accounts_;
};

}  // namespace web
