#pragma once
// The command line of quillon-web: serving (the default) or managing the
// accounts, and the places its files come from.
#include <optional>
#include <string>

namespace web {

struct CommandLine {
    enum class Action { Serve, AddUser, RemoveUser, ListUsers, ShowConfig, Help, Version };
    Action action = Action::Serve;
    int instance = 0;
    std::string user;
    std::string role;
    std::string usersFile;  // overrides the configuration
    std::string assets;     // overrides the folder found beside the program
    std::string error;      // set when the line cannot be understood
};

CommandLine ParseCommandLine(int argc, char** argv);
std::string UsageText();

// The password of a new account: twice without echo from a terminal, once
// from standard input otherwise. Nothing when they differ or input ends.
std::optional<std::string> ReadNewPassword(const std::string& user, std::string* problem);

// The assets folder: beside the program in the build tree ("web-assets"),
// else <prefix>/share/quillon-recorder/web.
std::string DefaultAssetsFolder(const std::string& argv0);

}  // namespace web
