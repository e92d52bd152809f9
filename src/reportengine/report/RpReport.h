#pragma once
// The report engine: the report component with its bands and printables,
// the report-level operations, and the pieces they build on (expression
// evaluator, printer object, preview).
//
// A report built in code:
//   auto* report = new TRpReport(owner);
//   report->SetDataSet(query);
//   auto* detail = new TRpBand(report, rbDetail);
//   auto* text = new TRpDBText(detail);
//   text->setObjectName(QStringLiteral("RpDBText1"));
//   text->SetDataField(QStringLiteral("Name"));
//   PreviewReport(report);

#include "RpBand.h"
#include "RpCustomReport.h"
#include "RpExpr.h"
#include "RpFrame.h"
#include "RpLabels.h"
#include "RpPrintable.h"
#include "RpPrinter.h"
#include "RpReportFunctions.h"
#include "RpRunObserver.h"
#include "RpShape.h"
#include "RpStandardPreview.h"
#include "RpTypes.h"
#include "RpUnits.h"
