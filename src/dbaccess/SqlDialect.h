#pragma once
// The server dialect of the program's SQL texts, translated for SQLite.
//
// A text is cut into tokens (quoted texts with doubled quotes, double-quoted
// and bracketed names, -- and /* */ comments, names, numbers, parameters and
// punctuation), split into statements at top-level semicolons, and each
// statement is classified and rewritten:
// - SET name = expr, SET @name = expr, CREATE [OR REPLACE] VARIABLE name type
//   [= expr], DROP VARIABLE [IF EXISTS] name: connection variables, kept by
//   the connection; a bare name (or @name) that names a variable is read
//   through vx_var('name'). "@name" and "name" are the same variable. The
//   embedded connection treats a name as a variable only when the engine
//   knows no column of that name, so a variable never hides a column.
// - SET OPTION / SET TEMPORARY OPTION: accepted and ignored.
// - COMMIT [WORK], ROLLBACK [WORK]: succeed with or without a transaction.
// - LEFT( and RIGHT( become vx_left( and vx_right( (keywords in SQLite);
//   "current date", "current time", "current timestamp" (and CURRENT_DATE,
//   ...) the local date and time as ISO text.
// - A comparison (= <> != < <= > >=) whose right side is a quoted literal in
//   canonical number form ('3', '-2.5') or a 'DD.MM.YYYY' date becomes
//   vx_cmp(left, 'literal') <op> 0, which compares numbers by value, ISO date
//   texts as dates and everything else as SQLite would.
// Statements that define schema (CREATE, ALTER, DROP, ...) get only the
// function rewrites, so nothing connection-bound is stored in the schema.

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace SqlDialect {

struct TToken {
    enum Kind { Space, Comment, Word, Quoted, String, Number, Param, Symbol } K = Space;
    QString Text;
    bool IsWord(const char* upper) const {
        return K == Word && Text.compare(QLatin1String(upper), Qt::CaseInsensitive) == 0;
    }
    bool IsSymbol(const char* s) const { return K == Symbol && Text == QLatin1String(s); }
    bool Significant() const { return K != Space && K != Comment; }
};

std::vector<TToken> Tokenize(const QString& sql);

// Statements of a text: token lists split at top-level semicolons (a
// CREATE TRIGGER body is kept whole). Trailing empty statements are dropped,
// but a text with nothing in it gives one empty statement.
std::vector<std::vector<TToken>> SplitStatements(const std::vector<TToken>& tokens);

struct TStatement {
    enum Kind {
        Empty,          // nothing but blanks and comments
        Sql,            // Text is the statement for SQLite
        SetVariable,    // Name; Text is "SELECT <expr>"
        CreateVariable, // Name, Type, OrReplace; Text "SELECT <expr>" or empty
        DropVariable,   // Name, IfExists
        Commit,
        Rollback,
        Ignored // server options
    } K = Empty;
    QString Text;
    QString Name;
    QString Type;
    bool OrReplace = false;
    bool IfExists = false;
    int ParamCount = 0; // "?" placeholders in Text
};

// Classifies and rewrites one statement. isVariable tells whether a name is a
// connection variable at this moment. Raises EDatabaseError for @name that is
// no variable.
TStatement Translate(const std::vector<TToken>& tokens,
                     const std::function<bool(const QString&)>& isVariable);

// The whole text translated in one go (tests, and texts without variables
// declared on the way).
std::vector<TStatement> TranslateText(const QString& sql,
                                      const std::function<bool(const QString&)>& isVariable);

// True when the text holds a statement separator: a ";" outside quoted
// texts, quoted names and comments. Lines that end up inside a query (a
// saved inquiry's conditions, say) are checked with it before they are used.
bool HasStatementSeparator(const QString& sql);

// A query's text is one statement: raises EDatabaseError, before anything
// runs, when the statements split from it are more than one. A final ";"
// with nothing after it but blanks and comments is no second statement.
void RequireOneStatement(const std::vector<std::vector<TToken>>& statements);

// Number of "?" placeholders in a text.
int CountPlaceholders(const std::vector<TToken>& tokens);

// Pieces shared with the other server dialects (PgDialect.h).
bool IsKeyword(const TToken& t);
bool IsComparison(const TToken& t);
// Operators that bind tighter than a comparison.
bool IsOperandOperator(const TToken& t);
// The text inside a quoted literal, doubled quotes made single.
QString Unquote(const QString& literal);
QString Join(const std::vector<TToken>& tokens, std::size_t from = 0);
// Positions of the tokens that are neither blanks nor comments.
std::vector<std::size_t> SignificantIndexes(const std::vector<TToken>& tokens);
// Where the left operand of the operator at sig[k] begins (an index into
// sig); -1 when it cannot be told.
long LeftOperandStart(const std::vector<TToken>& toks, const std::vector<std::size_t>& sig, long k);
// The name a variable token stands for: a plain name, @name or "name".
bool VariableName(const TToken& t, QString* name);

// Edits of a statement's tokens: a token's text replaced, and texts put in
// front of it or after it. The structure is read from the original tokens,
// so independent rewrites of one statement compose.
struct TEdits {
    explicit TEdits(std::size_t n) : Replace(n), Before(n), After(n) {}
    std::vector<std::optional<QString>> Replace;
    std::vector<QString> Before;
    std::vector<QString> After;
    QString Apply(const std::vector<TToken>& toks) const {
        QString text;
        for (std::size_t i = 0; i < toks.size(); ++i)
            text += Before[i] + (Replace[i] ? *Replace[i] : toks[i].Text) + After[i];
        return text;
    }
};

// What the server dialects' rewriters share: a statement's tokens, the
// positions of its significant ones (indexes k below are into those), the
// edits made so far and the walks over brackets and clauses.
class TTokenRewrite {
protected:
    explicit TTokenRewrite(const std::vector<TToken>& tokens)
        : Toks(tokens), Sig(SignificantIndexes(tokens)), E(tokens.size()) {}

    const TToken& Tok(std::size_t k) const { return Toks[Sig[k]]; }
    const TToken* Next(std::size_t k) const { return k + 1 < Sig.size() ? &Tok(k + 1) : nullptr; }
    const TToken* Prev(std::size_t k) const { return k > 0 ? &Tok(k - 1) : nullptr; }
    void Set(std::size_t k, const QString& text) { E.Replace[Sig[k]] = text; }
    // Tokens from..to (indexes into the whole list) write nothing.
    void Empty(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i <= to; ++i)
            E.Replace[i] = QString();
    }

    // The ")" that closes the "(" at open; 0 when unbalanced.
    std::size_t Close(std::size_t open) const {
        int depth = 0;
        for (std::size_t j = open; j < Sig.size(); ++j) {
            if (Tok(j).IsSymbol("("))
                ++depth;
            else if (Tok(j).IsSymbol(")") && --depth == 0)
                return j;
        }
        return 0;
    }

    // Commas at the top level of the call whose "(" is at open.
    std::vector<std::size_t> ArgumentCommas(std::size_t open, std::size_t close) const {
        std::vector<std::size_t> commas;
        int depth = 0;
        for (std::size_t j = open + 1; j < close; ++j) {
            if (Tok(j).IsSymbol("("))
                ++depth;
            else if (Tok(j).IsSymbol(")"))
                --depth;
            else if (depth == 0 && Tok(j).IsSymbol(","))
                commas.push_back(j);
        }
        return commas;
    }

    // The token at k is in a FROM list: the nearest clause word before it at
    // its own depth is FROM.
    bool InFrom(std::size_t k) const {
        int depth = 0;
        for (std::size_t j = k; j-- > 0;) {
            const TToken& t = Tok(j);
            if (t.IsSymbol(")"))
                ++depth;
            else if (t.IsSymbol("(") && --depth < 0)
                return false;
            else if (depth == 0 && t.K == TToken::Word && IsKeyword(t) && !t.IsWord("AS") &&
                     !t.IsWord("JOIN") && !t.IsWord("ON") && !t.IsWord("AND") &&
                     !t.IsWord("INNER") && !t.IsWord("LEFT") && !t.IsWord("OUTER"))
                return t.IsWord("FROM");
        }
        return false;
    }

    // The word at k is called as a function (and is not a qualified name).
    bool Called(std::size_t k) const {
        const TToken* p = Prev(k);
        const TToken* n = Next(k);
        return n && n->IsSymbol("(") && !(p && p->IsSymbol("."));
    }

    const std::vector<TToken>& Toks;
    std::vector<std::size_t> Sig;
    TEdits E;
};

} // namespace SqlDialect
