// The request parser and the serialiser of protocol 1.
#include "control/protocol.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringDecoder>
#include <cmath>

namespace control {

namespace {

struct Name {
    const char* text;
    RequestKind kind;
};
constexpr Name kNames[] = {
    {"status", RequestKind::Status},         {"start", RequestKind::Start},
    {"pause", RequestKind::Pause},           {"continue", RequestKind::Continue},
    {"stop", RequestKind::Stop},             {"incidents", RequestKind::Incidents},
    {"acknowledge", RequestKind::Acknowledge}, {"trace", RequestKind::Trace},
    {"subscribe", RequestKind::Subscribe},   {"unsubscribe", RequestKind::Unsubscribe},
};

// A field's check: empty when the field is fine.
class Fields {
public:
    explicit Fields(const QJsonObject& o) : o_(o) {}
    const QString& problem() const { return problem_; }

    // An integer in [low, high]; fallback when the field is absent and not required.
    qint64 integer(const char* key, qint64 low, qint64 high, qint64 fallback, bool required, const QString& what) {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (v.isUndefined()) {
            if (required) fail(QStringLiteral("« %1 » manque : %2").arg(QLatin1String(key), what));
            return fallback;
        }
        const double d = v.isDouble() ? v.toDouble() : NAN;
        if (!std::isfinite(d) || d != std::floor(d) || d < double(low) || d > double(high)) {
            fail(QStringLiteral("« %1 » doit être %2").arg(QLatin1String(key), what));
            return fallback;
        }
        return qint64(d);
    }
    // A text of 1..maxChars characters without control characters.
    QString text(const char* key, int maxChars, const QString& what) {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (v.isUndefined()) return QString();
        const QString s = v.toString();
        bool clean = v.isString() && !s.isEmpty() && s.size() <= maxChars * 2 && s.toUcs4().size() <= maxChars;
        for (QChar c : s)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F) clean = false;
        if (!clean) fail(QStringLiteral("« %1 » doit être %2").arg(QLatin1String(key), what));
        return clean ? s : QString();
    }
    bool boolean(const char* key, bool fallback) {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (v.isUndefined()) return fallback;
        if (!v.isBool()) fail(QStringLiteral("« %1 » doit être true ou false").arg(QLatin1String(key)));
        return v.toBool(fallback);
    }
    void fail(const QString& message) {
        if (problem_.isEmpty()) problem_ = message;
    }

private:
    const QJsonObject& o_;
    QString problem_;
};

ParseResult Failure(const QString& code, const QString& message, const QJsonValue& id = QJsonValue::Undefined) {
    ParseResult r;
    r.outcome = ParseResult::Error;
    r.error = code;
    r.message = message;
    r.request.id = id;
    return r;
}

const QString kRecorderRange = QStringLiteral("un entier de 1 à 8");

}  // namespace

bool IsErrorCode(const QString& code) {
    return code == err::kInvalidJson || code == err::kLineTooLong || code == err::kUnknownRequest ||
           code == err::kBadArgument || code == err::kRefused || code == err::kTooManyClients ||
           code == err::kInternal;
}

QString RequestName(RequestKind kind) {
    for (const Name& n : kNames)
        if (n.kind == kind) return QLatin1String(n.text);
    return QString();
}

bool IsCommand(RequestKind kind) {
    return kind == RequestKind::Start || kind == RequestKind::Pause || kind == RequestKind::Continue ||
           kind == RequestKind::Stop || kind == RequestKind::Acknowledge;
}

ParseResult ParseRequest(QByteArrayView line) {
    if (line.endsWith('\r')) line.chop(1);
    if (line.size() > kMaxLineBytes)
        return Failure(err::kLineTooLong, QStringLiteral("Ligne de plus de 65 536 octets, ignorée"));
    bool blank = true;
    for (char c : line)
        if (c != ' ' && c != '\t') blank = false;
    if (blank) {
        ParseResult r;
        r.outcome = ParseResult::Blank;
        return r;
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString decoded = utf8.decode(line);  // DecodedData is lazy: the conversion runs here
    Q_UNUSED(decoded);
    if (utf8.hasError()) return Failure(err::kInvalidJson, QStringLiteral("La ligne n'est pas en UTF-8 valide"));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return Failure(err::kInvalidJson,
                       parseError.error != QJsonParseError::NoError
                           ? QStringLiteral("JSON illisible à l'octet %1 : %2")
                                 .arg(parseError.offset)
                                 .arg(parseError.errorString())
                           : QStringLiteral("La ligne n'est pas un objet JSON"));
    const QJsonObject o = doc.object();
    const QJsonValue id = o.value(QLatin1String("id"));

    const QJsonValue name = o.value(QLatin1String("request"));
    if (name.isUndefined()) return Failure(err::kUnknownRequest, QStringLiteral("« request » manque"), id);
    if (!name.isString())
        return Failure(err::kUnknownRequest, QStringLiteral("« request » doit être un texte"), id);
    ParseResult r;
    r.request.id = id;
    bool known = false;
    for (const Name& n : kNames)
        if (name.toString() == QLatin1String(n.text)) {
            r.request.kind = n.kind;
            known = true;
        }
    if (!known)
        return Failure(err::kUnknownRequest,
                       QStringLiteral("Requête inconnue : « %1 »").arg(name.toString().left(64)), id);

    Request& q = r.request;
    Fields f(o);
    if (IsCommand(q.kind))
        q.user = f.text("user", kMaxUserChars, QStringLiteral("un texte de 1 à 64 caractères, sans caractère de contrôle"));
    switch (q.kind) {
    case RequestKind::Start:
        q.recorder = int(f.integer("recorder", 1, kRecorderCount, 0, true, kRecorderRange));
        q.start.name = f.text("name", kMaxNameChars, QStringLiteral("un nom de fichier de 1 à 255 caractères"));
        q.start.folder = f.text("folder", kMaxFolderChars, QStringLiteral("un dossier de 1 à 4096 caractères"));
        q.start.durationS = f.integer("duration", 1, kMaxDurationS, 0, false,
                                      QStringLiteral("un nombre entier de secondes de 1 à 604800"));
        break;
    case RequestKind::Pause:
    case RequestKind::Continue:
    case RequestKind::Stop:
        q.recorder = int(f.integer("recorder", 1, kRecorderCount, 0, true, kRecorderRange));
        break;
    case RequestKind::Incidents:
        q.last = int(f.integer("last", 1, kMaxIncidents, kDefaultIncidents, false,
                               QStringLiteral("un entier de 1 à 1000")));
        break;
    case RequestKind::Trace:
        q.last = int(f.integer("last", 1, kMaxTraceLines, kDefaultTraceLines, false,
                               QStringLiteral("un entier de 1 à 5000")));
        break;
    case RequestKind::Acknowledge: {
        q.all = f.boolean("all", false);
        const bool hasSeq = o.contains(QLatin1String("seq"));
        if (q.all && hasSeq)
            f.fail(QStringLiteral("« seq » et « all » ne vont pas ensemble"));
        else if (!q.all)
            q.seq = f.integer("seq", 0, qint64(1) << 53, -1, true,
                              QStringLiteral("un numéro d'incident (entier positif), ou « all »:true à sa place"));
        break;
    }
    case RequestKind::Subscribe:
        q.levels = f.boolean("levels", false);
        break;
    case RequestKind::Status:
    case RequestKind::Unsubscribe:
        break;
    }
    if (!f.problem().isEmpty()) return Failure(err::kBadArgument, f.problem(), id);
    r.outcome = ParseResult::Ok;
    return r;
}

QByteArray Line(const QJsonObject& object) {
    QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    bytes.append('\n');
    return bytes;
}

QJsonObject ErrorAnswer(const QJsonValue& id, const QString& code, const QString& message) {
    QJsonObject o{{QStringLiteral("ok"), false}, {QStringLiteral("error"), code}, {QStringLiteral("message"), message}};
    if (!id.isUndefined()) o.insert(QStringLiteral("id"), id);
    return o;
}

QJsonObject OkAnswer(const QJsonValue& id) {
    QJsonObject o{{QStringLiteral("ok"), true}};
    if (!id.isUndefined()) o.insert(QStringLiteral("id"), id);
    return o;
}

QString CallerText(const Caller& who) {
    QStringList parts;
    if (who.uid >= 0) parts << QStringLiteral("uid %1").arg(who.uid);
    if (who.pid > 0) parts << QStringLiteral("pid %1").arg(who.pid);
    if (!who.user.isEmpty()) parts << QStringLiteral("user %1").arg(who.user);
    return parts.join(QLatin1Char(' '));
}

}  // namespace control
