#include "MysqlDialect.h"

#include "DbValues.h"

#include <QRegularExpression>

#include <optional>

using namespace Qt::StringLiterals;
using SqlDialect::IsKeyword;
using SqlDialect::SignificantIndexes;

namespace MysqlDialect {

namespace {

// The text of a value as String() writes it: the value's own text with ISO
// dates, date-times and times turned into the program's forms, null empty.
// The session has NO_BACKSLASH_ESCAPES, so each backslash below reaches the
// regular expression as it is.
const QString FormatOpen = u"COALESCE(REGEXP_REPLACE(REGEXP_REPLACE(REGEXP_REPLACE("
                           "REGEXP_REPLACE(CAST(("_s;
const QString FormatClose =
    u") AS CHAR), '^(\\d{4})-(\\d\\d)-(\\d\\d)$', '\\3.\\2.\\1'), "
    "'^(\\d{4})-(\\d\\d)-(\\d\\d)[ T]00:00(:00(\\.0+)?)?$', '\\3.\\2.\\1'), "
    "'^(\\d{4})-(\\d\\d)-(\\d\\d)[ T](\\d\\d):(\\d\\d)(:\\d\\d(\\.\\d+)?)?$', "
    "'\\3.\\2.\\1 \\4:\\5'), "
    "'^(\\d\\d):(\\d\\d)(:\\d\\d(\\.\\d+)?)?$', '\\1:\\2'), '')"_s;

// The text of a LIKE's left operand, in lower case and compared by code.
const QString LikeOpen = u"LOWER(CONVERT(CAST(("_s;
const QString LikeClose = u") AS CHAR) USING utf8mb4)) COLLATE utf8mb4_bin"_s;

// A program date or date-time literal's ISO text; empty when it is none.
QString IsoDateText(const QString& literal) {
    static const QRegularExpression form(
        u"^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})(?: (\\d{1,2}):(\\d\\d)(?::(\\d\\d))?)?$"_s);
    const QRegularExpressionMatch m = form.match(literal.trimmed());
    if (!m.hasMatch())
        return {};
    const int day = m.captured(1).toInt(), month = m.captured(2).toInt();
    if (day < 1 || day > 31 || month < 1 || month > 12)
        return {};
    QString iso = u"%1-%2-%3"_s.arg(m.captured(3))
                      .arg(month, 2, 10, QLatin1Char('0'))
                      .arg(day, 2, 10, QLatin1Char('0'));
    if (m.hasCaptured(4) && !m.captured(4).isEmpty())
        iso += u" %1:%2:%3"_s.arg(m.captured(4).toInt(), 2, 10, QLatin1Char('0'))
                   .arg(m.captured(5))
                   .arg(m.captured(6).isEmpty() ? u"00"_s : m.captured(6));
    return iso;
}

class TRewriter : SqlDialect::TTokenRewrite {
public:
    TRewriter(const std::vector<TToken>& tokens, bool dml, const TConnectionState& state,
              const QSet<QString>& readAs)
        : TTokenRewrite(tokens), Dml(dml), State(state), ReadAs(readAs) {}

    QString Run() {
        for (std::size_t k = 0; k < Sig.size(); ++k) {
            const TToken& t = Tok(k);
            if (t.K == TToken::Word) {
                Word(k);
            } else if (t.K == TToken::Param && t.Text.startsWith(u'@') && Dml) {
                const QString name = t.Text.mid(1);
                if (State.IsVariable && State.IsVariable(name))
                    E.Replace[Sig[k]] = VariableReference(name, TypeOf(name));
            } else if (t.K == TToken::String) {
                DateLiteral(k);
            } else if (SqlDialect::IsComparison(t)) {
                AggregateLiteral(k);
            }
        }
        return E.Apply(Toks);
    }

private:
    QString TypeOf(const QString& name) const {
        return State.VariableType ? State.VariableType(name) : QString();
    }

    void Word(std::size_t k) {
        const TToken& t = Tok(k);
        const QString up = t.Text.toUpper();
        if (up == "LIKE"_L1) {
            Like(k);
            return;
        }
        if (Called(k)) {
            Call(k, up);
            return;
        }
        if (up == "CURRENT"_L1) {
            const TToken* n = Next(k);
            if (!n)
                return;
            QString replacement;
            if (n->IsWord("DATE"))
                replacement = u"CURRENT_DATE"_s;
            else if (n->IsWord("TIME"))
                replacement = u"CURRENT_TIME"_s;
            else if (n->IsWord("TIMESTAMP"))
                replacement = u"CURRENT_TIMESTAMP"_s;
            else
                return;
            Set(k, replacement);
            Empty(Sig[k] + 1, Sig[k + 1]);
            return;
        }
        if (up == "DUMMY"_L1 && !State.HasDummyTable) {
            const TToken* p = Prev(k);
            if (!p || !(p->IsWord("FROM") || p->IsWord("JOIN") || (p->IsSymbol(",") && InFrom(k))))
                return;
            const TToken* n = Next(k);
            const bool aliased =
                n && (n->IsWord("AS") || (n->K == TToken::Word && !IsKeyword(*n)) ||
                      n->K == TToken::Quoted);
            Set(k, aliased ? u"(SELECT 1 AS dummy_col)"_s : u"(SELECT 1 AS dummy_col) AS DUMMY"_s);
            return;
        }
        if (Dml && !IsKeyword(t) && ReadAs.contains(up)) {
            const TToken* p = Prev(k);
            const TToken* n = Next(k);
            if ((p && (p->IsSymbol(".") || p->IsWord("AS"))) || (n && n->IsSymbol(".")))
                return;
            E.Replace[Sig[k]] = VariableReference(t.Text, TypeOf(t.Text));
        }
    }

    void Call(std::size_t k, const QString& up) {
        const std::size_t open = k + 1;
        const std::size_t close = Close(open);
        if (close == 0)
            return;
        const bool empty = close == open + 1;
        if (up == "CONNECTION_PROPERTY"_L1) {
            if (close == open + 2 && Tok(open + 1).K == TToken::String &&
                SqlDialect::Unquote(Tok(open + 1).Text).compare("Number"_L1, Qt::CaseInsensitive) ==
                    0) {
                Set(k, u"CONNECTION_ID"_s);
                Set(open + 1, QString());
            }
        } else if (up == "STRING"_L1) {
            if (empty) {
                Set(k, u"''"_s);
                Set(open, QString());
                Set(close, QString());
                return;
            }
            Set(k, u"CONCAT"_s);
            Set(open, u"("_s + FormatOpen);
            for (std::size_t comma : ArgumentCommas(open, close))
                Set(comma, FormatClose + u", "_s + FormatOpen);
            Set(close, FormatClose + u")"_s);
        } else if (up == "TODAY"_L1 && empty) {
            Set(k, u"CURRENT_DATE"_s);
            Set(open, QString());
            Set(close, QString());
        } else if (up == "GETDATE"_L1 && empty) {
            Set(k, u"CURRENT_TIMESTAMP"_s);
            Set(open, QString());
            Set(close, QString());
        } else if (up == "ISNULL"_L1 && !ArgumentCommas(open, close).empty()) {
            // The server's ISNULL(x) tells whether x is null; the program's
            // takes the first of its arguments that is not.
            Set(k, u"COALESCE"_s);
        } else if (up == "CAST"_L1 && !empty) {
            // CAST(x AS TEXT), AS INTEGER, AS TIMESTAMP...: the server's CAST
            // takes fewer type names; the same type in its words.
            std::size_t as = 0;
            int depth = 0;
            for (std::size_t j = open + 1; j < close; ++j) {
                if (Tok(j).IsSymbol("("))
                    ++depth;
                else if (Tok(j).IsSymbol(")"))
                    --depth;
                else if (depth == 0 && Tok(j).IsWord("AS"))
                    as = j;
            }
            if (as == 0 || as + 1 >= close)
                return;
            QString type;
            for (std::size_t i = Sig[as + 1]; i < Sig[close]; ++i)
                type += Toks[i].Text;
            const QString cast = CastType(type);
            if (cast.isEmpty() || cast.compare(type.simplified(), Qt::CaseInsensitive) == 0 ||
                (cast == "CHAR"_L1 && type.simplified().toUpper().startsWith("CHAR"_L1)))
                return;
            Set(as + 1, cast);
            Empty(Sig[as + 1] + 1, Sig[close] - 1);
        } else if (up == "CHAR"_L1 && Dml && !empty) {
            // char(n, ...): the characters of the codes (the server's CHAR()
            // makes bytes); after AS (a cast) CHAR(n) is a type.
            const TToken* p = Prev(k);
            if (p && p->IsWord("AS"))
                return;
            Set(k, u"CONVERT(CHAR"_s);
            Set(close, u" USING utf32) USING utf8mb4)"_s);
        }
    }

    // [NOT] LIKE over the lower-case texts of both sides.
    void Like(std::size_t k) {
        const TToken* p = Prev(k);
        const long opAt = p && p->IsWord("NOT") ? long(k) - 1 : long(k);
        const long start = SqlDialect::LeftOperandStart(Toks, Sig, opAt);
        const TToken* pattern = Next(k);
        const bool single =
            pattern && (pattern->K == TToken::String || pattern->K == TToken::Param);
        if (single) {
            const TToken* after = k + 2 < Sig.size() ? &Tok(k + 2) : nullptr;
            E.Before[Sig[k + 1]] += u"LOWER("_s;
            E.After[Sig[k + 1]] += u")"_s;
            // The server's LIKE takes a backslash as its escape unless told
            // otherwise, and refuses an empty escape: code 1 is none a user types.
            if (!after || !after->IsWord("ESCAPE"))
                E.After[Sig[k + 1]] += u" ESCAPE CHAR(1)"_s;
        }
        if (start < 0 || !single)
            return;
        static const QRegularExpression date(u"^%?\\d{1,2}\\.\\d{1,2}\\.\\d{4}"_s);
        const bool asDate = pattern->K == TToken::String &&
                            date.match(SqlDialect::Unquote(pattern->Text)).hasMatch();
        const std::size_t first = Sig[std::size_t(start)];
        const std::size_t last = Sig[std::size_t(opAt) - 1];
        E.Before[first].prepend(asDate ? u"LOWER(CONVERT("_s + FormatOpen : LikeOpen);
        E.After[last] +=
            asDate ? FormatClose + u" USING utf8mb4)) COLLATE utf8mb4_bin"_s : LikeClose;
    }

    // 'DD.MM.YYYY' beside a comparison, or a bound of BETWEEN: its ISO text.
    void DateLiteral(std::size_t k) {
        const QString iso = IsoDateText(SqlDialect::Unquote(Tok(k).Text));
        if (iso.isEmpty())
            return;
        const TToken* p = Prev(k);
        const TToken* n = Next(k);
        const bool compared = (p && (SqlDialect::IsComparison(*p) || p->IsWord("BETWEEN") ||
                                     (p->IsWord("AND") && BetweenBound(k - 1)))) ||
                              (n && SqlDialect::IsComparison(*n));
        if (compared)
            Set(k, u'\'' + iso + u'\'');
    }

    // The AND at k closes a BETWEEN: "BETWEEN x AND".
    bool BetweenBound(std::size_t k) const { return k >= 2 && Tok(k - 2).IsWord("BETWEEN"); }

    // SUM(...) >= '2.5': the number compares by value whatever the total's type.
    void AggregateLiteral(std::size_t k) {
        if (k + 1 >= Sig.size() || k == 0)
            return;
        const TToken& literal = Tok(k + 1);
        if (literal.K != TToken::String)
            return;
        const QString number = SqlDialect::Unquote(literal.Text);
        if (!DbValues::IsCanonicalNumber(number))
            return;
        if (const TToken* after = k + 2 < Sig.size() ? &Tok(k + 2) : nullptr;
            after && SqlDialect::IsOperandOperator(*after))
            return;
        const long start = SqlDialect::LeftOperandStart(Toks, Sig, long(k));
        if (start < 0)
            return;
        const std::size_t s = std::size_t(start);
        const TToken& head = Tok(s);
        if (!(head.IsWord("SUM") || head.IsWord("COUNT") || head.IsWord("AVG")) || s + 1 >= k ||
            !Tok(s + 1).IsSymbol("(") || Close(s + 1) != k - 1)
            return;
        Set(k + 1, number);
    }

    bool Dml;
    const TConnectionState& State;
    const QSet<QString>& ReadAs;
};

std::vector<TToken> Tail(const std::vector<TToken>& tokens, std::size_t from) {
    return std::vector<TToken>(tokens.begin() + long(from), tokens.end());
}

bool IsDml(const TToken& first) {
    return first.IsWord("SELECT") || first.IsWord("INSERT") || first.IsWord("UPDATE") ||
           first.IsWord("DELETE") || first.IsWord("WITH") || first.IsWord("VALUES") ||
           first.IsWord("REPLACE") || first.IsSymbol("(");
}

QString Rewrite(const std::vector<TToken>& tokens, bool dml, const TConnectionState& state,
                const QSet<QString>& readAs) {
    return TRewriter(tokens, dml, state, readAs).Run();
}

} // namespace

TStatement Translate(const std::vector<TToken>& tokens, const TConnectionState& state,
                     const QSet<QString>& readAs) {
    // The statements of connection variables are told apart as on
    // PostgreSQL; only the rewriting of SQL differs.
    TStatement st = PgDialect::Translate(tokens, state, readAs);
    const std::vector<std::size_t> sig = SignificantIndexes(tokens);
    switch (st.K) {
    case TStatement::SetVariable:
        for (std::size_t k = 0; k + 1 < sig.size(); ++k)
            if (tokens[sig[k]].IsSymbol("=") || tokens[sig[k]].IsSymbol(":=")) {
                st.Text = Rewrite(Tail(tokens, sig[k] + 1), true, state, readAs).trimmed();
                break;
            }
        break;
    case TStatement::CreateVariable:
        if (!st.Text.isEmpty())
            for (std::size_t k = 0; k + 1 < sig.size(); ++k)
                if (tokens[sig[k]].IsSymbol("=") || tokens[sig[k]].IsWord("DEFAULT")) {
                    st.Text = Rewrite(Tail(tokens, sig[k] + 1), true, state, readAs).trimmed();
                    break;
                }
        break;
    case TStatement::Sql:
        st.Text = Rewrite(tokens, IsDml(tokens[sig[0]]), state, readAs);
        break;
    default:
        break;
    }
    return st;
}

QString UserVariable(const QString& name) {
    static const QRegularExpression plain(u"^[A-Za-z0-9_]+$"_s);
    if (plain.match(name).hasMatch())
        return u'@' + name;
    QString quoted = name;
    quoted.replace(u'`', u"``"_s);
    return u"@`"_s + quoted + u'`';
}

QString CastType(const QString& declaredType) {
    const QString type = declaredType.simplified().toUpper();
    static const QRegularExpression decimal(u"^(?:NUMERIC|DECIMAL|DEC)\\s*(\\(.*\\))?$"_s);
    if (type.isEmpty())
        return {};
    // Fractions of a second, as DATETIME(3), are kept.
    static const QRegularExpression fraction(
        u"^(?:DATETIME|TIMESTAMP|TIME)\\s*(\\(\\s*\\d\\s*\\))"_s);
    const QString digits = fraction.match(type).captured(1).remove(u' ');
    if (type.startsWith("DATETIME"_L1) || type.startsWith("TIMESTAMP"_L1) ||
        type.startsWith("SMALLDATETIME"_L1))
        return u"DATETIME"_s + digits;
    if (type == "DATE"_L1)
        return u"DATE"_s;
    if (type.startsWith("TIME"_L1))
        return u"TIME"_s + digits;
    if (type == "INTEGER"_L1 || type == "INT"_L1 || type == "SMALLINT"_L1 || type == "TINYINT"_L1 ||
        type == "BIGINT"_L1 || type == "BIT"_L1)
        return u"SIGNED"_s;
    if (const QRegularExpressionMatch m = decimal.match(type); m.hasMatch())
        return u"DECIMAL"_s + (m.captured(1).isEmpty() ? u"(30,6)"_s : m.captured(1).remove(u' '));
    if (type.startsWith("DOUBLE"_L1) || type.startsWith("FLOAT"_L1) || type == "REAL"_L1)
        return u"DOUBLE"_s;
    return u"CHAR"_s;
}

bool IsNumericType(const QString& castType) {
    return castType == "SIGNED"_L1 || castType.startsWith("DECIMAL"_L1) || castType == "DOUBLE"_L1;
}

QString VariableReference(const QString& name, const QString& castType) {
    if (castType == "DATE"_L1 || castType.startsWith("DATETIME"_L1) ||
        castType.startsWith("TIME"_L1) || castType.startsWith("DECIMAL"_L1))
        return u"CAST("_s + UserVariable(name) + u" AS "_s + castType + u')';
    return UserVariable(name);
}

QString ValueSql(const QString& valueExpression, const QString& castType) {
    const QString value = valueExpression.trimmed().isEmpty() ? u"NULL"_s : valueExpression;
    // DOUBLE is not a CAST type on every server: adding 0.0E0 makes a real.
    const QString converted = castType.isEmpty()        ? QString()
                              : castType == "DOUBLE"_L1 ? u", vx.v + 0.0E0"_s
                                                        : u", CAST(vx.v AS "_s + castType + u')';
    return u"SELECT vx.v"_s + converted + u" FROM (SELECT ("_s + value + u") AS v) AS vx"_s;
}

QString SessionSetupSql() {
    // CONCAT_WS leaves out an empty mode, which would leave a stray comma.
    return u"SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), "
           "'ANSI_QUOTES,PIPES_AS_CONCAT,NO_BACKSLASH_ESCAPES')"_s;
}

QStringList RequiredModes() {
    return {u"ANSI_QUOTES"_s, u"PIPES_AS_CONCAT"_s, u"NO_BACKSLASH_ESCAPES"_s};
}

} // namespace MysqlDialect
