// The [Web] section read from the recorder's own settings file, found as the
// recorder finds it, and the rule that keeps plain HTTP on loopback.
#include "support/app_globals.h"
#include "support/ini.h"
#include "web/config.h"
#include "web_test_util.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace web;

namespace {
void writeCrlf(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    for (char c : text) {
        if (c == '\n') out << '\r';
        out << c;
    }
}
}  // namespace

TEST(Config, SettingsFileIsTheRecordersOwnForTheInstance) {
    webtest::TempDir dir;
    Environment env{{"VELMORA_DRIVE", dir.path + "/"}, {"HOME", dir / "home"}};
    EXPECT_EQ(RecorderSettingsFile(3, env),
              dir.path + "/Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder_3.Ini");
    EXPECT_EQ(RecorderSettingsFile(0, env),
              dir.path + "/Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder.Ini");
    EXPECT_EQ(RecorderSettingsFile(42, env),
              dir.path + "/Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder_10.Ini")
        << "bounded 1..10 as /Instance=";
    env["VELMORA_APP_FOLDER"] = dir / "app";
    EXPECT_EQ(RecorderSettingsFile(1, env), dir.path + "/app/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder_1.Ini");
    // Found without creating anything.
    EXPECT_FALSE(std::filesystem::exists(dir / "Tessaline"));
    EXPECT_FALSE(std::filesystem::exists(dir / "app"));
}

TEST(Config, WebSectionKeysAreReadWithTheRecordersReader) {
    webtest::TempDir dir;
    Environment env{{"VELMORA_DRIVE", dir.path + "/"}, {"HOME", dir / "home"}};
    const std::string ini = RecorderSettingsFile(2, env);
    writeCrlf(ini,
              "[Recorder_00]\nActif=ON\n"
              "[Web]\nAddress = 0.0.0.0\nPort=9443\nTlsCertificate=/etc/q/cert.pem\nTlsKey=/etc/q/key.pem\n"
              "SessionMinutes=90\nMetricsToken=\"tok en\"\nAllowPlainHttp=on\nUsersFile=/var/lib/q/u.json\n"
              "LogFolder=/var/log/q\nSocket=/run/q/2.sock\n"
              "[Other]\nPort=1\n");
    const WebConfig c = LoadConfig(2, ini, env);
    EXPECT_EQ(c.address, "0.0.0.0");
    EXPECT_EQ(c.port, 9443);
    EXPECT_EQ(c.tlsCertificate, "/etc/q/cert.pem");
    EXPECT_EQ(c.tlsKey, "/etc/q/key.pem");
    EXPECT_TRUE(c.tls());
    EXPECT_EQ(c.sessionMinutes, 90);
    EXPECT_EQ(c.metricsToken, "tok en");
    EXPECT_TRUE(c.allowPlainHttp);
    EXPECT_EQ(c.usersFile, "/var/lib/q/u.json");
    EXPECT_EQ(c.logFolder, "/var/log/q/");
    EXPECT_EQ(c.socketPath, "/run/q/2.sock");
    EXPECT_TRUE(c.socketFallbacks.empty()) << "a socket named in the settings is the only one";
}

TEST(Config, DefaultsFollowTheServiceManagersFolders) {
    webtest::TempDir dir;
    Environment env{{"VELMORA_DRIVE", dir.path + "/"}, {"HOME", "/home/op"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}};
    const std::string ini = RecorderSettingsFile(1, env);
    WebConfig c = LoadConfig(1, ini, env);  // no file at all
    EXPECT_EQ(c.address, "127.0.0.1");
    EXPECT_EQ(c.port, 8470);
    EXPECT_FALSE(c.tls());
    EXPECT_EQ(c.sessionMinutes, 480);
    EXPECT_FALSE(c.allowPlainHttp);
    EXPECT_EQ(c.usersFile, "/home/op/.local/state/quillon-web/users_1.json");
    EXPECT_EQ(c.logFolder, "/home/op/.local/state/quillon-web/log/");
    EXPECT_EQ(c.socketPath, "/run/user/1000/quillon-recorder/1.sock");
    EXPECT_EQ(c.socketFallbacks, std::vector<std::string>{"/run/quillon-recorder/1.sock"});

    env["STATE_DIRECTORY"] = "/var/lib/quillon-web";
    env["LOGS_DIRECTORY"] = "/var/log/quillon-web";
    env.erase("XDG_RUNTIME_DIR");
    c = LoadConfig(4, ini, env);
    EXPECT_EQ(c.usersFile, "/var/lib/quillon-web/users_4.json");
    EXPECT_EQ(c.logFolder, "/var/log/quillon-web/");
    EXPECT_EQ(c.socketPath, "/run/quillon-recorder/4.sock");
    EXPECT_TRUE(c.socketFallbacks.empty());

    // Values out of range keep the default.
    writeCrlf(ini, "[Web]\nPort=70000\nSessionMinutes=0\n");
    c = LoadConfig(1, ini, env);
    EXPECT_EQ(c.port, 8470);
    EXPECT_EQ(c.sessionMinutes, 480);
}

TEST(Config, PlainHttpOnlyOnLoopbackUnlessAllowed) {
    EXPECT_TRUE(IsLoopbackAddress("127.0.0.1"));
    EXPECT_TRUE(IsLoopbackAddress("127.8.9.10"));
    EXPECT_TRUE(IsLoopbackAddress("::1"));
    EXPECT_TRUE(IsLoopbackAddress("::ffff:127.0.0.1"));
    EXPECT_TRUE(IsLoopbackAddress("localhost"));
    for (const char* a : {"0.0.0.0", "::", "192.168.1.10", "10.0.0.1", "128.0.0.1", "fe80::1", "example.org", ""})
        EXPECT_FALSE(IsLoopbackAddress(a)) << a;

    WebConfig c;
    EXPECT_FALSE(ListenRefusal(c).has_value());
    c.address = "0.0.0.0";
    const auto why = ListenRefusal(c);
    ASSERT_TRUE(why.has_value());
    EXPECT_NE(why->find("AllowPlainHttp"), std::string::npos) << *why;
    EXPECT_NE(why->find("0.0.0.0:8470"), std::string::npos) << *why;
    c.allowPlainHttp = true;
    EXPECT_FALSE(ListenRefusal(c).has_value());

    c.address = "studio-pc.local";
    EXPECT_TRUE(ListenRefusal(c).has_value()) << "a name, not an address";

    webtest::TempDir dir;
    c.address = "0.0.0.0";
    c.allowPlainHttp = false;
    c.tlsCertificate = dir / "cert.pem";
    EXPECT_TRUE(ListenRefusal(c).has_value()) << "certificate without key";
    c.tlsKey = dir / "key.pem";
    EXPECT_TRUE(ListenRefusal(c).has_value()) << "unreadable files";
    std::ofstream(dir / "cert.pem") << "x";
    std::ofstream(dir / "key.pem") << "x";
    EXPECT_FALSE(ListenRefusal(c).has_value());
    EXPECT_TRUE(IsOn("ON"));
    EXPECT_TRUE(IsOn("yes"));
    EXPECT_FALSE(IsOn("OFF"));
    EXPECT_FALSE(IsOn(""));
}

TEST(Config, SameFileAsTheRecordersOwnLookup) {
    // The recorder computes its file from the process environment: with the
    // same environment both agree.
    webtest::TempDir dir;
    ::setenv("VELMORA_DRIVE", (dir.path + "/").c_str(), 1);
    ::unsetenv("VELMORA_APP_FOLDER");
    const std::string ours = RecorderSettingsFile(5, ProcessEnvironment());
    App().ApplicationFolder = DefaultRoot();
    App().UseDefaultRoot = true;
    App().InstanceNumber = 5;
    EXPECT_EQ(ours, SettingsFileOfInstance().toStdString());
    ::unsetenv("VELMORA_DRIVE");
}
