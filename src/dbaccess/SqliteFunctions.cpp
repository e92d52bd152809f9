// Functions of the server dialect registered on every embedded connection:
// LEFT/RIGHT by characters, String(), the current date and time, Now(),
// Connection_property('Number'), connection variables, the comparison of
// number and date literals, and a LIKE that ignores case in every alphabet.

#include "DbValues.h"
#include "DisplayFormat.h"
#include "SqliteConnection.h"

#include <QDateTime>
#include <sqlite3.h>

#include <cstring>
#include <string_view>

using DbValues::TDateForm;

namespace {

TSqliteConnection* Connection(sqlite3_context* ctx) {
    return static_cast<TSqliteConnection*>(sqlite3_user_data(ctx));
}

std::string_view TextOf(sqlite3_value* v) {
    const unsigned char* text = sqlite3_value_text(v);
    return {reinterpret_cast<const char*>(text ? text : reinterpret_cast<const unsigned char*>("")),
            std::size_t(sqlite3_value_bytes(v))};
}

void ResultText(sqlite3_context* ctx, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    sqlite3_result_text(ctx, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

void ResultVariant(sqlite3_context* ctx, const QVariant& value) {
    if (value.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        sqlite3_result_int64(ctx, value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_result_double(ctx, value.toDouble());
        return;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_result_blob(ctx, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        return;
    }
    default:
        ResultText(ctx, value.toString());
        return;
    }
}

// Byte offset after the first n characters of a UTF-8 text.
std::size_t Utf8Prefix(std::string_view s, sqlite3_int64 n) {
    std::size_t p = 0;
    while (p < s.size() && n > 0) {
        ++p;
        while (p < s.size() && (static_cast<unsigned char>(s[p]) & 0xC0) == 0x80)
            ++p;
        --n;
    }
    return p;
}

sqlite3_int64 Utf8Length(std::string_view s) {
    sqlite3_int64 n = 0;
    for (const char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

void LeftFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::string_view s = TextOf(argv[0]);
    const sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    const std::size_t end = n > 0 ? Utf8Prefix(s, n) : 0;
    sqlite3_result_text(ctx, s.data(), int(end), SQLITE_TRANSIENT);
}

void RightFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::string_view s = TextOf(argv[0]);
    const sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    const sqlite3_int64 total = Utf8Length(s);
    const std::size_t start = n >= total ? 0 : (n > 0 ? Utf8Prefix(s, total - n) : s.size());
    sqlite3_result_text(ctx, s.data() + start, int(s.size() - start), SQLITE_TRANSIENT);
}

// A value as String() writes it: dates and times in the program's formats.
QString StringText(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QString::number(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return DbValues::FloatDisplay(sqlite3_value_double(v));
    default: {
        const std::string_view s = TextOf(v);
        DbValues::TDateParts when;
        switch (DbValues::ParseIso(s, &when)) {
        case TDateForm::Date:
            return DbValues::DateDisplay(when);
        case TDateForm::Time:
            return DbValues::TimeDisplay(when);
        case TDateForm::DateTime:
            return DbValues::DateTimeDisplay(when);
        case TDateForm::None:
            break;
        }
        return QString::fromUtf8(s.data(), qsizetype(s.size()));
    }
    }
}

void StringFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    QString text;
    for (int i = 0; i < argc; ++i)
        text += StringText(argv[i]);
    ResultText(ctx, text);
}

void NowFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    ResultText(ctx, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void TodayFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    ResultText(ctx, DbValues::IsoDate(QDate::currentDate()));
}

void CurrentTimeFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    ResultText(ctx, QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
}

void ConnectionPropertyFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::string_view name = TextOf(argv[0]);
    if (QString::fromUtf8(name.data(), qsizetype(name.size()))
            .compare(QLatin1String("Number"), Qt::CaseInsensitive) == 0)
        sqlite3_result_int(ctx, Connection(ctx)->Number());
    else
        sqlite3_result_null(ctx);
}

void VariableFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::string_view bytes = TextOf(argv[0]);
    const QString name = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    TSqliteConnection* c = Connection(ctx);
    if (!c->HasVariable(name)) {
        const QByteArray message = QStringLiteral("no such variable: %1").arg(name).toUtf8();
        sqlite3_result_error(ctx, message.constData(), int(message.size()));
        return;
    }
    ResultVariant(ctx, c->Variable(name));
}

int CompareBytes(std::string_view a, std::string_view b) {
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0)
        return c < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

template <typename T> int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// The literal of a vx_cmp call, read once per statement (SQLite keeps it
// with the constant argument).
struct TCompareLiteral {
    bool IsDate = false;
    qint64 DateKey = 0;
    bool HasPoint = false;
    sqlite3_int64 Whole = 0;
    double Number = 0;
};

void DeleteLiteral(void* p) {
    delete static_cast<TCompareLiteral*>(p);
}

TCompareLiteral ReadLiteral(std::string_view literal) {
    TCompareLiteral result;
    DbValues::TDateParts date;
    result.IsDate = DbValues::ParseProgramDate(literal, &date) != TDateForm::None;
    result.DateKey = date.Key();
    result.HasPoint = literal.find('.') != std::string_view::npos;
    const QByteArray bytes(literal.data(), qsizetype(literal.size()));
    result.Whole = bytes.toLongLong();
    result.Number = bytes.toDouble();
    return result;
}

// vx_cmp(value, 'literal'): -1, 0 or 1, or null when value is null. The
// literal is a canonical number or a 'DD.MM.YYYY' date (see SqlDialect.h).
void CompareFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* a = argv[0];
    const int type = sqlite3_value_type(a);
    if (type == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::string_view literal = TextOf(argv[1]);
    const TCompareLiteral* read = static_cast<TCompareLiteral*>(sqlite3_get_auxdata(ctx, 1));
    TCompareLiteral local;
    if (!read) {
        local = ReadLiteral(literal);
        sqlite3_set_auxdata(ctx, 1, new TCompareLiteral(local), DeleteLiteral);
        read = &local;
    }
    int result;
    if (type == SQLITE_BLOB) {
        result = 1; // blobs sort after every text and number
    } else if (type == SQLITE_TEXT) {
        const std::string_view s = TextOf(a);
        DbValues::TDateParts when;
        if (read->IsDate && (DbValues::ParseIso(s, &when) != TDateForm::None ||
                             DbValues::ParseProgramDate(s, &when) != TDateForm::None))
            result = Sign(when.Key(), read->DateKey);
        else
            result = CompareBytes(s, literal); // text columns compare as text
    } else if (read->IsDate) {
        result = -1; // numbers sort before texts
    } else if (type == SQLITE_INTEGER && !read->HasPoint) {
        result = Sign<sqlite3_int64>(sqlite3_value_int64(a), read->Whole);
    } else {
        result = Sign(sqlite3_value_double(a), read->Number);
    }
    sqlite3_result_int(ctx, result);
}

// LIKE with % and _ over case-folded texts; esc (when not null) makes the
// next pattern character literal.
bool LikeMatch(const QString& p, const QString& s, QChar esc) {
    qsizetype pi = 0, si = 0, starP = -1, starS = -1;
    while (si < s.size()) {
        if (pi < p.size()) {
            const QChar pc = p[pi];
            if (!esc.isNull() && pc == esc && pi + 1 < p.size()) {
                if (p[pi + 1] == s[si]) {
                    pi += 2;
                    ++si;
                    continue;
                }
            } else if (pc == u'%') {
                starP = pi++;
                starS = si;
                continue;
            } else if (pc == u'_' || pc == s[si]) {
                ++pi;
                ++si;
                continue;
            }
        }
        if (starP < 0)
            return false;
        pi = starP + 1;
        si = ++starS;
    }
    while (pi < p.size() && p[pi] == u'%')
        ++pi;
    return pi == p.size();
}

void DeletePattern(void* p) {
    delete static_cast<QString*>(p);
}

// like(pattern, value[, escape]) implements "value LIKE pattern". A stored
// ISO date also matches in its shown form, so that LIKE '01.02.2005%' finds
// the sales of that day.
void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    QChar esc;
    if (argc == 3) {
        const std::string_view e = TextOf(argv[2]);
        const QString escape = QString::fromUtf8(e.data(), qsizetype(e.size()));
        if (escape.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        esc = escape.toCaseFolded()[0];
    }
    auto* pattern = static_cast<QString*>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) {
        const std::string_view p = TextOf(argv[0]);
        pattern = new QString(QString::fromUtf8(p.data(), qsizetype(p.size())).toCaseFolded());
        sqlite3_set_auxdata(ctx, 0, pattern, DeletePattern);
        pattern = static_cast<QString*>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
    }
    const std::string_view v = TextOf(argv[1]);
    bool match =
        LikeMatch(*pattern, QString::fromUtf8(v.data(), qsizetype(v.size())).toCaseFolded(), esc);
    if (!match && sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        DbValues::TDateParts when;
        const TDateForm form = DbValues::ParseIso(v, &when);
        if (form == TDateForm::Date) {
            match = LikeMatch(*pattern, DbValues::DateDisplay(when), esc);
        } else if (form == TDateForm::DateTime) {
            // The date and the time to the minute, with the seconds when not 0.
            QString shown = DbValues::DateDisplay(when) + u' ' + DbValues::TimeDisplay(when);
            if (when.Second != 0)
                shown += u':' + QString::number(when.Second).rightJustified(2, u'0');
            match = LikeMatch(*pattern, shown, esc);
        }
    }
    sqlite3_result_int(ctx, match ? 1 : 0);
}

// year(), month(), day() of a date text.
template <int Part> void DatePartFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::string_view s = TextOf(argv[0]);
    DbValues::TDateParts when;
    if (DbValues::ParseIso(s, &when) == TDateForm::None &&
        DbValues::ParseProgramDate(s, &when) == TDateForm::None) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_int(ctx, Part == 0 ? when.Year : (Part == 1 ? when.Month : when.Day));
}

// isnull(a, b, ...): the first value that is not null.
void IsNullFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) != SQLITE_NULL) {
            sqlite3_result_value(ctx, argv[i]);
            return;
        }
    }
    sqlite3_result_null(ctx);
}

} // namespace

void TSqliteConnection::RegisterFunctions() {
    using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);
    struct Entry {
        const char* Name;
        int Args;
        bool Deterministic;
        Fn Function;
    };
    const Entry entries[] = {
        {"vx_left", 2, true, LeftFunction},
        {"vx_right", 2, true, RightFunction},
        {"string", -1, true, StringFunction},
        {"now", 0, false, NowFunction},
        {"getdate", 0, false, NowFunction},
        {"today", 0, false, TodayFunction},
        {"vx_current_date", 0, false, TodayFunction},
        {"vx_current_time", 0, false, CurrentTimeFunction},
        {"vx_current_timestamp", 0, false, NowFunction},
        {"connection_property", 1, false, ConnectionPropertyFunction},
        {"vx_var", 1, false, VariableFunction},
        {"vx_cmp", 2, true, CompareFunction},
        {"like", 2, true, LikeFunction},
        {"like", 3, true, LikeFunction},
        {"year", 1, true, DatePartFunction<0>},
        {"month", 1, true, DatePartFunction<1>},
        {"day", 1, true, DatePartFunction<2>},
        {"isnull", -1, true, IsNullFunction},
    };
    for (const Entry& e : entries) {
        const int flags = SQLITE_UTF8 | (e.Deterministic ? SQLITE_DETERMINISTIC : 0);
        if (sqlite3_create_function(Db, e.Name, e.Args, flags, this, e.Function, nullptr,
                                    nullptr) != SQLITE_OK)
            Fail();
    }
}
