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

} // namespace Win1251
