// Bad requests against the real server: names that try to leave the assets,
// size bounds, and a fixed-seed run of generated requests.
#include "server_fixture.h"

#include <random>

using namespace web;

namespace {
std::string rawGet(const std::string& target) { return "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"; }
}  // namespace

TEST_F(WebServerFixture, NoRequestReadsOutsideTheAssets) {
    for (const char* target :
         {"/assets/../secret.txt", "/assets/%2e%2e/secret.txt", "/assets/%2E%2E%2Fsecret.txt", "/assets/..%2fsecret.txt",
          "/assets/%252e%252e/secret.txt", "/assets/leak.txt", "/assets/app.js%00/../../secret.txt", "/assets/app.js%00",
          "/assets/./leak.txt", "/assets//leak.txt", "/assets/%2fetc%2fpasswd", "/assets/..\\secret.txt",
          "/assets/%5c..%5csecret.txt", "/../secret.txt", "/%2e%2e/secret.txt", "/assets/.%2e/secret.txt",
          "/assets/app.js/../../secret.txt", "//etc/passwd", "/assets/%c0%ae%c0%ae/secret.txt"}) {
        const std::string res = webtest::RawHttp(port, rawGet(target));
        const int status = webtest::StatusOf(res);
        EXPECT_TRUE(status >= 400 && status < 500) << target << " -> " << status;
        EXPECT_EQ(res.find(kCanary), std::string::npos) << target;
        EXPECT_EQ(res.find("root:"), std::string::npos) << target;
    }
    // The real asset is still there.
    EXPECT_EQ(webtest::StatusOf(webtest::RawHttp(port, rawGet("/assets/app.js"))), 200);
    const std::string etag = get("/assets/app.js")->get_header_value("ETag");
    auto c = client();
    EXPECT_EQ(c.Get("/assets/app.js", {{"If-None-Match", etag}})->status, 304);
}

TEST_F(WebServerFixture, RequestsOverTheBoundsAreRefused) {
    const std::string cookie = login("alice", "alice-password");
    // A header line over 8 KiB, a target over 8 KiB.
    std::string res = webtest::RawHttp(port, "GET /login HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(9000, 'a') + "\r\n\r\n");
    EXPECT_GE(webtest::StatusOf(res), 400) << res.substr(0, 100);
    res = webtest::RawHttp(port, rawGet("/assets/" + std::string(9000, 'a')));
    EXPECT_GE(webtest::StatusOf(res), 400) << res.substr(0, 100);
    // A body over 64 KiB.
    auto c = client();
    auto r = c.Post("/api/login", std::string(70 * 1024, ' '), "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 413);
    // Headers without end: cut at 32 KiB of head, with an answer.
    std::string many = "GET /login HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; many.size() < 200 * 1024; ++i) many += "X-H" + std::to_string(i) + ": " + std::string(60, 'v') + "\r\n";
    res = webtest::RawHttp(port, many + "\r\n");
    EXPECT_EQ(webtest::StatusOf(res), 400) << res.substr(0, 100);
    // A head of 20 KiB in many headers is still served.
    std::string fine = "GET /login HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; fine.size() < 20 * 1024; ++i) fine += "X-H" + std::to_string(i) + ": v\r\n";
    EXPECT_EQ(webtest::StatusOf(webtest::RawHttp(port, fine + "\r\n")), 200);
    // Still serving.
    EXPECT_EQ(get("/api/status", cookie)->status, 200);
}

TEST_F(WebServerFixture, ASlowHeadIsCutAtItsDeadline) {
    // Restarted with a short deadline for the head of a request.
    server->stop();
    serving.join();
    limits.head.headDeadlineMs = 1500;
    startServer();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    // One header line every 400 ms: each read comes in time, the head does not.
    const std::string head = "GET /login HTTP/1.1\r\nHost: x\r\n";
    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
    bool cut = false;
    for (int i = 0; i < 25 && !cut; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const std::string line = "X-Slow: " + std::to_string(i) + "\r\n";
        if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) < 0) cut = true;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) cut = true;  // an answer, or the end
    }
    ::close(fd);
    EXPECT_TRUE(cut) << "the connection outlived its head's deadline by far";
}

TEST_F(WebServerFixture, GeneratedBadRequestsNeverCrashLeakOrCommand) {
    std::mt19937 rng(20261211);  // fixed seed: the same run every time
    const std::string cookie = login("olivia", "olivia-password");
    const std::vector<std::string> methods = {"GET", "POST", "PUT", "HEAD", "DELETE", "OPTIONS", "G\x01T", "", "PATCH"};
    const std::vector<std::string> paths = {"/", "/login", "/assets/app.js", "/assets/", "/api/status", "/api/events",
                                            "/api/recorders/2/start", "/api/recorders/99/stop", "/api/login", "/metrics",
                                            "/api/incidents/acknowledge", "/assets/leak.txt", "/api/trace"};
    const std::vector<std::string> pieces = {"..", "%2e", "%2f", "%00", "/", "\\", "%", "%zz", "?a=", "#", "%c0%ae", "~",
                                             "\xff", " ", "\t", "*", "..;", ";"};
    const std::vector<std::string> headers = {"Cookie: " + cookie, "Cookie: quillon_session_1=x", "X-CSRF-Token: abc",
                                              "Content-Type: application/json", "Content-Length: 5",
                                              "Content-Length: -1", "Content-Length: 99999999999",
                                              "Transfer-Encoding: chunked", "Range: bytes=0-1", "Range: bytes=-5,9-1",
                                              "Accept-Language: en;q=abc", "Origin: null", "Host:", "\x01: \x02"};
    const std::vector<std::string> bodies = {"", "{}", "{\"user\":1}", "{\"user\":\"olivia\",\"password\":\"x\"}", "[",
                                             "0\r\n\r\n", "5\r\nhello\r\n0\r\n\r\n", std::string(300, '\0'), "\xff\xfe"};
    auto pick = [&](const auto& v) { return v[rng() % v.size()]; };
    int answered = 0;
    for (int i = 0; i < 400; ++i) {
        std::string path = pick(paths);
        for (int k = int(rng() % 4); k > 0; --k) path.insert(rng() % (path.size() + 1), pick(pieces));
        std::string req = pick(methods) + " " + path + (rng() % 8 ? " HTTP/1.1" : " HTTP/9.9") + "\r\n";
        for (int k = int(rng() % 5); k > 0; --k) req += pick(headers) + "\r\n";
        if (rng() % 10) req += "\r\n";
        req += pick(bodies);
        if (rng() % 7 == 0) req = req.substr(0, rng() % (req.size() + 1));  // cut anywhere
        const std::string res = webtest::RawHttp(port, req, 400);
        const int status = webtest::StatusOf(res);
        ASSERT_EQ(res.find(kCanary), std::string::npos) << "request " << i << ": " << req;
        if (status) {
            ++answered;
            ASSERT_TRUE((status >= 200 && status < 600)) << status;
            // Nothing privileged without the session's CSRF token.
            ASSERT_FALSE(status == 200 && req.find("/start") != std::string::npos && req.rfind("POST", 0) == 0) << req;
        }
    }
    EXPECT_GT(answered, 200);
    for (const auto& q : peer->requests())
        EXPECT_FALSE(q.value("request", "") == "start" || q.value("request", "") == "stop") << q.dump();
    // The server still serves as before.
    EXPECT_EQ(get("/api/status", cookie)->status, 200);
    EXPECT_EQ(get("/login")->status, 200);
}
