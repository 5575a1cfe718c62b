#include "web/cli.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace web {

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine c;
    auto value = [&](int& i, const std::string& name) -> std::string {
        if (i + 1 >= argc) {
            c.error = name + " attend une valeur";
            return {};
        }
        return argv[++i];
    };
    int actions = 0;
    for (int i = 1; i < argc && c.error.empty(); ++i) {
        const std::string a = argv[i];
        if (a == "--instance") {
            const std::string v = value(i, a);
            try {
                size_t used = 0;
                c.instance = std::stoi(v, &used);
                if (used != v.size() || c.instance < 0 || c.instance > 10) throw std::out_of_range(v);
            } catch (...) {
                if (c.error.empty()) c.error = "--instance attend un nombre de 0 à 10";
            }
        } else if (a.rfind("/Instance=", 0) == 0 || a.rfind("/I=", 0) == 0) {
            c.instance = std::clamp(std::atoi(a.c_str() + a.find('=') + 1), 1, 10);
        } else if (a == "--add-user") {
            c.action = CommandLine::Action::AddUser;
            c.user = value(i, a);
            ++actions;
        } else if (a == "--remove-user") {
            c.action = CommandLine::Action::RemoveUser;
            c.user = value(i, a);
            ++actions;
        } else if (a == "--list-users") {
            c.action = CommandLine::Action::ListUsers;
            ++actions;
        } else if (a == "--show-config") {
            c.action = CommandLine::Action::ShowConfig;
            ++actions;
        } else if (a == "--role") {
            c.role = value(i, a);
        } else if (a == "--users") {
            c.usersFile = value(i, a);
        } else if (a == "--assets") {
            c.assets = value(i, a);
        } else if (a == "--help" || a == "-h") {
            c.action = CommandLine::Action::Help;
            ++actions;
        } else if (a == "--version") {
            c.action = CommandLine::Action::Version;
            ++actions;
        } else {
            c.error = "option inconnue : " + a;
        }
    }
    if (c.error.empty() && actions > 1) c.error = "une seule action à la fois";
    if (c.error.empty() && c.action == CommandLine::Action::AddUser && c.role.empty())
        c.error = "--add-user demande --role listen|operate|admin";
    return c;
}

std::string UsageText() {
    return "Usage : quillon-web [--instance N] [--users FICHIER] [--assets DOSSIER]\n"
           "        quillon-web [--instance N] --add-user NOM --role listen|operate|admin\n"
           "        quillon-web [--instance N] --remove-user NOM\n"
           "        quillon-web [--instance N] --list-users\n"
           "        quillon-web [--instance N] --show-config\n"
           "Sans action : sert la console web de l'instance N de l'enregistreur\n"
           "(section [Web] de son fichier de réglages).\n";
}

namespace {
std::optional<std::string> readLine(bool echo) {
    termios saved{};
    const bool tty = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (tty && !echo) {
        termios quiet = saved;
        quiet.c_lflag &= tcflag_t(~ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (tty && !echo) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!got) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}
}  // namespace

std::optional<std::string> ReadNewPassword(const std::string& user, std::string* problem) {
    if (!::isatty(STDIN_FILENO)) {
        auto p = readLine(true);
        if (!p) *problem = "aucun mot de passe sur l'entrée standard";
        return p;
    }
    std::fprintf(stderr, "Mot de passe de %s : ", user.c_str());
    auto first = readLine(false);
    std::fprintf(stderr, "Le même, une seconde fois : ");
    auto second = readLine(false);
    if (!first || !second) {
        *problem = "saisie interrompue";
        return std::nullopt;
    }
    if (*first != *second) {
        *problem = "les deux saisies diffèrent";
        return std::nullopt;
    }
    return first;
}

std::string DefaultAssetsFolder(const std::string& argv0) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) exe = fs::absolute(argv0, ec);
    const fs::path dir = exe.parent_path();
    if (fs::is_directory(dir / "web-assets", ec)) return (dir / "web-assets").string();
    return (dir.parent_path() / "share/quillon-recorder/web").string();
}

}  // namespace web
