#pragma once
// The report-level operations: prepare a report into a new printer object,
// preview it, print prepared pages.

class TRpCustomReport;
class TRpPrinter;

// Runs the report once into a new printer object (recorded pages, nothing
// shown) and returns when the run is complete. The printer object becomes
// the report's Printer(); the caller releases it (ReleasePrinter). Does
// nothing while the report is busy. A printer object left from an earlier
// prepare that no preview shows is released first.
void PrepareReport(TRpCustomReport* report);

// Like PrepareReport, but the run only computes: every event, value and
// total is as in a full run, nothing is drawn and no page is stored. For
// callers that need only the print events (column totals).
void PrepareReportTotalsOnly(TRpCustomReport* report);

// Opens the preview window on a new printer object, runs the report into it
// and handles window messages until the preview has been closed or the
// application quits. The preview releases its printer object when it
// closes; a cancelled run releases it at once. Does nothing while the report
// is busy.
void PreviewReport(TRpCustomReport* report);

// Prints the recorded pages of a prepared printer object with the report's
// printer settings (all pages, or the first to last page of the settings).
// A printer object of a preview asks its report to run again towards the
// printer.
void PrintPreparedPages(TRpPrinter* printer);
