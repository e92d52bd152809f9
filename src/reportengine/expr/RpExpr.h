#pragma once
// The report expression evaluator: values, compiled queues, named values,
// built-in functions and aggregates.
//
// Typical use by a printable:
//   TRpEvaluator evaluator;
//   evaluator.SetSearchDataSets(reportDataSets);
//   evaluator.SetLocalEnvironment(&reportEnvironment);
//   evaluator.Compile(QStringLiteral("'Стр. ' + PAGENUMBER"));
//   QString text = EvalResultText(evaluator.Compute(), mask);

#include "RpElements.h"
#include "RpEnvironment.h"
#include "RpEvalResult.h"
#include "RpEvaluator.h"
#include "RpFunctions.h"

// Fills the function registry and the global environment (once); the report
// engine calls it when it starts so that "AppStartTime" and "AppStartDate"
// hold that moment. Both are also filled on first use.
void StartExpressionEngine();
