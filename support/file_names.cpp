#include "support/file_names.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <unistd.h>

namespace {

constexpr int kDefaultNameMax = 255;
// Enough suffixes for any folder a recorder fills; beyond, the name is taken
// as it is and the exclusive creation of the file refuses it.
constexpr int kLastSuffix = 9999;

int Utf8Bytes(const QString& text) { return int(text.toUtf8().size()); }

// Removes whole characters from the end of text until it takes at most
// maxBytes bytes in UTF-8 (a surrogate pair goes as one character).
QString CutEnd(QString text, int maxBytes) {
    while (!text.isEmpty() && Utf8Bytes(text) > maxBytes) {
        qsizetype n = 1;
        if (text.size() >= 2 && text.at(text.size() - 1).isLowSurrogate() && text.at(text.size() - 2).isHighSurrogate())
            n = 2;
        text.chop(n);
    }
    return text;
}

QString TrimEnd(QString text) {
    while (!text.isEmpty() && text.back().isSpace()) text.chop(1);
    return text;
}

}  // namespace

QString StripControlCharacters(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F)) continue;
        out.append(c);
    }
    return out;
}

int NameMaxOf(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
    const long max = ::pathconf(path.constData(), _PC_NAME_MAX);
    return max > 0 ? int(max) : kDefaultNameMax;
}

QString FitFileName(const QString& base, const QString& tail, int maxBytes) {
    const int room = maxBytes - Utf8Bytes(tail);
    if (Utf8Bytes(base) <= room) return base;
    if (room <= 0) return QString();
    static const QRegularExpression datePart(QStringLiteral("[0-9]{6,}(?:[_-][0-9]+)*"));
    qsizetype at = -1, length = 0;
    for (auto it = datePart.globalMatch(base); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        at = m.capturedStart();
        length = m.capturedLength();
    }
    if (at < 0) return TrimEnd(CutEnd(base, room));
    QString before = base.left(at);
    const QString date = base.mid(at, length);
    QString after = base.mid(at + length);
    const int dateBytes = Utf8Bytes(date);
    if (dateBytes > room) return CutEnd(date, room);
    const int afterBytes = Utf8Bytes(after);
    // The text before the date gives way first; then the text after it.
    const int beforeRoom = room - dateBytes - afterBytes;
    if (beforeRoom >= 0) {
        before = CutEnd(before, beforeRoom);
        // A cut label keeps its separation from the date.
        if (before.size() < at && !before.isEmpty() && base.at(at - 1).isSpace()) {
            before = TrimEnd(CutEnd(before, beforeRoom - 1)) + base.at(at - 1);
        }
        return before + date + after;
    }
    after = TrimEnd(CutEnd(after, room - dateBytes));
    return date + after;
}

NewFilePath NewFileIn(const QString& folder, const QString& base, const QString& extension, int after) {
    const int maxBytes = NameMaxOf(folder);
    NewFilePath result;
    for (int n = std::max(1, after + 1); n <= kLastSuffix; ++n) {
        const QString suffix = n == 1 ? QString() : QStringLiteral(" (%1)").arg(n);
        const QString fitted = FitFileName(base, suffix + extension, maxBytes);
        const QString name = fitted + suffix;
        result.path = folder + name + extension;
        result.name = name;
        result.suffix = n;
        result.shortened = fitted != base;
        // An entry of any kind (a broken link too) keeps its name.
        if (!QFileInfo(result.path).exists() && !QFileInfo(result.path).isSymLink()) return result;
    }
    return result;
}

QString DestinationFolderRefusal(const QString& folder) {
    if (folder.trimmed().isEmpty()) return QStringLiteral("no destination folder is set");
    if (!folder.startsWith(QLatin1Char('/')))
        return QStringLiteral("the destination folder '") + folder + QStringLiteral("' is not an absolute path");
    return {};
}
