#pragma once
// A small EMF record writer for the records libEMF does not write (clipping,
// regions, BitBlt and StretchBlt, RLE bitmaps, SetROP2, text alignment rows)
// and for damaged metafiles. Records are written as [MS-EMF] lays them out.

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QRect>
#include <QString>
#include <QtEndian>

#include <initializer_list>

namespace EmfTest {

class TEmfWriter {
public:
    // A page of frameMm millimetres drawn for a reference device of
    // devicePx pixels over deviceMm millimetres (96 dpi by default).
    explicit TEmfWriter(QSize frameMm = {210, 297}, QSize devicePx = {1024, 768},
                        QSize deviceMm = {271, 203})
        : FrameMm(frameMm), DevicePx(devicePx), DeviceMm(deviceMm) {}

    // Pixels of the reference device per millimetre.
    double PxPerMm() const { return double(DevicePx.width()) / DeviceMm.width(); }

    // One record: type, then 32-bit values, then raw bytes (padded to 4).
    void Record(quint32 type, std::initializer_list<qint32> values, const QByteArray& tail = {}) {
        QByteArray body;
        for (qint32 v : values)
            Put(body, quint32(v));
        body += tail;
        while (body.size() % 4)
            body += '\0';
        QByteArray record;
        Put(record, type);
        Put(record, quint32(body.size() + 8));
        Records += record + body;
        ++Count;
    }
    // A record exactly as given (for damaged ones).
    void Raw(const QByteArray& bytes) {
        Records += bytes;
        ++Count;
    }

    void Rect(quint32 type, int l, int t, int r, int b) { Record(type, {l, t, r, b}); }
    void Select(quint32 handle) { Record(37, {qint32(handle)}); }
    void Brush(int handle, QRgb color, int style = 0) {
        Record(39, {handle, style, qint32(ColorRef(color)), 0});
    }
    void Pen(int handle, QRgb color, int width = 0, int style = 0) {
        Record(38, {handle, style, width, 0, qint32(ColorRef(color))});
    }
    // EXTCREATEFONTINDIRECTW with a LOGFONT of the given height and face.
    void Font(int handle, int height, const QString& face, int charSet = 1, int weight = 400,
              int width = 0) {
        QByteArray lf;
        for (qint32 v : {height, width, 0, 0, weight})
            Put(lf, quint32(v));
        lf += char(0);
        lf += char(0);
        lf += char(0);
        lf += char(charSet);
        lf += QByteArray(4, '\0');
        QByteArray name(64, '\0');
        for (int i = 0; i < face.size() && i < 31; ++i)
            qToLittleEndian(quint16(face[i].unicode()), name.data() + 2 * i);
        Record(82, {handle}, lf + name);
    }
    // EXTTEXTOUTW (wide) or EXTTEXTOUTA with an optional spacing array.
    void Text(int x, int y, const QByteArray& chars, bool wide, const QList<qint32>& dx = {},
              quint32 options = 0, QRect rect = QRect()) {
        const int count = wide ? int(chars.size() / 2) : int(chars.size());
        const int fixed = 8 + 28 + 40; // record head, bounds..eyScale, EmrText
        const int offString = fixed;
        int stringBytes = int(chars.size());
        while (stringBytes % 4)
            ++stringBytes;
        const int offDx = dx.isEmpty() ? 0 : offString + stringBytes;
        QByteArray tail = chars + QByteArray(stringBytes - chars.size(), '\0');
        for (qint32 d : dx)
            Put(tail, quint32(d));
        Record(wide ? 84 : 83,
               {0, 0, -1, -1, 1, 0, 0, x, y, count, offString, qint32(options), rect.left(),
                rect.top(), rect.left() + rect.width(), rect.top() + rect.height(), offDx},
               tail);
    }
    static QByteArray Utf16(const QString& text) {
        QByteArray out(text.size() * 2, '\0');
        for (int i = 0; i < text.size(); ++i)
            qToLittleEndian(quint16(text[i].unicode()), out.data() + 2 * i);
        return out;
    }

    // The whole metafile: header, the records, EOF.
    QByteArray Finish() const {
        QByteArray eof;
        Put(eof, 14);
        Put(eof, 20);
        Put(eof, 0);
        Put(eof, 16);
        Put(eof, 20);
        const int headerSize = 108;
        const qint64 total = headerSize + Records.size() + eof.size();
        QByteArray h;
        Put(h, 1);
        Put(h, headerSize);
        for (int v : {0, 0, DevicePx.width(), DevicePx.height()}) // bounds
            Put(h, quint32(v));
        for (int v : {0, 0, FrameMm.width() * 100, FrameMm.height() * 100})
            Put(h, quint32(v));
        Put(h, 0x464D4520);
        Put(h, 0x10000);
        Put(h, quint32(total));
        Put(h, quint32(Count + 2));
        Put(h, 32); // handles (16 bits) and reserved
        Put(h, 0);  // nDescription
        Put(h, 0);  // offDescription
        Put(h, 0);  // nPalEntries
        Put(h, quint32(DevicePx.width()));
        Put(h, quint32(DevicePx.height()));
        Put(h, quint32(DeviceMm.width()));
        Put(h, quint32(DeviceMm.height()));
        Put(h, 0); // cbPixelFormat
        Put(h, 0); // offPixelFormat
        Put(h, 0); // bOpenGL
        Put(h, quint32(DeviceMm.width() * 1000));
        Put(h, quint32(DeviceMm.height() * 1000));
        return h + Records + eof;
    }

    static quint32 ColorRef(QRgb c) {
        return quint32(qRed(c)) | quint32(qGreen(c)) << 8 | quint32(qBlue(c)) << 16;
    }
    static void Put(QByteArray& bytes, quint32 value) {
        char b[4];
        qToLittleEndian(value, b);
        bytes.append(b, 4);
    }

private:
    QSize FrameMm;
    QSize DevicePx;
    QSize DeviceMm;
    QByteArray Records;
    int Count = 0;
};

} // namespace EmfTest
