// The server under TLS (a self-signed certificate made by openssl for the
// test): HTTPS only, the session cookie marked Secure, HSTS, and the bounds
// of a request's head as in plain HTTP.
#include "server_fixture.h"

#include <openssl/ssl.h>

using namespace web;

namespace {
bool makeCertificate(const std::string& dir) {
    const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout " + dir +
                            "/key.pem -out " + dir + "/cert.pem >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}
}  // namespace

class TlsServerFixture : public WebServerFixture {
protected:
    void SetUp() override {
        if (std::system("command -v openssl >/dev/null 2>&1") != 0) GTEST_SKIP() << "openssl is not installed";
        ASSERT_TRUE(makeCertificate(dir.path));
        config.tlsCertificate = dir / "cert.pem";
        config.tlsKey = dir / "key.pem";
        tlsReady = true;
        WebServerFixture::SetUp();
    }
    std::unique_ptr<httplib::SSLClient> tlsClient() {
        auto c = std::make_unique<httplib::SSLClient>("127.0.0.1", port);
        c->enable_server_certificate_verification(false);
        c->set_read_timeout(10, 0);
        return c;
    }
    bool tlsReady = false;
};

TEST_F(TlsServerFixture, HttpsOnlyWithSecureCookieAndHsts) {
    auto c = tlsClient();
    auto r = c->Get("/login");
    ASSERT_TRUE(r) << "no HTTPS answer";
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Strict-Transport-Security"), "max-age=31536000");
    r = c->Post("/api/login", R"({"user":"alice","password":"alice-password"})", "application/json");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200);
    const std::string set = r->get_header_value("Set-Cookie");
    EXPECT_NE(set.find("; Secure"), std::string::npos) << set;
    const std::string cookie = set.substr(0, set.find(';'));
    r = c->Get("/api/status", {{"Cookie", cookie}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_NE(r->body.find("\"state\":\"up\""), std::string::npos);
    // Keep-alive under TLS: several requests on the one connection.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(c->Get("/assets/app.js")->status, 200);
    // Plain HTTP on the TLS port gets no page.
    const std::string plain = webtest::RawHttp(port, "GET /login HTTP/1.1\r\nHost: x\r\n\r\n", 1500);
    EXPECT_NE(webtest::StatusOf(plain), 200);
    EXPECT_EQ(plain.find("login page"), std::string::npos);
}

TEST_F(TlsServerFixture, HeadBoundsHoldUnderTls) {
    auto c = tlsClient();
    httplib::Headers many;
    for (int i = 0; i < 600; ++i) many.emplace("X-H" + std::to_string(i), std::string(60, 'v'));
    auto r = c->Get("/login", many);
    EXPECT_TRUE(!r || r->status == 400) << (r ? r->status : 0);
    auto ok = tlsClient()->Get("/login");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
}

TEST_F(TlsServerFixture, ABadCertificateIsRefusedAtBind) {
    server->stop();
    serving.join();
    std::ofstream(dir / "broken.pem") << "-----BEGIN CERTIFICATE-----\nnot a certificate\n-----END CERTIFICATE-----\n";
    config.tlsCertificate = dir / "broken.pem";
    WebServer bad(config, *link, *accounts, assets, *log, limits);
    EXPECT_FALSE(bad.bind());
    EXPECT_NE(logText().find("cannot load the TLS certificate"), std::string::npos) << logText();
    server.reset();
}
