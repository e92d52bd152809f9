#include "RpCompiler_p.h"

#include "DataSet.h"
#include "RpEnvironment.h"
#include "RpFunctions.h"

using namespace RpExprMessages;

namespace {

// Where a scan stands: inside a text literal, the parenthesis depth, inside a
// bracketed name. A quote inside brackets is part of the name.
struct ScanState {
    bool InText = false;
    int Depth = 0;
    bool InBracket = false;

    bool AtTop() const { return !InText && !InBracket && Depth == 0; }
    void Feed(QChar c) {
        if (c == u'\'') {
            if (!InBracket)
                InText = !InText;
        } else if (!InText) {
            if (InBracket) {
                if (c == u']')
                    InBracket = false;
            } else if (c == u'(') {
                ++Depth;
            } else if (c == u')') {
                --Depth;
            } else if (c == u'[') {
                InBracket = true;
            }
        }
    }
};

// An operator stands at the top level, never first and never last.
bool OperatorPlace(const ScanState& state, qsizetype i, qsizetype length) {
    return state.AtTop() && i >= 1 && i < length - 1;
}

// A sign with no operand before it (only blanks, or another operator) is the
// sign of its operand: "1 = -1", "2*-3" and "5--3" compute instead of
// splitting off an empty or unfinished left part.
bool UnaryAt(const QString& text, qsizetype i) {
    qsizetype j = i - 1;
    while (j >= 0 && text.at(j) == u' ')
        --j;
    return j < 0 || QStringLiteral("+-*/<=>").contains(text.at(j));
}

// A blank followed by the keyword and a blank, in any case.
bool KeywordAt(const QString& text, qsizetype i, QLatin1StringView keyword) {
    return text.at(i) == u' ' && text.size() > i + qsizetype(keyword.size()) + 1 &&
           QStringView(text).mid(i + 1, keyword.size()).compare(keyword, Qt::CaseInsensitive) ==
               0 &&
           text.at(i + 1 + keyword.size()) == u' ';
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool IsAsciiLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}
bool IsFloatChar(QChar c) {
    return IsDigit(c) || c == u'+' || c == u'-' || c == u'.' || c == u'E' || c == u'e';
}
// Characters that continue a name, so "NOTES" is one name and not "not ES".
bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'.';
}

QString TrimBlanks(const QString& text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from) == u' ')
        ++from;
    while (to > from && text.at(to - 1) == u' ')
        --to;
    return text.mid(from, to - from);
}

TField* FindFieldNoCase(TDataSet* dataSet, const QString& name) {
    const int count = dataSet->FieldCount();
    for (int i = 0; i < count; ++i) {
        TField* field = dataSet->Fields(i);
        if (field && field->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return field;
    }
    return nullptr;
}

struct DepthGuard {
    int& Depth;
    explicit DepthGuard(int& depth) : Depth(depth) { ++Depth; }
    ~DepthGuard() { --Depth; }
};

} // namespace

QString TRpCompiler::SwapOperators(const QString& text, QChar a, QChar b, bool keepUnary) {
    QString result = text;
    ScanState state;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (state.AtTop() && (c == a || c == b) && !(keepUnary && UnaryAt(text, i)))
            result[i] = c == a ? b : a;
        state.Feed(c);
    }
    return result;
}

QStringList TRpCompiler::SplitArguments(const QString& text, QChar separator) {
    QStringList parts;
    if (text.isEmpty())
        return parts;
    bool inText = false;
    int depth = 0;
    qsizetype start = 0;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (c == u'\'') {
            inText = !inText;
        } else if (!inText) {
            if (c == u'(')
                ++depth;
            else if (c == u')')
                --depth;
            else if (c == separator && depth == 0 && i < length - 1) {
                parts.append(text.mid(start, i - start));
                start = i + 1;
            }
        }
    }
    parts.append(text.mid(start));
    return parts;
}

void TRpCompiler::PutError(const QString& message) {
    Put(std::make_unique<TRpEvElementError>(message));
}

void TRpCompiler::PutOperator(TRpOperator op) {
    Put(std::make_unique<TRpEvElementOperator>(op));
}

void TRpCompiler::Comparison(const QString& text) {
    DepthGuard guard(Depth);
    if (Depth > MaxDepth)
        return PutError(ErrorInExpression(text));
    ScanState state;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (OperatorPlace(state, i, length) && (c == u'<' || c == u'=' || c == u'>')) {
            const QChar next = text.at(i + 1);
            TRpOperator op = c == u'<' ? TRpOperator::Less
                                       : (c == u'>' ? TRpOperator::Greater : TRpOperator::Equal);
            qsizetype width = 1;
            if (c == u'<' && next == u'>') {
                op = TRpOperator::NotEqual;
                width = 2;
            } else if (c == u'<' && next == u'=') {
                op = TRpOperator::LessEqual;
                width = 2;
            } else if (c == u'>' && next == u'=') {
                op = TRpOperator::GreaterEqual;
                width = 2;
            }
            // One comparison per level: a second one in the right part is
            // not an operator there.
            PutOperator(op);
            Sum(text.left(i));
            Sum(text.mid(i + width));
            return;
        }
        state.Feed(c);
    }
    Sum(text);
}

void TRpCompiler::Sum(const QString& text) {
    DepthGuard guard(Depth);
    if (Depth > MaxDepth)
        return PutError(ErrorInExpression(text));
    ScanState state;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (OperatorPlace(state, i, length)) {
            const bool sign = (c == u'+' || c == u'-') && !UnaryAt(text, i);
            if (sign && c == u'+') {
                PutOperator(TRpOperator::Add);
                Product(text.left(i));
                Sum(text.mid(i + 1));
                return;
            }
            if (sign && c == u'-') {
                PutOperator(TRpOperator::Subtract);
                Product(text.left(i));
                Sum(SwapOperators(text.mid(i + 1), u'+', u'-', true));
                return;
            }
            if (KeywordAt(text, i, QLatin1StringView("or"))) {
                PutOperator(TRpOperator::Or);
                Product(text.left(i));
                Sum(text.mid(i + 3));
                return;
            }
        }
        state.Feed(c);
    }
    Product(text);
}

void TRpCompiler::Product(const QString& text) {
    DepthGuard guard(Depth);
    if (Depth > MaxDepth)
        return PutError(ErrorInExpression(text));
    ScanState state;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (OperatorPlace(state, i, length)) {
            if (c == u'*') {
                PutOperator(TRpOperator::Multiply);
                Factor(text.left(i));
                Product(text.mid(i + 1));
                return;
            }
            if (c == u'/') {
                PutOperator(TRpOperator::Divide);
                Factor(text.left(i));
                Product(SwapOperators(text.mid(i + 1), u'*', u'/', false));
                return;
            }
            if (KeywordAt(text, i, QLatin1StringView("and"))) {
                PutOperator(TRpOperator::And);
                Factor(text.left(i));
                Product(text.mid(i + 4));
                return;
            }
        }
        state.Feed(c);
    }
    Factor(text);
}

void TRpCompiler::Factor(const QString& raw) {
    DepthGuard guard(Depth);
    const QString text = TrimBlanks(raw);
    if (Depth > MaxDepth || text.isEmpty())
        return PutError(ErrorInExpression(text));
    const qsizetype length = text.size();
    // "not" negates only as a word of its own: NOTES is a name.
    if (length >= 3 &&
        QStringView(text).left(3).compare(QLatin1StringView("not"), Qt::CaseInsensitive) == 0 &&
        (length == 3 || !IsNameChar(text.at(3)))) {
        PutOperator(TRpOperator::Not);
        Sum(text.mid(3));
        return;
    }
    const QChar first = text.at(0);
    const QChar last = text.at(length - 1);
    if (first == u'\'') {
        if (length >= 2 && last == u'\'')
            Put(std::make_unique<TRpEvElementString>(text.mid(1, length - 2)));
        else
            PutError(MissingChar(u'\''));
    } else if (first == u'(') {
        if (length >= 2 && last == u')')
            Comparison(text.mid(1, length - 2));
        else
            PutError(MissingChar(u')'));
    } else if (first == u'+') {
        Factor(text.mid(1));
    } else if (first == u'-') {
        Sum(QStringLiteral("0-") + text.mid(1));
    } else if (IsDigit(first)) {
        Number(text);
    } else if (IsAsciiLetter(first)) {
        FunctionOrName(text);
    } else if (first == u'[') {
        if (length >= 2 && last == u']')
            Variable(text.mid(1, length - 2), true);
        else
            PutError(MissingChar(u']'));
    } else {
        PutError(ErrorInExpression(text));
    }
}

void TRpCompiler::Number(const QString& text) {
    const qsizetype length = text.size();
    qsizetype i = 0;
    while (i < length && IsDigit(text.at(i)))
        ++i;
    bool isFloat = false;
    if (i < length && IsFloatChar(text.at(i))) {
        isFloat = true;
        while (i < length && IsFloatChar(text.at(i)))
            ++i;
    }
    bool ok = false;
    if (i == length && !isFloat) {
        const int value = text.toInt(&ok);
        if (ok)
            return Put(std::make_unique<TRpEvElementConstant>(EvalResult::FromInteger(value)));
        isFloat = true; // too large for 32 bits
    }
    if (i == length && isFloat) {
        // QString reads "." as the decimal point whatever the locale.
        const double value = text.toDouble(&ok);
        if (ok)
            return Put(std::make_unique<TRpEvElementConstant>(EvalResult::FromFloat(value)));
    }
    PutError(IllegalNumeric(text));
}

void TRpCompiler::FunctionOrName(const QString& text) {
    const qsizetype open = text.indexOf(u'(');
    QString name = text;
    QString arguments;
    if (open >= 0) {
        if (!text.endsWith(u')'))
            return PutError(UnknownFunction(QString()));
        name = text.left(open);
        arguments = text.mid(open + 1, text.size() - open - 2);
    }
    const QString upper = name.toUpper();
    const TRpLibraryEntry* entry = FunctionRegistry().Find(upper);
    if (entry) {
        Put(FunctionRegistry().NewElement(upper));
        for (const QString& argument : SplitArguments(arguments, ArgumentSeparator))
            Comparison(argument);
        Put(std::make_unique<TRpEvElementArgumentEnd>());
    } else if (!arguments.isEmpty()) {
        Put(FunctionRegistry().NewElement(upper));
    } else {
        Variable(name, false);
    }
}

void TRpCompiler::Variable(const QString& name, bool bracketed) {
    if (!DataSets.isEmpty()) {
        const qsizetype dot = name.indexOf(u'.');
        if (dot >= 0) {
            const QString dataSetName = name.left(dot);
            const QString fieldName = name.mid(dot + 1);
            for (TDataSet* dataSet : DataSets) {
                if (!dataSet ||
                    dataSet->objectName().compare(dataSetName, Qt::CaseInsensitive) != 0)
                    continue;
                if (TField* field = FindFieldNoCase(dataSet, fieldName))
                    return Put(std::make_unique<TRpEvElementDataField>(dataSet, field));
                break;
            }
        } else {
            for (TDataSet* dataSet : DataSets) {
                if (!dataSet)
                    continue;
                if (TField* field = FindFieldNoCase(dataSet, name))
                    return Put(std::make_unique<TRpEvElementDataField>(dataSet, field));
            }
        }
    }
    if (Local && Local->Contains(name))
        return Put(Local->ElementFor(name));
    TRpEvEnvironment& global = GlobalEnvironment();
    if (global.Contains(name))
        return Put(global.ElementFor(name));
    PutError(UnknownFunction(bracketed ? name : name.toUpper()));
}
