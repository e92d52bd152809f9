#pragma once
// An optional observer of what a run draws, page by page. The report calls
// it only in the final pass and only when one is set; tests use it to check
// the layout without reading pictures back.

#include <QRectF>
#include <QString>

class TRpCustomBand;
class TRpPrintable;

class TRpRunObserver {
public:
    virtual ~TRpRunObserver() = default;
    // A page was started (1-based).
    virtual void PageStarted(int /*page*/) {}
    // A band (or one piece of a band continued on a further page) was
    // printed; rect is its area in tenths of a millimetre, stretched height
    // included.
    virtual void BandPrinted(TRpCustomBand* /*band*/, int /*page*/, const QRectF& /*rect*/) {}
    // A line of text was drawn; rect is the line's area in tenths.
    virtual void TextDrawn(TRpPrintable* /*printable*/, int /*page*/, const QString& /*text*/,
                           const QRectF& /*rect*/) {}
    // A printable's frame (owner a printable) or a band's frame was drawn
    // around rect (tenths).
    virtual void FrameDrawn(QObject* /*owner*/, int /*page*/, const QRectF& /*rect*/) {}
    // A shape was drawn in rect (tenths).
    virtual void ShapeDrawn(TRpPrintable* /*shape*/, int /*page*/, const QRectF& /*rect*/) {}
};
