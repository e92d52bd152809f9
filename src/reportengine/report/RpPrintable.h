#pragma once
// Printables: the elements placed on a band. TRpPrintable holds what every
// printable has (box, frame, colour, alignment); TRpCustomLabel is the base
// of the printables that print text (label, memo, data text, expression,
// system data) and lays their text out in lines.
//
// A printable created with a band (or a report) as its parent is placed on
// it, after the printables already there; its objectName is its component
// name. Geometry is stored in tenths of a millimetre; the pixel accessors
// convert at the screen's pixels per inch taken when the printable was
// created and at the report's zoom.

#include "RpFrame.h"
#include "RpTypes.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QStringList>

class TRpFontMetrics;
class TRpReportRun;
struct TRpPrintContext;

class TRpPrintable : public QObject {
    Q_OBJECT

public:
    explicit TRpPrintable(QObject* parent = nullptr);
    ~TRpPrintable() override;

    // The band the printable is placed on, or nullptr (then it may be placed
    // directly on a report).
    TRpCustomBand* Band() const { return OwnerBand; }
    TRpCustomReport* Report() const;
    // Screen pixels per inch when the printable was created.
    double Dpi() const { return ScreenDpi; }
    // The report's zoom in percent (100 without a report).
    int Zoom() const;

    // Box in tenths of a millimetre, relative to the band.
    const TRpSize& Size() const { return Box; }
    void SetSize(const TRpSize& size);
    void SetBoundsTenths(double left, double top, double width, double height);
    // Box in pixels: set values are converted to tenths at once; read values
    // are the stored ones converted back, rounded to whole pixels.
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int pixels);
    void SetTop(int pixels);
    void SetWidth(int pixels);
    void SetHeight(int pixels);
    void SetBounds(int left, int top, int width, int height);

    TRpFrame& Frame() { return FrameValue; }
    const TRpFrame& Frame() const { return FrameValue; }
    QColor Color() const { return ColorValue; }
    void SetColor(const QColor& color) { ColorValue = color; }
    TAlignment Alignment() const { return AlignmentValue; }
    void SetAlignment(TAlignment alignment);
    // Band alignment: the printable keeps to the band's left edge, right
    // edge or centre by its own alignment.
    bool BandAlign() const { return BandAlignValue; }
    void SetBandAlign(bool on);
    bool Enabled() const { return EnabledValue; }
    void SetEnabled(bool on) { EnabledValue = on; }

    // False while a text that spilled over still has lines to print.
    bool PrintFinished() const { return Finished; }
    bool Printing() const { return IsPrinting; }

    // The run's steps: prepare at the start of a run, print at the band's
    // position (x0, y0 in tenths on the page), unprepare at the end.
    virtual void Prepare(TRpReportRun& run);
    virtual void Print(TRpPrintContext& context, double x0, double y0) = 0;
    virtual void Unprepare();
    // How far a spilled print has come (the next line to print); the run
    // stops continuing a print that makes no progress on a fresh page.
    virtual int PrintPosition() const { return 0; }

protected:
    // Called after the box was set from outside; labels lay their text out
    // again.
    virtual void BoundsChanged();
    // Moves the box to the band's edge or centre when band alignment is on.
    void ApplyBandAlign();
    double PixelsToTenths(int pixels) const;
    int TenthsToPixels(double tenths) const;

    TRpSize Box;
    bool Finished = true;
    bool IsPrinting = false;
    // Set while the box is being set from outside (auto-size holds back).
    bool UpdatingBounds = false;

private:
    friend class TRpCustomBand;
    friend class TRpCustomReport;
    friend class TRpReportRun;

    TRpCustomBand* OwnerBand = nullptr;
    TRpCustomReport* OwnerReport = nullptr;
    double ScreenDpi;
    TRpFrame FrameValue;
    QColor ColorValue = Qt::white;
    TAlignment AlignmentValue = TAlignment::Left;
    bool BandAlignValue = false;
    bool EnabledValue = true;
};

class TRpCustomLabel : public TRpPrintable {
    Q_OBJECT

public:
    explicit TRpCustomLabel(QObject* parent = nullptr);

    // Setting the caption also sets the print text and lays the text out.
    QString Caption() const { return CaptionText; }
    void SetCaption(const QString& caption);
    // The text of the current print (the caption, or the printable's value).
    QString PrintText() const { return PrintTextValue; }
    // Memo text (also the value of memo and binary fields).
    const QStringList& Lines() const { return LinesValue; }
    void SetLines(const QStringList& lines);
    // The result of the last layout.
    const QStringList& FormattedLines() const { return Formatted; }
    // Index of the next formatted line to print.
    int CurrentLine() const { return LineIndex; }

    bool AutoSize() const { return AutoSizeValue; }
    void SetAutoSize(bool on);
    bool AutoStretch() const { return AutoStretchValue; }
    void SetAutoStretch(bool on) { AutoStretchValue = on; }
    bool WordWrap() const { return WordWrapValue; }
    void SetWordWrap(bool on);
    bool Transparent() const { return TransparentValue; }
    void SetTransparent(bool on) { TransparentValue = on; }

    // The font: the report's font while ParentFont is on (the default);
    // setting a font or a size turns ParentFont off.
    QFont Font() const;
    void SetFont(const QFont& font);
    bool ParentFont() const { return ParentFontValue; }
    void SetParentFont(bool on);
    int FontSize() const { return Font().pointSize(); }
    void SetFontSize(int points);
    QColor FontColor() const { return FontColorValue; }
    void SetFontColor(const QColor& color) { FontColorValue = color; }

    // Lays the text out in lines within the box (see the .cpp for the
    // rules); with AutoSize the box takes the width of the text.
    void FormatLines();

    TRpLabelOnPrintEvent OnPrint;

    void Prepare(TRpReportRun& run) override;
    void Print(TRpPrintContext& context, double x0, double y0) override;
    int PrintPosition() const override { return LineIndex; }

protected:
    void BoundsChanged() override;
    // The shared print step of every label-like printable.
    void PrintLines(TRpPrintContext& context, double x0, double y0);
    const TRpFontMetrics& Metrics() const;

    // Caption-based printables lay out the print text; the others (memo, data
    // text of a memo field) their Lines.
    bool CaptionBased = true;
    bool UseLines = false;
    // A memo with AutoSize takes its lines as they are.
    bool MemoLines = false;
    QString CaptionText;
    QString PrintTextValue;
    QStringList LinesValue;

private:
    void WrapParagraph(QStringView paragraph, double available, const TRpFontMetrics& m);
    void AddParagraphs(const QString& source, double available, const TRpFontMetrics& m);

    QStringList Formatted;
    int LineIndex = 0;
    bool AutoSizeValue = true;
    bool AutoStretchValue = false;
    bool WordWrapValue = true;
    bool TransparentValue = false;
    bool ParentFontValue = true;
    QFont OwnFont;
    QColor FontColorValue = Qt::black;
    // The last font measured and its metrics.
    mutable QFont MeasuredFont;
    mutable const TRpFontMetrics* MeasuredMetrics = nullptr;
};
