#include "platform/profile.h"

#include "platform/os.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringConverter>
#include <QStringList>

namespace platform {
namespace {

QString ResolveProfilePath(const QString& file) {
    if (!file.contains(QLatin1Char('/'))) return WindowsFolder() + file;
    return file;
}

QString DecodeProfileText(const QByteArray& raw) {
    QByteArray bytes = raw;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError()) return text;
    }
    // Files written by the Windows members of the family are in the Western
    // code page.
    QStringDecoder western("windows-1252");
    if (western.isValid()) {
        QString text = western(bytes);
        if (!western.hasError()) return text;
    }
    return QString::fromLatin1(bytes);
}

// Reads the file as lines without their line ends; false when it cannot be read.
bool ReadProfileLines(const QString& path, QStringList& lines, bool& exists) {
    lines.clear();
    QFile f(path);
    exists = f.exists();
    if (!exists) return true;
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QString text = DecodeProfileText(f.readAll());
    lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QString& l : lines) {
        if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
    }
    return true;
}

// "[name]" lines: the name between the brackets (to the end of the line when
// the closing bracket is missing), trimmed.
bool IsSectionLine(const QString& line, QString* name) {
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('['))) return false;
    if (name) {
        int close = t.indexOf(QLatin1Char(']'));
        *name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
    }
    return true;
}

bool IsCommentOrBlank(const QString& line) {
    const QString t = line.trimmed();
    return t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// Splits a key line into its key and raw value (both trimmed).
void SplitKeyLine(const QString& line, QString& key, QString& value) {
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) {
        key = line.trimmed();
        value.clear();
    } else {
        key = line.left(eq).trimmed();
        value = line.mid(eq + 1).trimmed();
    }
}

int FindSection(const QStringList& lines, const QString& section) {
    QString name;
    for (int i = 0; i < lines.size(); ++i) {
        if (IsSectionLine(lines[i], &name) && name.compare(section, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

// A line break inside a name or value would split it into lines of its own
// (and could forge other keys or sections): it is written as a blank.
QString OneLine(const QString& s) {
    QString r = s;
    r.replace(QLatin1Char('\r'), QLatin1Char(' '));
    r.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return r;
}

QString Truncated(const QString& s, int maxChars) {
    if (maxChars < 0 || s.size() <= maxChars) return s;
    int n = maxChars;
    // Never cut a character in two.
    if (n > 0 && s.at(n - 1).isHighSurrogate()) --n;
    return s.left(n);
}

}  // namespace

QString ProfileRead(const QString& file, const QString& section, const QString& key,
                    const QString& defaultValue, int maxChars) {
    const QString wantedSection = section.trimmed();
    const QString wantedKey = key.trimmed();
    if (file.trimmed().isEmpty() || wantedSection.isEmpty() || wantedKey.isEmpty())
        return Truncated(defaultValue, maxChars);
    QStringList lines;
    bool exists = false;
    if (!ReadProfileLines(ResolveProfilePath(file), lines, exists) || !exists)
        return Truncated(defaultValue, maxChars);
    const int start = FindSection(lines, wantedSection);
    if (start < 0) return Truncated(defaultValue, maxChars);
    QString k, v;
    for (int i = start + 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (IsSectionLine(line, nullptr)) break;
        if (IsCommentOrBlank(line)) continue;
        SplitKeyLine(line, k, v);
        if (k.compare(wantedKey, Qt::CaseInsensitive) != 0) continue;
        if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
            v.back() == v.front()) {
            v = v.mid(1, v.size() - 2);
        }
        return Truncated(v, maxChars);
    }
    return Truncated(defaultValue, maxChars);
}

bool ProfileWrite(const QString& file, const QString& section, const QString& key, const QString& value) {
    const QString wantedSection = OneLine(section).trimmed();
    const QString wantedKey = OneLine(key).trimmed();
    if (file.trimmed().isEmpty() || wantedSection.isEmpty() || wantedKey.isEmpty()) return false;
    const QString path = ResolveProfilePath(file);
    const QString cleanValue = OneLine(value);

    QStringList lines;
    bool exists = false;
    if (!ReadProfileLines(path, lines, exists)) return false;
    if (exists) {
        const QFileInfo info(path);
        // The owner's write permission is the read-only attribute; it counts
        // even for the superuser. A file that we may not write is never
        // replaced behind its owner's back either.
        if (info.isDir() || !(info.permissions() & QFile::WriteOwner) || !info.isWritable()) return false;
    }

    const int start = FindSection(lines, wantedSection);
    if (start < 0) {
        lines.append(QLatin1Char('[') + wantedSection + QLatin1Char(']'));
        lines.append(wantedKey + QLatin1Char('=') + cleanValue);
    } else {
        int lastKeyLine = start;
        int found = -1;
        QString k, v;
        for (int i = start + 1; i < lines.size(); ++i) {
            const QString& line = lines[i];
            if (IsSectionLine(line, nullptr)) break;
            if (IsCommentOrBlank(line)) continue;
            lastKeyLine = i;
            SplitKeyLine(line, k, v);
            if (k.compare(wantedKey, Qt::CaseInsensitive) == 0) {
                found = i;
                break;
            }
        }
        if (found >= 0) {
            // The key keeps the spelling it has in the file.
            lines[found] = k + QLatin1Char('=') + cleanValue;
        } else {
            lines.insert(lastKeyLine + 1, wantedKey + QLatin1Char('=') + cleanValue);
        }
    }

    QByteArray out;
    for (const QString& l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    QSaveFile save(path);
    // A folder where no temporary file can be made still lets the file be
    // written in place, as the profile functions do.
    save.setDirectWriteFallback(true);
    if (!save.open(QIODevice::WriteOnly)) return false;
    if (save.write(out) != out.size()) {
        save.cancelWriting();
        return false;
    }
    return save.commit();
}

}  // namespace platform
