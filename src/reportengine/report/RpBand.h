#pragma once
// Bands: horizontal strips of a report, printed by kind (title, headers,
// one detail band per data row, footers, summary). A band created with a
// report as its parent joins the report's band list, after the bands already
// there; a band's printables are the printables created with it as parent.
//
// Height and width are stored in tenths of a millimetre; the pixel accessors
// convert as for printables.

#include "RpFrame.h"
#include "RpTypes.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>

class TDataSet;
class TRpController;
class TRpPrintable;

class TRpCustomBand : public QObject {
    Q_OBJECT

public:
    TRpCustomBand(QObject* parent, TRpBandType kind);
    ~TRpCustomBand() override;

    TRpBandType BandType() const { return Kind; }
    void SetBandType(TRpBandType kind) { Kind = kind; }
    TRpCustomReport* Report() const { return OwnerReport; }
    double Dpi() const { return ScreenDpi; }

    // Size in tenths of a millimetre.
    double HeightTenths() const { return HeightValue; }
    double WidthTenths() const { return WidthValue; }
    void SetHeightTenths(double tenths) { HeightValue = tenths; }
    void SetWidthTenths(double tenths);
    // Size in pixels (converted at once; read back rounded).
    int Height() const;
    int Width() const;
    void SetHeight(int pixels);
    void SetWidth(int pixels);

    bool Enabled() const { return EnabledValue; }
    void SetEnabled(bool on) { EnabledValue = on; }
    bool ForceNewPage() const { return ForceNewPageValue; }
    void SetForceNewPage(bool on) { ForceNewPageValue = on; }
    bool ForceNewColumn() const { return ForceNewColumnValue; }
    void SetForceNewColumn(bool on) { ForceNewColumnValue = on; }
    // Bottom alignment: the band prints right above the page footers.
    bool AlignBottom() const { return AlignBottomValue; }
    void SetAlignBottom(bool on) { AlignBottomValue = on; }
    // Background; a transparent colour fills nothing.
    QColor Color() const { return ColorValue; }
    void SetColor(const QColor& color) { ColorValue = color; }
    TRpFrame& Frame() { return FrameValue; }
    const TRpFrame& Frame() const { return FrameValue; }

    // A child band prints right after this band (as a page footer when this
    // is one). Turning HasChild on creates it; off deletes it.
    bool HasChild() const { return Child != nullptr; }
    void SetHasChild(bool on);
    TRpCustomBand* ChildBand() const { return Child; }
    // The band this child band belongs to, or nullptr.
    TRpCustomBand* ParentBand() const { return Parent; }
    // A band that must fit on the page together with this one.
    TRpCustomBand* LinkBand() const { return Link; }
    void SetLinkBand(TRpCustomBand* band) { Link = band; }

    const QList<TRpPrintable*>& Printables() const { return Items; }
    // Places a printable on this band (it becomes the printable's parent).
    void AddPrintable(TRpPrintable* printable);
    void RemovePrintable(TRpPrintable* printable);

    // How much stretching printables have grown the band in the piece being
    // printed (tenths).
    double ExtraHeight() const { return Extra; }

    TRpBandBeforePrintEvent BeforePrint;
    TRpBandAfterPrintEvent AfterPrint;

private:
    friend class TRpCustomReport;
    friend class TRpReportRun;

    TRpBandType Kind;
    TRpCustomReport* OwnerReport = nullptr;
    TRpCustomBand* Parent = nullptr;
    TRpCustomBand* Child = nullptr;
    QPointer<TRpCustomBand> Link;
    double ScreenDpi;
    double HeightValue = 0;
    double WidthValue = 0;
    bool EnabledValue = true;
    bool ForceNewPageValue = false;
    bool ForceNewColumnValue = false;
    bool AlignBottomValue = false;
    QColor ColorValue = Qt::white;
    TRpFrame FrameValue;
    QList<TRpPrintable*> Items;
    // Run state.
    double Extra = 0;
    TRpController* Notify = nullptr; // the controller whose aggregates see this band
};

class TRpBand : public TRpCustomBand {
    Q_OBJECT
public:
    explicit TRpBand(QObject* parent, TRpBandType kind = rbDetail);
};

// The band printed after another one; created by SetHasChild.
class TRpChildBand : public TRpBand {
    Q_OBJECT
public:
    explicit TRpChildBand(TRpCustomBand* parentBand);
};

// A group: this band is the group's header, printed when the value of
// Expression changes (and before the first row); FooterBand is printed after
// the group's last row. Groups nest in the order of the report's band list,
// the first being the outermost.
class TRpGroup : public TRpBand {
    Q_OBJECT
public:
    explicit TRpGroup(QObject* parent);

    QString Expression() const { return ExpressionText; }
    void SetExpression(const QString& expression) { ExpressionText = expression; }
    TRpCustomBand* FooterBand() const { return Footer; }
    // Print the header again at the top of every new page or column.
    bool ReprintHeader() const { return Reprint; }
    void SetReprintHeader(bool on) { Reprint = on; }

private:
    QString ExpressionText;
    TRpCustomBand* Footer;
    bool Reprint = false;
};

// A sub-detail: the rows of another data set, printed before or after each
// row of the report's data set. This band is printed once per sub-detail
// row; the optional header and footer bands around them.
class TRpSubDetail : public TRpBand {
    Q_OBJECT
public:
    explicit TRpSubDetail(QObject* parent);

    TDataSet* DataSet() const { return Data; }
    void SetDataSet(TDataSet* dataSet) { Data = dataSet; }
    bool PrintBefore() const { return Before; }
    void SetPrintBefore(bool on) { Before = on; }
    bool PrintIfEmpty() const { return IfEmpty; }
    void SetPrintIfEmpty(bool on) { IfEmpty = on; }
    TRpCustomBand* HeaderBand() const { return Header; }
    void SetHeaderBand(TRpCustomBand* band) { Header = band; }
    TRpCustomBand* FooterBand() const { return Footer; }
    void SetFooterBand(TRpCustomBand* band) { Footer = band; }
    // Asked for more rows when there is no data set.
    TRpNeedDataEvent OnNeedData;

private:
    QPointer<TDataSet> Data;
    QPointer<TRpCustomBand> Header;
    QPointer<TRpCustomBand> Footer;
    bool Before = false;
    bool IfEmpty = false;
};
