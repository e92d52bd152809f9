#pragma once
// The report template every inquiry window owns. It owns the inquiry's
// result query qrDATA, which the window's result grid shows and the report
// prints, and it turns the window's current state into a printed report
// before every preview, print and export.

#include "Query.h"

#include <QObject>
#include <QStringList>

class TDBGrid;

// What report generation reads from an inquiry window. The inquiry window
// implements it; a report never reaches into the window otherwise.
class TReportSource {
public:
    virtual ~TReportSource() = default;
    virtual QString ReportTitle() const = 0;        // the title edit (edTitle)
    virtual bool RowNumbersOn() const = 0;          // "Номерация на редовете" (cbRowNumbers)
    virtual TDBGrid* ResultGrid() const = 0;        // the result grid (DataGrid)
    virtual QStringList ConditionLines() const = 0; // the readable conditions (RelationsBG)
    virtual TQuery* Catalogue() const = 0;          // the subject's columns (qrCol)
    virtual bool IsModified() const = 0;            // the inquiry changed since it last ran
    virtual void RunInquiryForReport() = 0;         // runs it with the window as sender
    virtual QStringList ReportOptions() const = 0;  // name=value lines of the options row
};

class TRpSpravkaForm : public QObject {
    Q_OBJECT
public:
    explicit TRpSpravkaForm(QObject* owner = nullptr);
    ~TRpSpravkaForm() override;

    TQuery* qrDATA = nullptr;

    // The texts the 40 column totals printed in the last run.
    QStringList Totals;

    // Lays the template out from the window's current state.
    void Generate(TReportSource& window);

    // The window's output commands. Preview returns when the preview closes;
    // export writes to fileName, or asks for a file when it is empty.
    void PreviewSequence(TReportSource& window);
    void PrintSequence(TReportSource& window);
    void ExportSequence(TReportSource& window, const QString& fileName = QString());
};
