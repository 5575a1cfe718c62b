#pragma once
// The web console's configuration: the [Web] section of the recorder's own
// settings file (found as the recorder finds it), and the places of the
// console's own files (accounts, log, the recorder's control socket).
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace web {

// The process environment as the configuration sees it (tests give their own).
using Environment = std::map<std::string, std::string>;
Environment ProcessEnvironment();

struct WebConfig {
    std::string address = "127.0.0.1";
    int port = 8470;
    std::string tlsCertificate;  // PEM files; both set: HTTPS
    std::string tlsKey;
    int sessionMinutes = 480;
    std::string metricsToken;    // empty: /metrics from loopback only
    bool allowPlainHttp = false; // plain HTTP on a non-loopback address
    std::string usersFile;
    std::string logFolder;
    std::string socketPath;          // the first place looked at
    std::vector<std::string> socketFallbacks;  // then these, in order
    int instance = 0;
    std::string settingsFile;  // where the values came from

    bool tls() const { return !tlsCertificate.empty() && !tlsKey.empty(); }
};

// Settings keys of [Web] (letter for letter, as written in the settings file).
inline constexpr const char* kSection = "Web";
inline constexpr const char* kKeyAddress = "Address";
inline constexpr const char* kKeyPort = "Port";
inline constexpr const char* kKeyTlsCertificate = "TlsCertificate";
inline constexpr const char* kKeyTlsKey = "TlsKey";
inline constexpr const char* kKeySessionMinutes = "SessionMinutes";
inline constexpr const char* kKeyMetricsToken = "MetricsToken";
inline constexpr const char* kKeyAllowPlainHttp = "AllowPlainHttp";
inline constexpr const char* kKeyUsersFile = "UsersFile";
inline constexpr const char* kKeyLogFolder = "LogFolder";
inline constexpr const char* kKeySocket = "Socket";

// Reads a value of [Web]; the default when the key is missing.
using IniReader = std::string (*)(const std::string& file, const std::string& key, const std::string& def);
std::string ReadRecorderIni(const std::string& file, const std::string& key, const std::string& def);

// Sets the recorder's globals (instance, program folder) the way its start-up
// does, from the environment, and returns the settings file of that instance.
std::string RecorderSettingsFile(int instance, const Environment& env);

// The configuration of `instance` from `settingsFile`; the folder defaults
// follow systemd's directories when they are given (STATE_DIRECTORY,
// LOGS_DIRECTORY), else XDG_STATE_HOME or ~/.local/state.
WebConfig LoadConfig(int instance, const std::string& settingsFile, const Environment& env,
                     IniReader read = &ReadRecorderIni);

// "ON", "1", "yes", "true" (any case): true.
bool IsOn(const std::string& value);
// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(const std::string& address);
// A reason to refuse to listen, or nothing when the configuration may serve.
std::optional<std::string> ListenRefusal(const WebConfig& config);

}  // namespace web
