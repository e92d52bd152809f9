#include "RpBand.h"

#include "RpCustomReport.h"
#include "RpPrintable.h"
#include "RpUnits.h"

TRpCustomBand::TRpCustomBand(QObject* parent, TRpBandType kind)
    : Kind(kind), ScreenDpi(RpScreenDpi()) {
    if (auto* report = qobject_cast<TRpCustomReport*>(parent)) {
        report->AddBand(this);
        WidthValue = report->Page().PrintableWidth();
    } else if (auto* band = qobject_cast<TRpCustomBand*>(parent)) {
        // A band owned by another one (a child band, a group footer).
        setParent(band);
        OwnerReport = band->Report();
        WidthValue = band->WidthTenths();
        if (kind == rbChild && !band->Child) {
            Parent = band;
            band->Child = this;
        }
    } else {
        setParent(parent);
        WidthValue = 1900;
    }
    HeightValue = 100;
}

TRpCustomBand::~TRpCustomBand() {
    // Printables and the child band go first, while the lists they leave
    // still exist.
    const QList<TRpPrintable*> items = Items;
    Items.clear();
    for (TRpPrintable* item : items) {
        item->OwnerBand = nullptr;
        delete item;
    }
    delete Child;
    Child = nullptr;
    if (Parent && Parent->Child == this)
        Parent->Child = nullptr;
    if (OwnerReport)
        OwnerReport->RemoveBand(this);
}

void TRpCustomBand::SetWidthTenths(double tenths) {
    WidthValue = tenths;
}

int TRpCustomBand::Height() const {
    const int zoom = OwnerReport ? OwnerReport->Zoom() : 100;
    return qRound(RpTenthsToPixels(HeightValue, ScreenDpi, zoom));
}

int TRpCustomBand::Width() const {
    const int zoom = OwnerReport ? OwnerReport->Zoom() : 100;
    return qRound(RpTenthsToPixels(WidthValue, ScreenDpi, zoom));
}

void TRpCustomBand::SetHeight(int pixels) {
    const int zoom = OwnerReport ? OwnerReport->Zoom() : 100;
    HeightValue = RpPixelsToTenths(pixels, ScreenDpi, zoom);
}

void TRpCustomBand::SetWidth(int pixels) {
    const int zoom = OwnerReport ? OwnerReport->Zoom() : 100;
    SetWidthTenths(RpPixelsToTenths(pixels, ScreenDpi, zoom));
}

void TRpCustomBand::SetHasChild(bool on) {
    if (on == HasChild())
        return;
    if (on) {
        new TRpChildBand(this);
    } else {
        TRpCustomBand* child = Child;
        Child = nullptr;
        delete child;
    }
}

void TRpCustomBand::AddPrintable(TRpPrintable* printable) {
    if (!printable || printable->OwnerBand == this)
        return;
    if (printable->OwnerBand)
        printable->OwnerBand->RemovePrintable(printable);
    if (printable->OwnerReport)
        printable->OwnerReport->RemovePrintable(printable);
    printable->setParent(this);
    printable->OwnerBand = this;
    Items.append(printable);
}

void TRpCustomBand::RemovePrintable(TRpPrintable* printable) {
    if (Items.removeOne(printable))
        printable->OwnerBand = nullptr;
}

TRpBand::TRpBand(QObject* parent, TRpBandType kind) : TRpCustomBand(parent, kind) {}

TRpChildBand::TRpChildBand(TRpCustomBand* parentBand) : TRpBand(parentBand, rbChild) {}

TRpGroup::TRpGroup(QObject* parent)
    : TRpBand(parent, rbGroupHeader), Footer(new TRpBand(this, rbGroupFooter)) {
    Footer->setObjectName(QStringLiteral("GroupFooter"));
}

TRpSubDetail::TRpSubDetail(QObject* parent) : TRpBand(parent, rbSubDetail) {}
