// The command line of quillon-web.
#include "web/cli.h"

#include <gtest/gtest.h>

#include <vector>

using namespace web;

namespace {
CommandLine parse(std::vector<std::string> words) {
    words.insert(words.begin(), "quillon-web");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    return ParseCommandLine(int(argv.size()), argv.data());
}
}  // namespace

TEST(CommandLine, ActionsInstanceAndMistakes) {
    CommandLine c = parse({"--instance", "3"});
    EXPECT_TRUE(c.error.empty());
    EXPECT_EQ(c.action, CommandLine::Action::Serve);
    EXPECT_EQ(c.instance, 3);
    c = parse({"/Instance=12"});
    EXPECT_EQ(c.instance, 10) << "as the recorder bounds it";
    c = parse({"--instance", "1", "--add-user", "alice", "--role", "admin", "--users", "/x/u.json"});
    EXPECT_EQ(c.action, CommandLine::Action::AddUser);
    EXPECT_EQ(c.user, "alice");
    EXPECT_EQ(c.role, "admin");
    EXPECT_EQ(c.usersFile, "/x/u.json");
    EXPECT_EQ(parse({"--remove-user", "bob"}).action, CommandLine::Action::RemoveUser);
    EXPECT_EQ(parse({"--list-users"}).action, CommandLine::Action::ListUsers);
    EXPECT_FALSE(parse({"--add-user", "alice"}).error.empty()) << "a role is needed";
    EXPECT_FALSE(parse({"--instance", "x"}).error.empty());
    EXPECT_FALSE(parse({"--instance", "11"}).error.empty());
    EXPECT_FALSE(parse({"--instance"}).error.empty());
    EXPECT_FALSE(parse({"--list-users", "--remove-user", "a"}).error.empty()) << "one action at a time";
    EXPECT_FALSE(parse({"--frobnicate"}).error.empty());
}
