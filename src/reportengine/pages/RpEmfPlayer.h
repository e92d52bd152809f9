#pragma once
// Plays a Windows enhanced metafile (EMF), the page form of report files
// written by the older engine, onto a QPainter. The records a report engine
// writes are played: the header, mapping modes, extents and origins, world
// transforms, pens, brushes and fonts with the stock objects, the drawing
// state kept by SaveDC/RestoreDC, text (ExtTextOutW and ExtTextOutA with their
// spacing arrays, opaque and clipping rectangles), lines, rectangles,
// ellipses, arcs, polygons in their 16- and 32-bit forms, simple regions,
// clipping, and device-independent bitmaps (1, 4, 8, 16, 24 and 32 bits,
// uncompressed or RLE8/RLE4). Records it does not know are skipped.
//
// Text is drawn with QPainter::drawText, one call per string where the
// spacing array allows it, so whatever reads a page's drawing (a PDF, a text
// search) sees the words. Face names go through fontconfig like the
// program's own pages (Arial, Times New Roman, Courier New resolve to their
// metric-compatible Liberation fonts), with those fonts named as fallbacks.
//
// The data is untrusted: every offset, count and size is checked against the
// record holding it before use, so a damaged page raises Exception with a
// clear message and never reads outside the data. Holds no widgets; used by
// the page store (TRpPageList) whenever a page is not a Qt picture.

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <memory>

class QPainter;
class QPicture;

class TRpEmfPlayer {
public:
    // EMR_HEADER is record type 1; its signature " EMF" stands at offset 40.
    static constexpr quint32 Signature = 0x464D4520;
    // No page is believed to hold more records than this.
    static constexpr qint64 MaxRecords = 4 * 1024 * 1024;
    // Nor a bitmap of more pixels than this (an A4 page at 600 dpi is 35 M).
    static constexpr qint64 MaxBitmapPixels = 64 * 1024 * 1024;

    // True when data starts with an EMF header record.
    static bool IsEmf(const QByteArray& data);
    // The metafile's frame (rclFrame) in hundredths of a millimetre; raises
    // Exception when the header is not valid.
    static QRectF Frame(const QByteArray& data);
    // Plays the records onto painter, the frame stretched over target (in
    // the painter's current coordinates). The painter's state is restored
    // afterwards. Raises Exception on a damaged record; what was drawn before
    // it stays drawn, so callers play into a picture first (ToPicture).
    static void Play(const QByteArray& data, QPainter& painter, const QRectF& target);
    // The page as a Qt picture the size of its frame at dpi pixels per inch
    // (bounding rectangle from 0, 0); raises Exception on a damaged record,
    // so a page is shown whole or not at all.
    static std::unique_ptr<QPicture> ToPicture(const QByteArray& data, double dpi);
};
