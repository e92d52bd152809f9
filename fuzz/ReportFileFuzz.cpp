// The report-file reader: any bytes opened as a saved report, then every
// page fetched and played onto an image as the preview and the printer
// would play it, so Qt's picture player sees the file's pages too.

#include "Exception.h"
#include "FuzzTargets.h"
#include "RpPrinter.h"

#include <QImage>
#include <QPainter>
#include <QPicture>

namespace Fuzz {

void ReportFile(const std::uint8_t* data, std::size_t size) {
    const QString path = ScratchFile(QStringLiteral("report.rpmf"), Bytes(data, size));
    TRpPrinter printer;
    try {
        printer.OpenReportFile(path);
        for (int n = 1; n <= printer.PageCount(); ++n) {
            std::unique_ptr<QPicture> page = printer.PageImage(n);
            if (!page)
                __builtin_trap(); // a page within the count is there or raises
            // A small image keeps each run fast; the player does the same work
            // for every page command whatever the target's size.
            QImage image(120, 170, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter painter(&image);
            TRpPrinter::DrawPage(painter, *page, QRectF(image.rect()));
        }
        // Outside the pages there is nothing, and asking does no harm.
        if (printer.PageImage(0) || printer.PageImage(printer.PageCount() + 1))
            __builtin_trap();
    } catch (const Exception&) {
    }
}

} // namespace Fuzz
