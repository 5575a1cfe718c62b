#pragma once
// Protocol 1 of the control socket (docs/control-protocol.md): limits, error
// codes, the request parser and the line serialiser. Pure functions: the
// parser takes the bytes of one line and never touches a socket, so that it
// can be fuzzed on its own.
#include "control/control_target.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace control {

constexpr int kProtocol = 1;
constexpr qsizetype kMaxLineBytes = 65536;       // without its "\n"
constexpr int kMaxClients = 64;
constexpr qint64 kMaxQueuedBytes = 1024 * 1024;  // unread lines before a client is dropped
constexpr int kRecorderCount = 8;
constexpr int kMaxUserChars = 64;
constexpr int kMaxNameChars = 255;
constexpr int kMaxFolderChars = 4096;
constexpr qint64 kMaxDurationS = 604800;
constexpr int kMaxIncidents = 1000, kDefaultIncidents = 50;
constexpr int kMaxTraceLines = 5000, kDefaultTraceLines = 200;
constexpr int kLevelIntervalMs = 100;  // at most 10 level events a second

namespace err {
inline const QString kInvalidJson = QStringLiteral("invalid-json");
inline const QString kLineTooLong = QStringLiteral("line-too-long");
inline const QString kUnknownRequest = QStringLiteral("unknown-request");
inline const QString kBadArgument = QStringLiteral("bad-argument");
inline const QString kRefused = QStringLiteral("refused");
inline const QString kTooManyClients = QStringLiteral("too-many-clients");
inline const QString kInternal = QStringLiteral("internal");
}  // namespace err

// True for the codes of the protocol's table.
bool IsErrorCode(const QString& code);

enum class RequestKind { Status, Start, Pause, Continue, Stop, Incidents, Acknowledge, Trace, Subscribe, Unsubscribe };

// Its "request" text.
QString RequestName(RequestKind kind);
// Commands change the recorders' state (start, pause, continue, stop,
// acknowledge); the other requests only read.
bool IsCommand(RequestKind kind);

struct Request {
    RequestKind kind = RequestKind::Status;
    QJsonValue id = QJsonValue(QJsonValue::Undefined);  // sent back as it came
    int recorder = 0;       // start, pause, continue, stop: 1..8
    StartArgs start;        // start
    QString user;           // commands: "" when not given
    int last = 0;           // incidents, trace
    qint64 seq = -1;        // acknowledge (when !all)
    bool all = false;       // acknowledge
    bool levels = false;    // subscribe
};

struct ParseResult {
    enum Outcome { Ok, Blank, Error } outcome = Error;
    Request request;  // Ok; on an Error its id is set when the line had one
    QString error;    // Error: a code of err::
    QString message;  // Error: French, for the operator
};

// One line, without its "\n" (a "\r" at its end is ignored). A blank line
// (spaces and tabs only) is no request and gets no answer.
ParseResult ParseRequest(QByteArrayView line);

// An object as one compact line, "\n" included.
QByteArray Line(const QJsonObject& object);
// {"ok":false,"error":code,"message":message} with the id when it is defined.
QJsonObject ErrorAnswer(const QJsonValue& id, const QString& code, const QString& message);
// {"ok":true} with the id when it is defined.
QJsonObject OkAnswer(const QJsonValue& id);

}  // namespace control
