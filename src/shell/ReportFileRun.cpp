#include "ReportFileRun.h"

#include "Exception.h"
#include "RpPrinter.h"
#include "RpTextIndex.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void OpenReport(TRpPrinter& printer, const QString& fileName) {
    if (!QFileInfo(fileName).isFile())
        throw Exception(
            QStringLiteral("File does not exist: %1").arg(QDir::toNativeSeparators(fileName)));
    printer.OpenReportFile(fileName);
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "vexal: %s\n", text.toUtf8().constData());
}

} // namespace

QStringList FindInReport(const QString& fileName, const QString& text) {
    TRpPrinter printer;
    OpenReport(printer, fileName);
    // A file without an index (or with a damaged one) is read page by page.
    while (printer.IndexPending())
        printer.IndexPages(200);
    const TRpTextIndex& index = printer.TextIndex();
    const QString needle = TRpTextIndex::Fold(text);
    QStringList lines;
    int lastPage = 0;
    for (const quint32 at : index.FindAll(text, false)) {
        const int page = index.MatchAt(at, int(needle.size())).Page;
        if (page == lastPage)
            continue;
        lastPage = page;
        // The page's lines in reading order; a line is listed when one of
        // its items holds the text (never a text made of two items).
        for (const QString& line : index.ReadingText(page).split(u'\n', Qt::SkipEmptyParts)) {
            for (const QString& item : line.split(u'\t')) {
                if (TRpTextIndex::Fold(item).contains(needle)) {
                    lines.append(QStringLiteral("page %1: %2").arg(page).arg(line));
                    break;
                }
            }
        }
    }
    return lines;
}

int FindInReportFile(const QString& fileName, const QString& text) {
    try {
        const QStringList lines = FindInReport(fileName, text);
        for (const QString& line : lines)
            std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
        return lines.isEmpty() ? FindNotFound : FindFound;
    } catch (const Exception& e) {
        PrintError(e.message());
        return FindError;
    }
}

int ConvertReportFile(const QString& fileName, const QString& pdfFile) {
    try {
        TRpPrinter printer;
        OpenReport(printer, fileName);
        printer.SavePdf(pdfFile);
        return 0;
    } catch (const Exception& e) {
        PrintError(e.message());
        return 1;
    }
}
