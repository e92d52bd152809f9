#pragma once
// The inquiry scenarios run against every backend: each composes an inquiry
// on the demo catalogue through the inquiry's own operations, as a user
// would in the window.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class TInquiry;

struct TScenario {
    const char* Name;
    std::function<void(TInquiry&)> Compose;
};

// The main scenarios: a subject with its defaults, a join, grouping with
// HAVING, a variable column, a date condition, LIKE on Cyrillic text, a
// grouped subject.
const std::vector<TScenario>& Scenarios();

// What one run of a scenario gave.
struct TScenarioResult {
    QStringList Sql;         // the composed statement
    QStringList Rows;        // display texts of every field, "|" between them
    QStringList OrderKeys;   // display texts of the ORDER BY columns, in row order
    QStringList Messages;    // message boxes shown
    double Milliseconds = 0; // median run time of the inquiry ("Справка")
};

// Runs a scenario on the session database ("restdata"), the inquiry run
// repeated to time it; afterRun, when given, sees the inquiry with its result.
TScenarioResult RunScenario(const TScenario& scenario, int repeats = 3,
                            const std::function<void(TInquiry&)>& afterRun = {});

// Exports the inquiry's result to a text file as the export button does,
// with the scenario's name as the title; returns the file's MD5 in hex, or
// the failure text.
QString ExportResult(TInquiry& inquiry, const QString& title, const QString& fileName);
