#pragma once
// What a request may name: the served assets are read once at start-up
// from one folder into memory, under names made only of safe characters;
// a request names one of them or nothing. No request ever opens a file.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace web {

// The relative name that a request path (already %-decoded) asks for, or
// nothing: segments of A-Z a-z 0-9 . _ - only, none empty, none starting
// with a dot ("." and ".." among them), no NUL, no backslash, at most 255
// bytes.
std::optional<std::string> SafeRelativePath(std::string_view decoded);

struct Asset {
    std::string body;
    std::string contentType;
    std::string etag;
};

class AssetStore {
public:
    // Reads every regular file under `root` whose relative name is safe. A
    // symbolic link is followed only when what it points to lies inside
    // `root`. Returns an error text when the folder cannot be read.
    std::optional<std::string> load(const std::string& root, uint64_t maxTotalBytes = 64u << 20);
    const Asset* find(const std::string& relative) const;
    size_t size() const { return assets_.size(); }
    const std::string& root() const { return root_; }
    // Names left out at load, with the reason (logged at start-up).
    const std::map<std::string, std::string>& skipped() const { return skipped_; }

private:
    std::string root_;
    std::map<std::string, Asset> assets_;
    std::map<std::string, std::string> skipped_;
};

std::string ContentTypeOf(const std::string& name);

}  // namespace web
