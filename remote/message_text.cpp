// Text of the remote command messages: the bytes of a datagram as text, and
// the value of a tag. Plain functions of their input, also built alone into
// the fuzz target of the tests.
#include "remote/message_text.h"

#include <QStringDecoder>

QString ExtraireBalise(const QString& message, const QString& tag) {
    if (message.trimmed().isEmpty() || tag.isEmpty()) return QString();
    const qsizetype p = message.indexOf(tag, 0, Qt::CaseInsensitive);
    if (p < 0) return QString();
    const qsizetype q = message.indexOf(QLatin1Char('>'), p + 1);
    const qsizetype from = p + tag.size();
    if (q < 0 || q < from) return QString();
    return message.mid(from, q - from);
}

QString DatagramText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    // Windows-1252: Latin-1 with printable characters in 0x80..0x9F.
    static const char16_t k80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out += (b >= 0x80 && b < 0xA0) ? QChar(k80[b - 0x80]) : QChar(b);
    }
    return out;
}
