#pragma once
// The console's own log: one file a day in its log folder
// ("quillon-web_<instance>_<yyyymmdd>.log"), every line also on stderr (the
// journal under systemd). Logins, failures, commands with the account and
// the address, the recorder coming and going. Time from the program's clock.
#include <mutex>
#include <string>

namespace web {

class WebLog {
public:
    WebLog(std::string folder, int instance, bool toStderr = true);
    void write(const std::string& text);
    // The file that today's lines go to.
    std::string todayFile() const;
    const std::string& folder() const { return folder_; }
    // False once the folder could not be written (said once on stderr).
    bool fileOk() const { return fileOk_; }

private:
    std::string folder_;
    int instance_;
    bool toStderr_;
    bool fileOk_ = true;
    std::mutex mutex_;
};

// "key=value" with the value quoted when it holds spaces or quotes, its
// control characters replaced (a log line stays one line).
std::string LogField(const std::string& key, const std::string& value);

}  // namespace web
