#include "AppIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace {

// Draws the 64 x 64 design of data/vexal.svg scaled into the rectangle.
void PaintIcon(QPainter& p, const QRect& rect) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(rect.topLeft());
    p.scale(rect.width() / 64.0, rect.height() / 64.0);

    const QColor dark(0x1f, 0x4e, 0x79), title(0x2e, 0x75, 0xb6), rule(0x9d, 0xc3, 0xe6);
    const QColor glass(0xff, 0xf2, 0xcc, 217), rim(0xc5, 0x5a, 0x11);
    p.setPen(QPen(dark, 2.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4, 6, 46, 44), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(title);
    p.drawRoundedRect(QRectF(4, 6, 46, 10), 3, 3);
    p.setPen(QPen(rule, 1.5));
    for (int y : {25, 34, 43})
        p.drawLine(QPointF(6, y), QPointF(48, y));
    for (int x : {20, 35})
        p.drawLine(QPointF(x, 16), QPointF(x, 48));
    p.setPen(QPen(rim, 4));
    p.setBrush(glass);
    p.drawEllipse(QPointF(42, 40), 11, 11);
    p.setPen(QPen(rim, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(50, 48), QPointF(60, 58));
    p.restore();
}

class IconEngine : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        PaintIcon(*painter, rect);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }
    QIconEngine* clone() const override { return new IconEngine; }
};

} // namespace

QIcon AppIcon() { return QIcon(new IconEngine); }
