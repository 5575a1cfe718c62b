// The real server over real TCP: what needs a session, cookies, roles, CSRF,
// login throttling, the event stream, metrics access, and the commands
// carrying the account to the recorder.
#include "server_fixture.h"

using namespace web;

TEST_F(WebServerFixture, WithoutSessionOnlyPagesAndAssets) {
    auto r = get("/");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 303);
    EXPECT_EQ(r->get_header_value("Location"), "/login");
    r = get("/login");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_NE(r->body.find("lang=\"fr\""), std::string::npos) << "French first";
    EXPECT_EQ(r->get_header_value("X-Frame-Options"), "DENY");
    EXPECT_NE(r->get_header_value("Content-Security-Policy").find("default-src 'self'"), std::string::npos);
    auto c = client();
    r = c.Get("/login", {{"Accept-Language", "en-GB,en;q=0.9,fr;q=0.8"}});
    EXPECT_NE(r->body.find("lang=\"en\""), std::string::npos);
    r = c.Get("/login", {{"Accept-Language", "en;q=0.5,fr;q=0.5"}});
    EXPECT_NE(r->body.find("lang=\"fr\""), std::string::npos) << "a tie goes to French";
    EXPECT_EQ(get("/assets/app.js")->status, 200);
    for (const char* p : {"/api/status", "/api/session", "/api/events", "/api/incidents", "/api/trace", "/nothing"})
        EXPECT_EQ(get(p)->status, 401) << p;
    for (const char* p : {"/api/recorders/2/start", "/api/logout", "/api/incidents/acknowledge", "/"})
        EXPECT_EQ(post(p, "", "")->status, 401) << p;
    EXPECT_EQ(c.Put("/api/recorders/2/start", "{}", "application/json")->status, 401);
    EXPECT_EQ(c.Delete("/")->status, 401);
    EXPECT_TRUE(peer->requests().size() < 20);
    for (const auto& q : peer->requests()) EXPECT_NE(q.value("request", ""), "start");
}

TEST_F(WebServerFixture, LoginGivesAHardenedCookieAndLogoutEndsIt) {
    auto c = client();
    auto r = c.Post("/api/login", R"({"user":"alice","password":"alice-password"})", "application/json");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    const std::string set = r->get_header_value("Set-Cookie");
    EXPECT_EQ(set.rfind("quillon_session_" + std::to_string(port) + "=", 0), 0u) << set;
    for (const char* attr : {"; HttpOnly", "; SameSite=Strict", "; Path=/", "; Max-Age=3600"})
        EXPECT_NE(set.find(attr), std::string::npos) << set;
    EXPECT_EQ(set.find("Secure"), std::string::npos) << "plain HTTP on loopback";
    const auto body = nlohmann::json::parse(r->body);
    EXPECT_EQ(body["role"], "admin");
    const std::string cookie = set.substr(0, set.find(';'));
    r = get("/api/session", cookie);
    ASSERT_EQ(r->status, 200);
    EXPECT_EQ(nlohmann::json::parse(r->body)["csrf"], body["csrf"]);
    EXPECT_EQ(get("/", cookie)->status, 200);
    EXPECT_EQ(get("/login", cookie)->status, 303);

    EXPECT_EQ(post("/api/logout", cookie, "")->status, 403) << "logout needs the CSRF token too";
    EXPECT_EQ(post("/api/logout", cookie, body["csrf"])->status, 200);
    EXPECT_EQ(get("/api/session", cookie)->status, 401);
    const std::string log = logText();
    EXPECT_NE(log.find("login user=alice role=admin addr=127.0.0.1"), std::string::npos) << log;
    EXPECT_NE(log.find("logout user=alice addr=127.0.0.1"), std::string::npos) << log;
}

TEST_F(WebServerFixture, LoginAsksForJsonFromTheSameOrigin) {
    auto c = client();
    EXPECT_EQ(c.Post("/api/login", "user=alice&password=alice-password", "application/x-www-form-urlencoded")->status, 415);
    EXPECT_EQ(c.Post("/api/login", {{"Origin", "http://evil.example"}}, R"({"user":"alice","password":"alice-password"})",
                     "application/json")->status,
              415);
    EXPECT_EQ(c.Post("/api/login", R"({"user":"alice"})", "application/json")->status, 400);
    EXPECT_EQ(c.Post("/api/login", "[1,2]", "application/json")->status, 400);
}

TEST_F(WebServerFixture, RolesDecideAndCommandsCarryTheAccount) {
    std::string lenaCsrf, oliviaCsrf, aliceCsrf;
    const std::string lena = login("lena", "lena-password", &lenaCsrf);
    const std::string olivia = login("olivia", "olivia-password", &oliviaCsrf);
    const std::string alice = login("alice", "alice-password", &aliceCsrf);
    ASSERT_FALSE(lena.empty());
    ASSERT_FALSE(olivia.empty());
    EXPECT_EQ(get("/api/status", lena)->status, 200);
    auto r = post("/api/recorders/2/start", lena, lenaCsrf);
    EXPECT_EQ(r->status, 403) << "a listener cannot command";
    for (const auto& q : peer->requests()) EXPECT_NE(q.value("request", ""), "start") << "nothing reached the recorder";
    EXPECT_EQ(get("/api/incidents", olivia)->status, 403);
    EXPECT_EQ(get("/api/trace", olivia)->status, 403);
    EXPECT_EQ(get("/api/incidents", alice)->status, 200);
    EXPECT_EQ(get("/api/trace", alice)->status, 200);

    r = post("/api/recorders/2/start", olivia, oliviaCsrf);
    ASSERT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(nlohmann::json::parse(r->body)["recorder"]["state"], "recording");
    bool carried = false;
    for (const auto& q : peer->requests())
        if (q.value("request", "") == "start") carried = q.value("user", "") == "web:olivia" && q.value("recorder", 0) == 2;
    EXPECT_TRUE(carried);
    r = post("/api/recorders/1/stop", olivia, oliviaCsrf);
    EXPECT_EQ(r->status, 409);
    EXPECT_EQ(nlohmann::json::parse(r->body)["message"], "Rec. 1 est l'enregistreur de pige : il se commande par ses tranches");
    EXPECT_EQ(post("/api/recorders/2/explode", olivia, oliviaCsrf)->status, 404);

    EXPECT_EQ(post("/api/incidents/acknowledge", olivia, oliviaCsrf, R"({"seq":3})")->status, 403);
    EXPECT_EQ(post("/api/incidents/acknowledge", alice, aliceCsrf, R"({"seq":3})")->status, 200);
    EXPECT_EQ(post("/api/incidents/acknowledge", alice, aliceCsrf, R"({"seq":"x"})")->status, 400);
    const std::string log = logText();
    EXPECT_NE(log.find("command start recorder=2 user=web:olivia addr=127.0.0.1 result=ok"), std::string::npos) << log;
    EXPECT_NE(log.find("command stop recorder=1 user=web:olivia addr=127.0.0.1 result=refused"), std::string::npos) << log;
    EXPECT_NE(log.find("refused: role listen user=lena"), std::string::npos) << log;
}

TEST_F(WebServerFixture, StateChangesNeedTheSessionsCsrfTokenFromThisSite) {
    std::string csrf, other;
    const std::string olivia = login("olivia", "olivia-password", &csrf);
    login("alice", "alice-password", &other);
    EXPECT_EQ(post("/api/recorders/2/start", olivia, "")->status, 403);
    EXPECT_EQ(post("/api/recorders/2/start", olivia, other)->status, 403) << "another session's token";
    auto c = client();
    auto r = c.Post("/api/recorders/2/start", {{"Cookie", olivia}, {"X-CSRF-Token", csrf}, {"Origin", "http://evil.example"}},
                    "{}", "application/json");
    EXPECT_EQ(r->status, 403);
    r = c.Post("/api/recorders/2/start", {{"Cookie", olivia}, {"X-CSRF-Token", csrf}, {"Sec-Fetch-Site", "cross-site"}},
               "{}", "application/json");
    EXPECT_EQ(r->status, 403);
    for (const auto& q : peer->requests()) EXPECT_NE(q.value("request", ""), "start");
    EXPECT_EQ(post("/api/recorders/2/start", olivia, csrf)->status, 200);
}

TEST_F(WebServerFixture, FailedLoginsAreSlowedPerAddressAndAccount) {
    ManualClock clock(QDateTime::currentDateTime(), 1000000);
    ScopedClock scoped(&clock);
    int status = 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(login("olivia", "wrong-password", nullptr, &status).empty());
        EXPECT_EQ(status, 401);
    }
    // The fourth failure asks for a wait: even the right password waits.
    EXPECT_TRUE(login("olivia", "olivia-password", nullptr, &status).empty());
    EXPECT_EQ(status, 429);
    auto c = client();
    auto r = c.Post("/api/login", R"({"user":"olivia","password":"olivia-password"})", "application/json");
    EXPECT_EQ(r->get_header_value("Retry-After"), "1");
    EXPECT_EQ(login("lena", "lena-password", nullptr, &status), "") << "the same address waits for any account";
    clock.advanceMs(1000);
    EXPECT_FALSE(login("olivia", "olivia-password", nullptr, &status).empty()) << status;
    const std::string log = logText();
    EXPECT_NE(log.find("login failed user=olivia addr=127.0.0.1"), std::string::npos) << log;
    EXPECT_NE(log.find("login throttled user=olivia addr=127.0.0.1"), std::string::npos) << log;
}

TEST_F(WebServerFixture, SessionsEndWithTheirLifetimeAndWithTheirAccount) {
    ManualClock clock(QDateTime::currentDateTime(), 1000000);
    ScopedClock scoped(&clock);
    std::string csrf;
    const std::string alice = login("alice", "alice-password", &csrf);
    const std::string lena = login("lena", "lena-password");
    clock.advanceMs(59 * 60000);
    EXPECT_EQ(get("/api/status", alice)->status, 200);
    clock.advanceMs(60000);
    EXPECT_EQ(get("/api/status", alice)->status, 401) << "60 minutes after the login";

    // An account removed from the file ends its sessions (the file is looked at once a second).
    const std::string again = login("alice", "alice-password");
    AccountFile file(dir / "users.json");
    ASSERT_FALSE(file.load().has_value());
    file.remove("lena");
    ASSERT_FALSE(file.save().has_value());
    clock.advanceMs(1500);
    EXPECT_EQ(get("/api/status", lena)->status, 401);
    EXPECT_EQ(get("/api/status", again)->status, 200);
}

TEST_F(WebServerFixture, EventStreamSendsStatusThenAtMostTenUpdatesASecond) {
    const std::string cookie = login("lena", "lena-password");
    std::atomic<bool> pushing{true};
    std::thread pusher([&] {
        // Levels far faster than a page may get them.
        for (int i = 0; pushing; ++i) {
            peer->push({{"event", "levels"}, {"time_ms", i}, {"recorders", {{{"recorder", 1}, {"peak_dbfs", {-10.0 - i % 5}}}}}});
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const std::string text =
        webtest::RawHttp(port, "GET /api/events HTTP/1.1\r\nHost: x\r\nCookie: " + cookie + "\r\n\r\n", 2000);
    pushing = false;
    pusher.join();
    ASSERT_EQ(webtest::StatusOf(text), 200) << text.substr(0, 300);
    EXPECT_NE(text.find("Content-Type: text/event-stream"), std::string::npos);
    const auto firstStatus = text.find("event: status\ndata: {");
    ASSERT_NE(firstStatus, std::string::npos) << text.substr(0, 500);
    EXPECT_NE(text.find("\"state\":\"up\"", firstStatus), std::string::npos);
    size_t writes = 0;
    for (size_t at = text.find("event: levels"); at != std::string::npos; at = text.find("event: levels", at + 1)) ++writes;
    EXPECT_GE(writes, 5u) << "levels do flow";
    EXPECT_LE(writes, 21u) << "no more than ten a second over two seconds";
    // The page is gone: the recorder is no longer asked for levels.
    ASSERT_TRUE(webtest::waitFor([&] { return link->viewers() == 0 && server->streams() == 0; }, 5000));
}

TEST(WebMetricsAccess, LoopbackOrBearerToken) {
    EXPECT_TRUE(MetricsAllowed("127.0.0.1", "", ""));
    EXPECT_TRUE(MetricsAllowed("::1", "", "tok"));
    EXPECT_FALSE(MetricsAllowed("192.0.2.7", "", ""));
    EXPECT_FALSE(MetricsAllowed("192.0.2.7", "Bearer tok", "")) << "no token set: loopback only";
    EXPECT_TRUE(MetricsAllowed("192.0.2.7", "Bearer s3cr3t", "s3cr3t"));
    EXPECT_FALSE(MetricsAllowed("192.0.2.7", "Bearer s3cr3", "s3cr3t"));
    EXPECT_FALSE(MetricsAllowed("192.0.2.7", "Basic s3cr3t", "s3cr3t"));
}

TEST_F(WebServerFixture, MetricsFromLoopbackWithoutSession) {
    auto r = get("/metrics");
    ASSERT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_NE(r->body.find("quillon_recorder_up{instance_number=\"1\",link=\"up\"} 1"), std::string::npos) << r->body;
    peer.reset();
    ASSERT_TRUE(webtest::waitFor([&] { return link->snapshot().state == LinkState::NotRunning; }, 3000));
    r = get("/metrics");
    EXPECT_NE(r->body.find("quillon_recorder_up{instance_number=\"1\",link=\"not-running\"} 0"), std::string::npos);
}

TEST_F(WebServerFixture, EventStreamEndsWhenTheAccountGoes) {
    const std::string cookie = login("lena", "lena-password");
    std::string text;
    std::thread reader([&] {
        text = webtest::RawHttp(port, "GET /api/events HTTP/1.1\r\nHost: x\r\nCookie: " + cookie + "\r\n\r\n", 6000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    AccountFile file(dir / "users.json");
    ASSERT_FALSE(file.load().has_value());
    file.remove("lena");
    ASSERT_FALSE(file.save().has_value());
    reader.join();
    EXPECT_NE(text.find("event: status"), std::string::npos);
    EXPECT_NE(text.find("event: logout"), std::string::npos) << text.substr(text.size() > 300 ? text.size() - 300 : 0);
    ASSERT_TRUE(webtest::waitFor([&] { return server->streams() == 0; }, 3000));
}
