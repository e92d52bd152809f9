#pragma once
// Compiles expression text into a queue of elements in prefix order, by four
// levels of precedence: comparison, sum (+ - OR), product (* / AND), factor.

#include "RpElements.h"

#include <QList>
#include <QString>

class TDataSet;
class TRpEvEnvironment;

class TRpCompiler {
public:
    TRpCompiler(TRpFiFo& fifo, const QList<TDataSet*>& dataSets, TRpEvEnvironment* local)
        : Fifo(fifo), DataSets(dataSets), Local(local) {}

    void Compile(const QString& expression) { Comparison(expression); }

    // Swaps the operator characters a and b at the top level (outside
    // parentheses, texts and bracketed names), so that the right part of a
    // "-" or "/" keeps left-to-right order: a-b+c compiles as a-(b-c).
    // With keepUnary, signs in unary position (nothing but blanks or another
    // operator before them) are left alone, as they belong to their operand.
    static QString SwapOperators(const QString& text, QChar a, QChar b, bool keepUnary);
    // Splits function arguments at the separator, outside texts and parentheses.
    static QStringList SplitArguments(const QString& text, QChar separator);

private:
    void Comparison(const QString& text); // level 1
    void Sum(const QString& text);        // level 2
    void Product(const QString& text);    // level 3
    void Factor(const QString& text);     // level 4
    void Number(const QString& text);
    void FunctionOrName(const QString& text);
    void Variable(const QString& name, bool bracketed);
    void Put(std::unique_ptr<TRpEvElement> element) { Fifo.Put(std::move(element)); }
    void PutError(const QString& message);
    void PutOperator(TRpOperator op);
    // Nesting deeper than this compiles to an error element instead of
    // exhausting the stack.
    static constexpr int MaxDepth = 1000;

    TRpFiFo& Fifo;
    const QList<TDataSet*>& DataSets;
    TRpEvEnvironment* Local;
    int Depth = 0;
};
