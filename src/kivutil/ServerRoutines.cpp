#include "ServerRoutines.h"

#include "Database.h"
#include "DisplayFormat.h"
#include "FormatSettings.h"
#include "MessageBox.h"
#include "TextRoutines.h"

#include <QCoreApplication>
#include <QDateTime>

TKivWorkQuery* WorkQuery = nullptr;
TDatabase* SessionDatabase = nullptr;
bool ContinueOnSqlError = false;
bool ExecOnly = false;
std::int32_t LastSqlFailed = 0;
QString LastSqlError;
std::int32_t WorkDepth = 0;
QString WorkTitle;
std::int32_t CurrentUserN = -1;
bool SessionReady = false;

TKivWorkQuery::TKivWorkQuery(QObject* owner, const QString& databaseName) : TQuery(owner) {
    SetDatabaseName(databaseName);
    SetUniDirectional(true);
    SetParamCheck(false);
}

QVariant ExecSqlValueOn(const QString& text, TKivWorkQuery* query) {
    QVariant result;
    LastSqlFailed = 0;
    query->Close();
    query->ClearSQL();
    query->SetSQLText(text);
    const QString head = text.left(6).toUpper();
    try {
        if (query->DatabaseName().isEmpty())
            throw EDatabaseError(QStringLiteral("Database not selected."));
        if (head != QLatin1String("SELECT") || ExecOnly) {
            query->ExecSQL();
        } else {
            query->Open();
            if (!query->Eof() && query->FieldCount() > 0) {
                const QVariant value = query->Fields(0)->AsVariant();
                if (!value.isNull())
                    result = value;
            }
        }
    } catch (const EAbort&) {
        // A statement the user stopped (Cancel of the busy dialog) is no
        // error to report, and it ends the work it belongs to even when
        // failures are to be reported only.
        LastSqlFailed = -1;
        throw;
    } catch (const Exception& e) {
        LastSqlFailed = -1;
        LastSqlError = e.message();
        ShowMessageBox(LastSqlError, QStringLiteral("SQL Exception"), MB_OK | MB_ICONSTOP);
        if (!ContinueOnSqlError)
            throw;
    }
    query->Close();
    return result;
}

QVariant ExecSqlValue(const QString& text) {
    if (!WorkQuery)
        throw EDatabaseError(QStringLiteral("Database not selected."));
    return ExecSqlValueOn(text, WorkQuery);
}

QVariant ExecSqlScriptStep(const QString& text) {
    if (!WorkQuery)
        throw EDatabaseError(QStringLiteral("Database not selected."));
    WorkQuery->SetMultiStatement(true);
    QVariant result;
    try {
        result = ExecSqlValueOn(text, WorkQuery);
    } catch (...) {
        WorkQuery->SetMultiStatement(false);
        throw;
    }
    WorkQuery->SetMultiStatement(false);
    return result;
}

QString DateToText(const QDateTime& value) {
    QString text = DateText(value.date());
    while (!text.isEmpty() && !text.back().isDigit())
        text.chop(1);
    for (QChar& c : text)
        if (c == u',' || c == u'/' || c == u'-')
            c = FormatSettings::DateSeparator;
    return text;
}

namespace {

// One attempt at a server value: false when the statement failed, whether the
// failure was raised or only reported (ContinueOnSqlError).
bool TryServerValue(const QString& sql, QVariant* value) {
    try {
        *value = ExecSqlValue(sql);
    } catch (const Exception&) {
        return false;
    }
    return LastSqlFailed == 0;
}

// A server's date-time value as a QDateTime: a date-time, an ISO or program
// formatted text, or a day number since 30 December 1899.
QDateTime AsDateTime(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.metaType().id() == QMetaType::QDate)
        return value.toDate().startOfDay();
    bool isNumber = false;
    const double days = value.toDouble(&isNumber);
    if (isNumber && value.metaType().id() != QMetaType::QString) {
        const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
        return epoch.addMSecs(qint64(days * 86400000.0));
    }
    const QString text = value.toString().trimmed();
    for (const QString& format : {QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"),
                                  QStringLiteral("yyyy-MM-dd HH:mm:ss"),
                                  QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
                                  QStringLiteral("yyyy-MM-dd HH:mm"),
                                  QStringLiteral("dd.MM.yyyy HH:mm:ss"),
                                  QStringLiteral("dd.MM.yyyy HH:mm"), QStringLiteral("yyyy-MM-dd"),
                                  QStringLiteral("dd.MM.yyyy")}) {
        const QDateTime parsed = QDateTime::fromString(text, format);
        if (parsed.isValid())
            return parsed;
    }
    return {};
}

} // namespace

QString ServerDate() {
    if (!SessionReady)
        return DateToText(QDateTime::currentDateTime());
    QVariant value;
    if (TryServerValue(QStringLiteral("SELECT String(current date)"), &value))
        return value.toString();
    if (TryServerValue(QStringLiteral("SELECT Now()"), &value)) {
        const QDateTime when = AsDateTime(value);
        if (when.isValid())
            return DateToText(when);
    }
    return DateToText(QDateTime::currentDateTime());
}

QString ServerTime() {
    if (!SessionReady)
        return FormatDateTimePicture(FormatSettings::LongTimeFormat, QDateTime::currentDateTime());
    QVariant value;
    if (TryServerValue(QStringLiteral("SELECT String(CURRENT TIME)"), &value))
        return value.toString();
    if (TryServerValue(QStringLiteral("SELECT NOW()"), &value)) {
        const QDateTime when = AsDateTime(value);
        if (when.isValid())
            return FormatDateTimePicture(FormatSettings::LongTimeFormat, when);
    }
    return FormatDateTimePicture(FormatSettings::LongTimeFormat, QDateTime::currentDateTime());
}

void BeginWork(const QString& title) {
    if (WorkDepth == 0) {
        ++MessageQuiet;
        const bool savedContinue = ContinueOnSqlError;
        ContinueOnSqlError = true;
        try {
            ExecSqlValue(QStringLiteral("SET kzmErrorMessage=''"));
        } catch (const Exception&) {
        }
        ContinueOnSqlError = savedContinue;
        --MessageQuiet;
        LastSqlError.clear();
        WriteLog(1, title);
        if (SessionDatabase)
            SessionDatabase->StartTransaction();
        WorkTitle = title.left(99);
    }
    ++WorkDepth;
}

namespace {

// The end of the outermost unit of work: engine-level commit or rollback,
// then the statement, then the server's message variable.
void EndWork(bool commit, const QString& title) {
    // The depth goes down even when the commit or rollback fails, so that a
    // failed end of work does not leave every later unit of work nested
    // inside a transaction that no longer exists.
    struct DepthGuard {
        ~DepthGuard() {
            if (WorkDepth > 0)
                --WorkDepth;
        }
    } depthGuard;
    if (WorkDepth == 1) {
        if (SessionDatabase) {
            if (commit)
                SessionDatabase->Commit();
            else
                SessionDatabase->Rollback();
        }
        ExecSqlValue(commit ? QStringLiteral("COMMIT WORK") : QStringLiteral("ROLLBACK WORK"));
        ++MessageQuiet;
        const bool savedExecOnly = ExecOnly;
        const bool savedContinue = ContinueOnSqlError;
        ExecOnly = false;
        ContinueOnSqlError = true;
        try {
            const QVariant message = ExecSqlValue(QStringLiteral("SELECT kzmErrorMessage"));
            LastSqlError = LastSqlFailed == 0 ? message.toString() : LastSqlError;
        } catch (const Exception& e) {
            LastSqlError = e.message();
        }
        ContinueOnSqlError = savedContinue;
        ExecOnly = savedExecOnly;
        --MessageQuiet;
        WriteLog(commit ? 2 : 3, title);
    }
}

} // namespace

void CommitWork(const QString& title) { EndWork(true, title); }

void RollbackWork(const QString& title) { EndWork(false, title); }

void WriteLog(std::uint16_t kind, const QString& text) {
    if (kind == 1 || kind == 2 || kind == 3)
        return;
    // The text goes in as a literal with its quotes doubled, so that an
    // apostrophe in it neither breaks the statement nor runs as SQL.
    ExecSqlValue(QStringLiteral("INSERT INTO LogFile(UserN, Tip, LogText) VALUES(") +
                 QString::number(CurrentUserN) + QStringLiteral(", ") + QString::number(kind) +
                 QStringLiteral(", ") + QuotedSql(text) + QStringLiteral(")"));
}

bool RunSqlScript(const QStringList& lines) {
    bool result = false;
    LastSqlError.clear();
    ExecOnly = true;
    ++MessageQuiet;
    try {
        BeginWork(QStringLiteral("ExecSQL"));
        QString statement;
        for (const QString& line : lines) {
            const QString trimmed = TrimText(line);
            if (trimmed.isEmpty())
                continue;
            if (trimmed == QLatin1String(";;") || trimmed.toUpper() == QLatin1String("GO")) {
                ExecSqlScriptStep(statement);
                statement.clear();
            } else {
                statement = statement.isEmpty() ? trimmed : statement + QChar(13) + trimmed;
                statement = TrimText(statement);
            }
        }
        if (!statement.isEmpty())
            ExecSqlScriptStep(statement);
        CommitWork(QStringLiteral("ExecSQL"));
        result = true;
        --MessageQuiet;
    } catch (const Exception& e) {
        --MessageQuiet;
        try {
            RollbackWork(QStringLiteral("ExecSQL"));
        } catch (const Exception&) {
        }
        // A script the user stopped ends rolled back, without a message.
        if (!dynamic_cast<const EAbort*>(&e)) {
            const QString serverMessage = TrimText(LastSqlError);
            ShowMessageBox(serverMessage.isEmpty() ? e.message() : serverMessage,
                           QCoreApplication::translate("ServerRoutines", "Грешка"),
                           MB_OK | MB_ICONSTOP);
        }
    }
    ExecOnly = false;
    return result;
}
