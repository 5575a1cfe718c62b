// Every request of protocol 1 over the real Unix socket, against a scripted
// target: the greeting, the answers, the calls the target receives (with
// the peer's credentials), the errors, the events and the level timer.
#include "control_test_util.h"

#include <QJsonArray>
#include <unistd.h>

using namespace ctltest;
using control::CommandResult;

TEST_F(ServerFixture, GreetsThenAnswersStatusWithTheProgramAndEightRecorders) {
    TestClient c(path);
    ASSERT_TRUE(c.connected());
    const auto greeting = c.Next();
    ASSERT_TRUE(greeting);
    EXPECT_EQ(greeting->value("protocol").toInt(), 1);
    EXPECT_EQ(greeting->value("program").toString(), "quillon-recorder");
    EXPECT_EQ(greeting->value("version").toString(), "2026.1211.1628");
    EXPECT_EQ(greeting->value("instance").toInt(), 1);
    EXPECT_EQ(greeting->value("pid").toInt(), 4242);
    EXPECT_EQ(greeting->value("recorders").toInt(), 8);

    const auto status = c.Ask({{"id", 1}, {"request", "status"}});
    ASSERT_TRUE(status);
    EXPECT_EQ(status->value("id").toInt(), 1);
    EXPECT_TRUE(status->value("ok").toBool());
    EXPECT_EQ(status->value("program").toObject(), target.program);
    EXPECT_EQ(status->value("recorders").toArray(), target.recorders);
    EXPECT_EQ(status->value("recorders").toArray().size(), 8);
}

TEST_F(ServerFixture, CommandsReachTheTargetWithThePeerAndTheUser) {
    auto c = Connect();
    auto a = c->Ask({{"id", 2}, {"request", "start"}, {"recorder", 3}, {"name", "Essai"}, {"folder", "extra/"},
                     {"duration", 3600}, {"user", "alice"}});
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->value("ok").toBool());
    EXPECT_EQ(a->value("id").toInt(), 2);
    EXPECT_EQ(a->value("recorder").toObject().value("recorder").toInt(), 3);
    ASSERT_EQ(target.calls.size(), 1);
    const TargetCall& start = target.calls.first();
    EXPECT_EQ(start.what, "start");
    EXPECT_EQ(start.recorder, 3);
    EXPECT_EQ(start.args.name, "Essai");
    EXPECT_EQ(start.args.folder, "extra/");
    EXPECT_EQ(start.args.durationS, 3600);
    EXPECT_EQ(start.who.uid, qint64(::getuid()));  // SO_PEERCRED of this process
    EXPECT_EQ(start.who.pid, qint64(::getpid()));
    EXPECT_EQ(start.who.user, "alice");

    for (const char* what : {"pause", "continue", "stop"}) {
        a = c->Ask({{"id", what}, {"request", what}, {"recorder", 5}});
        ASSERT_TRUE(a) << what;
        EXPECT_TRUE(a->value("ok").toBool()) << what;
        EXPECT_EQ(a->value("id").toString(), what);
        EXPECT_EQ(target.calls.last().what, what);
        EXPECT_EQ(target.calls.last().recorder, 5);
        EXPECT_TRUE(target.calls.last().who.user.isEmpty());
    }

    a = c->Ask({{"id", 8}, {"request", "acknowledge"}, {"seq", 41}, {"user", "web:alice"}});
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, (QJsonObject{{"id", 8}, {"ok", true}}));
    EXPECT_EQ(target.calls.last().seq, 41);
    EXPECT_FALSE(target.calls.last().all);
    a = c->Ask({{"request", "acknowledge"}, {"all", true}});
    EXPECT_TRUE(target.calls.last().all);

    // Each command is in the trace with who asked.
    ASSERT_GE(traced.size(), 6);
    EXPECT_TRUE(traced.filter("start Rec. 3").first().contains(QStringLiteral("uid %1").arg(::getuid())));
    EXPECT_TRUE(traced.filter("start Rec. 3").first().contains("user alice"));
    EXPECT_EQ(traced.filter("acknowledge incident 41, asked by").size(), 1);
}

TEST_F(ServerFixture, RefusalsComeBackWithTheTargetsCodeAndMessage) {
    auto c = Connect();
    target.results["start"] = CommandResult{false, "refused", "Rec. 1 est l'enregistreur de pige : il se commande par ses tranches", {}};
    target.results["stop"] = CommandResult{false, "", "", {}};
    target.results["pause"] = CommandResult{false, "bad-argument", "Dossier hors du dossier de Rec. 2", {}};
    target.results["continue"] = CommandResult{false, "no-such-code", "quelque chose", {}};
    auto a = c->Ask({{"id", 2}, {"request", "start"}, {"recorder", 1}});
    EXPECT_EQ(*a, (QJsonObject{{"id", 2}, {"ok", false}, {"error", "refused"},
                               {"message", "Rec. 1 est l'enregistreur de pige : il se commande par ses tranches"}}));
    a = c->Ask({{"request", "stop"}, {"recorder", 1}});
    EXPECT_EQ(a->value("error").toString(), "refused");
    EXPECT_FALSE(a->value("message").toString().isEmpty());
    a = c->Ask({{"request", "pause"}, {"recorder", 2}});
    EXPECT_EQ(a->value("error").toString(), "bad-argument");
    a = c->Ask({{"request", "continue"}, {"recorder", 2}});
    EXPECT_EQ(a->value("error").toString(), "internal");
    EXPECT_EQ(traced.filter(": refused (Rec. 1 est l'enregistreur de pige").size(), 1);
}

TEST_F(ServerFixture, ReadingRequestsPassTheirCountAndAnswerTheTargetsLists) {
    auto c = Connect();
    target.incidents = QJsonArray{QJsonObject{{"seq", 41}, {"time", "2026-12-11T13:58:02+01:00"}, {"recorder", 1},
                                              {"text", "Rec. 1: recording resumed"}, {"acknowledged", false}}};
    target.trace = {"14:32:10:123 : :1: :RecordingStarted", "14:32:11:000 : :1: :x"};
    auto a = c->Ask({{"id", 6}, {"request", "incidents"}, {"last", 20}});
    EXPECT_EQ(a->value("incidents").toArray(), target.incidents);
    EXPECT_EQ(target.calls.last().last, 20);
    c->Ask({{"request", "incidents"}});
    EXPECT_EQ(target.calls.last().last, 50);
    a = c->Ask({{"id", 9}, {"request", "trace"}, {"last", 2}});
    EXPECT_EQ(a->value("lines").toArray(), QJsonArray::fromStringList(target.trace));
    EXPECT_EQ(target.calls.last().last, 2);
    c->Ask({{"request", "trace"}});
    EXPECT_EQ(target.calls.last().last, 200);
}

TEST_F(ServerFixture, EveryErrorKeepsTheConnectionUsable) {
    auto c = Connect();
    struct Case {
        QByteArray line;
        const char* error;
        bool hasId;
    };
    const Case cases[] = {
        {"not json\n", "invalid-json", false},
        {"[1]\n", "invalid-json", false},
        {"{\"id\":1,\"request\":\"status\"\xFF}\n", "invalid-json", false},
        {"{\"id\":3,\"request\":\"fly\"}\n", "unknown-request", true},
        {"{\"id\":4}\n", "unknown-request", true},
        {"{\"id\":5,\"request\":\"stop\",\"recorder\":9}\n", "bad-argument", true},
        {"{\"id\":6,\"request\":\"start\",\"recorder\":1,\"duration\":-5}\n", "bad-argument", true},
    };
    for (const Case& k : cases) {
        ASSERT_TRUE(c->Send(k.line));
        const auto a = c->Answer();
        ASSERT_TRUE(a) << k.line.toStdString();
        EXPECT_FALSE(a->value("ok").toBool(true));
        EXPECT_EQ(a->value("error").toString(), k.error) << k.line.toStdString();
        EXPECT_FALSE(a->value("message").toString().isEmpty());
        EXPECT_EQ(a->contains("id"), k.hasId) << k.line.toStdString();
        const auto again = c->Ask({{"id", 100}, {"request", "status"}});
        ASSERT_TRUE(again);
        EXPECT_TRUE(again->value("ok").toBool());
    }
    EXPECT_TRUE(target.calls.isEmpty());  // no bad line reached the recorders
}

TEST_F(ServerFixture, PipelinedRequestsAreAnsweredInOrderAndBlankLinesIgnored) {
    auto c = Connect();
    QByteArray batch;
    for (int i = 0; i < 50; ++i)
        batch += i % 2 ? QByteArray("{\"id\":") + QByteArray::number(i) + ",\"request\":\"status\"}\r\n"
                       : QByteArray("\n{\"id\":") + QByteArray::number(i) + ",\"request\":\"stop\",\"recorder\":4}\n";
    ASSERT_TRUE(c->Send(batch));
    for (int i = 0; i < 50; ++i) {
        const auto a = c->Answer();
        ASSERT_TRUE(a) << i;
        EXPECT_EQ(a->value("id").toInt(), i);
    }
    EXPECT_FALSE(c->NextLine(200));  // nothing for the blank lines
}

TEST_F(ServerFixture, SubscribersReceiveEventsUntilTheyUnsubscribe) {
    auto sub = Connect();
    auto other = Connect();
    const QJsonObject state{{"event", "state"}, {"recorder", 1}, {"state", "recording"},
                            {"state_text", "Enregistrement"}, {"wanted", true}};
    server.Publish(state);  // nobody subscribed yet
    auto a = sub->Ask({{"id", 10}, {"request", "subscribe"}});
    EXPECT_EQ(*a, (QJsonObject{{"id", 10}, {"ok", true}}));
    server.Publish(state);
    const QJsonObject finished{{"event", "file-finished"}, {"recorder", 1}, {"path", "/srv/audio/Essai.wav"},
                               {"seconds", 12.48}, {"bytes", 2396204}, {"ok", true}};
    server.Publish(finished);
    EXPECT_EQ(sub->Next(), state);
    EXPECT_EQ(sub->Next(), finished);
    EXPECT_FALSE(other->NextLine(200));
    a = sub->Ask({{"id", 11}, {"request", "unsubscribe"}});
    EXPECT_TRUE(a->value("ok").toBool());
    server.Publish(state);
    EXPECT_FALSE(sub->NextLine(200));
}

TEST_F(ServerFixture, LevelsArePulledOnlyWhileASubscriberWantsThem) {
    auto c = Connect();
    platform::LetEventsRunFor(300);
    EXPECT_EQ(target.levelCalls, 0);
    EXPECT_FALSE(server.levelTimerActive());
    c->Ask({{"request", "subscribe"}});  // events without levels
    platform::LetEventsRunFor(300);
    EXPECT_EQ(target.levelCalls, 0);
    EXPECT_FALSE(server.levelTimerActive());

    c->Ask({{"request", "subscribe"}, {"levels", true}});
    EXPECT_TRUE(server.levelTimerActive());
    QList<QJsonObject> levels;
    while (levels.size() < 5) {
        const auto e = c->Next(2000);
        ASSERT_TRUE(e);
        levels.append(*e);
    }
    for (const QJsonObject& e : levels) {
        EXPECT_EQ(e.value("event").toString(), "levels");
        EXPECT_EQ(e.value("recorders").toArray(), target.levels);
        EXPECT_GT(e.value("time_ms").toDouble(), 1.7e12);
    }
    // At most ten a second.
    const double span = levels.last().value("time_ms").toDouble() - levels.first().value("time_ms").toDouble();
    EXPECT_GE(span, 4 * 100 - 20);

    // A second subscribe changes the options; leaving ends the timer too.
    c->Ask({{"request", "subscribe"}, {"levels", false}});
    EXPECT_FALSE(server.levelTimerActive());
    c->Ask({{"request", "subscribe"}, {"levels", true}});
    EXPECT_TRUE(server.levelTimerActive());
    c->Close();
    platform::WaitInEventLoop([&] { return !server.levelTimerActive(); }, 2000);
    EXPECT_FALSE(server.levelTimerActive());
    const int calls = target.levelCalls;
    platform::LetEventsRunFor(300);
    EXPECT_EQ(target.levelCalls, calls);
}
