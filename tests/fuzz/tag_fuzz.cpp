// Fuzz target of the remote command text: the bytes of a datagram decoded
// to text, then every tag the interpreter reads taken out of it. Built with
// libFuzzer when clang offers it, else driven by tag_fuzz_driver.cpp. Any
// broken property aborts, which both drivers report as a failure.
#include "remote/message_text.h"

#include <QStringDecoder>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const kTags[] = {"<Record:",  "<Recorder:", "<WaitDuration:", "<SongId:",    "<Song:",
                             "<ArticleId:", "<Article:", "<Convert:",      "<ASC82Plus:"};

[[noreturn]] void Broken(const char* what, const QString& message, const QString& tag) {
    std::fprintf(stderr, "broken: %s\nmessage: %s\ntag: %s\n", what, message.toUtf8().constData(),
                 tag.toUtf8().constData());
    std::abort();
}

void CheckTag(const QString& message, const QString& tag) {
    const QString value = ExtraireBalise(message, tag);
    if (message.trimmed().isEmpty() || tag.isEmpty()) {
        if (!value.isEmpty()) Broken("a value from a blank message or tag", message, tag);
        return;
    }
    const qsizetype p = message.indexOf(tag, 0, Qt::CaseInsensitive);
    if (p < 0) {
        if (!value.isEmpty()) Broken("a value for an absent tag", message, tag);
        return;
    }
    if (value.contains(QLatin1Char('>'))) Broken("a value holding '>'", message, tag);
    if (value.isEmpty()) {
        // Either closed at once, or never closed after the tag.
        const qsizetype close = message.indexOf(QLatin1Char('>'), p + 1);
        if (close >= 0 && close > p + tag.size() && !tag.contains(QLatin1Char('>')))
            Broken("no value although the tag is closed further on", message, tag);
        return;
    }
    const qsizetype from = p + tag.size();
    if (message.mid(from, value.size()) != value) Broken("the value is not the text after the tag", message, tag);
    if (from + value.size() >= message.size() || message.at(from + value.size()) != QLatin1Char('>'))
        Broken("the value does not end at a '>'", message, tag);
}

void CheckDecoding(const QByteArray& bytes, const QString& text) {
    if (text.size() > bytes.size()) Broken("more characters than bytes", text, QString());
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    (void)utf8(bytes);
    if (utf8.hasError()) {
        // The single-byte code page: one character per byte, ASCII unchanged.
        if (text.size() != bytes.size()) Broken("a code-page text of another length", text, QString());
        for (qsizetype i = 0; i < bytes.size(); ++i)
            if (static_cast<unsigned char>(bytes[i]) < 0x80 && text.at(i).unicode() != char16_t(bytes[i]))
                Broken("an ASCII byte changed", text, QString());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // First byte: which tag, or (above the list) a tag of the input's own.
    const size_t choice = data[0];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QString message = DatagramText(bytes);
    CheckDecoding(bytes, message);
    constexpr size_t kCount = sizeof(kTags) / sizeof(kTags[0]);
    if (choice < kCount) {
        CheckTag(message, QString::fromLatin1(kTags[choice]));
    } else {
        for (const char* t : kTags) CheckTag(message, QString::fromLatin1(t));
        // A tag made of the message's own first characters, up to a ':'.
        const qsizetype colon = message.indexOf(QLatin1Char(':'));
        if (colon > 0 && colon < 40) CheckTag(message, message.left(colon + 1));
    }
    return 0;
}
