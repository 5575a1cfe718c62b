#include "web/weblog.h"

#include "support/clock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace web {

WebLog::WebLog(std::string folder, int instance, bool toStderr)
    : folder_(std::move(folder)), instance_(instance), toStderr_(toStderr) {
    if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

std::string WebLog::todayFile() const {
    return folder_ + "quillon-web_" + std::to_string(instance_) + "_" +
           CurrentClock().now().toString("yyyyMMdd").toStdString() + ".log";
}

void WebLog::write(const std::string& text) {
    std::string clean;
    for (char c : text) clean += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
    const std::string line =
        CurrentClock().now().toString("yyyy-MM-dd HH:mm:ss.zzz").toStdString() + " " + clean + "\n";
    std::lock_guard lock(mutex_);
    if (toStderr_) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
    if (folder_.empty()) return;
    // Opened for each line: a file moved away or removed is simply made anew.
    int fd = ::open(todayFile().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0 && errno == ENOENT) {
        for (size_t i = 1; i <= folder_.size(); ++i)
            if (i == folder_.size() || folder_[i] == '/') ::mkdir(folder_.substr(0, i).c_str(), 0750);
        fd = ::open(todayFile().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    }
    if (fd < 0) {
        if (fileOk_) {
            fileOk_ = false;
            const std::string why = "quillon-web: cannot write the log in " + folder_ + ": " + std::strerror(errno) + "\n";
            std::fwrite(why.data(), 1, why.size(), stderr);
        }
        return;
    }
    fileOk_ = true;
    [[maybe_unused]] const auto n = ::write(fd, line.data(), line.size());
    ::close(fd);
}

std::string LogField(const std::string& key, const std::string& value) {
    std::string v;
    bool quote = value.empty();
    for (char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            v += '?';
            continue;
        }
        if (c == ' ' || c == '"') quote = true;
        if (c == '"' || c == '\\') v += '\\';
        v += c;
    }
    if (v.size() > 200) v = v.substr(0, 200) + "...";
    return key + "=" + (quote ? "\"" + v + "\"" : v);
}

}  // namespace web
