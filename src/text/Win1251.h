#pragma once
// Windows-1251, the code page of the program's files (connection scripts,
// saved inquiries, exports). Characters outside the code page become '?'.

#include <QByteArray>
#include <QString>

namespace Win1251 {

QByteArray Encode(const QString& text);
QString Decode(const QByteArray& bytes);
// One character; returns '?' (0x3F) when the character has no 1251 code.
unsigned char EncodeChar(QChar c);
QChar DecodeChar(unsigned char code);
// True when every character of text has a code in the code page.
bool Represents(const QString& text);

// The byte-order mark that begins a file written in UTF-8 instead, for text
// the code page cannot hold.
inline const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
// The text of a file: UTF-8 when it begins with Utf8Bom (the mark dropped),
// else Windows-1251.
QString DecodeFile(const QByteArray& bytes);

} // namespace Win1251
