#pragma once
// Queries bound to a database by its name. SQL text is held as lines and
// reaches the server as one statement (a text holding two is refused); the embedded backend
// translates the server dialect the program's SQL texts assume (see Database.h).

#include "DataSet.h"

#include <QStringList>

#include <functional>

class TDatabase;

// Long statements. While a statement runs or its rows are read, the backends
// call QueryWatchPoint() now and then: the embedded engine every few thousand
// steps of its virtual machine, the server backends once per row read. A
// watcher installed by the user interface may keep its windows painted there
// and answer true to stop the statement, which then raises EQueryCancelled
// (a silent failure: the user asked for it). Without a watcher nothing runs.
class EQueryCancelled : public EAbort {};
using TQueryWatcher = std::function<bool()>;
// Installs a watcher (an empty one removes it); returns the previous one.
TQueryWatcher SetQueryWatcher(TQueryWatcher watcher);
bool HasQueryWatcher();
// True when the statement running now is to stop.
bool QueryWatchPoint();

// A named parameter (":name" in the SQL text).
class TParam {
public:
    QString Name;
    QVariant Value;
    void SetAsInteger(int value) { Value = value; }
    void SetAsString(const QString& value) { Value = value; }
    void Clear() { Value = QVariant(); }
};

class TQuery : public TDataSet {
    Q_OBJECT
public:
    explicit TQuery(QObject* owner = nullptr);
    ~TQuery() override;

    // Name of the database the query runs on, compared without regard to case.
    QString DatabaseName() const;
    void SetDatabaseName(const QString& name);
    TDatabase* Database() const; // nullptr when no open database has that name

    // SQL text as lines. Changing it closes the query and unprepares it.
    QStringList SQL() const;
    void SetSQL(const QStringList& lines);
    void SetSQLText(const QString& text);
    void ClearSQL();
    void AddSQL(const QString& line);
    QString SQLText() const; // lines joined by "\n"

    // Parameter scanning: on by default; off sends the text unchanged (a
    // colon never starts a parameter).
    bool ParamCheck() const;
    void SetParamCheck(bool on);
    int ParamCount() const;
    TParam* Params(int index);
    TParam* ParamByName(const QString& name); // raises when missing

    // Several statements: off by default, so the text runs as exactly one
    // statement and a second one raises before anything runs. Only scripts
    // (the connection script, the pre-run script, RunSqlScript) turn it on.
    bool MultiStatement() const;
    void SetMultiStatement(bool on);

    // Forward-only reading: rows are read as the cursor moves and not kept.
    bool UniDirectional() const;
    void SetUniDirectional(bool on);

    void Prepare();
    void Unprepare();
    bool Prepared() const;
    // Runs a statement that returns no rows.
    void ExecSQL();
    int RowsAffected() const;

protected:
    void DoOpen() override;
    void DoClose() override;
    bool FetchNextRow() override;

private:
    void ParseSql();
    TDatabase* BoundDatabase(); // prepares the statement on the database
    void DropStatement();
    QVariantList BoundValues() const;
    struct Private;
    std::unique_ptr<Private> P;
};
