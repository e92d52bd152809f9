#include "RpPrintable.h"

#include "RpBand.h"
#include "RpCustomReport.h"
#include "RpFontMetrics_p.h"
#include "RpReportRun_p.h"
#include "RpUnits.h"

#include <algorithm>

namespace {

// Positions are compared with this tolerance (tenths of a millimetre), so
// that a text exactly as wide as its box counts as fitting.
constexpr double Eps = 1e-6;

} // namespace

// ---------------------------------------------------------------- TRpPrintable

TRpPrintable::TRpPrintable(QObject* parent) : ScreenDpi(RpScreenDpi()) {
    if (auto* band = qobject_cast<TRpCustomBand*>(parent))
        band->AddPrintable(this);
    else if (auto* report = qobject_cast<TRpCustomReport*>(parent))
        report->AddPrintable(this);
    else
        setParent(parent);
    Box.Width = PixelsToTenths(10);
    Box.Height = PixelsToTenths(10);
}

TRpPrintable::~TRpPrintable() {
    if (OwnerBand)
        OwnerBand->RemovePrintable(this);
    else if (OwnerReport)
        OwnerReport->RemovePrintable(this);
}

TRpCustomReport* TRpPrintable::Report() const {
    return OwnerBand ? OwnerBand->Report() : OwnerReport;
}

int TRpPrintable::Zoom() const {
    const TRpCustomReport* report = Report();
    return report ? report->Zoom() : 100;
}

double TRpPrintable::PixelsToTenths(int pixels) const {
    return RpPixelsToTenths(pixels, ScreenDpi, Zoom());
}

int TRpPrintable::TenthsToPixels(double tenths) const {
    return qRound(RpTenthsToPixels(tenths, ScreenDpi, Zoom()));
}

int TRpPrintable::Left() const {
    return TenthsToPixels(Box.Left);
}
int TRpPrintable::Top() const {
    return TenthsToPixels(Box.Top);
}
int TRpPrintable::Width() const {
    return TenthsToPixels(Box.Width);
}
int TRpPrintable::Height() const {
    return TenthsToPixels(Box.Height);
}

void TRpPrintable::SetSize(const TRpSize& size) {
    Box = size;
    UpdatingBounds = true;
    BoundsChanged();
    UpdatingBounds = false;
    ApplyBandAlign();
}

void TRpPrintable::SetBoundsTenths(double left, double top, double width, double height) {
    SetSize(TRpSize{left, top, width, height});
}

void TRpPrintable::SetLeft(int pixels) {
    TRpSize size = Box;
    size.Left = PixelsToTenths(pixels);
    SetSize(size);
}

void TRpPrintable::SetTop(int pixels) {
    TRpSize size = Box;
    size.Top = PixelsToTenths(pixels);
    SetSize(size);
}

void TRpPrintable::SetWidth(int pixels) {
    TRpSize size = Box;
    size.Width = PixelsToTenths(pixels);
    SetSize(size);
}

void TRpPrintable::SetHeight(int pixels) {
    TRpSize size = Box;
    size.Height = PixelsToTenths(pixels);
    SetSize(size);
}

void TRpPrintable::SetBounds(int left, int top, int width, int height) {
    SetSize(TRpSize{PixelsToTenths(left), PixelsToTenths(top), PixelsToTenths(width),
                    PixelsToTenths(height)});
}

void TRpPrintable::SetAlignment(TAlignment alignment) {
    AlignmentValue = alignment;
    ApplyBandAlign();
}

void TRpPrintable::SetBandAlign(bool on) {
    BandAlignValue = on;
    ApplyBandAlign();
}

void TRpPrintable::BoundsChanged() {}

void TRpPrintable::ApplyBandAlign() {
    if (!BandAlignValue || !OwnerBand)
        return;
    const double bandWidth = OwnerBand->WidthTenths();
    switch (AlignmentValue) {
    case TAlignment::Left:
        Box.Left = 0;
        break;
    case TAlignment::Right:
        Box.Left = bandWidth - Box.Width;
        break;
    case TAlignment::Center:
        Box.Left = (bandWidth - Box.Width) / 2;
        break;
    }
}

void TRpPrintable::Prepare(TRpReportRun&) {
    IsPrinting = true;
    Finished = true;
    ApplyBandAlign();
}

void TRpPrintable::Unprepare() {
    IsPrinting = false;
    Finished = true;
}

// ---------------------------------------------------------------- TRpCustomLabel

TRpCustomLabel::TRpCustomLabel(QObject* parent)
    : TRpPrintable(parent), OwnFont(QStringLiteral("Arial"), 10) {}

QFont TRpCustomLabel::Font() const {
    if (ParentFontValue)
        if (const TRpCustomReport* report = Report())
            return report->Font();
    return OwnFont;
}

void TRpCustomLabel::SetFont(const QFont& font) {
    OwnFont = font;
    ParentFontValue = false;
    FormatLines();
}

void TRpCustomLabel::SetParentFont(bool on) {
    if (!on && ParentFontValue)
        OwnFont = Font();
    ParentFontValue = on;
    FormatLines();
}

void TRpCustomLabel::SetFontSize(int points) {
    QFont font = Font();
    font.setPointSize(points);
    SetFont(font);
}

const TRpFontMetrics& TRpCustomLabel::Metrics() const {
    const QFont font = Font();
    if (!MeasuredMetrics || !(font == MeasuredFont)) {
        MeasuredFont = font;
        MeasuredMetrics = &TRpFontMetrics::For(font);
    }
    return *MeasuredMetrics;
}

void TRpCustomLabel::SetCaption(const QString& caption) {
    CaptionText = caption;
    PrintTextValue = caption;
    FormatLines();
}

void TRpCustomLabel::SetLines(const QStringList& lines) {
    LinesValue = lines;
    FormatLines();
}

void TRpCustomLabel::SetAutoSize(bool on) {
    AutoSizeValue = on;
    FormatLines();
}

void TRpCustomLabel::SetWordWrap(bool on) {
    WordWrapValue = on;
    FormatLines();
}

void TRpCustomLabel::BoundsChanged() {
    FormatLines();
}

// Splits a source text into paragraphs at line breaks (CR LF, CR or LF: texts
// from the database may carry bare line feeds) and lays each out.
void TRpCustomLabel::AddParagraphs(const QString& source, double available,
                                   const TRpFontMetrics& m) {
    const auto addParagraph = [&](QStringView paragraph) {
        if (AutoSizeValue)
            Formatted.append(paragraph.toString());
        else
            WrapParagraph(paragraph, available, m);
    };
    qsizetype start = 0;
    const qsizetype n = source.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = source[i];
        if (c != u'\r' && c != u'\n')
            continue;
        addParagraph(QStringView(source).mid(start, i - start));
        if (c == u'\r' && i + 1 < n && source[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    addParagraph(QStringView(source).mid(start));
}

// Cuts a paragraph into lines no wider than available. Words end just after a
// blank or a hyphen (which stay with their word). A word wider than the box
// forms a line of its own, cut: on an empty line it keeps the characters that
// leave the line narrower than the box, after an ended line it loses
// characters from its end until it is no wider than the box. Without word
// wrap the paragraph ends at the first word that does not fit.
void TRpCustomLabel::WrapParagraph(QStringView paragraph, double available,
                                   const TRpFontMetrics& m) {
    if (m.Width(paragraph) <= available + Eps) {
        Formatted.append(paragraph.toString());
        return;
    }
    const qsizetype countBefore = Formatted.size();
    QString current;
    double currentWidth = 0;
    const qsizetype n = paragraph.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype j = i;
        while (j < n && paragraph[j] != u' ' && paragraph[j] != u'-' && paragraph[j] != u'\r')
            ++j;
        if (j < n)
            ++j;
        const QStringView word = paragraph.mid(i, j - i);
        i = j;
        const double wordWidth = m.Width(word);
        if (currentWidth + wordWidth <= available + Eps) {
            current += word;
            currentWidth += wordWidth;
            continue;
        }
        if (current.isEmpty()) {
            // The word meets an empty line: as many characters as leave the
            // line narrower than the box; the rest of the word is dropped.
            QString part;
            double partWidth = 0;
            for (qsizetype k = 0; k < word.size(); ++k) {
                const qsizetype len = word[k].isHighSurrogate() && k + 1 < word.size() ? 2 : 1;
                const double w = m.Width(word.mid(k, len));
                if (partWidth + w >= available)
                    break;
                part += word.mid(k, len);
                partWidth += w;
                k += len - 1;
            }
            if (!part.isEmpty())
                Formatted.append(part);
            if (!WordWrapValue)
                return;
            continue;
        }
        Formatted.append(current);
        current.clear();
        currentWidth = 0;
        if (!WordWrapValue)
            return;
        if (wordWidth > available + Eps) {
            // After an ended line: characters come off the word's end until it
            // is no wider than the box.
            QString cut = word.toString();
            double cutWidth = wordWidth;
            while (!cut.isEmpty() && cutWidth > available + Eps) {
                const qsizetype len = cut.size() >= 2 && cut.back().isLowSurrogate() ? 2 : 1;
                cutWidth -= m.Width(QStringView(cut).right(len));
                cut.chop(len);
            }
            if (!cut.isEmpty() && available > 0)
                Formatted.append(cut);
            continue;
        }
        current = word.toString();
        currentWidth = wordWidth;
    }
    if (!current.isEmpty() || Formatted.size() == countBefore)
        Formatted.append(current);
}

void TRpCustomLabel::FormatLines() {
    const TRpFontMetrics& m = Metrics();
    const TRpFrame& frame = Frame();
    const double frameWidth = frame.Any() ? frame.WidthTenths(Dpi()) : 0;
    const double insets = (frame.DrawLeft ? frameWidth : 0) + (frame.DrawRight ? frameWidth : 0);
    const double available = Box.Width - insets;
    Formatted.clear();
    if (MemoLines && AutoSizeValue) {
        Formatted = LinesValue;
    } else if (CaptionBased && !UseLines) {
        AddParagraphs(PrintTextValue, available, m);
    } else {
        for (const QString& line : LinesValue)
            AddParagraphs(line, available, m);
    }
    if (AutoSizeValue && Report() && !UpdatingBounds) {
        double widest = 0;
        for (const QString& line : Formatted)
            widest = std::max(widest, m.Width(line));
        const double width = widest + insets;
        const double change = width - Box.Width;
        if (change != 0) {
            // A right-aligned box keeps its right edge, a centred one its centre.
            if (Alignment() == TAlignment::Right)
                Box.Left -= change;
            else if (Alignment() == TAlignment::Center)
                Box.Left -= change / 2;
            Box.Width = width;
            ApplyBandAlign();
        }
    }
    if (CaptionBased && !UseLines) {
        const double minimum = m.Height() + m.PixelTenths();
        if (Box.Height < minimum)
            Box.Height = minimum;
    }
}

void TRpCustomLabel::Prepare(TRpReportRun& run) {
    TRpPrintable::Prepare(run);
    LineIndex = 0;
    SetCaption(CaptionText);
}

void TRpCustomLabel::Print(TRpPrintContext& context, double x0, double y0) {
    PrintLines(context, x0, y0);
}

void TRpCustomLabel::PrintLines(TRpPrintContext& context, double x0, double y0) {
    const QString before = PrintTextValue;
    if (!PrintTextValue.isEmpty() && OnPrint) {
        QString value = PrintTextValue;
        OnPrint(this, value);
        PrintTextValue = value;
    }
    const TRpSize old = Box;
    FormatLines();
    const TRpFontMetrics& m = Metrics();
    const double left = x0 + Box.Left;
    const double top = y0 + Box.Top;
    const double width = Box.Width;
    const double height = Box.Height;
    const bool drawing = context.Drawing();
    const bool opaque = drawing && !TransparentValue;
    if (opaque)
        context.FillBox(QRectF(left, top, width, height), Color());

    const TRpFrame& frame = Frame();
    const double frameWidth = frame.Any() ? frame.WidthTenths(Dpi()) : 0;
    const double insetLeft = frame.DrawLeft ? frameWidth : 0;
    const double insetRight = frame.DrawRight ? frameWidth : 0;
    const double lineHeight = m.Height();
    const double limit = top + height + m.PixelTenths();
    const double centre = x0 + old.Left + old.Width / 2;

    if (Finished)
        LineIndex = 0;
    double y = top + (frame.DrawTop ? frameWidth : 0);
    double extra = 0;
    const int count = int(Formatted.size());
    while (LineIndex < count) {
        const double bottom = y + lineHeight;
        if (bottom > limit + extra + Eps) {
            if (!AutoStretchValue)
                break;
            bool grown = true;
            while (bottom > limit + extra + Eps) {
                if (!context.RequestExtra(extra + lineHeight)) {
                    grown = false;
                    break;
                }
                if (opaque)
                    context.FillBox(QRectF(left, top + height + extra, width, lineHeight), Color());
                extra += lineHeight;
            }
            if (!grown)
                break;
        }
        if (drawing) {
            const QString& line = Formatted[LineIndex];
            if (!line.isEmpty()) {
                const double lineWidth = m.Width(line);
                double x = left + insetLeft;
                if (Alignment() == TAlignment::Right)
                    x = left + width - insetRight - lineWidth;
                else if (Alignment() == TAlignment::Center)
                    x = centre - lineWidth / 2;
                context.DrawText(this, m, FontColorValue, x, y, lineWidth, line);
            }
        }
        y += lineHeight;
        ++LineIndex;
    }
    Finished = LineIndex >= count || !AutoStretchValue;
    if (drawing && frame.Any())
        context.DrawFrame(this, frame, QRectF(left, top, width, height + extra));
    PrintTextValue = before;
}
