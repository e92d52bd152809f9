#include "SqlDialect.h"

#include "DbValues.h"
#include "Exception.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace SqlDialect {

namespace {

bool IsNameStart(QChar c) {
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}
bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

// Words that end the left operand of a comparison when read backwards, and
// that are never taken for connection variables.
const QSet<QString>& Keywords() {
    static const QSet<QString> words = {
        u"ALL"_s,   u"AND"_s,     u"AS"_s,     u"ASC"_s,       u"BETWEEN"_s,  u"BY"_s,
        u"CASE"_s,  u"COLLATE"_s, u"DELETE"_s, u"DESC"_s,      u"DISTINCT"_s, u"ELSE"_s,
        u"END"_s,   u"ESCAPE"_s,  u"EXCEPT"_s, u"EXISTS"_s,    u"FROM"_s,     u"GLOB"_s,
        u"GROUP"_s, u"HAVING"_s,  u"IN"_s,     u"INNER"_s,     u"INSERT"_s,   u"INTERSECT"_s,
        u"INTO"_s,  u"IS"_s,      u"JOIN"_s,   u"LEFT"_s,      u"LIKE"_s,     u"LIMIT"_s,
        u"MATCH"_s, u"NOT"_s,     u"NULL"_s,   u"OFFSET"_s,    u"ON"_s,       u"OR"_s,
        u"ORDER"_s, u"OUTER"_s,   u"REGEXP"_s, u"RETURNING"_s, u"SELECT"_s,   u"SET"_s,
        u"THEN"_s,  u"UNION"_s,   u"UPDATE"_s, u"USING"_s,     u"VALUES"_s,   u"WHEN"_s,
        u"WHERE"_s, u"WITH"_s,    u"CROSS"_s,  u"NATURAL"_s,   u"RIGHT"_s,    u"FULL"_s,
    };
    return words;
}

} // namespace

bool IsKeyword(const TToken& t) {
    return t.K == TToken::Word && Keywords().contains(t.Text.toUpper());
}

bool IsComparison(const TToken& t) {
    if (t.K != TToken::Symbol)
        return false;
    for (const char* op : {"=", "==", "<>", "!=", "<", "<=", ">", ">="})
        if (t.Text == QLatin1String(op))
            return true;
    return false;
}

// Operators that bind tighter than a comparison: they stay inside its operand.
bool IsOperandOperator(const TToken& t) {
    if (t.K != TToken::Symbol)
        return false;
    for (const char* op : {"+", "-", "*", "/", "%", "||", "&", "|", "<<", ">>", "~", "."})
        if (t.Text == QLatin1String(op))
            return true;
    return false;
}

// The text inside a quoted literal, doubled quotes made single.
QString Unquote(const QString& literal) {
    QString inner =
        literal.mid(1, literal.size() >= 2 && literal.endsWith(u'\'') ? literal.size() - 2
                                                                      : literal.size() - 1);
    inner.replace(QStringLiteral("''"), QStringLiteral("'"));
    return inner;
}

QString Join(const std::vector<TToken>& tokens, std::size_t from) {
    QString text;
    for (std::size_t i = from; i < tokens.size(); ++i)
        text += tokens[i].Text;
    return text;
}

std::vector<std::size_t> SignificantIndexes(const std::vector<TToken>& tokens) {
    std::vector<std::size_t> sig;
    for (std::size_t i = 0; i < tokens.size(); ++i)
        if (tokens[i].Significant())
            sig.push_back(i);
    return sig;
}

// Finds where the left operand of the comparison at sig[k] begins; -1 when
// it cannot be told.
long LeftOperandStart(const std::vector<TToken>& toks, const std::vector<std::size_t>& sig,
                      long k) {
    long i = k - 1;
    while (i >= 0) {
        const TToken& t = toks[sig[std::size_t(i)]];
        if (t.IsSymbol(")")) {
            int depth = 1;
            long j = i - 1;
            while (j >= 0 && depth > 0) {
                const TToken& u = toks[sig[std::size_t(j)]];
                if (u.IsSymbol(")"))
                    ++depth;
                else if (u.IsSymbol("("))
                    --depth;
                --j;
            }
            if (depth > 0)
                return -1;
            i = j;
            continue;
        }
        if (t.K == TToken::Symbol) {
            if (IsOperandOperator(t)) {
                --i;
                continue;
            }
            break;
        }
        if (IsKeyword(t))
            break;
        --i;
    }
    const long start = i + 1;
    if (start > k - 1)
        return -1;
    // An operand cannot begin with a binary operator.
    const TToken& first = toks[sig[std::size_t(start)]];
    if (first.K == TToken::Symbol && !first.IsSymbol("(") && !first.IsSymbol("-") &&
        !first.IsSymbol("+") && !first.IsSymbol("~"))
        return -1;
    return start;
}

namespace {

bool IsValueLiteral(const TToken& t) {
    if (t.K != TToken::String)
        return false;
    const QString inner = Unquote(t.Text);
    QDateTime when;
    return DbValues::IsCanonicalNumber(inner) ||
           DbValues::ParseProgramDate(inner, &when) != DbValues::TDateForm::None;
}

// A plain column reference: names (bare, double-quoted or bracketed)
// joined by dots, such as Sales.SaleDate.
bool IsColumnReference(const std::vector<TToken>& toks, const std::vector<std::size_t>& sig,
                       std::size_t from, std::size_t to) {
    // A variable read by name was turned into a vx_var() call: no name.
    const auto isName = [](const QString& text) {
        return !text.isEmpty() && IsNameStart(text[0]) &&
               std::all_of(text.begin(), text.end(), IsNameChar);
    };
    for (std::size_t i = from; i <= to; ++i) {
        const TToken& t = toks[sig[i]];
        const bool expectName = (i - from) % 2 == 0;
        if (expectName) {
            if (t.K == TToken::Quoted)
                continue;
            if (t.K != TToken::Word || IsKeyword(t) || !isName(t.Text))
                return false;
        } else if (!t.IsSymbol(".")) {
            return false;
        }
    }
    return (to - from) % 2 == 0;
}

// The comparison of a column with a 'DD.MM.YYYY' literal through vx_cmp
// cannot use an index on the column, so a plain column gets a range on its
// stored ISO texts in front of it, which SQLite answers from the index. The
// range holds every ISO date and date-time that can meet the comparison
// ("YYYY-MM-DD..." texts sort like their dates), as well as numbers for "<"
// and texts and blobs for ">"; vx_cmp then decides exactly. Returns an empty
// text when no range applies (another operator, an expression, no date).
QString DateRangeGuard(const std::vector<TToken>& toks, const std::vector<std::size_t>& sig,
                       std::size_t start, std::size_t op) {
    const TToken& comparison = toks[sig[op]];
    const QByteArray literal = Unquote(toks[sig[op + 1]].Text).toUtf8();
    DbValues::TDateParts date;
    if (DbValues::ParseProgramDate(
            std::string_view(literal.constData(), std::size_t(literal.size())), &date) ==
            DbValues::TDateForm::None ||
        !IsColumnReference(toks, sig, start, op - 1))
        return {};
    const bool equal = comparison.IsSymbol("=") || comparison.IsSymbol("==");
    const bool below = comparison.IsSymbol("<") || comparison.IsSymbol("<=");
    const bool above = comparison.IsSymbol(">") || comparison.IsSymbol(">=");
    if (!equal && !below && !above)
        return {};
    QString column;
    for (std::size_t i = sig[start]; i <= sig[op - 1]; ++i)
        column += toks[i].Text;
    const QString from = QString::fromLatin1(DbValues::IsoDateBytes(date));
    const QDate next = date.Date().addDays(1);
    const QString to = next.year() <= 9999 ? DbValues::IsoDate(next) : QString();
    const QString lower = column + QStringLiteral(" >= '") + from + u'\'';
    const QString upper = column + QStringLiteral(" < '") + to + u'\'';
    if (above)
        return lower;
    if (to.isEmpty())
        return {};
    return below ? upper : lower + QStringLiteral(" AND ") + upper;
}

QString QuotedName(const QString& name) {
    QString text = name;
    text.replace(u'\'', QStringLiteral("''"));
    return QStringLiteral("vx_var('") + text + QStringLiteral("')");
}

// Rewrites a statement's tokens into SQLite's dialect.
QString Rewrite(std::vector<TToken> toks, bool dml,
                const std::function<bool(const QString&)>& isVariable) {
    std::vector<std::size_t> sig = SignificantIndexes(toks);
    auto next = [&](std::size_t k) -> const TToken* {
        return k + 1 < sig.size() ? &toks[sig[k + 1]] : nullptr;
    };
    auto prev = [&](std::size_t k) -> const TToken* { return k > 0 ? &toks[sig[k - 1]] : nullptr; };

    // Functions and the current date and time.
    for (std::size_t k = 0; k < sig.size(); ++k) {
        TToken& t = toks[sig[k]];
        if (t.K != TToken::Word)
            continue;
        const QString up = t.Text.toUpper();
        const TToken* n = next(k);
        if ((up == QLatin1String("LEFT") || up == QLatin1String("RIGHT")) && n &&
            n->IsSymbol("(")) {
            t.Text = up == QLatin1String("LEFT") ? QStringLiteral("vx_left")
                                                 : QStringLiteral("vx_right");
            continue;
        }
        if (up == QLatin1String("CURRENT") && n &&
            (n->IsWord("DATE") || n->IsWord("TIME") || n->IsWord("TIMESTAMP"))) {
            t.Text = QStringLiteral("vx_current_%1()").arg(n->Text.toLower());
            for (std::size_t i = sig[k] + 1; i <= sig[k + 1]; ++i)
                toks[i].Text.clear();
            toks[sig[k + 1]].K = TToken::Space;
            sig = SignificantIndexes(toks);
            continue;
        }
        if (dml && (up == QLatin1String("CURRENT_DATE") || up == QLatin1String("CURRENT_TIME") ||
                    up == QLatin1String("CURRENT_TIMESTAMP")))
            t.Text = QStringLiteral("vx_") + up.toLower() + QStringLiteral("()");
    }
    if (!dml)
        return Join(toks);

    // Connection variables read by name.
    for (std::size_t k = 0; k < sig.size(); ++k) {
        TToken& t = toks[sig[k]];
        if (t.K == TToken::Param && t.Text.startsWith(u'@')) {
            const QString name = t.Text.mid(1);
            if (!isVariable(name))
                throw EDatabaseError(QStringLiteral("no such column: %1").arg(t.Text));
            t.Text = QuotedName(name);
            continue;
        }
        if (t.K != TToken::Word || IsKeyword(t) || !isVariable(t.Text))
            continue;
        const TToken* p = prev(k);
        const TToken* n = next(k);
        if ((p && (p->IsSymbol(".") || p->IsWord("AS"))) ||
            (n && (n->IsSymbol(".") || n->IsSymbol("("))))
            continue;
        t.Text = QuotedName(t.Text);
    }

    // Comparisons with number and date literals.
    int depth = 0;
    int setDepth = -1; // depth of an UPDATE's SET clause, where "=" assigns
    for (std::size_t k = 0; k < sig.size(); ++k) {
        TToken& t = toks[sig[k]];
        if (t.IsSymbol("(")) {
            ++depth;
            continue;
        }
        if (t.IsSymbol(")")) {
            --depth;
            if (depth < setDepth)
                setDepth = -1;
            continue;
        }
        if (t.IsWord("SET")) {
            setDepth = depth;
            continue;
        }
        if (depth == setDepth && (t.IsWord("WHERE") || t.IsWord("FROM") || t.IsWord("RETURNING"))) {
            setDepth = -1;
            continue;
        }
        if (!IsComparison(t) || k + 1 >= sig.size())
            continue;
        if (depth == setDepth && (t.IsSymbol("=") || t.IsSymbol("==")))
            continue;
        TToken& literal = toks[sig[k + 1]];
        if (!IsValueLiteral(literal))
            continue;
        if (const TToken* after = k + 2 < sig.size() ? &toks[sig[k + 2]] : nullptr;
            after &&
            ((IsOperandOperator(*after) && !after->IsSymbol(".")) || after->IsWord("COLLATE")))
            continue;
        const long start = LeftOperandStart(toks, sig, long(k));
        if (start < 0)
            continue;
        const QString guard = DateRangeGuard(toks, sig, std::size_t(start), k);
        TToken& first = toks[sig[std::size_t(start)]];
        first.Text.prepend(guard.isEmpty() ? QStringLiteral("vx_cmp(")
                                           : u'(' + guard + QStringLiteral(" AND vx_cmp("));
        toks[sig[k - 1]].Text.append(QStringLiteral(", ") + literal.Text + u')');
        literal.Text = guard.isEmpty() ? QStringLiteral("0") : QStringLiteral("0)");
    }
    return Join(toks);
}

std::vector<TToken> Tail(const std::vector<TToken>& tokens, std::size_t from) {
    return std::vector<TToken>(tokens.begin() + long(from), tokens.end());
}

} // namespace

// Name of a variable token: a plain name or @name.
bool VariableName(const TToken& t, QString* name) {
    if (t.K == TToken::Word) {
        *name = t.Text;
        return true;
    }
    if (t.K == TToken::Param && t.Text.startsWith(u'@')) {
        *name = t.Text.mid(1);
        return true;
    }
    if (t.K == TToken::Quoted && t.Text.size() >= 2) {
        *name = t.Text.mid(1, t.Text.size() - 2);
        return true;
    }
    return false;
}

std::vector<TToken> Tokenize(const QString& s) {
    std::vector<TToken> out;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto at = [&](qsizetype k) { return k < n ? s[k] : QChar(); };
    while (i < n) {
        const QChar c = s[i];
        const qsizetype start = i;
        TToken::Kind kind;
        if (c.isSpace()) {
            while (i < n && s[i].isSpace())
                ++i;
            kind = TToken::Space;
        } else if (c == u'-' && at(i + 1) == u'-') {
            while (i < n && s[i] != u'\n')
                ++i;
            kind = TToken::Comment;
        } else if (c == u'/' && at(i + 1) == u'*') {
            const qsizetype end = s.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            kind = TToken::Comment;
        } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? u']' : c;
            ++i;
            while (i < n) {
                if (s[i] == close) {
                    if (close != u']' && at(i + 1) == close) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            kind = c == u'\'' ? TToken::String : TToken::Quoted;
        } else if (c.isDigit() || (c == u'.' && at(i + 1).isDigit())) {
            if (c == u'0' && (at(i + 1) == u'x' || at(i + 1) == u'X')) {
                i += 2;
                while (i < n &&
                       (s[i].isDigit() || (s[i].toLower() >= u'a' && s[i].toLower() <= u'f')))
                    ++i;
            } else {
                while (i < n && s[i].isDigit())
                    ++i;
                if (at(i) == u'.') {
                    ++i;
                    while (i < n && s[i].isDigit())
                        ++i;
                }
                if ((at(i) == u'e' || at(i) == u'E') &&
                    (at(i + 1).isDigit() ||
                     ((at(i + 1) == u'+' || at(i + 1) == u'-') && at(i + 2).isDigit()))) {
                    i += 2;
                    while (i < n && s[i].isDigit())
                        ++i;
                }
            }
            kind = TToken::Number;
        } else if (IsNameStart(c)) {
            while (i < n && IsNameChar(s[i]))
                ++i;
            kind = TToken::Word;
        } else if (c == u'?') {
            ++i;
            while (i < n && s[i].isDigit())
                ++i;
            kind = TToken::Param;
        } else if ((c == u':' || c == u'@' || c == u'$') &&
                   (IsNameStart(at(i + 1)) || at(i + 1).isDigit())) {
            ++i;
            while (i < n && IsNameChar(s[i]))
                ++i;
            kind = TToken::Param;
        } else {
            kind = TToken::Symbol;
            i += 1;
            static const char* twoChar[] = {"||", "<=", ">=", "<>", "!=", "==", "<<", ">>", ":="};
            for (const char* two : twoChar) {
                if (c == QLatin1Char(two[0]) && at(i) == QLatin1Char(two[1])) {
                    ++i;
                    break;
                }
            }
        }
        out.push_back({kind, s.mid(start, i - start)});
    }
    return out;
}

std::vector<std::vector<TToken>> SplitStatements(const std::vector<TToken>& tokens) {
    std::vector<std::vector<TToken>> pieces;
    std::vector<TToken> current;
    int leadingWords = 0;
    bool trigger = false;
    bool sawCreate = false;
    int blockDepth = 0;
    for (const TToken& t : tokens) {
        if (t.IsSymbol(";") && !(trigger && blockDepth > 0)) {
            pieces.push_back(std::move(current));
            current.clear();
            leadingWords = 0;
            trigger = sawCreate = false;
            blockDepth = 0;
            continue;
        }
        current.push_back(t);
        if (!t.Significant())
            continue;
        if (leadingWords < 3) {
            ++leadingWords;
            if (leadingWords == 1)
                sawCreate = t.IsWord("CREATE");
            else if (sawCreate && t.IsWord("TRIGGER"))
                trigger = true;
        }
        if (trigger) {
            if (t.IsWord("BEGIN") || t.IsWord("CASE"))
                ++blockDepth;
            else if (t.IsWord("END"))
                --blockDepth;
        }
    }
    pieces.push_back(std::move(current));
    auto empty = [](const std::vector<TToken>& piece) {
        for (const TToken& t : piece)
            if (t.Significant())
                return false;
        return true;
    };
    while (pieces.size() > 1 && empty(pieces.back()))
        pieces.pop_back();
    return pieces;
}

bool HasStatementSeparator(const QString& sql) {
    for (const TToken& t : Tokenize(sql))
        if (t.IsSymbol(";"))
            return true;
    return false;
}

void RequireOneStatement(const std::vector<std::vector<TToken>>& statements) {
    if (statements.size() > 1)
        throw EDatabaseError(QStringLiteral(
            "The SQL text holds more than one statement (a \";\" outside quotes and comments). "
            "A query runs exactly one statement; nothing was run."));
}

int CountPlaceholders(const std::vector<TToken>& tokens) {
    int n = 0;
    for (const TToken& t : tokens)
        if (t.K == TToken::Param && t.Text == QLatin1String("?"))
            ++n;
    return n;
}

TStatement Translate(const std::vector<TToken>& tokens,
                     const std::function<bool(const QString&)>& isVariable) {
    TStatement st;
    const std::vector<std::size_t> sig = SignificantIndexes(tokens);
    if (sig.empty())
        return st;
    auto word = [&](std::size_t k, const char* w) {
        return k < sig.size() && tokens[sig[k]].IsWord(w);
    };
    auto selectOf = [&](std::size_t from) {
        const std::vector<TToken> expr = Tail(tokens, from);
        TStatement part;
        part.Text = QStringLiteral("SELECT ") + Rewrite(expr, true, isVariable).trimmed();
        part.ParamCount = CountPlaceholders(expr);
        return part;
    };

    if (word(0, "SET") && sig.size() >= 2) {
        if (word(1, "OPTION") || (word(1, "TEMPORARY") && word(2, "OPTION"))) {
            st.K = TStatement::Ignored;
            return st;
        }
        QString name;
        if (sig.size() >= 4 && VariableName(tokens[sig[1]], &name) &&
            (tokens[sig[2]].IsSymbol("=") || tokens[sig[2]].IsSymbol(":="))) {
            const TStatement expr = selectOf(sig[2] + 1);
            st.K = TStatement::SetVariable;
            st.Name = name;
            st.Text = expr.Text;
            st.ParamCount = expr.ParamCount;
            return st;
        }
    }
    if (word(0, "CREATE")) {
        std::size_t k = 1;
        bool orReplace = false;
        if (word(1, "OR") && word(2, "REPLACE")) {
            orReplace = true;
            k = 3;
        }
        QString name;
        if (word(k, "VARIABLE") && k + 1 < sig.size() && VariableName(tokens[sig[k + 1]], &name)) {
            st.K = TStatement::CreateVariable;
            st.Name = name;
            st.OrReplace = orReplace;
            std::size_t j = k + 2;
            while (j < sig.size() && !tokens[sig[j]].IsSymbol("=") &&
                   !tokens[sig[j]].IsWord("DEFAULT"))
                ++j;
            QString type;
            if (k + 2 < sig.size())
                for (std::size_t i = sig[k + 2]; i < (j < sig.size() ? sig[j] : tokens.size()); ++i)
                    type += tokens[i].Text;
            type = type.simplified();
            st.Type = type;
            if (j < sig.size() && j + 1 < sig.size()) {
                const TStatement expr = selectOf(sig[j] + 1);
                st.Text = expr.Text;
                st.ParamCount = expr.ParamCount;
            }
            return st;
        }
    }
    if (word(0, "DROP") && word(1, "VARIABLE")) {
        std::size_t k = 2;
        if (word(2, "IF") && word(3, "EXISTS")) {
            st.IfExists = true;
            k = 4;
        }
        QString name;
        if (k < sig.size() && VariableName(tokens[sig[k]], &name)) {
            st.K = TStatement::DropVariable;
            st.Name = name;
            return st;
        }
    }
    if ((word(0, "COMMIT") || word(0, "ROLLBACK")) &&
        (sig.size() == 1 ||
         (sig.size() == 2 && (word(1, "WORK") || word(1, "TRANSACTION") || word(1, "TRAN"))))) {
        st.K = word(0, "COMMIT") ? TStatement::Commit : TStatement::Rollback;
        return st;
    }

    const TToken& first = tokens[sig[0]];
    const bool dml = first.IsWord("SELECT") || first.IsWord("INSERT") || first.IsWord("UPDATE") ||
                     first.IsWord("DELETE") || first.IsWord("WITH") || first.IsWord("REPLACE") ||
                     first.IsWord("VALUES") || first.IsSymbol("(");
    st.K = TStatement::Sql;
    st.Text = Rewrite(tokens, dml, isVariable);
    st.ParamCount = CountPlaceholders(tokens);
    return st;
}

std::vector<TStatement> TranslateText(const QString& sql,
                                      const std::function<bool(const QString&)>& isVariable) {
    std::vector<TStatement> out;
    for (const auto& piece : SplitStatements(Tokenize(sql)))
        out.push_back(Translate(piece, isVariable));
    return out;
}

} // namespace SqlDialect
