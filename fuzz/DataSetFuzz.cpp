// Expressions over a small in-memory data set: the report evaluator
// (compile any text, compute it record by record, aggregates included) and
// the client-side filter of data sets.

#include "DataSet.h"
#include "FuzzTargets.h"
#include "RpExpr.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace Fuzz {

namespace {

// Fields of every kind the program reads, with nulls, extremes and Cyrillic
// texts among the values.
void FillDataSet(TDataSet& data) {
    data.setObjectName(QStringLiteral("qrDATA"));
    data.AddField(QStringLiteral("ID"), TFieldType::Integer);
    data.AddField(QStringLiteral("PRICE"), TFieldType::Float);
    data.AddField(QStringLiteral("NAME"), TFieldType::String);
    data.AddField(QStringLiteral("Сума"), TFieldType::Currency);
    data.AddField(QStringLiteral("PAID"), TFieldType::Boolean);
    data.AddField(QStringLiteral("DAY"), TFieldType::Date);
    data.AddField(QStringLiteral("AT"), TFieldType::Time);
    data.AddField(QStringLiteral("STAMP"), TFieldType::DateTime);
    data.AddField(QStringLiteral("SMALL"), TFieldType::SmallInt);
    data.AddField(QStringLiteral("PICTURE"), TFieldType::Blob);
    data.AppendRow({1, 2.5, QStringLiteral("Петров"), 10.25, true, QDate(2024, 1, 31), QTime(8, 30),
                    QDateTime(QDate(2024, 2, 29), QTime(23, 59)), 7, QByteArray("\x00\x01", 2)});
    data.AppendRow({qint64(9223372036854775807LL), -1e308, QStringLiteral("it's"), -0.005, false,
                    QDate(1, 1, 1), QTime(0, 0), QDateTime(), -32768, QByteArray()});
    data.AppendRow({QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
                    QVariant(), QVariant(), QVariant(), QVariant()});
    data.AppendRow({qint64(-9223372036854775807LL - 1), 0.0, QString(), 0, true,
                    QDate(9999, 12, 31), QTime(23, 59, 59), QDateTime(QDate(1899, 12, 30), QTime()),
                    32767, QByteArray(300, 'x')});
    data.Open();
}

} // namespace

void Expression(const std::uint8_t* data, std::size_t size) {
    StartExpressionEngine();
    TDataSet rows;
    FillDataSet(rows);
    try {
        TRpEvaluator evaluator;
        evaluator.SetSearchDataSets({&rows});
        evaluator.Compile(Text(data, size));
        // A report computes once per record and accumulates aggregates.
        for (rows.First(); !rows.Eof(); rows.Next()) {
            (void)EvalResultText(evaluator.Compute(), QStringLiteral("###,##0.00"));
            evaluator.Accumulate();
        }
        (void)evaluator.Compute();
        evaluator.ClearTotals();
        (void)evaluator.Compute();
    } catch (const Exception&) {
    }
}

void Filter(const std::uint8_t* data, std::size_t size) {
    TDataSet rows;
    FillDataSet(rows);
    try {
        rows.SetFilter(Text(data, size));
        rows.SetFiltered(true);
        int seen = 0;
        for (rows.First(); !rows.Eof(); rows.Next())
            ++seen;
        // The filter only hides rows.
        if (seen > 4 || seen != rows.RecordCount())
            __builtin_trap();
        rows.Last();
        while (!rows.Bof())
            rows.Prior();
        rows.SetFiltered(false);
    } catch (const Exception&) {
    }
}

} // namespace Fuzz
