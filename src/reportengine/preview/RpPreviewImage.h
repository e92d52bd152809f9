#pragma once
// One page of a report at a zoom: a white sheet with the recorded page drawn
// over it, a black frame and a two-pixel shadow along the right and bottom.

#include "RpPrinter.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QPicture;

class TRpPreviewImage : public QWidget {
    Q_OBJECT

public:
    // Paper of the sheet when there is no printer object: A4, upright.
    static constexpr int DefaultPaperWidth = 2100;
    static constexpr int DefaultPaperLength = 2970;

    explicit TRpPreviewImage(QWidget* parent = nullptr);
    ~TRpPreviewImage() override;

    TRpPrinter* Printer() const { return PrinterObject; }
    void SetPrinter(TRpPrinter* printer);
    int Zoom() const { return ZoomPercent; }
    void SetZoom(int zoom);
    int PageNumber() const { return Page; }
    bool HasPage() const { return bool(Picture); }
    // Fetches page n from the printer object (freeing the page shown);
    // raises Exception when the stored page cannot be read.
    void LoadPage(int n);
    void ClearPage();
    // The paper in screen pixels at 100 %.
    QSizeF PaperPixels() const;
    // The sheet in pixels at the current zoom (the widget adds 4 for the
    // frame and shadow).
    QSize SheetSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<TRpPrinter> PrinterObject;
    int ZoomPercent = 100;
    int Page = 1;
    std::unique_ptr<QPicture> Picture;
};
