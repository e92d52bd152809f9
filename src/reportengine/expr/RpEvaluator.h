#pragma once
// An expression compiled once into a queue of elements and computed as often
// as the report needs. Compilation never fails (problems become error
// elements); computation never raises except for an uncompiled evaluator.

#include "Exception.h"
#include "RpElements.h"

#include <QList>
#include <QString>
#include <memory>

class TDataSet;
class TRpEvEnvironment;

class TRpEvaluator {
public:
    TRpEvaluator();
    ~TRpEvaluator();
    TRpEvaluator(const TRpEvaluator&) = delete;
    TRpEvaluator& operator=(const TRpEvaluator&) = delete;

    // Data sets whose fields the expression may name (not owned); set before
    // Compile.
    QList<TDataSet*> SearchDataSets() const { return DataSets; }
    void SetSearchDataSets(const QList<TDataSet*>& dataSets) { DataSets = dataSets; }
    // Named values looked up before the global environment (not owned).
    TRpEvEnvironment* LocalEnvironment() const { return Local; }
    void SetLocalEnvironment(TRpEvEnvironment* environment) { Local = environment; }

    // Compiles the expression (an empty one as a one-blank text), replacing a
    // previous compiled form; holds a prepare of the global environment.
    void Compile(const QString& expression);
    // Frees the compiled form and releases the global environment.
    void Discard();
    bool Compiled() const { return IsCompiled; }
    QString Expression() const { return Source; }

    // Raises Exception "Evaluator not prepared" when not compiled.
    EvalResult Compute();
    // Resets the running totals of every aggregate.
    void ClearTotals();
    // Computes once in aggregate mode, so that aggregates see the current record.
    void Accumulate();
    bool HasAggregates() const;
    // First element of the compiled queue, or nullptr.
    TRpEvElement* FirstElement() const;

private:
    QList<TDataSet*> DataSets;
    TRpEvEnvironment* Local = nullptr;
    std::unique_ptr<TRpFiFo> Queue;
    QString Source;
    bool IsCompiled = false;
    bool HoldsGlobal = false; // this evaluator counted a prepare of the global environment
};
