// Fuzz target of the control socket's request parser: the bytes of one line
// in, a request or an error out. Built with libFuzzer when clang offers it,
// else driven by control_request_fuzz_driver.cpp. Any broken property aborts,
// which both drivers report as a failure.
#include "control/protocol.h"

#include <QJsonDocument>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace control;

namespace {

[[noreturn]] void Broken(const char* what, QByteArrayView line) {
    std::fprintf(stderr, "broken: %s\nline (%lld bytes): %.*s\n", what, static_cast<long long>(line.size()),
                 int(qMin<qsizetype>(line.size(), 400)), line.data());
    std::abort();
}

// The answer the server would send: one line, valid JSON, the id kept.
void CheckAnswer(const QJsonObject& answer, const QJsonValue& id, QByteArrayView line) {
    const QByteArray bytes = Line(answer);
    if (!bytes.endsWith('\n') || bytes.count('\n') != 1) Broken("an answer of more than one line", line);
    QJsonParseError e;
    const QJsonDocument back = QJsonDocument::fromJson(bytes, &e);
    if (e.error != QJsonParseError::NoError || !back.isObject()) Broken("an answer that is not JSON", line);
    if (!id.isUndefined() && back.object().value(QStringLiteral("id")) != id) Broken("the id not sent back", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView line(reinterpret_cast<const char*>(data), qsizetype(size));
    const ParseResult r = ParseRequest(line);
    switch (r.outcome) {
    case ParseResult::Blank:
        for (char c : line)
            if (c != ' ' && c != '\t' && c != '\r') Broken("a line with text taken for blank", line);
        break;
    case ParseResult::Error:
        if (!IsErrorCode(r.error) || r.error == err::kRefused || r.error == err::kTooManyClients ||
            r.error == err::kInternal)
            Broken("an error code the parser may not give", line);
        if (r.message.isEmpty()) Broken("an error without its message", line);
        if ((r.error == err::kLineTooLong) != (line.size() > kMaxLineBytes + (line.endsWith('\r') ? 1 : 0)))
            Broken("line-too-long given or missed", line);
        CheckAnswer(ErrorAnswer(r.request.id, r.error, r.message), r.request.id, line);
        break;
    case ParseResult::Ok: {
        const Request& q = r.request;
        const bool needsRecorder = q.kind == RequestKind::Start || q.kind == RequestKind::Pause ||
                                   q.kind == RequestKind::Continue || q.kind == RequestKind::Stop;
        if (needsRecorder != (q.recorder >= 1 && q.recorder <= kRecorderCount)) Broken("a recorder out of 1..8", line);
        if (q.start.durationS < 0 || q.start.durationS > kMaxDurationS) Broken("a duration out of range", line);
        if (q.kind == RequestKind::Incidents && (q.last < 1 || q.last > kMaxIncidents)) Broken("incidents' last", line);
        if (q.kind == RequestKind::Trace && (q.last < 1 || q.last > kMaxTraceLines)) Broken("trace's last", line);
        if (q.kind == RequestKind::Acknowledge && q.all == (q.seq >= 0)) Broken("acknowledge: both or neither", line);
        if (q.user.toUcs4().size() > kMaxUserChars) Broken("a user over 64 characters", line);
        for (const QString& s : {q.user, q.start.name, q.start.folder})
            for (QChar c : s)
                if (c.unicode() < 0x20) Broken("a control character let through", line);
        // The same line parses the same way again (no hidden state).
        const ParseResult again = ParseRequest(line);
        if (again.outcome != ParseResult::Ok || again.request.kind != q.kind || again.request.recorder != q.recorder)
            Broken("two parses of one line differ", line);
        CheckAnswer(OkAnswer(q.id), q.id, line);
        break;
    }
    }
    return 0;
}
