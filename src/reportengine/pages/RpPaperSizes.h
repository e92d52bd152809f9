#pragma once
// The engine's table of standard paper sizes, used to recognise the paper of
// a loaded report file from the size of its first page.

#include <QPageSize>
#include <QSize>

#include <array>

struct TRpPaperSize {
    QPageSize::PageSizeId Id;
    int Width;  // tenths of a millimetre, portrait
    int Length; // tenths of a millimetre, portrait
};

// The 26 sizes, in the order they are tried.
const std::array<TRpPaperSize, 26>& RpPaperSizes();

// Width and length of a paper size in tenths of a millimetre, portrait.
QSize RpPaperSizeTenths(QPageSize::PageSizeId id);

// The table entry whose size matches width x length (tenths of a millimetre)
// in 4 mm steps, upright or turned; nullptr when none does. landscape tells
// which way round it matched.
const TRpPaperSize* RpMatchPaperSize(int width, int length, bool* landscape);
