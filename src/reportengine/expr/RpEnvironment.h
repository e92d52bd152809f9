#pragma once
// Named expressions that other expressions refer to by name: the report's own
// values (PAGENUMBER, COLUMNNUMBER, REPORTTITLE) and the process-wide ones.

#include "RpEvaluator.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class TDataSet;

// One named expression with its own evaluator.
class TRpEvEmbeddedFunction {
public:
    QString Expression;
    TRpEvaluator Evaluator;
    bool InComputation = false;

    // The expression's value; "Recursive calls not allowed" while it is already
    // being computed, "Evaluator not prepared" while it is not compiled.
    EvalResult ComputeValue();
};

class TRpEvEnvironment {
public:
    TRpEvEnvironment() = default;
    ~TRpEvEnvironment();
    TRpEvEnvironment(const TRpEvEnvironment&) = delete;
    TRpEvEnvironment& operator=(const TRpEvEnvironment&) = delete;

    // Adds the name (stored upper-cased) or gives it a new expression; while
    // the environment is prepared the entry is compiled at once.
    void DefineName(const QString& name, const QString& expression);
    void RemoveName(const QString& name);
    bool Contains(const QString& name) const { return IndexOf(name) >= 0; }
    int Count() const { return int(Entries.size()); }
    QStringList Names() const;       // upper-cased, in definition order
    QStringList Expressions() const; // in the same order
    QString ExpressionOf(const QString& name) const;

    // A wrapper element for the name, or an error element "Unknown function : "
    // with the name as written.
    std::unique_ptr<TRpEvElement> ElementFor(const QString& name) const;
    // The first element of the name's compiled queue, or nullptr. The pointer
    // stays valid until the entry is compiled again, removed or unprepared.
    TRpEvElement* FirstElementOf(const QString& name) const;
    // Set the value of a constant (PutInteger, PutValue) or text element
    // (PutText, PutValue with a text) that FirstElementOf gave; false when the
    // element is not such an element of this environment.
    bool PutInteger(TRpEvElement* element, qint32 value);
    bool PutText(TRpEvElement* element, const QString& text);
    bool PutValue(TRpEvElement* element, const EvalResult& value);
    // Value of a name; error kind when the name is unknown.
    EvalResult ValueOfName(const QString& name) const;

    // Counted: the first prepare compiles every entry with the environment's
    // data sets and the environment itself as local environment; the last
    // unprepare discards them. Prepare returns whether it was counted (a
    // prepare nested inside the environment's own compiling is not).
    bool Prepare();
    void Unprepare();
    bool Prepared() const { return PrepareCount > 0; }
    int PrepareLevel() const { return PrepareCount; }

    QList<TDataSet*> DataSets() const { return EnvDataSets; }
    void SetDataSets(const QList<TDataSet*>& dataSets) { EnvDataSets = dataSets; }

private:
    struct Entry {
        QString Name; // upper-cased
        std::shared_ptr<TRpEvEmbeddedFunction> Function;
    };

    int IndexOf(const QString& name) const;
    void CompileEntry(Entry& entry);
    bool OwnsElement(const TRpEvElement* element) const;

    std::vector<Entry> Entries;
    QList<TDataSet*> EnvDataSets;
    int PrepareCount = 0;
    bool Busy = false; // compiling or discarding the entries
};

// Defines the names every report's own environment holds: "PAGENUMBER" and
// "COLUMNNUMBER" as "0" and "REPORTTITLE" as "''"; the report run sets their
// values through FirstElementOf with PutInteger and PutText.
void DefineReportNames(TRpEvEnvironment& environment);

// The application's title as the user sees it ("SQL Vexal"): the display
// name of a widget application, else the application name.
QString ApplicationTitleText();

// The process-wide environment with "AppStartTime", "AppStartDate" and
// "AppName" (each a quoted text literal), filled on first use.
TRpEvEnvironment& GlobalEnvironment();
