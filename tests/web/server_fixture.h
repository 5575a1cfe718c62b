#pragma once
// The real web server on a free loopback port, its accounts (admin alice,
// operator olivia, listener lena), pages from a temporary assets folder,
// and a scripted recorder on a real Unix socket.
#include "support/clock.h"
#include "web/server.h"
#include "web_test_util.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <memory>
#include <thread>

class WebServerFixture : public ::testing::Test {
protected:
    static nlohmann::json answer(const nlohmann::json& req) {
        const std::string what = req.value("request", "");
        if (what == "status") return webtest::SampleStatus();
        if (what == "subscribe") return {{"ok", true}};
        if (what == "incidents") return {{"ok", true}, {"incidents", nlohmann::json::array()}};
        if (what == "acknowledge" || what == "trace") return {{"ok", true}, {"lines", {"14:32:10:123 : :1: :RecordingStarted"}}};
        if (req.value("recorder", 0) == 1)
            return {{"ok", false}, {"error", "refused"}, {"message", "Rec. 1 est l'enregistreur de pige : il se commande par ses tranches"}};
        return {{"ok", true}, {"recorder", {{"recorder", req.value("recorder", 0)}, {"state", "recording"}}}};
    }

    void SetUp() override {
        namespace fs = std::filesystem;
        fs::create_directories(dir / "assets");
        std::ofstream(dir / "assets/index.html") << "<html lang=\"{{lang}}\">status page</html>";
        std::ofstream(dir / "assets/login.html") << "<html lang=\"{{lang}}\">login page</html>";
        std::ofstream(dir / "assets/app.js") << "// app";
        std::ofstream(dir / "secret.txt") << kCanary;
        fs::create_symlink(dir / "secret.txt", dir / "assets/leak.txt");
        ASSERT_FALSE(assets.load(dir / "assets").has_value());

        web::AccountFile file(dir / "users.json");
        ASSERT_FALSE(file.add("alice", web::Role::Admin, "alice-password").has_value());
        ASSERT_FALSE(file.add("olivia", web::Role::Operate, "olivia-password").has_value());
        ASSERT_FALSE(file.add("lena", web::Role::Listen, "lena-password").has_value());
        ASSERT_FALSE(file.save().has_value());
        accounts = std::make_unique<web::AccountDirectory>(dir / "users.json");
        ASSERT_FALSE(accounts->load().has_value());

        peer = std::make_unique<webtest::Peer>(dir / "rec.sock", answer);
        web::LinkOptions lo;
        lo.socketPath = dir / "rec.sock";
        lo.reconnectMs = 100;
        lo.viewedPollMs = 200;
        link = std::make_unique<web::RecorderLink>(lo);
        link->start();
        ASSERT_TRUE(webtest::waitFor([&] { return link->snapshot().state == web::LinkState::Up; }, 3000));

        config.address = "127.0.0.1";
        config.port = 0;
        config.sessionMinutes = 60;
        config.instance = 1;
        log = std::make_unique<web::WebLog>(dir / "log", 1, false);
        startServer();
    }

    void startServer() {
        server = std::make_unique<web::WebServer>(config, *link, *accounts, assets, *log, limits);
        ASSERT_TRUE(server->bind());
        port = server->port();
        serving = std::thread([this] { server->run(); });
        ASSERT_TRUE(webtest::waitFor(
            [&] {
                if (!config.tls()) return webtest::StatusOf(webtest::RawHttp(port, "GET /login HTTP/1.0\r\n\r\n")) == 200;
                httplib::SSLClient c("127.0.0.1", port);
                c.enable_server_certificate_verification(false);
                auto r = c.Get("/login");
                return r && r->status == 200;
            },
            3000));
    }

    void TearDown() override {
        if (server) server->stop();
        if (serving.joinable()) serving.join();
        if (link) link->stop();
    }

    httplib::Client client() {
        httplib::Client c("127.0.0.1", port);
        c.set_read_timeout(10, 0);
        return c;
    }

    // Logs in; returns the Cookie header value ("" when refused) and the CSRF token.
    std::string login(const std::string& user, const std::string& password, std::string* csrf = nullptr, int* status = nullptr) {
        auto c = client();
        const nlohmann::json body = {{"user", user}, {"password", password}};
        auto res = c.Post("/api/login", body.dump(), "application/json");
        if (status) *status = res ? res->status : 0;
        if (!res || res->status != 200) return {};
        if (csrf) *csrf = nlohmann::json::parse(res->body).value("csrf", "");
        const std::string set = res->get_header_value("Set-Cookie");
        return set.substr(0, set.find(';'));
    }

    httplib::Result post(const std::string& path, const std::string& cookie, const std::string& csrf,
                         const std::string& body = "{}") {
        auto c = client();
        httplib::Headers h{{"Cookie", cookie}};
        if (!csrf.empty()) h.emplace("X-CSRF-Token", csrf);
        return c.Post(path.c_str(), h, body, "application/json");
    }

    httplib::Result get(const std::string& path, const std::string& cookie = "") {
        auto c = client();
        httplib::Headers h;
        if (!cookie.empty()) h.emplace("Cookie", cookie);
        return c.Get(path.c_str(), h);
    }

    std::string logText() {
        std::ifstream in(log->todayFile());
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }

    static constexpr const char* kCanary = "CANARY-7f3a9c-outside-the-assets";
    webtest::TempDir dir;
    web::AssetStore assets;
    std::unique_ptr<web::AccountDirectory> accounts;
    std::unique_ptr<webtest::Peer> peer;
    std::unique_ptr<web::RecorderLink> link;
    std::unique_ptr<web::WebLog> log;
    web::WebConfig config;
    web::ServerLimits limits;
    std::unique_ptr<web::WebServer> server;
    std::thread serving;
    int port = 0;
};
