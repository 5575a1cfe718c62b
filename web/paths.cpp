#include "web/paths.h"

#include <sodium.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace web {

std::optional<std::string> SafeRelativePath(std::string_view decoded) {
    if (decoded.empty() || decoded.size() > 255) return std::nullopt;
    std::string out;
    size_t start = 0;
    while (start <= decoded.size()) {
        const size_t slash = decoded.find('/', start);
        const std::string_view seg = decoded.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (seg.empty() || seg.front() == '.') return std::nullopt;
        for (char c : seg) {
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                            c == '_' || c == '-';
            if (!ok) return std::nullopt;
        }
        if (!out.empty()) out += '/';
        out.append(seg);
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return out;
}

std::string ContentTypeOf(const std::string& name) {
    const auto dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (ext == "html") return "text/html; charset=utf-8";
    if (ext == "css") return "text/css; charset=utf-8";
    if (ext == "js" || ext == "mjs") return "text/javascript; charset=utf-8";
    if (ext == "json" || ext == "map") return "application/json";
    if (ext == "svg") return "image/svg+xml";
    if (ext == "png") return "image/png";
    if (ext == "ico") return "image/x-icon";
    if (ext == "txt") return "text/plain; charset=utf-8";
    if (ext == "woff2") return "font/woff2";
    return "application/octet-stream";
}

namespace {
bool inside(const fs::path& root, const fs::path& p) {
    auto r = root.begin();
    auto q = p.begin();
    for (; r != root.end(); ++r, ++q)
        if (q == p.end() || *r != *q) return false;
    return true;
}

std::string etagOf(const std::string& body) {
    unsigned char h[16];
    crypto_generichash(h, sizeof h, reinterpret_cast<const unsigned char*>(body.data()), body.size(), nullptr, 0);
    char hex[sizeof h * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, h, sizeof h);
    return std::string("\"") + hex + "\"";
}
}  // namespace

std::optional<std::string> AssetStore::load(const std::string& rootText, uint64_t maxTotalBytes) {
    assets_.clear();
    skipped_.clear();
    std::error_code ec;
    const fs::path root = fs::canonical(rootText, ec);
    if (ec) return "cannot read the assets folder " + rootText + ": " + ec.message();
    root_ = root.string();
    uint64_t total = 0;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
    if (ec) return "cannot read the assets folder " + root_ + ": " + ec.message();
    for (; it != end; it.increment(ec)) {
        if (ec) return "cannot read the assets folder " + root_ + ": " + ec.message();
        const fs::path entry = it->path();
        const std::string rel = entry.lexically_relative(root).generic_string();
        const bool link = it->is_symlink(ec);
        const fs::path target = fs::canonical(entry, ec);
        if (ec || !inside(root, target)) {
            skipped_[rel] = "points outside the assets folder";
            if (link) it.disable_recursion_pending();
            continue;
        }
        if (!fs::is_regular_file(target, ec)) continue;
        const auto safe = SafeRelativePath(rel);
        if (!safe) {
            skipped_[rel] = "name not servable";
            continue;
        }
        std::ifstream in(target, std::ios::binary);
        std::stringstream body;
        body << in.rdbuf();
        if (!in.good() && !in.eof()) {
            skipped_[rel] = "unreadable";
            continue;
        }
        Asset a{body.str(), ContentTypeOf(rel), {}};
        total += a.body.size();
        if (total > maxTotalBytes) return "the assets folder holds more than " + std::to_string(maxTotalBytes) + " bytes";
        a.etag = etagOf(a.body);
        assets_[*safe] = std::move(a);
    }
    return std::nullopt;
}

const Asset* AssetStore::find(const std::string& relative) const {
    const auto it = assets_.find(relative);
    return it == assets_.end() ? nullptr : &it->second;
}

}  // namespace web
