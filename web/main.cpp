// quillon-web: the recorder's web console. Serves the status page, its
// commands and the metrics of one instance of the recorder program, which it
// reaches only through the program's control socket; or manages the
// console's accounts (--add-user, --remove-user, --list-users).
#include "support/app_globals.h"
#include "web/cli.h"
#include "web/config.h"
#include "web/server.h"

#include <sodium.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

using namespace web;

namespace {

constexpr int kExitConfig = 3;  // a configuration that will not serve as it is

int manageAccounts(const CommandLine& cl, const WebConfig& config) {
    AccountFile file(config.usersFile);
    if (auto e = file.load()) {
        std::cerr << "quillon-web : " << *e << "\n";
        return 1;
    }
    switch (cl.action) {
    case CommandLine::Action::ListUsers:
        for (const auto& a : file.accounts()) std::cout << a.name << "\t" << RoleName(a.role) << "\n";
        return 0;
    case CommandLine::Action::RemoveUser:
        if (!file.remove(cl.user)) {
            std::cerr << "quillon-web : pas de compte " << cl.user << "\n";
            return 1;
        }
        break;
    case CommandLine::Action::AddUser: {
        const auto role = ParseRole(cl.role);
        if (!role) {
            std::cerr << "quillon-web : rôle inconnu " << cl.role << " (listen, operate ou admin)\n";
            return 1;
        }
        if (!ValidAccountName(cl.user) || file.find(cl.user)) {
            std::cerr << "quillon-web : " << *file.add(cl.user, *role, "") << "\n";
            return 1;
        }
        std::string problem;
        const auto password = ReadNewPassword(cl.user, &problem);
        if (!password) {
            std::cerr << "quillon-web : " << problem << "\n";
            return 1;
        }
        if (auto e = file.add(cl.user, *role, *password)) {
            std::cerr << "quillon-web : " << *e << "\n";
            return 1;
        }
        break;
    }
    default: return 1;
    }
    if (auto e = file.save()) {
        std::cerr << "quillon-web : " << *e << "\n";
        return 1;
    }
    WebLog log(config.logFolder, config.instance, false);
    const bool added = cl.action == CommandLine::Action::AddUser;
    log.write(std::string(added ? "account added " : "account removed ") + LogField("user", cl.user) +
              (added ? " role=" + cl.role : std::string()) + " (command line)");
    std::cout << (added ? "Compte ajouté : " : "Compte supprimé : ") << cl.user << " (" << config.usersFile << ")\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine cl = ParseCommandLine(argc, argv);
    if (!cl.error.empty()) {
        std::cerr << "quillon-web : " << cl.error << "\n" << UsageText();
        return 1;
    }
    if (cl.action == CommandLine::Action::Help) {
        std::cout << UsageText();
        return 0;
    }
    if (cl.action == CommandLine::Action::Version) {
        std::cout << "quillon-web " << VersionApplication().toStdString() << "\n";
        return 0;
    }
    if (sodium_init() < 0) {
        std::cerr << "quillon-web : libsodium ne s'initialise pas\n";
        return 1;
    }
    const Environment env = ProcessEnvironment();
    const std::string settings = RecorderSettingsFile(cl.instance, env);
    WebConfig config = LoadConfig(cl.instance, settings, env);
    if (!cl.usersFile.empty()) config.usersFile = cl.usersFile;

    if (cl.action == CommandLine::Action::ShowConfig) {
        std::cout << "settings=" << config.settingsFile << "\naddress=" << config.address << "\nport=" << config.port
                  << "\ntls=" << (config.tls() ? "on" : "off") << "\nsession_minutes=" << config.sessionMinutes
                  << "\nmetrics_token=" << (config.metricsToken.empty() ? "none" : "set")
                  << "\nallow_plain_http=" << (config.allowPlainHttp ? "on" : "off") << "\nusers=" << config.usersFile
                  << "\nlog=" << config.logFolder << "\nsocket=" << config.socketPath << "\n";
        for (const auto& other : config.socketFallbacks) std::cout << "socket_then=" << other << "\n";
        const auto refusal = ListenRefusal(config);
        if (refusal) std::cout << "refused=" << *refusal << "\n";
        return refusal ? kExitConfig : 0;
    }
    if (cl.action != CommandLine::Action::Serve) return manageAccounts(cl, config);

    // Signals are taken by the main thread alone (sigtimedwait below).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    WebLog log(config.logFolder, config.instance);
    log.write("start quillon-web " + VersionApplication().toStdString() + " instance=" + std::to_string(config.instance) +
              " " + LogField("settings", config.settingsFile) + " " + LogField("users", config.usersFile) + " " +
              LogField("socket", config.socketPath));
    if (const auto refusal = ListenRefusal(config)) {
        log.write("not serving: " + *refusal);
        return kExitConfig;
    }
    AssetStore assets;
    const std::string assetsFolder = cl.assets.empty() ? DefaultAssetsFolder(argv[0]) : cl.assets;
    if (auto e = assets.load(assetsFolder)) {
        log.write("not serving: " + *e);
        return 1;
    }
    for (const auto& [name, why] : assets.skipped()) log.write("asset left out " + LogField("name", name) + ": " + why);
    AccountDirectory accounts(config.usersFile);
    if (auto e = accounts.load()) log.write("accounts: " + *e);
    if (accounts.count() == 0)
        log.write("no account yet: add one with quillon-web --instance " + std::to_string(config.instance) +
                  " --add-user NAME --role admin");

    LinkOptions linkOptions;
    linkOptions.socketPath = config.socketPath;
    linkOptions.socketFallbacks = config.socketFallbacks;
    linkOptions.onChange = [&log](LinkState state, const std::string& detail, const nlohmann::json& greeting) {
        if (state == LinkState::Up)
            log.write("recorder program up " + LogField("version", greeting.value("version", std::string())) +
                      " pid=" + std::to_string(greeting.value("pid", 0)));
        else
            log.write(std::string("recorder program ") + LinkStateName(state) + " " + LogField("detail", detail));
    };
    RecorderLink link(linkOptions);
    WebServer server(config, link, accounts, assets, log);
    if (!server.bind()) return 1;
    link.start();
    log.write(std::string("listening on ") + (config.tls() ? "https://" : "http://") + config.address + ":" +
              std::to_string(server.port()));
    std::thread serving([&] { server.run(); });

    int signal = 0;
    while (signal == 0 || signal == SIGHUP) {
        const timespec second{1, 0};
        signal = sigtimedwait(&stopSignals, nullptr, &second);
        if (signal == SIGHUP) log.write("SIGHUP: nothing to reload (settings are read at start)");
        if (signal < 0) signal = 0;
    }
    log.write(std::string("stop (") + strsignal(signal) + ")");
    server.stop();
    serving.join();
    link.stop();
    return 0;
}
