#include "RpEvaluator.h"

#include "Exception.h"
#include "RpCompiler_p.h"
#include "RpEnvironment.h"

TRpEvaluator::TRpEvaluator() = default;

TRpEvaluator::~TRpEvaluator() {
    Discard();
}

void TRpEvaluator::Compile(const QString& expression) {
    Discard();
    HoldsGlobal = GlobalEnvironment().Prepare();
    Source = expression;
    Queue = std::make_unique<TRpFiFo>();
    TRpCompiler compiler(*Queue, DataSets, Local);
    compiler.Compile(expression.isEmpty() ? QStringLiteral("' '") : expression);
    IsCompiled = true;
}

void TRpEvaluator::Discard() {
    Queue.reset();
    if (HoldsGlobal) {
        HoldsGlobal = false;
        GlobalEnvironment().Unprepare();
    }
    IsCompiled = false;
}

EvalResult TRpEvaluator::Compute() {
    if (!IsCompiled || !Queue)
        throw Exception(QString::fromLatin1(RpExprMessages::NotPrepared));
    Queue->Start();
    TRpEvElement* first = Queue->Next();
    if (!first)
        return EvalResult::FromError(RpExprMessages::ErrorInExpression(QString()));
    return first->Value(*Queue);
}

void TRpEvaluator::ClearTotals() {
    if (!Queue)
        return;
    for (int i = 0; i < Queue->Count(); ++i)
        Queue->At(i)->Reset();
}

void TRpEvaluator::Accumulate() {
    if (!IsCompiled || !Queue)
        throw Exception(QString::fromLatin1(RpExprMessages::NotPrepared));
    Queue->SetAggregateMode(true);
    struct Leave {
        TRpFiFo& Fifo;
        ~Leave() { Fifo.SetAggregateMode(false); }
    } leave{*Queue};
    Compute();
}

bool TRpEvaluator::HasAggregates() const {
    if (!Queue)
        return false;
    for (int i = 0; i < Queue->Count(); ++i)
        if (Queue->At(i)->IsAggregate())
            return true;
    return false;
}

TRpEvElement* TRpEvaluator::FirstElement() const {
    if (!Queue || Queue->Count() == 0)
        return nullptr;
    return Queue->At(0);
}
