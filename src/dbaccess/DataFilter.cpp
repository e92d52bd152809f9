#include "DataFilter.h"

#include "DataSet.h"
#include "DbValues.h"

#include <QVariant>
#include <vector>

namespace {

// A value taking part in a comparison.
struct TValue {
    enum Kind { Null, Number, Text, Date } K = Null;
    double Num = 0;
    QString Str;
    QDateTime When;
};

TValue ValueOfVariant(const QVariant& v) {
    TValue r;
    if (v.isNull())
        return r;
    switch (v.metaType().id()) {
    case QMetaType::QDateTime:
        r.K = TValue::Date;
        r.When = v.toDateTime();
        break;
    case QMetaType::QDate:
        r.K = TValue::Date;
        r.When = v.toDate().startOfDay();
        break;
    case QMetaType::QTime:
        r.K = TValue::Date;
        r.When = QDateTime(QDate(1899, 12, 30), v.toTime());
        break;
    case QMetaType::QString:
        r.K = TValue::Text;
        r.Str = v.toString();
        break;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        r.K = TValue::Number;
        r.Num = v.toDouble();
        break;
    default:
        r.K = TValue::Text;
        r.Str = v.toString();
        break;
    }
    return r;
}

QDateTime DateOfText(const QString& text, bool* ok) {
    QDateTime when;
    *ok = DbValues::ParseProgramDate(text.trimmed(), &when) != DbValues::TDateForm::None ||
          DbValues::ParseIso(text.trimmed(), &when) != DbValues::TDateForm::None;
    return when;
}

template <typename T> int Sign(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Three-way comparison of two non-null values.
int Compare(const TValue& a, const TValue& b) {
    if (a.K == TValue::Date || b.K == TValue::Date) {
        if (a.K == TValue::Date && b.K == TValue::Date)
            return Sign(a.When, b.When);
        const TValue& text = a.K == TValue::Date ? b : a;
        bool ok = false;
        const QDateTime other = DateOfText(text.Str, &ok);
        if (ok && text.K == TValue::Text)
            return a.K == TValue::Date ? Sign(a.When, other) : Sign(other, b.When);
    }
    if (a.K == TValue::Number && b.K == TValue::Number)
        return Sign(a.Num, b.Num);
    if (a.K == TValue::Number || b.K == TValue::Number) {
        bool ok = false;
        const QString& text = a.K == TValue::Number ? b.Str : a.Str;
        const double other = text.trimmed().toDouble(&ok);
        if (ok)
            return a.K == TValue::Number ? Sign(a.Num, other) : Sign(other, b.Num);
    }
    auto asText = [](const TValue& v) {
        return v.K == TValue::Number ? QString::number(v.Num, 'g', 17) : v.Str;
    };
    const int c = asText(a).compare(asText(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

class TOperand {
public:
    const TField* Field = nullptr;
    TValue Literal;
    TValue Eval(qint64 row) const {
        return Field ? ValueOfVariant(Field->ValueOfStoredRow(row)) : Literal;
    }
};

enum class TOp { Eq, Ne, Lt, Le, Gt, Ge, IsNull, IsNotNull, Truth };

class TCompare : public TFilterExpr {
public:
    TOperand Left, Right;
    TOp Op = TOp::Eq;
    bool Matches(qint64 row) const override {
        const TValue a = Left.Eval(row);
        if (Op == TOp::IsNull)
            return a.K == TValue::Null;
        if (Op == TOp::IsNotNull)
            return a.K != TValue::Null;
        if (Op == TOp::Truth)
            return a.K == TValue::Number ? a.Num != 0 : (a.K != TValue::Null && !a.Str.isEmpty());
        const TValue b = Right.Eval(row);
        if (a.K == TValue::Null || b.K == TValue::Null) {
            const bool bothNull = a.K == b.K;
            return Op == TOp::Eq ? bothNull : (Op == TOp::Ne ? !bothNull : false);
        }
        if ((Op == TOp::Eq || Op == TOp::Ne) && b.K == TValue::Text && !Right.Field &&
            b.Str.endsWith(u'*')) {
            const QString prefix = b.Str.left(b.Str.size() - 1);
            // A literal on the left (as in "2='2*'") has no field to give
            // its text: the number's own text stands in.
            const QString text = a.K == TValue::Text ? a.Str
                                 : Left.Field        ? Left.Field->TextOfStoredRow(row)
                                                     : QString::number(a.Num, 'g', 17);
            const bool match = text.startsWith(prefix);
            return Op == TOp::Eq ? match : !match;
        }
        const int c = Compare(a, b);
        switch (Op) {
        case TOp::Eq:
            return c == 0;
        case TOp::Ne:
            return c != 0;
        case TOp::Lt:
            return c < 0;
        case TOp::Le:
            return c <= 0;
        case TOp::Gt:
            return c > 0;
        case TOp::Ge:
            return c >= 0;
        default:
            return false;
        }
    }
};

class TLogic : public TFilterExpr {
public:
    enum Kind { And, Or, Not } K = And;
    std::unique_ptr<TFilterExpr> A, B;
    bool Matches(qint64 row) const override {
        switch (K) {
        case And:
            return A->Matches(row) && B->Matches(row);
        case Or:
            return A->Matches(row) || B->Matches(row);
        case Not:
            return !A->Matches(row);
        }
        return false;
    }
};

struct TToken {
    enum Kind { End, Name, Text, Number, Symbol } K = End;
    QString S;
    bool Quoted = false; // a name in brackets or double quotes
};

class TParser {
public:
    TParser(const QString& text, const TDataSet& dataSet) : Src(text), Set(dataSet) { Advance(); }

    std::unique_ptr<TFilterExpr> ParseAll() {
        auto e = ParseOr();
        if (Tok.K != TToken::End)
            Fail(QStringLiteral("unexpected '%1'").arg(Tok.S));
        return e;
    }

private:
    [[noreturn]] void Fail(const QString& what) {
        throw EDatabaseError(
            QStringLiteral("Filter expression error: %1 in \"%2\"").arg(what, Src));
    }

    bool IsWord(const char* word) const {
        return Tok.K == TToken::Name && !Tok.Quoted &&
               Tok.S.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool IsSymbol(const char* symbol) const {
        return Tok.K == TToken::Symbol && Tok.S == QLatin1String(symbol);
    }

    void Advance() {
        while (Pos < Src.size() && Src[Pos].isSpace())
            ++Pos;
        Tok = TToken();
        if (Pos >= Src.size())
            return;
        const QChar c = Src[Pos];
        if (c == u'\'') {
            QString s;
            ++Pos;
            for (;;) {
                if (Pos >= Src.size())
                    Fail(QStringLiteral("unterminated text"));
                if (Src[Pos] == u'\'') {
                    if (Pos + 1 < Src.size() && Src[Pos + 1] == u'\'') {
                        s += u'\'';
                        Pos += 2;
                        continue;
                    }
                    ++Pos;
                    break;
                }
                s += Src[Pos++];
            }
            Tok = {TToken::Text, s, false};
            return;
        }
        if (c == u'[' || c == u'"') {
            const QChar close = c == u'[' ? u']' : u'"';
            const qsizetype end = Src.indexOf(close, Pos + 1);
            if (end < 0)
                Fail(QStringLiteral("unterminated field name"));
            Tok = {TToken::Name, Src.mid(Pos + 1, end - Pos - 1), true};
            Pos = end + 1;
            return;
        }
        if (c.isDigit() || (c == u'.' && Pos + 1 < Src.size() && Src[Pos + 1].isDigit())) {
            const qsizetype start = Pos;
            while (Pos < Src.size() && (Src[Pos].isDigit() || Src[Pos] == u'.'))
                ++Pos;
            if (Pos < Src.size() && (Src[Pos] == u'e' || Src[Pos] == u'E')) {
                ++Pos;
                if (Pos < Src.size() && (Src[Pos] == u'+' || Src[Pos] == u'-'))
                    ++Pos;
                while (Pos < Src.size() && Src[Pos].isDigit())
                    ++Pos;
            }
            Tok = {TToken::Number, Src.mid(start, Pos - start), false};
            return;
        }
        if (c.isLetter() || c == u'_') {
            const qsizetype start = Pos;
            while (Pos < Src.size() && (Src[Pos].isLetterOrNumber() || Src[Pos] == u'_'))
                ++Pos;
            Tok = {TToken::Name, Src.mid(start, Pos - start), false};
            return;
        }
        for (const char* two : {"<>", "<=", ">=", "!="}) {
            if (Src.mid(Pos, 2) == QLatin1String(two)) {
                Tok = {TToken::Symbol, QString::fromLatin1(two), false};
                Pos += 2;
                return;
            }
        }
        if (QStringLiteral("=<>()-+").contains(c)) {
            Tok = {TToken::Symbol, QString(c), false};
            ++Pos;
            return;
        }
        Fail(QStringLiteral("unexpected '%1'").arg(c));
    }

    // The parser and the tree it builds recurse: a text of thousands of
    // conditions or brackets would overflow the stack instead of failing.
    static constexpr int MaxConditions = 1000;
    static constexpr int MaxNesting = 200;
    void CountCondition() {
        if (++Conditions > MaxConditions)
            Fail(QStringLiteral("more than %1 conditions").arg(MaxConditions));
    }

    std::unique_ptr<TFilterExpr> ParseOr() {
        auto left = ParseAnd();
        while (IsWord("OR")) {
            CountCondition();
            Advance();
            auto node = std::make_unique<TLogic>();
            node->K = TLogic::Or;
            node->A = std::move(left);
            node->B = ParseAnd();
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<TFilterExpr> ParseAnd() {
        auto left = ParseNot();
        while (IsWord("AND")) {
            CountCondition();
            Advance();
            auto node = std::make_unique<TLogic>();
            node->K = TLogic::And;
            node->A = std::move(left);
            node->B = ParseNot();
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<TFilterExpr> ParseNot() {
        if (IsWord("NOT")) {
            CountCondition();
            Advance();
            auto node = std::make_unique<TLogic>();
            node->K = TLogic::Not;
            node->A = ParseNot();
            return node;
        }
        if (IsSymbol("(")) {
            if (++Nesting > MaxNesting)
                Fail(QStringLiteral("brackets nested more than %1 deep").arg(MaxNesting));
            Advance();
            auto inner = ParseOr();
            if (!IsSymbol(")"))
                Fail(QStringLiteral("')' expected"));
            Advance();
            --Nesting;
            return inner;
        }
        auto node = std::make_unique<TCompare>();
        node->Left = ParseOperand();
        if (IsWord("IS")) {
            Advance();
            bool negated = false;
            if (IsWord("NOT")) {
                negated = true;
                Advance();
            }
            if (!IsWord("NULL"))
                Fail(QStringLiteral("NULL expected"));
            Advance();
            node->Op = negated ? TOp::IsNotNull : TOp::IsNull;
            return node;
        }
        static const struct {
            const char* Text;
            TOp Op;
        } ops[] = {{"=", TOp::Eq},  {"<>", TOp::Ne}, {"!=", TOp::Ne}, {"<", TOp::Lt},
                   {"<=", TOp::Le}, {">", TOp::Gt},  {">=", TOp::Ge}};
        for (const auto& op : ops) {
            if (IsSymbol(op.Text)) {
                Advance();
                node->Op = op.Op;
                node->Right = ParseOperand();
                return node;
            }
        }
        if (!node->Left.Field)
            Fail(QStringLiteral("comparison expected"));
        node->Op = TOp::Truth;
        return node;
    }

    TOperand ParseOperand() {
        TOperand operand;
        if (IsSymbol("-") || IsSymbol("+")) {
            const bool minus = IsSymbol("-");
            Advance();
            if (Tok.K != TToken::Number)
                Fail(QStringLiteral("number expected"));
            Tok.S.prepend(minus ? u'-' : u'+');
        }
        switch (Tok.K) {
        case TToken::Text:
            operand.Literal.K = TValue::Text;
            operand.Literal.Str = Tok.S;
            break;
        case TToken::Number: {
            bool ok = false;
            operand.Literal.Num = Tok.S.toDouble(&ok);
            if (!ok)
                Fail(QStringLiteral("bad number '%1'").arg(Tok.S));
            operand.Literal.K = TValue::Number;
            break;
        }
        case TToken::Name:
            if (!Tok.Quoted && Tok.S.compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0)
                break;
            operand.Field = Set.FindField(Tok.S);
            if (!operand.Field)
                throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(Tok.S));
            break;
        default:
            Fail(Tok.K == TToken::End ? QStringLiteral("unexpected end")
                                      : QStringLiteral("unexpected '%1'").arg(Tok.S));
        }
        Advance();
        return operand;
    }

    QString Src;
    const TDataSet& Set;
    qsizetype Pos = 0;
    TToken Tok;
    int Conditions = 0; // AND, OR and NOT read so far
    int Nesting = 0;    // brackets open at this point
};

} // namespace

std::unique_ptr<TFilterExpr> TFilterExpr::Parse(const QString& text, const TDataSet& dataSet) {
    TParser parser(text, dataSet);
    return parser.ParseAll();
}
