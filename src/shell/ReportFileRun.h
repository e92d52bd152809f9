#pragma once
// Command-line work on saved report files, for those who keep report
// archives: finding text in one and writing one as a PDF. Both go through
// the preview's own pieces: the report file is opened as the preview's Load
// opens it, searched through the page store's text index (rebuilt from the
// pages when the file has none) and written by the preview's PDF writer. No
// window appears; messages go to standard error.

#include <QString>
#include <QStringList>

// Exit statuses of --find: found, not found, the file could not be read.
inline constexpr int FindFound = 0;
inline constexpr int FindNotFound = 1;
inline constexpr int FindError = 2;

// The lines of fileName's pages that hold text (case ignored), each as
// "page N: line" with the line's items in reading order, separated by tabs.
// Raises Exception when the file cannot be read.
QStringList FindInReport(const QString& fileName, const QString& text);

// --find: prints FindInReport's lines; FindFound, FindNotFound or FindError.
// Needs a QGuiApplication.
int FindInReportFile(const QString& fileName, const QString& text);

// --convert: writes the report file as the PDF pdfFile (replaced only when
// written whole); 0, or 1 with the message on standard error. Needs a
// QGuiApplication.
int ConvertReportFile(const QString& fileName, const QString& pdfFile);
