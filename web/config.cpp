#include "web/config.h"

#include "support/app_globals.h"
#include "support/files.h"
#include "support/ini.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

extern char** environ;

namespace web {

Environment ProcessEnvironment() {
    Environment env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos) env.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    }
    return env;
}

std::string ReadRecorderIni(const std::string& file, const std::string& key, const std::string& def) {
    return LectureIni(QString::fromStdString(file), QString::fromLatin1(kSection), QString::fromStdString(key),
                      QString::fromStdString(def))
        .trimmed()
        .toStdString();
}

namespace {

std::string envOr(const Environment& env, const std::string& name, const std::string& def = {}) {
    const auto it = env.find(name);
    return it == env.end() || it->second.empty() ? def : it->second;
}

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// systemd gives the first folder of a colon-separated list.
std::string firstOf(const std::string& list) { return list.substr(0, list.find(':')); }

std::string stateFolder(const Environment& env) {
    const std::string systemd = envOr(env, "STATE_DIRECTORY");
    if (!systemd.empty()) return withSlash(firstOf(systemd));
    const std::string xdg = envOr(env, "XDG_STATE_HOME");
    if (!xdg.empty()) return withSlash(xdg) + "quillon-web/";
    return withSlash(envOr(env, "HOME", "/tmp")) + ".local/state/quillon-web/";
}

std::string instanceSuffix(int instance) { return instance > 0 ? "_" + std::to_string(instance) : std::string(); }

int toInt(const std::string& text, int def, int lo, int hi) {
    if (text.empty()) return def;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || v < lo || v > hi) return def;
    return int(v);
}

}  // namespace

std::string RecorderSettingsFile(int instance, const Environment& env) {
    // As the recorder's start-up: VELMORA_APP_FOLDER, else the default root of
    // the drive (VELMORA_DRIVE, else the home folder); "/Instance=n" bounded 1..10.
    const std::string drive = withSlash(envOr(env, "VELMORA_DRIVE", envOr(env, "HOME", "/")));
    const QString defaultRoot = QString::fromStdString(drive) + QStringLiteral("Tessaline/Velmora/");
    const QString configured = QString::fromStdString(envOr(env, "VELMORA_APP_FOLDER")).trimmed();
    App().ApplicationFolder = configured.isEmpty() ? defaultRoot : CheckRep(configured);
    // The folder is given in full (from `env`, which may not be the process's).
    App().UseDefaultRoot = false;
    App().InstanceNumber = instance <= 0 ? 0 : std::clamp(instance, 1, 10);
    ResetIniCache();
    // Computed without touching the disk: the console never creates the
    // recorder's folders.
    return SettingsFileOfInstance().toStdString();
}

WebConfig LoadConfig(int instance, const std::string& settingsFile, const Environment& env, IniReader read) {
    WebConfig c;
    c.instance = instance;
    c.settingsFile = settingsFile;
    c.address = read(settingsFile, kKeyAddress, c.address);
    c.port = toInt(read(settingsFile, kKeyPort, ""), c.port, 1, 65535);
    c.tlsCertificate = read(settingsFile, kKeyTlsCertificate, "");
    c.tlsKey = read(settingsFile, kKeyTlsKey, "");
    c.sessionMinutes = toInt(read(settingsFile, kKeySessionMinutes, ""), c.sessionMinutes, 1, 7 * 24 * 60);
    c.metricsToken = read(settingsFile, kKeyMetricsToken, "");
    c.allowPlainHttp = IsOn(read(settingsFile, kKeyAllowPlainHttp, "OFF"));
    const std::string state = stateFolder(env);
    c.usersFile = read(settingsFile, kKeyUsersFile, "");
    if (c.usersFile.empty()) c.usersFile = state + "users" + instanceSuffix(instance) + ".json";
    c.logFolder = read(settingsFile, kKeyLogFolder, "");
    if (c.logFolder.empty()) c.logFolder = withSlash(firstOf(envOr(env, "LOGS_DIRECTORY", state + "log")));
    c.logFolder = withSlash(c.logFolder);
    c.socketPath = read(settingsFile, kKeySocket, "");
    if (c.socketPath.empty()) {
        // Where the recorder puts it: its runtime folder under the user's
        // session, /run/quillon-recorder/ under the system unit; both are
        // looked at, in that order, as quillon-ctl does.
        const std::string runtime = envOr(env, "XDG_RUNTIME_DIR");
        const std::string system = "/run/quillon-recorder/" + std::to_string(instance) + ".sock";
        c.socketPath = runtime.empty() ? system : withSlash(runtime) + "quillon-recorder/" + std::to_string(instance) + ".sock";
        if (!runtime.empty()) c.socketFallbacks.push_back(system);
    }
    return c;
}

bool IsOn(const std::string& value) {
    std::string v;
    for (char ch : value) v += char(std::tolower(static_cast<unsigned char>(ch)));
    return v == "on" || v == "1" || v == "yes" || v == "true" || v == "oui";
}

bool IsLoopbackAddress(const std::string& address) {
    if (address == "localhost") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        // ::ffff:127.x.y.z
        if (IN6_IS_ADDR_V4MAPPED(&v6)) return v6.s6_addr[12] == 127;
    }
    return false;
}

std::optional<std::string> ListenRefusal(const WebConfig& config) {
    in_addr v4{};
    in6_addr v6{};
    const bool numeric = inet_pton(AF_INET, config.address.c_str(), &v4) == 1 ||
                         inet_pton(AF_INET6, config.address.c_str(), &v6) == 1;
    if (!numeric && config.address != "localhost")
        return "[Web] Address=" + config.address + " is not a numeric IP address (nor localhost)";
    if (config.tlsCertificate.empty() != config.tlsKey.empty())
        return "[Web] TlsCertificate and TlsKey go together: only one of them is set";
    if (config.tls()) {
        for (const std::string* f : {&config.tlsCertificate, &config.tlsKey})
            if (::access(f->c_str(), R_OK) != 0) return "cannot read the TLS file " + *f;
        return std::nullopt;
    }
    if (IsLoopbackAddress(config.address)) return std::nullopt;
    if (config.allowPlainHttp) return std::nullopt;
    return "refusing to listen on " + config.address + ":" + std::to_string(config.port) +
           " without TLS: passwords and session cookies would cross the network in clear. Set [Web] TlsCertificate "
           "and TlsKey, or AllowPlainHttp=ON to accept plain HTTP on this address";
}

}  // namespace web
