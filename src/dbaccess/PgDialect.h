#pragma once
// The server dialect of the program's SQL texts, translated for PostgreSQL.
//
// The text is cut with the embedded dialect's tokenizer (SqlDialect.h; a
// dollar-quoted body is then taken as one literal) and each statement is
// classified as the embedded dialect does: connection variables (SET name =
// expr, SET @name = expr, CREATE [OR REPLACE] VARIABLE, DROP VARIABLE), SET
// OPTION (ignored), COMMIT/ROLLBACK [WORK] (with or without a transaction),
// and everything else, which is rewritten:
// - the one-row table DUMMY after FROM or JOIN, when the database has no
//   relation of that name, becomes a one-row subquery;
// - Connection_property('Number') becomes pg_backend_pid();
// - String(a, ...) the texts of its arguments joined, dates as "DD.MM.YYYY",
//   times as "HH:MM", date-times as "DD.MM.YYYY HH:MM", null as empty;
// - "current date", "current time", "current timestamp" (two words) the
//   local date, time and date-time; today(), getdate(), isnull(), year(),
//   month(), day() and char(n, ...) their PostgreSQL forms;
// - [NOT] LIKE becomes [NOT] ILIKE over the text of its left operand (over
//   the shown date form when the pattern is a 'DD.MM.YYYY' date), so that it
//   ignores case and works on numbers and dates as in the embedded database;
// - a quoted canonical number compared with SUM(), COUNT() or AVG() loses its
//   quotes, so that '2.5' compares with a whole-number total by value;
// - a bare name that the server calls an unknown column while the
//   connection has a variable of that name reads the variable.
// The connection keeps the variables in the custom settings vexal.<name>
// (set_config/current_setting), so views and server routines can read them
// too; the connection sets DateStyle to "ISO, DMY", so 'DD.MM.YYYY' literals
// compare with DATE and TIMESTAMP columns. What PostgreSQL already knows is
// left as it is: its own SET of run-time settings, LEFT(), CURRENT_DATE,
// Now(), quoted names (including quoted Cyrillic aliases).

#include "SqlDialect.h"

#include <QSet>
#include <QString>
#include <functional>
#include <vector>

namespace PgDialect {

using SqlDialect::TStatement;
using SqlDialect::TToken;

// What the translation needs to know about the connection.
struct TConnectionState {
    // A connection variable of that name exists (case-insensitive).
    std::function<bool(const QString&)> IsVariable;
    // The PostgreSQL type a variable is read back as; empty for text.
    std::function<QString(const QString&)> VariableType;
    // A run-time setting of the server (SET name = value is then the server's).
    std::function<bool(const QString&)> IsSetting;
    // The database holds a relation named dummy: DUMMY is left as it is.
    bool HasDummyTable = false;
};

// The embedded tokenizer's tokens with every $tag$...$tag$ body made one
// String token, so semicolons inside a function body do not split it.
std::vector<TToken> Tokenize(const QString& sql);

// Classifies and rewrites one statement. readAsVariables holds the upper-case
// names to read as connection variables; @name is read as a variable whenever
// one of that name exists. For SetVariable and CreateVariable, Text is the
// rewritten value expression (empty when none).
TStatement Translate(const std::vector<TToken>& tokens, const TConnectionState& state,
                     const QSet<QString>& readAsVariables = {});

// Bare names in a statement that may stand for connection variables: names
// that are no keyword, not qualified and not called, of existing variables.
QSet<QString> VariableCandidates(const std::vector<TToken>& tokens, const TConnectionState& state);

// For each item of the outermost SELECT list: true when it is an expression
// (an aggregate, a call, a variable, a literal) rather than a column of a
// table, as the embedded database tells its computed columns. Empty when it
// cannot be told (no SELECT list, or a * in it).
std::vector<bool> ExpressionItems(const std::vector<TToken>& tokens,
                                  const QSet<QString>& readAsVariables = {});

// The custom setting that holds a variable.
QString SettingName(const QString& variable);
// A declared variable type in PostgreSQL's words (DATETIME is a timestamp,
// TINYINT a smallint, LONG VARCHAR text; other types stay).
QString PgType(const QString& declaredType);
// True for the character types, whose value is the setting's text itself.
bool IsTextType(const QString& pgType);
// The expression that reads a variable back with its type.
QString VariableReference(const QString& name, const QString& pgType);

// The value expression of a SET or CREATE VARIABLE as one statement that
// stores it and returns the type of the value: for an untyped variable the
// type is the value's own; a typed one converts the value (and fails when it
// cannot be converted).
QString SetVariableSql(const QString& name, const QString& valueExpression, const QString& pgType);

// Statements run once on every new connection, separated by ";". Among them
// standard_conforming_strings = on: the program quotes values by doubling
// "'" only, so a backslash must never escape a quote on the server.
QString SessionSetupSql();

} // namespace PgDialect
