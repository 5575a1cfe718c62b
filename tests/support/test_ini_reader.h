#pragma once
// A plain reader of INI files for the tests, independent of the program's
// own: it splits the raw bytes into lines, keeps every section and entry in
// file order and compares names exactly, so that the tests can check what
// really is on disk.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct TestIniSection {
    QString name;
    QList<QPair<QString, QString>> entries;
};

inline QByteArray ReadRawFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

inline bool WriteRawFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

inline QList<TestIniSection> ParseTestIni(const QString& path) {
    QList<TestIniSection> sections;
    const QString text = QString::fromUtf8(ReadRawFile(path));
    for (QString line : text.split(QStringLiteral("\r\n"))) {
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            sections.append({line.mid(1, line.size() - 2), {}});
        } else if (!sections.isEmpty() && line.contains(QLatin1Char('=')) && !line.startsWith(QLatin1Char(';'))) {
            const int eq = line.indexOf(QLatin1Char('='));
            sections.last().entries.append({line.left(eq), line.mid(eq + 1)});
        }
    }
    return sections;
}

// The value of an entry as the file holds it; "<absent>" when there is none.
inline QString TestIniValue(const QString& path, const QString& section, const QString& key) {
    for (const TestIniSection& s : ParseTestIni(path)) {
        if (s.name != section) continue;
        for (const auto& e : s.entries) {
            if (e.first == key) return e.second;
        }
    }
    return QStringLiteral("<absent>");
}
