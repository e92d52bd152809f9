#include "RpReportFunctions.h"

#include "RpCustomReport.h"
#include "RpPrinter.h"
#include "RpStandardPreview.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

#include <memory>

namespace {

// A new printer object for the report, replacing one that no preview shows.
TRpPrinter* NewPrinter(TRpCustomReport* report) {
    if (TRpPrinter* old = report->Printer(); old && !old->Client())
        report->ReleasePrinter();
    auto* printer = new TRpPrinter(report);
    printer->SetTitle(report->ReportTitle());
    printer->SetCollectText(report->IndexText());
    printer->SetPdfOutput(report->PdfOutput());
    report->SetPrinter(printer);
    return printer;
}

} // namespace

void PrepareReport(TRpCustomReport* report) {
    if (!report || report->Busy())
        return;
    // No master: the recorded pages are the prepared report, and printing
    // them prints these pages instead of running the report again.
    TRpPrinter* printer = NewPrinter(report);
    report->Run(printer);
}

void PrepareReportTotalsOnly(TRpCustomReport* report) {
    if (!report || report->Busy())
        return;
    const bool draw = report->DrawPages();
    report->SetDrawPages(false);
    struct Restore {
        TRpCustomReport* Report;
        bool Draw;
        ~Restore() { Report->SetDrawPages(Draw); }
    } restore{report, draw};
    PrepareReport(report);
}

void PreviewReport(TRpCustomReport* report) {
    QCoreApplication::processEvents();
    if (!report || report->Busy())
        return;
    QPointer<TRpCustomReport> guard(report);
    QPointer<TRpPrinter> printer = NewPrinter(report);
    printer->SetMaster(report);
    // Shared with the connection, which outlives this call when the
    // application quits with the preview still open.
    auto closed = std::make_shared<bool>(false);
    QObject::connect(printer, &TRpPrinter::printRequested, report,
                     [report, printer] { report->PrinterPrintRequested(printer); });
    QObject::connect(printer, &TRpPrinter::previewClosed, report,
                     [report, closed](TRpPrinter* sender) {
                         *closed = true;
                         report->PrinterPreviewClosed(sender);
                     });
    if (report->OnPreview)
        report->OnPreview(report);
    QPointer<TRpStandardPreview> window = TRpStandardPreview::ShowPreviewWindow(printer);
    window->MasterBusy = [guard] { return guard && guard->Busy(); };
    report->Run(printer);
    if (!guard)
        return;
    if (printer && (report->Cancelled() || *closed || !window)) {
        // A cancelled run, or the window went away while the report ran:
        // the printer object goes at once.
        QObject::disconnect(printer, nullptr, report, nullptr);
        if (window)
            window->close();
        if (report->Printer() == printer)
            report->SetPrinter(nullptr);
        delete printer.data();
    } else if (printer && window) {
        QEventLoop loop;
        QObject::connect(printer, &TRpPrinter::previewClosed, &loop, &QEventLoop::quit);
        QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &loop,
                         &QEventLoop::quit);
        loop.exec();
    }
    if (guard && report->AfterPreview)
        report->AfterPreview(report);
}

void PrintPreparedPages(TRpPrinter* printer) {
    if (printer)
        printer->PrintPreparedPages();
}
