#pragma once
// The column grid's selection marks are stored as characters of the Symbol
// font (for example 0xD6, drawn as a check mark). These routines turn such
// text into the Unicode characters the Symbol font would draw, so the marks
// look right with any ordinary font.

#include <QChar>
#include <QString>

// Unicode character drawn by the Symbol font for a character code (0..255,
// or the font's private-use range U+F020..U+F0FF). Codes the font leaves
// empty come back unchanged.
char32_t SymbolCharToUnicode(char32_t code);

// Maps every character of a text stored for the Symbol font. A character
// above U+00FF is first taken back to its Windows-1251 byte, since the marks
// may have been read through that code page.
QString SymbolTextToUnicode(const QString& text);
