#pragma once
// The server-facing half of the utility library: the work query, single
// statements with one value back, server date and time, nested units of
// work, the log writer and the script runner.

#include "Query.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>

class TDatabase;

// A one-way query with parameter scanning off: the text reaches the server
// unchanged and a colon in it never starts a parameter.
class TKivWorkQuery : public TQuery {
    Q_OBJECT
public:
    TKivWorkQuery(QObject* owner, const QString& databaseName);
};

// Library state shared by every caller.
extern TKivWorkQuery* WorkQuery;
extern TDatabase* SessionDatabase;
extern bool ContinueOnSqlError;
extern bool ExecOnly;
extern std::int32_t LastSqlFailed;
extern QString LastSqlError;
extern std::int32_t WorkDepth;
extern QString WorkTitle;
extern std::int32_t CurrentUserN;
// Set once the session is bootstrapped; until then server date and time come
// from the local clock.
extern bool SessionReady;

// Runs one statement on the query. A statement whose first six characters
// are SELECT (any case) is opened and its first value returned (a null value
// and no row give an empty variant); any other statement, or any statement
// while ExecOnly is set, is executed. A failure is reported in an
// "SQL Exception" box and raised again unless ContinueOnSqlError is set.
QVariant ExecSqlValueOn(const QString& text, TKivWorkQuery* query);
QVariant ExecSqlValue(const QString& text);
// The same for one step of a script, whose text may hold several statements
// (every other text runs as exactly one).
QVariant ExecSqlScriptStep(const QString& text);

QString ServerDate();
QString ServerTime();
// Local date and time in the program's date format, with trailing non-digits
// dropped and ",", "/", "-" turned into the date separator.
QString DateToText(const QDateTime& value);

void BeginWork(const QString& title);
void CommitWork(const QString& title);
void RollbackWork(const QString& title);
void WriteLog(std::uint16_t kind, const QString& text);

// Runs a list of script lines in one unit of work; statements span lines and
// are separated by whole lines ";;" or "GO". Shows one "Грешка" box on
// failure and returns false.
bool RunSqlScript(const QStringList& lines);
