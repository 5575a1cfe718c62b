#pragma once
// Text of the remote command messages (Qt Core only).
#include <QByteArray>
#include <QString>

// The value of the first occurrence of tag (its opening text, e.g.
// "<Record:", found without regard to case) in message: the text up to the
// next ">"; empty when the message is blank, the tag is absent or not closed.
QString ExtraireBalise(const QString& message, const QString& tag);

// The text of a datagram: UTF-8 when the bytes are valid UTF-8, else the
// Windows "ANSI" code page of the family's older systems (Windows-1252, a
// superset of Latin-1).
QString DatagramText(const QByteArray& bytes);
