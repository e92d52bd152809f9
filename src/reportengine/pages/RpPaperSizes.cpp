#include "RpPaperSizes.h"

#include <QtMath>

QSize RpPaperSizeTenths(QPageSize::PageSizeId id) {
    const QSizeF mm = QPageSize::size(id, QPageSize::Millimeter);
    return QSize(qRound(mm.width() * 10), qRound(mm.height() * 10));
}

const std::array<TRpPaperSize, 26>& RpPaperSizes() {
    static const std::array<TRpPaperSize, 26> table = [] {
        // The sizes office printers take, ISO first, then the American ones.
        const QPageSize::PageSizeId ids[26] = {
            QPageSize::A4,      QPageSize::A3,        QPageSize::A5,    QPageSize::A6,
            QPageSize::A2,      QPageSize::A1,        QPageSize::A0,    QPageSize::A7,
            QPageSize::A8,      QPageSize::A9,        QPageSize::B5,    QPageSize::B4,
            QPageSize::B3,      QPageSize::B2,        QPageSize::B1,    QPageSize::B0,
            QPageSize::B6,      QPageSize::B7,        QPageSize::B8,    QPageSize::B9,
            QPageSize::B10,     QPageSize::Letter,    QPageSize::Legal, QPageSize::Executive,
            QPageSize::Tabloid, QPageSize::EnvelopeC5};
        std::array<TRpPaperSize, 26> t{};
        for (int i = 0; i < 26; ++i) {
            const QSize s = RpPaperSizeTenths(ids[i]);
            t[size_t(i)] = {ids[i], s.width(), s.height()};
        }
        return t;
    }();
    return table;
}

const TRpPaperSize* RpMatchPaperSize(int width, int length, bool* landscape) {
    // Sizes compare in steps of 4 mm (40 tenths), so a page a pixel or two off
    // its paper, as recorded on a screen, still matches.
    auto steps = [](int tenths) { return qRound(tenths / 40.0); };
    const int w = steps(width);
    const int l = steps(length);
    for (const TRpPaperSize& p : RpPaperSizes()) {
        const int pw = steps(p.Width);
        const int pl = steps(p.Length);
        if (w == pw && l == pl) {
            if (landscape)
                *landscape = false;
            return &p;
        }
        if (w == pl && l == pw) {
            if (landscape)
                *landscape = true;
            return &p;
        }
    }
    return nullptr;
}
