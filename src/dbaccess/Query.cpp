#include "Query.h"

#include "Database.h"
#include "DbConnection.h"
#include "DbValues.h"
#include "RowStore.h"

#include <QPointer>

namespace {

TQueryWatcher& Watcher() {
    static TQueryWatcher watcher;
    return watcher;
}

bool IsParamStart(QChar c) {
    return c.isLetter() || c == u'_';
}
bool IsParamChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// Replaces every :name outside quotes and comments by "?" and lists the
// names in order of appearance. "::" stays as it is.
QString ScanParams(const QString& s, QStringList* names) {
    QString out;
    out.reserve(s.size());
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c == u'\'' || c == u'"' || c == u'`') {
            qsizetype j = i + 1;
            while (j < n) {
                if (s[j] == c) {
                    if (j + 1 < n && s[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            out += s.mid(i, j - i);
            i = j;
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            qsizetype j = s.indexOf(u'\n', i);
            if (j < 0)
                j = n;
            out += s.mid(i, j - i);
            i = j;
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            qsizetype j = s.indexOf(QStringLiteral("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            out += s.mid(i, j - i);
            i = j;
        } else if (c == u':' && i + 1 < n && s[i + 1] == u':') {
            out += QStringLiteral("::");
            i += 2;
        } else if (c == u':' && i + 1 < n && IsParamStart(s[i + 1])) {
            qsizetype j = i + 1;
            while (j < n && IsParamChar(s[j]))
                ++j;
            names->append(s.mid(i + 1, j - i - 1));
            out += u'?';
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// Field kind of a result column without a declared type, from its values:
// whole or floating numbers, ISO dates and times, otherwise text.
TFieldType KindFromValues(const TCellTable& cells, int col) {
    bool ints = false, floats = false, texts = false, blobs = false;
    bool dates = false, times = false, dateTimes = false, plainText = false;
    for (qint64 r = 0; r < cells.RowCount(); ++r) {
        switch (cells.Kind(r, col)) {
        case TCellKind::Null:
            break;
        case TCellKind::Int:
            ints = true;
            break;
        case TCellKind::Float:
            floats = true;
            break;
        case TCellKind::Blob:
            blobs = true;
            break;
        case TCellKind::Text:
            texts = true;
            if (!plainText) {
                DbValues::TDateParts when;
                switch (DbValues::ParseIso(cells.Bytes(r, col), &when)) {
                case DbValues::TDateForm::Date:
                    dates = true;
                    break;
                case DbValues::TDateForm::Time:
                    // "HH:MM" is what String() makes of a time: text. Only
                    // a stored time has its seconds.
                    if (cells.Bytes(r, col).size() >= 8)
                        times = true;
                    else
                        plainText = true;
                    break;
                case DbValues::TDateForm::DateTime:
                    dateTimes = true;
                    break;
                case DbValues::TDateForm::None:
                    plainText = true;
                    break;
                }
            }
            break;
        }
    }
    if (blobs)
        return TFieldType::Blob;
    if (texts) {
        if (ints || floats || plainText)
            return TFieldType::String;
        if (times && !dates && !dateTimes)
            return TFieldType::Time;
        if (dates && !times && !dateTimes)
            return TFieldType::Date;
        return times ? TFieldType::String : TFieldType::DateTime;
    }
    if (floats)
        return TFieldType::Float;
    if (ints)
        return TFieldType::Integer;
    return TFieldType::Aggregate; // nothing but nulls: the kind is unknown
}

} // namespace

struct TQuery::Private {
    QString DatabaseName;
    QStringList Lines;
    bool ParamCheck = true;
    bool UniDirectional = false;
    bool MultiStatement = false;
    std::vector<std::unique_ptr<TParam>> Params;
    std::vector<int> ParamRefs; // one per placeholder: index into Params
    QString Sql;                // the text with "?" placeholders
    std::unique_ptr<TDbStatement> Statement;
    QPointer<TDatabase> StatementDatabase;
    QMetaObject::Connection DisconnectHook;
    bool Prepared = false;
    int RowsAffected = -1;
};

TQueryWatcher SetQueryWatcher(TQueryWatcher watcher) {
    TQueryWatcher previous = std::move(Watcher());
    Watcher() = std::move(watcher);
    return previous;
}

bool HasQueryWatcher() {
    return bool(Watcher());
}

bool QueryWatchPoint() {
    const TQueryWatcher& watcher = Watcher();
    return watcher && watcher();
}

TQuery::TQuery(QObject* owner) : TDataSet(owner), P(std::make_unique<Private>()) {}

TQuery::~TQuery() {
    if (P->Statement && P->Statement->CursorOpen())
        P->Statement->CloseCursor();
    QObject::disconnect(P->DisconnectHook);
}

QString TQuery::DatabaseName() const {
    return P->DatabaseName;
}

void TQuery::SetDatabaseName(const QString& name) {
    if (name == P->DatabaseName)
        return;
    Close();
    Unprepare();
    P->DatabaseName = name;
}

TDatabase* TQuery::Database() const {
    return TSession::Default().FindDatabase(P->DatabaseName);
}

QStringList TQuery::SQL() const {
    return P->Lines;
}

void TQuery::SetSQL(const QStringList& lines) {
    Close();
    Unprepare();
    P->Lines = lines;
    ParseSql();
}

void TQuery::SetSQLText(const QString& text) {
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    SetSQL(normal.split(u'\n'));
}

void TQuery::ClearSQL() {
    SetSQL({});
}

void TQuery::AddSQL(const QString& line) {
    QStringList lines = P->Lines;
    lines << line;
    SetSQL(lines);
}

QString TQuery::SQLText() const {
    return P->Lines.join(u'\n');
}

bool TQuery::ParamCheck() const {
    return P->ParamCheck;
}

void TQuery::SetParamCheck(bool on) {
    if (on == P->ParamCheck)
        return;
    Close();
    Unprepare();
    P->ParamCheck = on;
    ParseSql();
}

void TQuery::ParseSql() {
    const QString text = SQLText();
    QStringList names;
    P->Sql = P->ParamCheck ? ScanParams(text, &names) : text;
    // Parameters keep their values across changes of the text.
    std::vector<std::unique_ptr<TParam>> old = std::move(P->Params);
    P->Params.clear();
    P->ParamRefs.clear();
    for (const QString& name : names) {
        int index = -1;
        for (std::size_t i = 0; i < P->Params.size(); ++i)
            if (P->Params[i]->Name.compare(name, Qt::CaseInsensitive) == 0)
                index = int(i);
        if (index < 0) {
            auto param = std::make_unique<TParam>();
            param->Name = name;
            for (auto& o : old)
                if (o && o->Name.compare(name, Qt::CaseInsensitive) == 0)
                    param->Value = o->Value;
            index = int(P->Params.size());
            P->Params.push_back(std::move(param));
        }
        P->ParamRefs.push_back(index);
    }
}

int TQuery::ParamCount() const {
    return int(P->Params.size());
}

TParam* TQuery::Params(int index) {
    if (index < 0 || index >= ParamCount())
        throw EDatabaseError(QStringLiteral("Parameter index out of range: %1").arg(index));
    return P->Params[std::size_t(index)].get();
}

TParam* TQuery::ParamByName(const QString& name) {
    for (auto& p : P->Params)
        if (p->Name.compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    throw EDatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}

bool TQuery::MultiStatement() const {
    return P->MultiStatement;
}

void TQuery::SetMultiStatement(bool on) {
    if (on == P->MultiStatement)
        return;
    Close();
    Unprepare();
    P->MultiStatement = on;
}

bool TQuery::UniDirectional() const {
    return P->UniDirectional;
}

void TQuery::SetUniDirectional(bool on) {
    if (on == P->UniDirectional)
        return;
    Close();
    P->UniDirectional = on;
}

TDatabase* TQuery::BoundDatabase() {
    TDatabase* database = TSession::Default().OpenDatabase(P->DatabaseName);
    if (P->Statement && P->StatementDatabase == database)
        return database;
    DropStatement();
    TDbConnection* connection = database->Connection();
    if (!connection)
        throw EDatabaseError(QStringLiteral("Database %1 is not open").arg(P->DatabaseName));
    P->Statement = connection->Prepare(P->Sql, P->MultiStatement ? TStatementCount::Several
                                                                 : TStatementCount::One);
    P->StatementDatabase = database;
    P->DisconnectHook = connect(database, &TDatabase::BeforeDisconnect, this, [this] {
        Close();
        Unprepare();
    });
    return database;
}

void TQuery::DropStatement() {
    if (P->Statement && P->Statement->CursorOpen())
        P->Statement->CloseCursor();
    P->Statement.reset();
    P->StatementDatabase = nullptr;
    QObject::disconnect(P->DisconnectHook);
}

QVariantList TQuery::BoundValues() const {
    QVariantList values;
    values.reserve(qsizetype(P->ParamRefs.size()));
    for (const int index : P->ParamRefs)
        values << P->Params[std::size_t(index)]->Value;
    return values;
}

void TQuery::Prepare() {
    BoundDatabase();
    P->Prepared = true;
}

void TQuery::Unprepare() {
    if (Active())
        Close();
    DropStatement();
    P->Prepared = false;
}

bool TQuery::Prepared() const {
    return P->Prepared;
}

void TQuery::ExecSQL() {
    BoundDatabase();
    P->RowsAffected = -1;
    try {
        P->Statement->Execute(BoundValues());
        P->RowsAffected = P->Statement->RowsAffected();
    } catch (...) {
        if (!P->Prepared)
            DropStatement();
        throw;
    }
    if (!P->Prepared)
        DropStatement();
}

int TQuery::RowsAffected() const {
    return P->RowsAffected;
}

void TQuery::DoOpen() {
    BoundDatabase();
    TRowStore& rows = Rows();
    try {
        const std::vector<TColumnInfo> columns = P->Statement->OpenCursor(BoundValues());
        ResetFields();
        rows.Cells.SetColumnCount(int(columns.size()));
        SetUniDirectionalStore(P->UniDirectional);
        if (P->UniDirectional)
            P->Statement->Fetch(rows.Cells);
        else
            P->Statement->FetchAll(rows.Cells);
        for (int c = 0; c < int(columns.size()); ++c) {
            const TColumnInfo& info = columns[std::size_t(c)];
            const bool computed = info.Type == TFieldType::Unknown;
            TField* field =
                AddStoredField(info.Name, computed ? KindFromValues(rows.Cells, c) : info.Type);
            field->SetComputed(computed);
            field->SetSize(info.Size);
        }
    } catch (...) {
        if (P->Statement && P->Statement->CursorOpen())
            P->Statement->CloseCursor();
        ResetFields();
        if (!P->Prepared)
            DropStatement();
        throw;
    }
}

bool TQuery::FetchNextRow() {
    if (!P->Statement || !P->Statement->CursorOpen())
        return false;
    return P->Statement->Fetch(Rows().Incoming);
}

void TQuery::DoClose() {
    if (P->Statement && P->Statement->CursorOpen())
        P->Statement->CloseCursor();
    ResetFields();
    if (!P->Prepared)
        DropStatement();
}
