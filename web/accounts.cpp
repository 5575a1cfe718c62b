#include "web/accounts.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace web {

namespace {
constexpr int kFileFormat = 1;

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}
}  // namespace

const char* RoleName(Role role) {
    switch (role) {
    case Role::Listen: return "listen";
    case Role::Operate: return "operate";
    case Role::Admin: return "admin";
    }
    return "listen";
}

std::optional<Role> ParseRole(const std::string& name) {
    if (name == "listen") return Role::Listen;
    if (name == "operate") return Role::Operate;
    if (name == "admin") return Role::Admin;
    return std::nullopt;
}

bool ValidAccountName(const std::string& name) {
    if (name.empty() || name.size() > 32) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::optional<std::string> PasswordProblem(const std::string& password) {
    if (password.size() < 8) return "the password needs at least 8 characters";
    if (password.size() > 1024) return "the password is longer than 1024 bytes";
    return std::nullopt;
}

std::string HashPassword(const std::string& password) {
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return out;
}

bool VerifyPassword(const std::string& hash, const std::string& password) {
    if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::optional<std::string> AccountFile::load() {
    accounts_.clear();
    std::ifstream in(path_);
    if (!in) {
        if (errno == ENOENT) return std::nullopt;
        return errnoText("cannot read " + path_);
    }
    std::stringstream text;
    text << in.rdbuf();
    try {
        const auto doc = nlohmann::json::parse(text.str());
        if (doc.value("format", 0) != kFileFormat) return path_ + ": unknown format";
        for (const auto& u : doc.at("users")) {
            Account a;
            a.name = u.at("name").get<std::string>();
            const auto role = ParseRole(u.at("role").get<std::string>());
            a.hash = u.at("hash").get<std::string>();
            if (!ValidAccountName(a.name) || !role || a.hash.empty()) return path_ + ": bad entry for " + a.name;
            a.role = *role;
            accounts_.push_back(std::move(a));
        }
    } catch (const std::exception& e) {
        accounts_.clear();
        return path_ + ": " + e.what();
    }
    return std::nullopt;
}

std::optional<std::string> AccountFile::save() const {
    nlohmann::json doc = {{"format", kFileFormat}, {"users", nlohmann::json::array()}};
    for (const auto& a : accounts_) doc["users"].push_back({{"name", a.name}, {"role", RoleName(a.role)}, {"hash", a.hash}});
    const std::string folder = folderOf(path_);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        // Made with its parents; only the last one is ours to restrict.
        std::string partial;
        std::stringstream parts(folder);
        std::string piece;
        while (std::getline(parts, piece, '/')) {
            partial += piece + "/";
            if (piece.empty()) continue;
            if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return errnoText("cannot create " + partial);
        }
    }
    std::string tmp = path_ + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());  // mode 0600
    if (fd < 0) return errnoText("cannot create a file in " + folder);
    const std::string text = doc.dump(2) + "\n";
    const bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), path_.c_str()) != 0) {
        if (ok) errno = saved;
        const std::string why = errnoText("cannot write " + path_);
        ::unlink(tmp.c_str());
        return why;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

const Account* AccountFile::find(const std::string& name) const {
    for (const auto& a : accounts_)
        if (a.name == name) return &a;
    return nullptr;
}

std::optional<std::string> AccountFile::add(const std::string& name, Role role, const std::string& password) {
    if (!ValidAccountName(name)) return "an account name is 1 to 32 letters, digits, '.', '_' or '-'";
    if (find(name)) return "the account " + name + " exists already (remove it first)";
    if (auto problem = PasswordProblem(password)) return problem;
    Account a{name, role, HashPassword(password)};
    if (a.hash.empty()) return "the password could not be hashed (out of memory?)";
    accounts_.push_back(std::move(a));
    return std::nullopt;
}

bool AccountFile::remove(const std::string& name) {
    const auto before = accounts_.size();
    std::erase_if(accounts_, [&](const Account& a) { return a.name == name; });
    return accounts_.size() != before;
}

}  // namespace web
