#include "RpSpravkaUnit.h"

TRpSpravkaForm::TRpSpravkaForm(QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("RpSpravkaForm"));
    qrDATA = new TQuery(this);
    qrDATA->setObjectName(QStringLiteral("qrDATA"));
    for (int i = 0; i < 40; ++i)
        Totals << QString();
}

TRpSpravkaForm::~TRpSpravkaForm() = default;

// The report layout is built with the report engine; until then the output
// commands do nothing.
void TRpSpravkaForm::Generate(TReportSource&) {}
void TRpSpravkaForm::PreviewSequence(TReportSource&) {}
void TRpSpravkaForm::PrintSequence(TReportSource&) {}
void TRpSpravkaForm::ExportSequence(TReportSource&, const QString&) {}
