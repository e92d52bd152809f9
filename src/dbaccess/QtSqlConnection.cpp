// Servers reached through Qt Sql drivers: ODBC data sources (QODBC) and
// PostgreSQL (QPSQL). The SQL text goes to the server unchanged; the server
// speaks its own dialect.

#include "DbConnection.h"
#include "SqlDialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace {

QString ErrorText(const QSqlError& error) {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    return text;
}

TFieldType KindOfMetaType(int id) {
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        return TFieldType::Integer;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::UChar:
    case QMetaType::SChar:
        return TFieldType::SmallInt;
    case QMetaType::Double:
    case QMetaType::Float:
        return TFieldType::Float;
    case QMetaType::Bool:
        return TFieldType::Boolean;
    case QMetaType::QDate:
        return TFieldType::Date;
    case QMetaType::QTime:
        return TFieldType::Time;
    case QMetaType::QDateTime:
        return TFieldType::DateTime;
    case QMetaType::QByteArray:
        return TFieldType::Blob;
    case QMetaType::QString:
        return TFieldType::String;
    default:
        return TFieldType::Unknown;
    }
}

class TQtSqlStatement : public TDbStatement {
public:
    TQtSqlStatement(const QSqlDatabase& db, const QString& sql)
        : Query(db), Sql(sql), Params(SqlDialect::CountPlaceholders(SqlDialect::Tokenize(sql))) {}

    int ParamCount() const override { return Params; }

    void Execute(const QVariantList& params) override {
        CloseCursor();
        Run(params, false);
        Changes = Query.isSelect() ? -1 : Query.numRowsAffected();
        Query.finish();
    }

    std::vector<TColumnInfo> OpenCursor(const QVariantList& params) override {
        CloseCursor();
        Run(params, true);
        if (!Query.isSelect()) {
            Query.finish();
            throw EDatabaseError(QStringLiteral("The statement returns no rows"));
        }
        const QSqlRecord record = Query.record();
        std::vector<TColumnInfo> columns;
        for (int c = 0; c < record.count(); ++c) {
            const QSqlField field = record.field(c);
            TColumnInfo info;
            info.Name = field.name();
            info.Type = KindOfMetaType(field.metaType().id());
            if (info.Type == TFieldType::String && field.length() > 0 && field.length() < 65536)
                info.Size = field.length();
            columns.push_back(info);
        }
        Columns = record.count();
        Open = true;
        return columns;
    }

    bool Fetch(TCellTable& cells) override {
        if (!Open)
            return false;
        if (!Query.next()) {
            const QSqlError error = Query.lastError();
            CloseCursor();
            if (error.isValid())
                throw EDatabaseError(ErrorText(error));
            return false;
        }
        for (int c = 0; c < Columns; ++c)
            cells.PutVariant(c, Query.value(c));
        cells.EndRow();
        return true;
    }

    void CloseCursor() override {
        if (Open)
            Query.finish();
        Open = false;
    }

    bool CursorOpen() const override { return Open; }
    int RowsAffected() const override { return Changes; }

private:
    void Run(const QVariantList& params, bool forwardOnly) {
        Changes = -1;
        Query.setForwardOnly(forwardOnly);
        // Without placeholders the text goes as it is: some drivers prepare
        // on the server, where statements such as CREATE cannot be prepared.
        if (Params == 0) {
            if (!Query.exec(Sql))
                throw EDatabaseError(ErrorText(Query.lastError()));
            return;
        }
        if (!Prepared) {
            if (!Query.prepare(Sql))
                throw EDatabaseError(ErrorText(Query.lastError()));
            Prepared = true;
        }
        for (int i = 0; i < Params; ++i)
            Query.bindValue(i, i < params.size() ? params[i] : QVariant());
        if (!Query.exec())
            throw EDatabaseError(ErrorText(Query.lastError()));
    }

    QSqlQuery Query;
    QString Sql;
    int Params = 0;
    bool Prepared = false;
    bool Open = false;
    int Columns = 0;
    int Changes = -1;
};

class TQtSqlConnection : public TDbConnection {
public:
    TQtSqlConnection(const TAliasInfo& alias, const QString& user, const QString& password)
        : Name(QStringLiteral("vexal-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        const bool odbc = alias.Driver.compare(QLatin1String("odbc"), Qt::CaseInsensitive) == 0;
        Kind = odbc ? QStringLiteral("odbc") : QStringLiteral("postgres");
        const QString qtDriver = odbc ? QStringLiteral("QODBC") : QStringLiteral("QPSQL");
        if (!QSqlDatabase::isDriverAvailable(qtDriver))
            throw EDatabaseError(
                QStringLiteral("The database driver %1 is not installed").arg(qtDriver));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(qtDriver, Name);
            if (odbc) {
                db.setDatabaseName(alias.DSN.isEmpty() ? alias.Database : alias.DSN);
            } else {
                db.setDatabaseName(alias.Database);
                if (!alias.Host.isEmpty())
                    db.setHostName(alias.Host);
                if (alias.Port > 0)
                    db.setPort(alias.Port);
            }
            if (!user.isEmpty())
                db.setUserName(user);
            if (!password.isEmpty())
                db.setPassword(password);
            if (!db.open()) {
                const QString message = ErrorText(db.lastError());
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(Name);
                throw EDatabaseError(
                    QStringLiteral("Cannot connect to %1: %2").arg(alias.Name, message));
            }
        }
    }

    ~TQtSqlConnection() override {
        {
            QSqlDatabase db = QSqlDatabase::database(Name, false);
            if (db.isOpen()) {
                if (InTrans)
                    db.rollback();
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(Name);
    }

    std::unique_ptr<TDbStatement> Prepare(const QString& sql) override {
        return std::make_unique<TQtSqlStatement>(QSqlDatabase::database(Name, false), sql);
    }

    void StartTransaction() override {
        QSqlDatabase db = QSqlDatabase::database(Name, false);
        if (!db.transaction())
            throw EDatabaseError(ErrorText(db.lastError()));
        InTrans = true;
    }

    void Commit() override {
        if (!InTrans)
            return;
        QSqlDatabase db = QSqlDatabase::database(Name, false);
        InTrans = false;
        if (!db.commit())
            throw EDatabaseError(ErrorText(db.lastError()));
    }

    void Rollback() override {
        if (!InTrans)
            return;
        QSqlDatabase db = QSqlDatabase::database(Name, false);
        InTrans = false;
        if (!db.rollback())
            throw EDatabaseError(ErrorText(db.lastError()));
    }

    bool InTransaction() const override { return InTrans; }
    QString Driver() const override { return Kind; }

private:
    QString Name;
    QString Kind;
    bool InTrans = false;
};

} // namespace

std::unique_ptr<TDbConnection> OpenQtSqlConnection(const TAliasInfo& alias, const QString& user,
                                                   const QString& password) {
    return std::make_unique<TQtSqlConnection>(alias, user, password);
}
