#pragma once
// The server dialect of the program's SQL texts, translated for MariaDB and
// MySQL.
//
// The text is cut with the embedded dialect's tokenizer (SqlDialect.h) and
// each statement is classified as on PostgreSQL (PgDialect.h): connection
// variables (SET name = expr, SET @name = expr, CREATE [OR REPLACE]
// VARIABLE, DROP VARIABLE), SET OPTION (ignored), COMMIT/ROLLBACK [WORK], and
// everything else, which is rewritten:
// - the one-row table DUMMY after FROM or JOIN, when the database has no
//   table of that name, becomes a one-row derived table;
// - Connection_property('Number') becomes CONNECTION_ID();
// - String(a, ...) the texts of its arguments joined, dates as "DD.MM.YYYY",
//   times as "HH:MM", date-times as "DD.MM.YYYY HH:MM", null as empty;
// - "current date", "current time", "current timestamp" (two words) the
//   local date, time and date-time; today(), getdate(), isnull() and
//   char(n, ...) (characters by their Unicode code) the server's forms;
// - [NOT] LIKE compares the lower-case text of its left operand (its shown
//   form when the pattern is a 'DD.MM.YYYY' date) with the lower-case
//   pattern, so it ignores case in Cyrillic under any collation, with no
//   escape character unless the statement names one;
// - a 'DD.MM.YYYY' ('DD.MM.YYYY HH:MM') literal compared with something
//   becomes its ISO text, which the server compares with DATE and DATETIME
//   columns as dates (the column stays as it is, so its index serves);
// - a quoted canonical number compared with SUM(), COUNT() or AVG() loses
//   its quotes;
// - a bare name that the server calls an unknown column while the
//   connection has a variable of that name reads the variable.
// Connection variables live in the server's user variables @name, so views'
// functions and server routines can read them too; the connection keeps
// their types and reads dates and decimals back with them. The session runs
// with ANSI_QUOTES (double-quoted names), PIPES_AS_CONCAT (|| joins texts)
// and NO_BACKSLASH_ESCAPES (values are quoted by doubling "'" only).

#include "PgDialect.h"
#include "SqlDialect.h"

#include <QSet>
#include <QString>
#include <vector>

namespace MysqlDialect {

using SqlDialect::TStatement;
using SqlDialect::TToken;
// What the translation needs to know about the connection: the same as on
// PostgreSQL; IsSetting names the server's system variables.
using PgDialect::TConnectionState;

// Classifies and rewrites one statement; see PgDialect::Translate.
TStatement Translate(const std::vector<TToken>& tokens, const TConnectionState& state,
                     const QSet<QString>& readAsVariables = {});

// The user variable that holds a connection variable: @name, quoted when the
// name is more than letters, digits and "_".
QString UserVariable(const QString& name);
// A declared variable type as the server's CAST names it: SIGNED for whole
// numbers, DECIMAL(p,s), DOUBLE, DATE, DATETIME, TIME, CHAR for texts.
QString CastType(const QString& declaredType);
// True for the CAST types of whole and real numbers.
bool IsNumericType(const QString& castType);
// The expression that reads a variable back with its CAST type: a user
// variable keeps numbers and texts but turns dates into texts.
QString VariableReference(const QString& name, const QString& castType);
// The statement that computes a SET's value once: the value, and (for a
// typed variable) the value converted to the type.
QString ValueSql(const QString& valueExpression, const QString& castType);

// The session's SQL mode with ANSI_QUOTES, PIPES_AS_CONCAT and
// NO_BACKSLASH_ESCAPES added; the connection checks afterwards that the
// server took them.
QString SessionSetupSql();
// The modes the session must have.
QStringList RequiredModes();

} // namespace MysqlDialect
