// Expressions over data sets built in code: field values by kind, qualified
// and bracketed names, aggregates accumulated record by record, and a
// robustness run over generated expressions.

#include "DataSet.h"
#include "RpExpr.h"

#include <QDate>
#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

class RpExprData : public ::testing::Test {
protected:
    void SetUp() override {
        Data.setObjectName(QStringLiteral("qrDATA"));
        Data.AddField(QStringLiteral("AMOUNT"), TFieldType::Integer);
        Data.AddField(QStringLiteral("PRICE"), TFieldType::Float);
        Data.AddField(QStringLiteral("NAME"), TFieldType::String);
        Data.AddField(QStringLiteral("Сума"), TFieldType::Float);
        Data.AddField(QStringLiteral("NOTES"), TFieldType::String);
        Data.AddField(QStringLiteral("PAID"), TFieldType::Boolean);
        Data.AddField(QStringLiteral("DAY"), TFieldType::Date);
        Data.AddField(QStringLiteral("BIG"), TFieldType::Integer);
        Data.AddField(QStringLiteral("PICTURE"), TFieldType::Blob);
        // Lower-case ё is B8 in Windows-1251, below every capital А..Я (C0..DF),
        // while in UTF-16 it sorts above them: MAX and MIN tell the orders apart.
        const QDate day(2024, 1, 31);
        Data.AppendRow({10, 2.5, QStringLiteral("Петров"), 1.25, QStringLiteral("first"), true, day,
                        qint64(3000000000)});
        Data.AppendRow({20, 0.5, QStringLiteral("Алексиев"), 2.5, QString(), false, day, 1});
        Data.AppendRow({5, 4.0, QStringLiteral("Бонев"), 3.75, QString(), true, day, 1});
        Data.AppendRow({7, 1.0, QStringLiteral("Ямболиев"), 0.5, QString(), false, day, 1});
        Data.AppendRow({8, 2.0, QStringLiteral("ёлков"), 2.0, QString(), true, day, 1});
        Data.Open();
        Data.First();

        Other.setObjectName(QStringLiteral("other"));
        Other.AddField(QStringLiteral("AMOUNT"), TFieldType::Integer);
        Other.AddField(QStringLiteral("CODE"), TFieldType::String);
        Other.AppendRow({99, QStringLiteral("X1")});
        Other.Open();
        Other.First();
    }

    EvalResult Eval(const QString& expression) {
        TRpEvaluator evaluator;
        evaluator.SetSearchDataSets({&Data, &Other});
        evaluator.Compile(expression);
        return evaluator.Compute();
    }

    TDataSet Data;
    TDataSet Other;
};

} // namespace

TEST_F(RpExprData, FieldsOfTheCurrentRecord) {
    struct Row {
        const char* Expression;
        EvalKind Kind;
        const char* Text;
        const char* Why;
    };
    const Row rows[] = {
        {"AMOUNT", EvalKind::Integer, "10", "integer field"},
        {"PRICE*2", EvalKind::Float, "5", "float field"},
        {"NAME", EvalKind::Text, "Петров", "text field"},
        {"[Сума]", EvalKind::Float, "1.25", "a Cyrillic field name in brackets"},
        {"Сума", EvalKind::Error, "Error in expression : Сума", "and only in brackets"},
        {"NOTES", EvalKind::Text, "first", "a field whose name begins with n-o-t"},
        {"not PAID", EvalKind::Boolean, "False", "boolean field under a negation"},
        {"DAY", EvalKind::Text, "31.01.2024", "dates read as their plain text"},
        {"BIG", EvalKind::Float, "3000000000", "a whole number beyond 32 bits does not wrap"},
        {"PICTURE", EvalKind::Error, "Field PICTURE is of unknown type", "binary field"},
        {"amount", EvalKind::Integer, "10", "field names in any case"},
        {"qrDATA.AMOUNT", EvalKind::Integer, "10", "data-set-qualified name"},
        {"QRDATA.amount", EvalKind::Integer, "10", "qualified, in any case"},
        {"[qrDATA.Сума]", EvalKind::Float, "1.25", "qualified and bracketed"},
        {"other.AMOUNT", EvalKind::Integer, "99", "the named data set, not the first one"},
        {"CODE", EvalKind::Text, "X1", "unqualified: the first data set holding the field"},
        {"nowhere.AMOUNT", EvalKind::Error, "Unknown function : NOWHERE.AMOUNT",
         "no such data set"},
        {"other.NAME", EvalKind::Error, "Unknown function : OTHER.NAME",
         "the named data set lacks the field"},
        {"AMOUNT + ' ' + NAME", EvalKind::Text, "10 Петров", "fields in a text mixture"},
    };
    for (const Row& row : rows) {
        const EvalResult result = Eval(QString::fromUtf8(row.Expression));
        EXPECT_EQ(int(result.Kind), int(row.Kind)) << row.Expression << " -- " << row.Why;
        EXPECT_EQ(EvalPlainText(result).toStdString(), std::string(row.Text))
            << row.Expression << " -- " << row.Why;
    }
}

TEST_F(RpExprData, AggregatesOverTheRecords) {
    struct Row {
        const char* Expression;
        EvalKind Kind;
        const char* Total;  // after one pass over the five records
        const char* Before; // after ClearTotals, before any record
        const char* Why;
    };
    const Row rows[] = {
        {"SUM(AMOUNT)", EvalKind::Integer, "50", "0", "10+20+5+7+8"},
        {"SUM([Сума])", EvalKind::Float, "10", "0", "1.25+2.5+3.75+0.5+2"},
        {"AVERAGE(PRICE)", EvalKind::Float, "2", "0", "(2.5+0.5+4+1+2)/5"},
        {"AVERAGE(AMOUNT)", EvalKind::Float, "10", "0", "an integer average is a float"},
        {"MAX(AMOUNT)", EvalKind::Integer, "20", "0", ""},
        {"MIN(PRICE)", EvalKind::Float, "0.5", "0", ""},
        {"MAX(NAME)", EvalKind::Text, "Ямболиев", "0", "Я is DF, the largest first byte"},
        {"MIN(NAME)", EvalKind::Text, "ёлков", "0", "ё is B8, below А"},
        {"MAX(PAID)", EvalKind::Boolean, "True", "0", "true ranks above false"},
        {"COUNT", EvalKind::Integer, "5", "0", "one per accumulation"},
        {"SUM(AMOUNT)/COUNT", EvalKind::Float, "10", "Cannot divide by 0", "aggregates combine"},
        {"SUM(NAME)", EvalKind::Error, "Wrong arguments for SUM", "0", "texts do not sum"},
        {"SUM(IF(PAID,AMOUNT,0))", EvalKind::Integer, "23", "0", "10+5+8 paid"},
    };
    for (const Row& row : rows) {
        TRpEvaluator evaluator;
        evaluator.SetSearchDataSets({&Data});
        evaluator.Compile(QString::fromUtf8(row.Expression));
        ASSERT_TRUE(evaluator.HasAggregates()) << row.Expression;
        for (int pass = 0; pass < 2; ++pass) {
            evaluator.ClearTotals();
            EXPECT_EQ(EvalPlainText(evaluator.Compute()).toStdString(), std::string(row.Before))
                << row.Expression << " before pass " << pass;
            for (Data.First(); !Data.Eof(); Data.Next())
                evaluator.Accumulate();
            // Computing twice shows that only Accumulate moves the totals.
            evaluator.Compute();
            const EvalResult total = evaluator.Compute();
            EXPECT_EQ(int(total.Kind), int(row.Kind)) << row.Expression << " -- " << row.Why;
            EXPECT_EQ(EvalPlainText(total).toStdString(), std::string(row.Total))
                << row.Expression << " -- " << row.Why;
        }
    }
}

TEST_F(RpExprData, AFieldOfADeletedDataSetGivesAnErrorValue) {
    auto gone = std::make_unique<TDataSet>();
    gone->AddField(QStringLiteral("X"), TFieldType::Integer);
    gone->AppendRow({1});
    gone->Open();
    TRpEvaluator evaluator;
    evaluator.SetSearchDataSets({gone.get()});
    evaluator.Compile(QStringLiteral("X+1"));
    EXPECT_EQ(evaluator.Compute().IntValue, 2);
    gone.reset();
    EXPECT_EQ(evaluator.Compute().TextValue, QStringLiteral("Field X not found"));
}

// Compiling any text never crashes and computing it never raises: a few
// thousand expressions made of the language's pieces and stray characters.
TEST_F(RpExprData, GeneratedExpressionsNeverRaise) {
    const QStringList pieces = {
        QStringLiteral("1"),
        QStringLiteral("2.5"),
        QStringLiteral("0"),
        QStringLiteral("'a'"),
        QStringLiteral("'"),
        QStringLiteral("("),
        QStringLiteral(")"),
        QStringLiteral("["),
        QStringLiteral("]"),
        QStringLiteral("+"),
        QStringLiteral("-"),
        QStringLiteral("*"),
        QStringLiteral("/"),
        QStringLiteral("<"),
        QStringLiteral(">"),
        QStringLiteral("="),
        QStringLiteral(" or "),
        QStringLiteral(" and "),
        QStringLiteral("not "),
        QStringLiteral(" "),
        QStringLiteral(","),
        QStringLiteral("AMOUNT"),
        QStringLiteral("[Сума]"),
        QStringLiteral("qrDATA.NAME"),
        QStringLiteral("SUM("),
        QStringLiteral("IF("),
        QStringLiteral("COUNT"),
        QStringLiteral("AVERAGE("),
        QStringLiteral("MAX("),
        QStringLiteral("COPY("),
        QStringLiteral("DIV("),
        QStringLiteral("STR("),
        QStringLiteral("PRETTY("),
        QStringLiteral("PAGENUMBER"),
        QStringLiteral("LOOP"),
        QStringLiteral("E"),
        QStringLiteral("."),
        QStringLiteral("Я"),
        QStringLiteral("#"),
        QStringLiteral("\""),
        QString(QChar(0xD800)),
        QStringLiteral("2147483647"),
        QStringLiteral("FORMATNUMERIC('#,##0.0;(0)',"),
        QStringLiteral("NOTES"),
    };
    TRpEvEnvironment report;
    report.DefineName(QStringLiteral("PAGENUMBER"), QStringLiteral("0"));
    report.DefineName(QStringLiteral("LOOP"), QStringLiteral("LOOP+1"));
    report.SetDataSets({&Data});
    report.Prepare();

    std::mt19937 random(20240131u);
    std::uniform_int_distribution<int> length(0, 24);
    std::uniform_int_distribution<int> pick(0, int(pieces.size()) - 1);
    std::uniform_int_distribution<int> stray(1, 0x4FF);
    for (int n = 0; n < 3000; ++n) {
        QString expression;
        const int count = length(random);
        for (int i = 0; i < count; ++i) {
            if (pick(random) == 0)
                expression += QChar(stray(random));
            else
                expression += pieces[pick(random)];
        }
        TRpEvaluator evaluator;
        evaluator.SetSearchDataSets({&Data});
        evaluator.SetLocalEnvironment(&report);
        try {
            evaluator.Compile(expression);
            evaluator.Compute();
            evaluator.ClearTotals();
            for (Data.First(); !Data.Eof(); Data.Next())
                evaluator.Accumulate();
            evaluator.Compute();
        } catch (const std::exception& e) {
            ADD_FAILURE() << expression.toStdString() << " raised " << e.what();
        }
    }
    report.Unprepare();
}
