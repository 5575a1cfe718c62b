// The request parser on its own: every request of protocol 1 in its valid
// forms, and the error code and message of each kind of bad line.
#include "control/protocol.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace control;

namespace {

ParseResult Parse(const char* line) { return ParseRequest(QByteArrayView(line)); }

}  // namespace

TEST(RequestParser, ReadsEveryRequestWithItsFields) {
    auto r = Parse(R"({"id":1,"request":"status"})");
    ASSERT_EQ(r.outcome, ParseResult::Ok);
    EXPECT_EQ(r.request.kind, RequestKind::Status);
    EXPECT_EQ(r.request.id, QJsonValue(1));

    r = Parse(R"({"id":"a","request":"start","recorder":1,"name":"Essai","folder":"/srv/audio/extra/","duration":3600,"user":"alice"})");
    ASSERT_EQ(r.outcome, ParseResult::Ok) << r.message.toStdString();
    EXPECT_EQ(r.request.kind, RequestKind::Start);
    EXPECT_EQ(r.request.id, QJsonValue("a"));
    EXPECT_EQ(r.request.recorder, 1);
    EXPECT_EQ(r.request.start.name, "Essai");
    EXPECT_EQ(r.request.start.folder, "/srv/audio/extra/");
    EXPECT_EQ(r.request.start.durationS, 3600);
    EXPECT_EQ(r.request.user, "alice");

    r = Parse(R"({"request":"start","recorder":8})");
    ASSERT_EQ(r.outcome, ParseResult::Ok);
    EXPECT_TRUE(r.request.id.isUndefined());
    EXPECT_TRUE(r.request.start.name.isEmpty());
    EXPECT_EQ(r.request.start.durationS, 0);

    const std::pair<const char*, RequestKind> simple[] = {{"pause", RequestKind::Pause},
                                                          {"continue", RequestKind::Continue},
                                                          {"stop", RequestKind::Stop}};
    for (const auto& [name, kind] : simple) {
        r = ParseRequest(QByteArray(R"({"request":")") + name + R"(","recorder":3,"user":"web:bob"})");
        ASSERT_EQ(r.outcome, ParseResult::Ok) << name;
        EXPECT_EQ(r.request.kind, kind);
        EXPECT_EQ(r.request.recorder, 3);
        EXPECT_EQ(r.request.user, "web:bob");
    }

    r = Parse(R"({"request":"incidents"})");
    EXPECT_EQ(r.request.last, 50);
    r = Parse(R"({"request":"incidents","last":1000})");
    EXPECT_EQ(r.request.last, 1000);
    r = Parse(R"({"request":"trace"})");
    EXPECT_EQ(r.request.last, 200);
    r = Parse(R"({"request":"trace","last":5000})");
    EXPECT_EQ(r.request.last, 5000);

    r = Parse(R"({"request":"acknowledge","seq":41,"user":"alice"})");
    ASSERT_EQ(r.outcome, ParseResult::Ok);
    EXPECT_EQ(r.request.seq, 41);
    EXPECT_FALSE(r.request.all);
    r = Parse(R"({"request":"acknowledge","all":true})");
    ASSERT_EQ(r.outcome, ParseResult::Ok);
    EXPECT_TRUE(r.request.all);

    r = Parse(R"({"request":"subscribe"})");
    EXPECT_FALSE(r.request.levels);
    r = Parse(R"({"request":"subscribe","levels":true})");
    EXPECT_TRUE(r.request.levels);
    r = Parse(R"({"request":"unsubscribe"})");
    EXPECT_EQ(r.request.kind, RequestKind::Unsubscribe);
}

TEST(RequestParser, AcceptsWhatTheFramingAllows) {
    // A "\r" before the "\n", spaces around, unknown fields, ids of any type,
    // a number written as a float that is whole.
    EXPECT_EQ(Parse("{\"request\":\"status\"}\r").outcome, ParseResult::Ok);
    EXPECT_EQ(Parse("  {\"request\" : \"status\"}  ").outcome, ParseResult::Ok);
    EXPECT_EQ(Parse(R"({"request":"status","future_option":[1,2]})").outcome, ParseResult::Ok);
    for (const char* id : {"null", "true", "-3.5", "\"x\"", "[1,{\"a\":2}]", "{\"k\":\"v\"}"}) {
        const auto r = ParseRequest(QByteArray(R"({"request":"status","id":)") + id + "}");
        ASSERT_EQ(r.outcome, ParseResult::Ok) << id;
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray("[") + id + "]").array().at(0), r.request.id) << id;
    }
    EXPECT_EQ(Parse(R"({"request":"stop","recorder":2.0})").request.recorder, 2);
    // Blank lines are no request.
    EXPECT_EQ(Parse("").outcome, ParseResult::Blank);
    EXPECT_EQ(Parse(" \t\r").outcome, ParseResult::Blank);
    // The limit counts the bytes before "\n", a final "\r" aside.
    QByteArray longest = R"({"request":"status","pad":")";
    longest += QByteArray(kMaxLineBytes - longest.size() - 2, 'x') + "\"}";
    ASSERT_EQ(longest.size(), kMaxLineBytes);
    EXPECT_EQ(ParseRequest(longest).outcome, ParseResult::Ok);
    EXPECT_EQ(ParseRequest(longest + "\r").outcome, ParseResult::Ok);
    EXPECT_EQ(ParseRequest(longest + " ").error, err::kLineTooLong);
}

TEST(RequestParser, NamesTheFaultOfEachBadLine) {
    struct Case {
        const char* line;
        QString error;
        const char* inMessage;
    };
    const Case cases[] = {
        {"{\"request\":", err::kInvalidJson, "JSON illisible"},
        {"[1,2]", err::kInvalidJson, "pas un objet"},
        {"\"status\"", err::kInvalidJson, ""},
        {"{\"request\":\"status\"} trailing", err::kInvalidJson, ""},
        {"{\"request\":\"st\xC3\x28tus\"}", err::kInvalidJson, "UTF-8"},
        {"{\"request\":\"status\xFF\"}", err::kInvalidJson, "UTF-8"},
        {"{\"request\":\"\xED\xA0\x80\"}", err::kInvalidJson, "UTF-8"},  // a lone surrogate
        {R"({"id":1})", err::kUnknownRequest, "manque"},
        {R"({"request":7})", err::kUnknownRequest, "texte"},
        {R"({"request":"reboot"})", err::kUnknownRequest, "reboot"},
        {R"({"request":"Status"})", err::kUnknownRequest, "Status"},
        {R"({"request":"start"})", err::kBadArgument, "recorder"},
        {R"({"request":"start","recorder":0})", err::kBadArgument, "1 à 8"},
        {R"({"request":"start","recorder":9})", err::kBadArgument, "1 à 8"},
        {R"({"request":"stop","recorder":"3"})", err::kBadArgument, "recorder"},
        {R"({"request":"stop","recorder":2.5})", err::kBadArgument, "recorder"},
        {R"({"request":"pause","recorder":null})", err::kBadArgument, "recorder"},
        {R"({"request":"start","recorder":1,"duration":-1})", err::kBadArgument, "duration"},
        {R"({"request":"start","recorder":1,"duration":0})", err::kBadArgument, "duration"},
        {R"({"request":"start","recorder":1,"duration":604801})", err::kBadArgument, "604800"},
        {R"({"request":"start","recorder":1,"duration":"60"})", err::kBadArgument, "duration"},
        {R"({"request":"start","recorder":1,"name":""})", err::kBadArgument, "name"},
        {R"({"request":"start","recorder":1,"name":5})", err::kBadArgument, "name"},
        {R"({"request":"start","recorder":1,"name":"a\nb"})", err::kBadArgument, "name"},
        {R"({"request":"start","recorder":1,"folder":[]})", err::kBadArgument, "folder"},
        {R"({"request":"stop","recorder":1,"user":""})", err::kBadArgument, "user"},
        {R"({"request":"stop","recorder":1,"user":"a\tb"})", err::kBadArgument, "user"},
        {R"({"request":"incidents","last":0})", err::kBadArgument, "last"},
        {R"({"request":"incidents","last":1001})", err::kBadArgument, "1000"},
        {R"({"request":"trace","last":5001})", err::kBadArgument, "5000"},
        {R"({"request":"acknowledge"})", err::kBadArgument, "seq"},
        {R"({"request":"acknowledge","seq":-1})", err::kBadArgument, "seq"},
        {R"({"request":"acknowledge","all":false})", err::kBadArgument, "seq"},
        {R"({"request":"acknowledge","all":true,"seq":3})", err::kBadArgument, "ensemble"},
        {R"({"request":"acknowledge","all":"yes"})", err::kBadArgument, "all"},
        {R"({"request":"subscribe","levels":1})", err::kBadArgument, "levels"},
    };
    for (const Case& c : cases) {
        const ParseResult r = Parse(c.line);
        EXPECT_EQ(r.outcome, ParseResult::Error) << c.line;
        EXPECT_EQ(r.error, c.error) << c.line;
        EXPECT_TRUE(r.message.contains(QString::fromUtf8(c.inMessage))) << c.line << " -> " << r.message.toStdString();
    }
    // 64 characters of user are fine, 65 are not; counted in characters, not bytes.
    const QString user64(64, QChar(0x00E9));
    EXPECT_EQ(ParseRequest(QByteArray(R"({"request":"stop","recorder":1,"user":")") + user64.toUtf8() + "\"}").outcome,
              ParseResult::Ok);
    EXPECT_EQ(ParseRequest(QByteArray(R"({"request":"stop","recorder":1,"user":")") + user64.toUtf8() + "e\"}").error,
              err::kBadArgument);
    // The id of a request that has one comes back with its error.
    EXPECT_EQ(Parse(R"({"id":9,"request":"stop"})").request.id, QJsonValue(9));
    EXPECT_EQ(Parse(R"({"id":"x","request":"nope"})").request.id, QJsonValue("x"));
}

TEST(RequestParser, AnswersAreOneCompactLine) {
    const QByteArray line = Line(ErrorAnswer(7, err::kRefused, QStringLiteral("Rec. 3 n'est pas en service\nsuite")));
    EXPECT_TRUE(line.endsWith('\n'));
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_FALSE(line.contains(": "));
    const QJsonObject back = QJsonDocument::fromJson(line).object();
    EXPECT_EQ(back.value("id"), QJsonValue(7));
    EXPECT_EQ(back.value("ok"), QJsonValue(false));
    EXPECT_EQ(back.value("error"), QJsonValue("refused"));
    EXPECT_FALSE(OkAnswer(QJsonValue::Undefined).contains("id"));
    EXPECT_EQ(OkAnswer(QJsonValue::Null).value("id"), QJsonValue(QJsonValue::Null));
}
