#pragma once
// Pages for the page store and printer tests: pictures with text and lines,
// as a report run draws them.

#include <QByteArray>
#include <QPainter>
#include <QPicture>
#include <QtEndian>

namespace PageTest {

// A page of an A4 report at 96 dpi: a heading with the page number, ruled
// rows of text and a frame.
inline void DrawPage(QPainter& p, int number, int rows = 40) {
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 14, QFont::Bold));
    p.drawText(60, 60, QStringLiteral("Справка — страница %1").arg(number));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    for (int r = 0; r < rows; ++r) {
        const int y = 100 + r * 24;
        p.drawLine(40, y + 6, 754, y + 6);
        p.drawText(50, y, QStringLiteral("%1").arg(number * 1000 + r));
        p.drawText(150, y, QStringLiteral("Клиент %1, гр. София").arg(r));
        p.drawText(600, y,
                   QStringLiteral("%1.%2").arg(r * 37).arg(r % 100, 2, 10, QLatin1Char('0')));
    }
    p.drawRect(30, 30, 734, 1063);
}

inline QPicture MakePage(int number, int rows = 40) {
    QPicture picture;
    picture.setBoundingRect(QRect(0, 0, 794, 1123));
    QPainter p(&picture);
    DrawPage(p, number, rows);
    p.end();
    return picture;
}

// The picture's stream form.
inline QByteArray Bytes(const QPicture& picture) {
    return QByteArray(picture.data(), qsizetype(picture.size()));
}

inline QByteArray PageBytes(int number, int rows = 40) {
    return Bytes(MakePage(number, rows));
}

inline quint32 U32(const QByteArray& bytes, qint64 offset) {
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

inline void SetU32(QByteArray& bytes, qint64 offset, quint32 value) {
    qToLittleEndian(value, bytes.data() + offset);
}

} // namespace PageTest
