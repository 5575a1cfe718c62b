// The protocol's limits and the hard cases of a socket, on the real Unix
// socket: long lines, the 65th client, a client that does not read, lines
// cut across reads, a peer that ends its sending, and clients that come and
// go while a command waits in the event loop.
#include "control_test_util.h"

#include <QJsonArray>

using namespace ctltest;

TEST_F(ServerFixture, LinesOverTheLimitAreSkippedToTheirEnd) {
    auto c = Connect();
    // Exactly 65 536 bytes: a request like any other.
    QByteArray longest = R"({"id":1,"request":"status","pad":")";
    longest += QByteArray(control::kMaxLineBytes - longest.size() - 2, 'x') + "\"}";
    ASSERT_TRUE(c->Send(longest + "\n"));
    auto a = c->Answer();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value("id").toInt(), 1);
    EXPECT_TRUE(a->value("ok").toBool());

    // One byte more, then a megabyte: one error each, and the requests after
    // them are answered.
    for (qsizetype size : {control::kMaxLineBytes + 1, qsizetype(1024 * 1024)}) {
        QByteArray line = R"({"id":2,"request":"stop","recorder":1,"pad":")";
        line += QByteArray(size - line.size() - 2, 'y') + "\"}";
        ASSERT_TRUE(c->Send(line + "\n{\"id\":3,\"request\":\"status\"}\n"));
        a = c->Answer();
        ASSERT_TRUE(a);
        EXPECT_EQ(a->value("error").toString(), "line-too-long");
        EXPECT_FALSE(a->contains("id"));
        a = c->Answer();
        ASSERT_TRUE(a);
        EXPECT_EQ(a->value("id").toInt(), 3);
        EXPECT_TRUE(a->value("ok").toBool());
    }
    EXPECT_TRUE(target.calls.isEmpty());  // the stop inside the long lines never ran
}

TEST_F(ServerFixture, LinesCutAcrossReadsAreJoined) {
    auto c = Connect();
    const QByteArray two = "{\"id\":1,\"request\":\"stop\",\"recorder\":2}\n{\"id\":2,\"request\":\"status\"}\n";
    for (qsizetype i = 0; i < two.size(); ++i) {
        ASSERT_TRUE(c->Send(two.mid(i, 1)));
        platform::LetEventsRun();
    }
    auto a = c->Answer();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value("id").toInt(), 1);
    a = c->Answer();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value("id").toInt(), 2);
    ASSERT_EQ(target.calls.size(), 1);
    EXPECT_EQ(target.calls.first().recorder, 2);
    // A multi-byte character cut in two is still valid UTF-8 once joined.
    const QByteArray accented = QString("{\"id\":3,\"request\":\"start\",\"recorder\":4,\"name\":\"Émission été\"}\n").toUtf8();
    const qsizetype cut = accented.indexOf("\xC3\x89") + 1;
    ASSERT_TRUE(c->Send(accented.left(cut)));
    platform::LetEventsRunFor(50);
    ASSERT_TRUE(c->Send(accented.mid(cut)));
    a = c->Answer();
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->value("ok").toBool());
    EXPECT_EQ(target.calls.last().args.name, QString("Émission été"));
}

TEST_F(ServerFixture, APeerThatEndsItsSendingStillGetsItsAnswers) {
    auto c = Connect();
    // The last line may lack its "\n" once the peer has ended its sending.
    ASSERT_TRUE(c->Send("{\"id\":1,\"request\":\"status\"}\n{\"id\":2,\"request\":\"stop\",\"recorder\":6}"));
    c->ShutdownWrite();
    auto a = c->Answer();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value("id").toInt(), 1);
    a = c->Answer();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value("id").toInt(), 2);
    EXPECT_TRUE(c->WaitClosed());
    platform::WaitInEventLoop([&] { return server.clientCount() == 0; }, 2000);
    EXPECT_EQ(server.clientCount(), 0);
}

TEST_F(ServerFixture, TheSixtyFifthClientIsToldAndClosed) {
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < control::kMaxClients; ++i) clients.push_back(Connect());
    EXPECT_EQ(server.clientCount(), 64);
    TestClient extra(path);
    ASSERT_TRUE(extra.connected());
    const auto refusal = extra.Next();
    ASSERT_TRUE(refusal);
    EXPECT_FALSE(refusal->value("ok").toBool(true));
    EXPECT_EQ(refusal->value("error").toString(), "too-many-clients");
    EXPECT_FALSE(refusal->value("message").toString().isEmpty());
    EXPECT_TRUE(extra.WaitClosed());
    EXPECT_EQ(traced.filter("client refused").size(), 1);
    // The 64 are still served; once one leaves, a new client is welcome.
    EXPECT_TRUE(clients.back()->Ask({{"request", "status"}})->value("ok").toBool());
    clients.front()->Close();
    platform::WaitInEventLoop([&] { return server.clientCount() == 63; }, 2000);
    auto again = Connect();
    EXPECT_TRUE(again->Ask({{"request", "status"}})->value("ok").toBool());
}

TEST_F(ServerFixture, AClientThatDoesNotReadIsDroppedWhileOthersAreServed) {
    auto sleeper = Connect();
    ASSERT_TRUE(sleeper->SendLine({{"request", "subscribe"}}));
    platform::LetEventsRunFor(50);
    auto reader = Connect();
    ASSERT_TRUE(reader->Ask({{"request", "subscribe"}}));
    QJsonObject big{{"event", "incident"}, {"seq", 1}, {"text", QString(10000, QChar('z'))}};
    int published = 0;
    while (server.clientCount() == 2 && published < 1000) {
        server.Publish(big);
        ++published;
        // The reader keeps up: it takes its copy of each event.
        ASSERT_TRUE(reader->Next()) << published;
    }
    EXPECT_EQ(server.clientCount(), 1);
    // Over the kernel's buffer and the 1 MiB queue, not much more.
    EXPECT_GT(published * 10000, int(control::kMaxQueuedBytes));
    EXPECT_LT(published, 1000);
    EXPECT_EQ(traced.filter("client dropped").size(), 1);
    EXPECT_TRUE(sleeper->WaitClosed());
    const auto a = reader->Ask({{"id", 5}, {"request", "status"}});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value("id").toInt(), 5);
}

TEST_F(ServerFixture, OthersAreServedWhileACommandWaitsAndCommandsTakeTurns) {
    auto first = Connect();
    auto second = Connect();
    bool checkedInside = false;
    target.during = [&](const TargetCall& call) {
        if (call.recorder != 1) return;
        // Inside the stop of Rec. 1, which waits in the event loop: status is
        // answered at once, the stop of Rec. 2 waits its turn.
        const auto status = second->Ask({{"id", 20}, {"request", "status"}});
        ASSERT_TRUE(status);
        EXPECT_EQ(status->value("id").toInt(), 20);
        ASSERT_TRUE(second->SendLine({{"id", 21}, {"request", "stop"}, {"recorder", 2}}));
        EXPECT_FALSE(second->Answer(300));
        EXPECT_EQ(target.calls.size(), 1);
        // The first client's next request waits behind its own stop.
        ASSERT_TRUE(first->SendLine({{"id", 11}, {"request", "status"}}));
        EXPECT_FALSE(first->Answer(200));
        checkedInside = true;
    };
    ASSERT_TRUE(first->SendLine({{"id", 10}, {"request", "stop"}, {"recorder", 1}}));
    auto a = first->Answer();
    ASSERT_TRUE(a);
    EXPECT_TRUE(checkedInside);
    EXPECT_EQ(a->value("id").toInt(), 10);
    a = first->Answer();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value("id").toInt(), 11);
    a = second->Answer();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value("id").toInt(), 21);
    ASSERT_EQ(target.calls.size(), 2);
    EXPECT_EQ(target.calls.at(0).recorder, 1);
    EXPECT_EQ(target.calls.at(1).recorder, 2);
}

TEST_F(ServerFixture, AClientLeavingDuringItsCommandIsForgottenSafely) {
    auto leaving = Connect();
    auto staying = Connect();
    ASSERT_TRUE(leaving->SendLine({{"request", "subscribe"}, {"levels", true}}));
    ASSERT_TRUE(leaving->Answer());
    target.during = [&](const TargetCall&) {
        // Requests queued behind the stop, then gone for good.
        leaving->Send("{\"request\":\"status\"}\n{\"request\":\"stop\",\"recorder\":4}\n");
        leaving->Close();
        platform::LetEventsRunFor(250);  // level ticks and the hang-up happen meanwhile
        server.Publish(QJsonObject{{"event", "state"}, {"recorder", 3}, {"state", "idle"}});
    };
    ASSERT_TRUE(leaving->SendLine({{"request", "stop"}, {"recorder", 3}}));
    platform::WaitInEventLoop([&] { return server.clientCount() == 1; }, 3000);
    EXPECT_EQ(server.clientCount(), 1);
    ASSERT_EQ(target.calls.size(), 1);  // its queued stop never ran
    EXPECT_FALSE(server.levelTimerActive());
    target.during = nullptr;
    const auto a = staying->Ask({{"id", 1}, {"request", "stop"}, {"recorder", 5}});
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->value("ok").toBool());
}
