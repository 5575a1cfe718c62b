// The console's one connection to the recorder program, against a scripted
// peer on a real Unix socket: status, one level subscription for any number
// of pages, commands matched by id, and the program away, silent, back.
#include "web/recorder_link.h"
#include "web_test_util.h"

#include <gtest/gtest.h>

using namespace web;
using webtest::waitFor;

namespace {
nlohmann::json standardAnswer(const nlohmann::json& req) {
    const std::string what = req.value("request", "");
    if (what == "status") return webtest::SampleStatus();
    if (what == "subscribe") return {{"ok", true}};
    if (what == "incidents")
        return {{"ok", true},
                {"incidents",
                 {{{"seq", 1}, {"recorder", 1}, {"text", "Rec. 1 (Antenne): silence for 30 s, input below -50 dBFS"}},
                  {{"seq", 2}, {"text", "Rec. 1: recording resumed after a gap of 2.1 s (1 attempt(s))"}}}}};
    if (what == "stop" && req.value("recorder", 0) == 1)
        return {{"ok", false}, {"error", "refused"}, {"message", "Rec. 1 est l'enregistreur de pige : il se commande par ses tranches"}};
    if (what == "start") return {{"ok", true}, {"recorder", {{"recorder", req.value("recorder", 0)}, {"state", "recording"}}}};
    return {{"ok", false}, {"error", "unknown-request"}, {"message", "?"}};
}

LinkOptions fastOptions(const std::string& socket) {
    LinkOptions o;
    o.socketPath = socket;
    o.answerTimeoutMs = 400;
    o.dropAfterMs = 3000;
    o.reconnectMs = 100;
    o.viewedPollMs = 200;
    o.idlePollMs = 500;
    return o;
}

size_t countRequests(webtest::Peer& peer, const std::string& what, const char* key = nullptr, bool value = false) {
    size_t n = 0;
    for (const auto& r : peer.requests())
        if (r.value("request", "") == what && (!key || r.value(key, !value) == value)) ++n;
    return n;
}
}  // namespace

TEST(RecorderLink, GreetsGetsStatusAndCountsIncidents) {
    webtest::TempDir dir;
    webtest::Peer peer(dir / "1.sock", standardAnswer);
    RecorderLink link(fastOptions(dir / "1.sock"));
    link.start();
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::Up; }, 3000));
    LinkSnapshot s = link.snapshot();
    EXPECT_EQ(s.greeting.value("pid", 0), 4242);
    EXPECT_EQ(s.status["recorders"][0]["label"], "Antenne \"A\"");
    EXPECT_FALSE(s.status.contains("id"));
    ASSERT_TRUE(waitFor([&] { return link.snapshot().incidentsByKind.size() == 2; }, 2000));
    s = link.snapshot();
    EXPECT_EQ(s.incidentsByKind["silence"], 1u);
    EXPECT_EQ(s.incidentsByKind["gap"], 1u);
    // A new incident counts once, however often it is told.
    peer.push({{"event", "incident"}, {"seq", 3}, {"text", "Rec. 1 (Antenne): silence for 30 s"}});
    peer.push({{"event", "incident"}, {"seq", 3}, {"text", "Rec. 1 (Antenne): silence for 30 s"}});
    ASSERT_TRUE(waitFor([&] { return link.snapshot().incidentsByKind["silence"] == 2; }, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(link.snapshot().incidentsByKind["silence"], 2u);
    // Asked again on its period, the version growing with each answer.
    const uint64_t v = link.snapshot().statusVersion;
    ASSERT_TRUE(waitFor([&] { return link.snapshot().statusVersion > v; }, 2000));
    EXPECT_EQ(peer.connections(), 1);
}

TEST(RecorderLink, LevelsAreAskedOnceForAnyNumberOfViewers) {
    webtest::TempDir dir;
    webtest::Peer peer(dir / "1.sock", standardAnswer);
    RecorderLink link(fastOptions(dir / "1.sock"));
    link.start();
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::Up; }, 3000));
    EXPECT_EQ(countRequests(peer, "subscribe", "levels", true), 0u) << "nobody watches yet";
    for (int i = 0; i < 50; ++i) link.addViewer();
    ASSERT_TRUE(waitFor([&] { return countRequests(peer, "subscribe", "levels", true) >= 1; }, 2000));
    peer.push({{"event", "levels"}, {"time_ms", 1}, {"recorders", {{{"recorder", 1}, {"peak_dbfs", {-12.5, -13.1}}}}}});
    uint64_t version = 0;
    ASSERT_TRUE(waitFor([&] { return !link.levels(&version).is_null(); }, 2000));
    EXPECT_EQ(link.levels()["recorders"][0]["peak_dbfs"][0], -12.5);
    for (int i = 0; i < 49; ++i) link.removeViewer();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(countRequests(peer, "subscribe", "levels", true), 1u);
    EXPECT_EQ(link.levelSubscriptions(), 1u);
    link.removeViewer();  // the last one leaves: levels no more
    ASSERT_TRUE(waitFor([&] { return countRequests(peer, "subscribe", "levels", false) >= 2; }, 2000));
    EXPECT_EQ(countRequests(peer, "subscribe", "levels", true), 1u);
}

TEST(RecorderLink, CommandsGetTheirOwnAnswerAndStateEventsRefreshTheStatus) {
    webtest::TempDir dir;
    webtest::Peer peer(dir / "1.sock", standardAnswer);
    RecorderLink link(fastOptions(dir / "1.sock"));
    link.start();
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::Up; }, 3000));
    const CallResult refused = link.call({{"request", "stop"}, {"recorder", 1}, {"user", "web:alice"}}, 2000);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "refused");
    EXPECT_EQ(refused.message, "Rec. 1 est l'enregistreur de pige : il se commande par ses tranches");
    const CallResult started = link.call({{"request", "start"}, {"recorder", 2}}, 2000);
    EXPECT_TRUE(started.ok);
    EXPECT_EQ(started.answer["recorder"]["state"], "recording");
    bool sawUser = false;
    for (const auto& r : peer.requests())
        if (r.value("request", "") == "stop") sawUser = r.value("user", "") == "web:alice" && r["id"].is_string();
    EXPECT_TRUE(sawUser);

    const size_t before = countRequests(peer, "status");
    peer.push({{"event", "state"}, {"recorder", 2}, {"state", "recording"}});
    // Well before the 500 ms period of an unwatched link.
    ASSERT_TRUE(waitFor([&] { return countRequests(peer, "status") > before; }, 300));
}

TEST(RecorderLink, ProgramAwaySilentAndBack) {
    webtest::TempDir dir;
    RecorderLink link(fastOptions(dir / "1.sock"));
    link.start();
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::NotRunning; }, 2000));
    EXPECT_NE(link.snapshot().detail.find("1.sock"), std::string::npos) << link.snapshot().detail;
    const CallResult away = link.call({{"request", "stop"}, {"recorder", 2}}, 2000);
    EXPECT_FALSE(away.ok);
    EXPECT_EQ(away.error, "unavailable");
    EXPECT_FALSE(away.message.empty());

    auto peer = std::make_unique<webtest::Peer>(dir / "1.sock", standardAnswer);
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::Up; }, 3000)) << "found again by itself";

    peer->freeze(true);
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::NotAnswering; }, 3000));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(link.call({{"request", "start"}, {"recorder", 2}}, 5000).error, "unavailable");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1)) << "no wait on a silent program";
    peer->freeze(false);
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::Up; }, 3000));

    peer.reset();  // the program ends
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::NotRunning; }, 3000));
    EXPECT_TRUE(link.levels().is_null()) << "no level left from a program that is gone";
}

TEST(RecorderLink, AnotherProtocolIsNotSpokenTo) {
    webtest::TempDir dir;
    webtest::Peer peer(dir / "1.sock", standardAnswer, {{"protocol", 2}, {"program", "quillon-recorder"}});
    RecorderLink link(fastOptions(dir / "1.sock"));
    link.start();
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::Incompatible; }, 3000));
    EXPECT_NE(link.snapshot().detail.find("protocol 2"), std::string::npos);
    EXPECT_TRUE(peer.requests().empty());
}

TEST(RecorderLink, FallsBackToTheNextPlaceOfTheSocket) {
    webtest::TempDir dir;
    LinkOptions o = fastOptions(dir / "user/1.sock");
    o.socketFallbacks = {dir / "system/1.sock"};
    std::filesystem::create_directories(dir / "system");
    RecorderLink link(o);
    link.start();
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::NotRunning; }, 2000));
    EXPECT_NE(link.snapshot().detail.find("user/1.sock"), std::string::npos) << "the first place is the one named";
    webtest::Peer peer(dir / "system/1.sock", standardAnswer);
    ASSERT_TRUE(waitFor([&] { return link.snapshot().state == LinkState::Up; }, 3000));
}
