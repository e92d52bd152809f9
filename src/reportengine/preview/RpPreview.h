#pragma once
// The scrolling control of the preview: one page image, zoomed (2-2000 %,
// fit to the control or to its width) and centred while smaller than the
// control. It follows a printer object's pages as the run produces them: the
// first page is shown, at page width, as soon as it is complete.

#include "RpPrinter.h"

#include <QAbstractScrollArea>
#include <QPointer>

#include <functional>

class TRpPreviewImage;

class TRpPreview : public QAbstractScrollArea {
    Q_OBJECT

public:
    enum TZoomState { ZoomFit = 0, ZoomWidth = 1, ZoomOther = 2 };
    static constexpr int MinZoom = 2;
    static constexpr int MaxZoom = 2000;

    explicit TRpPreview(QWidget* parent = nullptr);
    ~TRpPreview() override;

    // Shows the pages of printer (and becomes its client).
    void SetPrinter(TRpPrinter* printer);
    TRpPrinter* Printer() const { return PrinterObject; }
    TRpPreviewImage* Image() const { return PageImage; }

    int Zoom() const { return ZoomPercent; }
    TZoomState ZoomState() const { return State; }
    int PageNumber() const { return Page; }

    // Values outside MinZoom..MaxZoom are ignored.
    void SetZoom(int zoom);
    void ZoomToFit();
    void ZoomToWidth();
    // Ignored when n is the page shown, n <= 0, there is no printer object, or
    // n is beyond its page count.
    void SetPageNumber(int n);
    // Shows page 1 afresh (after a report file was opened).
    void ShowFirstPage();
    void Relayout();

    // Called after a page-ready notice, with the count of ready pages.
    std::function<void(int)> OnPageReady;
    // Called with the run's progress in percent.
    std::function<void(int)> OnProgress;
    // Called with the message of a page that could not be read.
    std::function<void(const QString&)> OnError;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void PrinterPageReady(int readyPages);
    void PrinterProgress(int percent);
    void LoadPage(int n);
    QSizeF PaperPixels() const;
    void UpdateScrollBars();
    void PlaceImage();

    QPointer<TRpPrinter> PrinterObject;
    TRpPreviewImage* PageImage;
    int ZoomPercent = 100;
    TZoomState State = ZoomOther;
    int Page = 1;
};
