#include "PgDialect.h"

#include "DbValues.h"
#include "Exception.h"

#include <QRegularExpression>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;
using SqlDialect::IsKeyword;
using SqlDialect::SignificantIndexes;

namespace PgDialect {

namespace {

// The text of a value as String() writes it: the value's own text with ISO
// dates, date-times and times turned into the program's forms, null empty.
// Opening and closing halves around the value expression.
const QString FormatOpen = u"COALESCE(regexp_replace(regexp_replace(regexp_replace("
                           "regexp_replace(CAST(("_s;
const QString FormatClose =
    u") AS text), '^(\\d{4})-(\\d\\d)-(\\d\\d)$', '\\3.\\2.\\1'), "
    "'^(\\d{4})-(\\d\\d)-(\\d\\d)[ T]00:00(:00(\\.0+)?)?([+-]\\d\\d(:?\\d\\d)?)?$', "
    "'\\3.\\2.\\1'), "
    "'^(\\d{4})-(\\d\\d)-(\\d\\d)[ "
    "T](\\d\\d):(\\d\\d)(:\\d\\d(\\.\\d+)?)?([+-]\\d\\d(:?\\d\\d)?)?$', "
    "'\\3.\\2.\\1 \\4:\\5'), "
    "'^(\\d\\d):(\\d\\d)(:\\d\\d(\\.\\d+)?)?([+-]\\d\\d(:?\\d\\d)?)?$', '\\1:\\2'), '')"_s;

QString Literal(const QString& text) {
    QString quoted = text;
    quoted.replace(u'\'', u"''"_s);
    return u'\'' + quoted + u'\'';
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
                replacement = u"LOCALTIME(0)"_s;
            else if (n->IsWord("TIMESTAMP"))
                replacement = u"LOCALTIMESTAMP(0)"_s;
            else
                return;
            Set(k, replacement);
            for (std::size_t i = Sig[k] + 1; i <= Sig[k + 1]; ++i)
                E.Replace[i] = QString();
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
                Set(k, u"pg_backend_pid"_s);
                Set(open + 1, QString());
            }
        } else if (up == "STRING"_L1) {
            if (empty) {
                Set(k, u"''"_s);
                Set(open, QString());
                Set(close, QString());
                return;
            }
            Set(k, u"("_s);
            Set(open, FormatOpen);
            for (std::size_t comma : ArgumentCommas(open, close))
                Set(comma, FormatClose + u" || "_s + FormatOpen);
            Set(close, FormatClose + u")"_s);
        } else if (up == "TODAY"_L1 && empty) {
            Set(k, u"CURRENT_DATE"_s);
            Set(open, QString());
            Set(close, QString());
        } else if (up == "GETDATE"_L1 && empty) {
            Set(k, u"LOCALTIMESTAMP(0)"_s);
            Set(open, QString());
            Set(close, QString());
        } else if (up == "ISNULL"_L1 && !empty) {
            Set(k, u"coalesce"_s);
        } else if ((up == "YEAR"_L1 || up == "MONTH"_L1 || up == "DAY"_L1) && !empty &&
                   ArgumentCommas(open, close).empty()) {
            Set(k, u"CAST(date_part"_s);
            Set(open, u"('"_s + up.toLower() + u"', "_s);
            Set(close, u") AS integer)"_s);
        } else if (up == "CHAR"_L1 && Dml && !empty) {
            // char(n, ...) of the embedded dialect: the characters of the
            // codes; after AS (a cast) CHAR(n) is a type.
            const TToken* p = Prev(k);
            if (p && p->IsWord("AS"))
                return;
            Set(k, u"(chr"_s);
            for (std::size_t comma : ArgumentCommas(open, close))
                Set(comma, u") || chr("_s);
            Set(close, u"))"_s);
        }
    }

    // [NOT] LIKE: ILIKE over the text of the left operand; a pattern that is
    // a program date matches the date in its shown form. No escape character
    // unless the statement names one.
    void Like(std::size_t k) {
        Set(k, u"ILIKE"_s);
        const TToken* p = Prev(k);
        const long opAt = p && p->IsWord("NOT") ? long(k) - 1 : long(k);
        const long start = SqlDialect::LeftOperandStart(Toks, Sig, opAt);
        const TToken* pattern = Next(k);
        if (pattern && pattern->K == TToken::String) {
            const TToken* after = k + 2 < Sig.size() ? &Tok(k + 2) : nullptr;
            if (!after || !after->IsWord("ESCAPE"))
                E.After[Sig[k + 1]] += u" ESCAPE ''"_s;
        }
        if (start < 0)
            return;
        static const QRegularExpression date(u"^%?\\d{1,2}\\.\\d{1,2}\\.\\d{4}"_s);
        const bool asDate = pattern && pattern->K == TToken::String &&
                            date.match(SqlDialect::Unquote(pattern->Text)).hasMatch();
        const std::size_t first = Sig[std::size_t(start)];
        const std::size_t last = Sig[std::size_t(opAt) - 1];
        E.Before[first].prepend(asDate ? FormatOpen : u"CAST("_s);
        E.After[last] += asDate ? FormatClose : u" AS text)"_s;
    }

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

QString Rewrite(const std::vector<TToken>& tokens, bool dml, const TConnectionState& state,
                const QSet<QString>& readAs) {
    return TRewriter(tokens, dml, state, readAs).Run();
}

std::vector<TToken> Tail(const std::vector<TToken>& tokens, std::size_t from) {
    return std::vector<TToken>(tokens.begin() + long(from), tokens.end());
}

bool IsDml(const TToken& first) {
    return first.IsWord("SELECT") || first.IsWord("INSERT") || first.IsWord("UPDATE") ||
           first.IsWord("DELETE") || first.IsWord("WITH") || first.IsWord("VALUES") ||
           first.IsSymbol("(");
}

} // namespace

std::vector<TToken> Tokenize(const QString& sql) {
    std::vector<TToken> tokens = SqlDialect::Tokenize(sql);
    static const QRegularExpression opening(u"\\$([A-Za-z_\\x80-\\x{10FFFF}][\\w]*)?\\$"_s);
    qsizetype offset = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const TToken& t = tokens[i];
        // An escape string, E'...', where a backslash takes the next
        // character (a quote too) into the text: the literal ends where the
        // server ends it, so no ";" inside it is taken for a separator and
        // none after it is missed.
        if (t.K == TToken::Word && t.Text.compare(u"E"_s, Qt::CaseInsensitive) == 0 &&
            i + 1 < tokens.size() && tokens[i + 1].K == TToken::String) {
            const qsizetype open = offset + 1;
            qsizetype at = open + 1;
            while (at < sql.size()) {
                if (sql[at] == u'\\') {
                    at += 2;
                } else if (sql[at] == u'\'') {
                    if (at + 1 < sql.size() && sql[at + 1] == u'\'') {
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                } else {
                    ++at;
                }
            }
            const qsizetype stop = std::min(at, sql.size());
            tokens.resize(i + 1);
            tokens.push_back({TToken::String, sql.mid(open, stop - open)});
            for (TToken& rest : Tokenize(sql.mid(stop)))
                tokens.push_back(std::move(rest));
            break;
        }
        // An opening tag, $$ or $name$, where a token begins with "$".
        const QRegularExpressionMatch tag =
            t.Text.startsWith(u'$') && (t.K == TToken::Param || t.K == TToken::Symbol)
                ? opening.match(sql, offset, QRegularExpression::NormalMatch,
                                QRegularExpression::AnchorAtOffsetMatchOption)
                : QRegularExpressionMatch();
        if (!tag.hasMatch()) {
            offset += t.Text.size();
            continue;
        }
        const qsizetype end = sql.indexOf(tag.captured(0), offset + tag.capturedLength(0));
        const qsizetype stop = end < 0 ? sql.size() : end + tag.capturedLength(0);
        tokens.resize(i);
        tokens.push_back({TToken::String, sql.mid(offset, stop - offset)});
        for (TToken& rest : Tokenize(sql.mid(stop)))
            tokens.push_back(std::move(rest));
        break;
    }
    return tokens;
}

QSet<QString> VariableCandidates(const std::vector<TToken>& tokens, const TConnectionState& state) {
    QSet<QString> names;
    if (!state.IsVariable)
        return names;
    const std::vector<std::size_t> sig = SignificantIndexes(tokens);
    for (std::size_t k = 0; k < sig.size(); ++k) {
        const TToken& t = tokens[sig[k]];
        if (t.K != TToken::Word || IsKeyword(t) || !state.IsVariable(t.Text))
            continue;
        const TToken* p = k > 0 ? &tokens[sig[k - 1]] : nullptr;
        const TToken* n = k + 1 < sig.size() ? &tokens[sig[k + 1]] : nullptr;
        if ((p && (p->IsSymbol(".") || p->IsWord("AS"))) ||
            (n && (n->IsSymbol(".") || n->IsSymbol("("))))
            continue;
        names.insert(t.Text.toUpper());
    }
    return names;
}

TStatement Translate(const std::vector<TToken>& tokens, const TConnectionState& state,
                     const QSet<QString>& readAs) {
    TStatement st;
    const std::vector<std::size_t> sig = SignificantIndexes(tokens);
    if (sig.empty())
        return st;
    auto word = [&](std::size_t k, const char* w) {
        return k < sig.size() && tokens[sig[k]].IsWord(w);
    };
    auto expression = [&](std::size_t from) {
        return Rewrite(Tail(tokens, from), true, state, readAs).trimmed();
    };

    if (word(0, "SET") && sig.size() >= 2) {
        if (word(1, "OPTION") || (word(1, "TEMPORARY") && word(2, "OPTION"))) {
            st.K = TStatement::Ignored;
            return st;
        }
        const TToken& target = tokens[sig[1]];
        QString name;
        const bool assigns =
            sig.size() >= 4 && (tokens[sig[2]].IsSymbol("=") || tokens[sig[2]].IsSymbol(":="));
        const bool variable =
            assigns && SqlDialect::VariableName(target, &name) &&
            (target.K == TToken::Param ||
             (!(state.IsSetting && state.IsSetting(name.toLower())) && !name.contains(u'.')));
        if (variable) {
            st.K = TStatement::SetVariable;
            st.Name = name;
            st.Text = expression(sig[2] + 1);
            st.ParamCount = SqlDialect::CountPlaceholders(Tail(tokens, sig[2] + 1));
            return st;
        }
    }
    if (word(0, "CREATE")) {
        std::size_t k = 1;
        if (word(1, "OR") && word(2, "REPLACE")) {
            st.OrReplace = true;
            k = 3;
        }
        QString name;
        if (word(k, "VARIABLE") && k + 1 < sig.size() &&
            SqlDialect::VariableName(tokens[sig[k + 1]], &name)) {
            st.K = TStatement::CreateVariable;
            st.Name = name;
            std::size_t j = k + 2;
            while (j < sig.size() && !tokens[sig[j]].IsSymbol("=") &&
                   !tokens[sig[j]].IsWord("DEFAULT"))
                ++j;
            QString type;
            if (k + 2 < sig.size())
                for (std::size_t i = sig[k + 2]; i < (j < sig.size() ? sig[j] : tokens.size()); ++i)
                    type += tokens[i].Text;
            st.Type = type.simplified();
            if (j + 1 < sig.size()) {
                st.Text = expression(sig[j] + 1);
                st.ParamCount = SqlDialect::CountPlaceholders(Tail(tokens, sig[j] + 1));
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
        if (k < sig.size() && SqlDialect::VariableName(tokens[sig[k]], &name)) {
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

    st.K = TStatement::Sql;
    st.Text = Rewrite(tokens, IsDml(tokens[sig[0]]), state, readAs);
    st.ParamCount = SqlDialect::CountPlaceholders(tokens);
    return st;
}

std::vector<bool> ExpressionItems(const std::vector<TToken>& tokens, const QSet<QString>& readAs) {
    const std::vector<std::size_t> sig = SignificantIndexes(tokens);
    auto tok = [&](std::size_t k) -> const TToken& { return tokens[sig[k]]; };
    std::size_t k = 0;
    int depth = 0;
    for (; k < sig.size(); ++k) {
        if (tok(k).IsSymbol("("))
            ++depth;
        else if (tok(k).IsSymbol(")"))
            --depth;
        else if (depth == 0 && tok(k).IsWord("SELECT"))
            break;
    }
    if (k == sig.size())
        return {};
    ++k;
    if (k < sig.size() && (tok(k).IsWord("ALL") || tok(k).IsWord("DISTINCT")))
        ++k;
    // The items, each a range of significant tokens.
    std::vector<std::pair<std::size_t, std::size_t>> items;
    std::size_t start = k;
    depth = 0;
    static const char* const ends[] = {"FROM",   "INTO",  "WHERE",  "GROUP",  "HAVING",
                                       "ORDER",  "LIMIT", "UNION",  "EXCEPT", "INTERSECT",
                                       "OFFSET", "FETCH", "WINDOW", "FOR"};
    for (; k < sig.size(); ++k) {
        const TToken& t = tok(k);
        if (t.IsSymbol("("))
            ++depth;
        else if (t.IsSymbol(")"))
            --depth;
        if (depth != 0)
            continue;
        bool end = false;
        for (const char* w : ends)
            end = end || t.IsWord(w);
        if (end)
            break;
        if (t.IsSymbol(",")) {
            items.push_back({start, k});
            start = k + 1;
        }
    }
    items.push_back({start, k});
    std::vector<bool> expressions;
    for (auto [from, to] : items) {
        if (from >= to)
            return {};
        if (tok(to - 1).IsSymbol("*"))
            return {};
        // Without its alias: "AS name", or a name after the expression.
        if (to - from >= 3 && tok(to - 2).IsWord("AS"))
            to -= 2;
        else if (to - from >= 2 &&
                 ((tok(to - 1).K == TToken::Word && !IsKeyword(tok(to - 1))) ||
                  tok(to - 1).K == TToken::Quoted) &&
                 !tok(to - 2).IsSymbol(".") && !SqlDialect::IsOperandOperator(tok(to - 2)))
            to -= 1;
        // A column: name, or names joined by dots.
        bool column = (to - from) % 2 == 1;
        for (std::size_t i = from; column && i < to; ++i) {
            const TToken& t = tok(i);
            column = (i - from) % 2 == 1
                         ? t.IsSymbol(".")
                         : (t.K == TToken::Quoted || (t.K == TToken::Word && !IsKeyword(t)));
        }
        if (column && to - from == 1 && tok(from).K == TToken::Word) {
            const QString up = tok(from).Text.toUpper();
            column = !readAs.contains(up) && !up.startsWith("CURRENT_"_L1) &&
                     !up.startsWith("LOCALTIME"_L1) && up != "TRUE"_L1 && up != "FALSE"_L1;
        }
        expressions.push_back(!column);
    }
    return expressions;
}

QString SettingName(const QString& variable) {
    return u"vexal."_s + variable.toLower();
}

QString PgType(const QString& declaredType) {
    const QString type = declaredType.simplified();
    const QString up = type.toUpper();
    if (up.startsWith("DATETIME"_L1) || up.startsWith("SMALLDATETIME"_L1))
        return u"timestamp"_s;
    if (up == "TINYINT"_L1)
        return u"smallint"_s;
    if (up.startsWith("LONG VARCHAR"_L1) || up.startsWith("LONG NVARCHAR"_L1))
        return u"text"_s;
    if (up.startsWith("NVARCHAR"_L1) || up.startsWith("NCHAR"_L1))
        return type.mid(1);
    return type;
}

bool IsTextType(const QString& pgType) {
    const QString t = pgType.trimmed().toLower();
    return t.isEmpty() || t.startsWith("text"_L1) || t.startsWith("char"_L1) ||
           t.startsWith("varchar"_L1) || t.startsWith("bpchar"_L1) || t == "name"_L1;
}

QString VariableReference(const QString& name, const QString& pgType) {
    const QString read = u"current_setting("_s + Literal(SettingName(name)) + u", true)"_s;
    if (IsTextType(pgType))
        return read;
    return u"CAST(NULLIF("_s + read + u", '') AS "_s + pgType + u')';
}

QString SetVariableSql(const QString& name, const QString& valueExpression, const QString& pgType) {
    const QString value = valueExpression.trimmed().isEmpty() ? u"NULL"_s : valueExpression;
    const QString typed =
        pgType.isEmpty() ? u"("_s + value + u')' : u"CAST(("_s + value + u") AS "_s + pgType + u')';
    return u"SELECT set_config("_s + Literal(SettingName(name)) +
           u", COALESCE(CAST(v AS text), ''), false), CAST(pg_typeof(v) AS text) FROM (SELECT "_s +
           typed + u" AS v) AS vx"_s;
}

QString SessionSetupSql() {
    return u"SET DateStyle = 'ISO, DMY'; SET client_min_messages = warning; "
           "SET standard_conforming_strings = on"_s;
}

} // namespace PgDialect
