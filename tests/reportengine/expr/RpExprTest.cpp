// The expression language without data sets: compilation rules, operators,
// built-in functions, aggregates in aggregate mode, environments and the
// function registry.

#include "RpExpr.h"

#include <QCoreApplication>
#include <QVariant>
#include <gtest/gtest.h>

namespace {

EvalResult Eval(const QString& expression, TRpEvEnvironment* local = nullptr) {
    TRpEvaluator evaluator;
    evaluator.SetLocalEnvironment(local);
    evaluator.Compile(expression);
    return evaluator.Compute();
}

struct Row {
    const char* Expression; // UTF-8
    EvalKind Kind;
    const char* Text; // EvalPlainText of the result (the message of an error)
    const char* Why;
};

void Check(const Row& row) {
    const QString expression = QString::fromUtf8(row.Expression);
    const EvalResult result = Eval(expression);
    EXPECT_EQ(int(result.Kind), int(row.Kind))
        << row.Expression << " -- " << row.Why << " -- got " << EvalPlainText(result).toStdString();
    EXPECT_EQ(EvalPlainText(result).toStdString(), std::string(row.Text))
        << row.Expression << " -- " << row.Why;
}

constexpr EvalKind I = EvalKind::Integer;
constexpr EvalKind F = EvalKind::Float;
constexpr EvalKind T = EvalKind::Text;
constexpr EvalKind B = EvalKind::Boolean;
constexpr EvalKind E = EvalKind::Error;

} // namespace

TEST(RpExprCompute, Arithmetic) {
    const Row rows[] = {
        {"7/2", F, "3.5", "division always gives a float"},
        {"8/2/2", F, "2", "the right part of / has * and / swapped: 8/(2*2)"},
        {"2*3/4*2", F, "3", "left to right: ((2*3)/4)*2, through the swap"},
        {"7-2-1", I, "4", "the right part of - has signs swapped: 7-(2+1)"},
        {"1-2+3", I, "2", "a-b+c computes as a-(b-c)"},
        {"10-2*3+1", I, "5", "products bind tighter than sums"},
        {"5--3", I, "8", "a unary minus after a minus is not swapped into a plus"},
        {"5-2--3", I, "6", "swapping skips the unary sign: 5-(2+(-3))"},
        {"5-2+-3", I, "0", "and a unary sign after a swapped plus"},
        {"-3", I, "-3", "a leading minus compiles as 0-3"},
        {"-(2+3)", I, "-5", "the minus applies to the whole bracket"},
        {"+3", I, "3", "a leading plus is dropped"},
        {" 1 + 2 ", I, "3", "blanks around operands are cut"},
        {"2147483647+1", I, "-2147483648", "32-bit integers wrap around"},
        {"3000000000", F, "3000000000", "a constant beyond 32 bits becomes a float"},
        {"1+1.5", F, "2.5", "integer with float makes both float"},
        {"1.5", F, "1.5", "a point makes the constant a float"},
        {"1E5", F, "100000", "an exponent letter makes a float"},
        {"1/0", E, "Cannot divide by 0", "integer division by zero"},
        {"1.5/0.0", E, "Cannot divide by 0", "float division by zero"},
        {"5 or 3", I, "7", "OR of integers is bitwise"},
        {"6 AND 3", I, "2", "AND of integers is bitwise, keyword in any case"},
        {"1.5 or 2", E, "Operator OR is not compatible with numeric expressions", "no float OR"},
        {"1.5 and 2.5", E, "Operator AND is not compatible with numeric expressions",
         "no float AND"},
    };
    for (const Row& row : rows)
        Check(row);
}

TEST(RpExprCompute, TextsBooleansAndMixtures) {
    const Row rows[] = {
        {"1+'a'", T, "1a", "integer with text turns both into text"},
        {"1.5+'x'", T, "1.5x", "float text in general format"},
        {"TRUE+1", T, "True1", "boolean with integer is a text mixture too"},
        {"'a'-'b'", E, "Cannot subtract string expressions", "texts only add"},
        {"'a'*'b'", E, "Cannot multiply string expressions", ""},
        {"'a'/'b'", E, "Cannot divide string expressions", ""},
        {"'a' and 'b'", E, "Operator AND is not compatible with string expressions", ""},
        {"TRUE+FALSE", E, "Cannot add boolean expressions", ""},
        {"TRUE-TRUE", E, "Cannot subtract boolean expressions", ""},
        {"TRUE*TRUE", E, "Cannot multiply boolean expressions", ""},
        {"TRUE/TRUE", E, "Cannot divide boolean expressions", ""},
        {"TRUE<FALSE", E, "Operator < is not compatible with boolean expressions",
         "booleans have no order"},
        {"TRUE>=FALSE", E, "Operator >= is not compatible with boolean expressions", ""},
        {"TRUE=TRUE", B, "True", "booleans compare for equality"},
        {"TRUE or FALSE", B, "True", "logical OR"},
        {"TRUE and FALSE", B, "False", "logical AND"},
        {"(1=1) and (2=2)", B, "True", "comparisons need brackets under AND"},
        {"1<2", B, "True", ""},
        {"2<=2", B, "True", ""},
        {"3>=4", B, "False", ""},
        {"1<>2", B, "True", ""},
        {"1=1.0", B, "True", "integer and float compare by value"},
        {"1 = -1", B, "False", "a sign after blanks belongs to its operand"},
        {"2*-3", I, "-6", "a sign right after an operator is not a sum operator"},
        {"-2*-3", I, "6", ""},
        {"5 - -3", I, "8", "the unary sign survives the swapping"},
        {"'a'<'b'", B, "True", ""},
        {"'ab'>'a'", B, "True", "a prefix sorts first"},
        {"'a'<'B'", B, "False", "byte-wise, so upper case sorts before lower case"},
        {"'ё'<'я'", B, "True", "Windows-1251 bytes: ё is B8, я is FF (in UTF-16 ё sorts after)"},
        {"'a'='a '", B, "False", "equal texts have the same length"},
        {"'a+b'", T, "a+b", "operators inside a text are not split"},
        {"'it''s'", T, "it''s", "a literal is taken unchanged between the outer quotes"},
        {"", T, " ", "an empty expression is a one-blank text"},
        {"(1/0)+('a'-'b')", E, "Cannot divide by 0", "the left error wins"},
        {"1<2<3", E, "Illegal character in numeric contant \"2<3\"",
         "only one comparison per level"},
    };
    for (const Row& row : rows)
        Check(row);
}

TEST(RpExprCompute, NegationAndNames) {
    const Row rows[] = {
        {"not TRUE", B, "False", "not as a word negates"},
        {"NOT(1=2)", B, "True", "not before a bracket"},
        {"Not TRUE or TRUE", B, "True", "OR splits before the factor: (not TRUE) or TRUE"},
        {"not 1", E, "Invalid use of NOT", "only booleans negate"},
        {"not (1/0)", E, "Cannot divide by 0", "an error operand stays the error"},
        {"not", E, "Error in expression : ", "nothing to negate"},
        {"NOTES", E, "Unknown function : NOTES", "a name beginning with n-o-t is a name"},
        {"not_paid", E, "Unknown function : NOT_PAID", "the underscore continues the name"},
        {"[NOTES]", E, "Unknown function : NOTES", "a bracketed name"},
        {"foo", E, "Unknown function : FOO", "unknown names are upper-cased"},
        {"[Сума]", E, "Unknown function : Сума", "bracketed names are kept as written"},
        {"Сума", E, "Error in expression : Сума", "a Cyrillic name works only in brackets"},
        {"FOO(1)", E, "Unknown function : FOO", "unknown function with arguments"},
        {"foo(1", E, "Unknown function : ", "an unclosed call has no name"},
        {"'abc", E, "Missing '", "unclosed text"},
        {"'", E, "Missing '", "a lone quote is not a literal"},
        {"(1+2", E, "Missing )", "unclosed bracket"},
        {"[abc", E, "Missing ]", "unclosed name"},
        {"#", E, "Error in expression : #", "no factor starts with #"},
        {"*3", E, "Error in expression : *3", "no operator at the first character"},
        {"1+", E, "Illegal character in numeric contant \"1+\"", "no operator at the last"},
        {"1.2.3", E, "Illegal character in numeric contant \"1.2.3\"", "conversion fails"},
        {"12abc", E, "Illegal character in numeric contant \"12abc\"", "letters after digits"},
        {"1E-5", E, "Illegal character in numeric contant \"1E\"",
         "the exponent sign is read as a minus"},
        {"TYPEOF(AppStartDate)", T, "STRING", "global names are quoted text literals"},
        {"AppName", T, "vexal", "the application name set by the test main"},
    };
    for (const Row& row : rows)
        Check(row);
}

TEST(RpExprCompute, BuiltinFunctions) {
    const Row rows[] = {
        {"IF(1<2,'yes','no')", T, "yes", ""},
        {"IF(FALSE,1,2)", I, "2", ""},
        {"IF(1,2,3)", E, "Wrong arguments for IF", "the condition must be boolean"},
        {"IF(TRUE,1)", E, "Wrong arguments for IF", "three arguments"},
        {"IF(TRUE,'a,b','c')", T, "a,b", "a separator inside text does not split"},
        {"IF(TRUE,[x,y],1)", E, "Wrong arguments for IF", "brackets do not protect a separator"},
        {"IF(TRUE,1,1/0)", I, "1", "the unused branch may be an error"},
        {"STR(12)", T, "12", ""},
        {"STR(1/3)", T, "0.333333333333333", "15 significant digits"},
        {"STR(TRUE)", T, "True", ""},
        {"STR('a')", E, "Conversion error", "texts are not converted"},
        {"UPPER('abc')", T, "ABC", ""},
        {"upper('абв')", T, "АБВ", "Cyrillic upper case; function names in any case"},
        {"LOWER('ABC')", T, "abc", ""},
        {"PRETTY('hELLO wORLD')", T, "Hello world", ""},
        {"UPPER()", E, "Missing argument for UPPER", "no argument"},
        {"UPPER(1/0)", E, "Cannot divide by 0", "an error argument passes on"},
        {"UPPER(1)", E, "Wrong arguments for UPPER", "numbers are not texts"},
        {"COPY('abcdef',2,3)", T, "bcd", ""},
        {"COPY('abc',0,2)", T, "ab", "start 0 counts as 1"},
        {"COPY('abc',5,2)", T, "", "start beyond the end"},
        {"COPY('abc',2,-1)", T, "", "negative length"},
        {"COPY('abc',2.0,1)", E, "Wrong arguments for COPY", "a float start is refused"},
        {"INT(3.7)", I, "3", "truncated toward zero"},
        {"INT(-3.7)", I, "-3", "truncated toward zero"},
        {"INT(5)", I, "5", ""},
        {"INT('a')", E, "Wrong arguments for INT", ""},
        {"INT(1E20)", E, "Wrong arguments for INT", "no 32-bit integer part"},
        {"FRAC(3.25)", F, "0.25", ""},
        {"FRAC(-3.25)", F, "-0.25", "sign kept"},
        {"FRAC(3)", F, "0", "an integer has no fraction"},
        {"SQRT(16)", F, "4", ""},
        {"SQRT(-4)", E, "Invalid argument to SQRT function", "negative"},
        {"SQRT('a')", E, "Invalid argument to SQRT function", "not numeric"},
        {"DIV(7,2)", I, "3", ""},
        {"DIV(-7,2)", I, "-3", "truncated toward zero"},
        {"DIV(7.5,2)", I, "4", "7.5 rounds to the even 8"},
        {"DIV(6.5,2)", I, "3", "6.5 rounds to the even 6"},
        {"DIV(7,0)", E, "Division by Zero", ""},
        {"DIV(7,0.4)", E, "Division by Zero", "0.4 rounds to 0"},
        {"DIV('a',1)", E, "Wrong arguments for DIV", ""},
        {"TYPEOF(1)", T, "INTEGER", ""},
        {"TYPEOF(1.5)", T, "FLOAT", ""},
        {"TYPEOF('a')", T, "STRING", ""},
        {"TYPEOF(TRUE)", T, "BOOLEAN", ""},
        {"TYPEOF(1/0)", T, "ERROR", ""},
        {"TYPEOF(1,2)", E, "Wrong arguments for TypeOf", "the message spells TypeOf"},
        {"TRUE(1)", E, "Too many arguments", ""},
        {"TIME(1)", E, "Too many arguments", ""},
        {"COUNT(1)", E, "COUNT - Too many arguments", ""},
        {"FORMATNUMERIC('#,##0.00',1234.5)", T, "1,234.50", "number picture"},
        {"FORMATNUMERIC('0.0',3)", T, "3.0", "an integer value"},
        {"FORMATNUMERIC(1,2)", E, "Wrong arguments for FORMATNUMERIC", "the mask is a text"},
        {"SUM(5)", I, "0", "a plain computation does not accumulate"},
        {"AVERAGE(5)", F, "0", "float 0 before any accumulation"},
        {"MAX(5)", I, "0", "integer 0 before any accumulation"},
        {"count", I, "0", "a function without brackets"},
    };
    for (const Row& row : rows)
        Check(row);
}

TEST(RpExprCompute, TextsAreCutAt255) {
    const QString a(200, u'a');
    const QString b(100, u'b');
    EvalResult result = Eval(u'\'' + a + QStringLiteral("'+'") + b + u'\'');
    EXPECT_EQ(result.TextValue, a + b.left(55)); // concatenation is cut
    result = Eval(u'\'' + a + b + u'\'');
    EXPECT_EQ(result.TextValue.size(), 255); // and so is a literal
}

TEST(RpExprCompute, DeepNestingDoesNotExhaustTheStack) {
    const int depth = 20000;
    const QString nested = QString(depth, u'(') + u'1' + QString(depth, u')');
    EXPECT_EQ(Eval(nested).Kind, EvalKind::Error);
    // A long but reasonable chain still computes.
    QString chain = QStringLiteral("1");
    for (int i = 0; i < 400; ++i)
        chain += QStringLiteral("+1");
    EXPECT_EQ(Eval(chain).IntValue, 401);
}

TEST(RpEvaluator, RaisesOnlyWhenNotPrepared) {
    TRpEvaluator evaluator;
    EXPECT_THROW(evaluator.Compute(), Exception);
    EXPECT_THROW(evaluator.Accumulate(), Exception);
    evaluator.Compile(QStringLiteral("1"));
    EXPECT_EQ(evaluator.Compute().IntValue, 1);
    evaluator.Discard();
    try {
        evaluator.Compute();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Evaluator not prepared"));
    }
}

TEST(RpEvaluator, AggregatesAccumulateOnlyInAggregateMode) {
    TRpEvaluator evaluator;
    evaluator.Compile(QStringLiteral("COUNT"));
    EXPECT_TRUE(evaluator.HasAggregates());
    for (int i = 0; i < 5; ++i)
        evaluator.Accumulate();
    EXPECT_EQ(evaluator.Compute().IntValue, 5); // Compute leaves the count alone
    EXPECT_EQ(evaluator.Compute().IntValue, 5);
    evaluator.ClearTotals();
    EXPECT_EQ(evaluator.Compute().IntValue, 0);

    evaluator.Compile(QStringLiteral("1+2"));
    EXPECT_FALSE(evaluator.HasAggregates());
    evaluator.Compile(QStringLiteral("IF(TRUE,0,SUM(1))"));
    EXPECT_TRUE(evaluator.HasAggregates()); // nested in a function

    // A sum that leaves 32 bits continues as a float instead of wrapping.
    evaluator.Compile(QStringLiteral("SUM(2000000000)"));
    evaluator.Accumulate();
    evaluator.Accumulate();
    const EvalResult total = evaluator.Compute();
    EXPECT_EQ(total.Kind, EvalKind::Float);
    EXPECT_EQ(total.FloatValue, 4e9);
}

TEST(RpEvEnvironment, ReportValuesAreSetThroughTheirFirstElement) {
    TRpEvEnvironment report;
    DefineReportNames(report);
    report.Prepare();
    EXPECT_EQ(Eval(QStringLiteral("COLUMNNUMBER"), &report).IntValue, 0);
    EXPECT_EQ(Eval(QStringLiteral("REPORTTITLE"), &report).TextValue, QString());
    TRpEvElement* page = report.FirstElementOf(QStringLiteral("pagenumber"));
    TRpEvElement* title = report.FirstElementOf(QStringLiteral("REPORTTITLE"));
    ASSERT_TRUE(page && title);
    EXPECT_TRUE(report.PutInteger(page, 3));
    EXPECT_TRUE(report.PutText(title, QStringLiteral("Справка")));
    EXPECT_FALSE(report.PutInteger(title, 1)); // a text element holds no integer
    EXPECT_FALSE(report.PutText(page, QStringLiteral("x")));

    EvalResult result = Eval(QStringLiteral("'Стр. ' + PAGENUMBER"), &report);
    EXPECT_EQ(result.TextValue, QStringLiteral("Стр. 3"));
    EXPECT_EQ(Eval(QStringLiteral("REPORTTITLE"), &report).TextValue, QStringLiteral("Справка"));

    // An element that is not the first element of an entry is refused.
    TRpEvElementConstant stray(EvalResult::FromInteger(1));
    EXPECT_FALSE(report.PutInteger(&stray, 5));
    report.Unprepare();
    EXPECT_EQ(report.FirstElementOf(QStringLiteral("PAGENUMBER")), nullptr);
}

TEST(RpEvEnvironment, RecursiveNamesGiveAnErrorValue) {
    TRpEvEnvironment env;
    env.DefineName(QStringLiteral("A"), QStringLiteral("B+1"));
    env.DefineName(QStringLiteral("B"), QStringLiteral("A+1"));
    env.DefineName(QStringLiteral("SELF"), QStringLiteral("SELF"));
    env.DefineName(QStringLiteral("TWICE"), QStringLiteral("C+C"));
    env.DefineName(QStringLiteral("C"), QStringLiteral("2"));
    env.Prepare();
    EXPECT_EQ(env.ValueOfName(QStringLiteral("a")).TextValue,
              QStringLiteral("Recursive calls not allowed"));
    EXPECT_EQ(env.ValueOfName(QStringLiteral("SELF")).TextValue,
              QStringLiteral("Recursive calls not allowed"));
    // Using a name twice in a row is not recursion.
    EXPECT_EQ(env.ValueOfName(QStringLiteral("TWICE")).IntValue, 4);
    EXPECT_EQ(env.ValueOfName(QStringLiteral("X")).TextValue,
              QStringLiteral("Unknown function : X"));
    env.Unprepare();
}

TEST(RpEvEnvironment, NamesDefinedRemovedAndShadowed) {
    TRpEvEnvironment env;
    env.DefineName(QStringLiteral("rate"), QStringLiteral("2"));
    EXPECT_EQ(env.Names(), QStringList{QStringLiteral("RATE")});

    TRpEvaluator evaluator;
    evaluator.SetLocalEnvironment(&env);
    evaluator.Compile(QStringLiteral("Rate*10"));
    // Not prepared: the value says so instead of raising.
    EXPECT_EQ(evaluator.Compute().TextValue, QStringLiteral("Evaluator not prepared"));

    env.Prepare();
    EXPECT_EQ(evaluator.Compute().IntValue, 20);
    env.DefineName(QStringLiteral("RATE"), QStringLiteral("3")); // compiled at once
    EXPECT_EQ(evaluator.Compute().IntValue, 30);
    env.DefineName(QStringLiteral("AppName"), QStringLiteral("'local'"));
    EXPECT_EQ(Eval(QStringLiteral("AppName"), &env).TextValue, QStringLiteral("local"));

    env.RemoveName(QStringLiteral("rate"));
    EXPECT_EQ(evaluator.Compute().TextValue, QStringLiteral("Unknown function : RATE"));
    env.Unprepare();
}

TEST(RpEvEnvironment, GlobalPrepareIsCounted) {
    TRpEvEnvironment& global = GlobalEnvironment();
    EXPECT_EQ(global.Names(),
              (QStringList{QStringLiteral("APPSTARTTIME"), QStringLiteral("APPSTARTDATE"),
                           QStringLiteral("APPNAME")}));
    const int before = global.PrepareLevel();
    {
        TRpEvaluator first;
        TRpEvaluator second;
        first.Compile(QStringLiteral("1"));
        second.Compile(QStringLiteral("AppName"));
        EXPECT_EQ(global.PrepareLevel(), before + 2);
        first.Compile(QStringLiteral("2")); // recompiling holds one prepare only
        EXPECT_EQ(global.PrepareLevel(), before + 2);
        EXPECT_EQ(global.ValueOfName(QStringLiteral("APPNAME")).TextValue, QStringLiteral("vexal"));
        first.Discard();
        first.Discard(); // a second discard releases nothing more
        EXPECT_EQ(global.PrepareLevel(), before + 1);
    }
    EXPECT_EQ(global.PrepareLevel(), before); // destroyed evaluators release theirs
}

TEST(RpEvEnvironment, AppNameIsTheTitleTheUserSees) {
    // The program sets its title ("SQL Vexal") as the display name; the
    // lower-case application name only names its settings folders.
    QCoreApplication* app = QCoreApplication::instance();
    ASSERT_TRUE(app);
    app->setProperty("applicationDisplayName", QStringLiteral("SQL Vexal"));
    EXPECT_EQ(ApplicationTitleText(), QStringLiteral("SQL Vexal"));
    app->setProperty("applicationDisplayName", QString());
    EXPECT_EQ(ApplicationTitleText(), QStringLiteral("vexal")); // no title: the name
}

TEST(RpFunctionLibrary, BuiltinsInRegistrationOrder) {
    struct Entry {
        const char* Name;
        const char* Description;
        const char* Code;
    };
    // The listing texts the expression builder shows, exactly.
    const Entry expected[] = {
        {"IF", "IF(<Exp>, <X>, <Y>)|Returns <X> or <Y> depending on the boolean expression <Exp>",
         "5BVV"},
        {"STR", "STR(<X>)|Convert a numeric <X> to a string", "7N"},
        {"UPPER", "UPPER(<X>)|Converts a string to upper case letters", "7S"},
        {"LOWER", "LOWER(<X>)|Converts a string to lower case letters", "7S"},
        {"PRETTY", "PRETTY(<X>)|Makes the first character upper case and the rest lower case",
         "7S"},
        {"TIME", "TIME|Return current time as a string", "1"},
        {"DATE", "DATE|Return current date as a string", "1"},
        {"COPY", "COPY(<X>, <St>,<Len>)|Returns a substring of string X", "7SNN"},
        {"SUM", "SUM(<X>)|Sums the numeric <X>", "3N"},
        {"COUNT", "COUNT|Increments for each iteration", "3"},
        {"MAX", "MAX(<X>)|Returns the highest <X>", "3V"},
        {"MIN", "MIN(<X>)|Returns the lowest <X>", "3V"},
        {"AVERAGE", "AVERAGE(<X>)|Returns the average of numeric <X>", "3N"},
        {"TRUE", "TRUE|boolean value", "5"},
        {"FALSE", "FALSE|boolean value", "5"},
        {"INT", "INT(<X>)|Returns the integer part of <X>", "2N"},
        {"FRAC", "FRAC(<X>)|Returns the fractional part of <X>", "2N"},
        {"SQRT", "SQRT(<X>)|Returns square root of <X>", "2N"},
        {"DIV", "DIV(<X>, <Y>) | Integer division of <X> by <Y>", "2NN"},
        {"TYPEOF", "TYPEOF(<Exp>)|Returns the data type of <Exp>", "6N"},
        {"FORMATNUMERIC", "FORMATNUMERIC(<F>,<N>)|Formats numeric <N> using the mask in <F>",
         "7SN"},
    };
    const TRpFunctionLibrary& registry = FunctionRegistry();
    ASSERT_EQ(registry.Count(), 21);
    for (int i = 0; i < 21; ++i) {
        const TRpLibraryEntry& entry = registry.Entry(i);
        EXPECT_EQ(entry.Name, QString::fromLatin1(expected[i].Name));
        EXPECT_EQ(entry.Description, QString::fromLatin1(expected[i].Description));
        EXPECT_EQ(entry.ArgumentCode, QString::fromLatin1(expected[i].Code));
        EXPECT_EQ(entry.Vendor, registry.Entry(0).Vendor);
    }
    EXPECT_EQ(registry.Entry(18).Usage(), QStringLiteral("DIV(<X>, <Y>) "));
    const std::unique_ptr<TRpEvElement> unknown = registry.NewElement(QStringLiteral("nope"));
    TRpFiFo fifo;
    EXPECT_EQ(unknown->Value(fifo).TextValue, QStringLiteral("Unknown function : NOPE"));
}

TEST(EvalResultText, PrintableTexts) {
    struct TextRow {
        EvalResult Value;
        const char* Mask;
        const char* Text;
    };
    const TextRow rows[] = {
        {EvalResult::FromInteger(1234), "", "1234"},             // general format
        {EvalResult::FromFloat(3.5), "", "3.5"},                 // general format
        {EvalResult::FromFloat(1234.5), "#,##0.00", "1,234.50"}, // number picture
        {EvalResult::FromInteger(7), "000", "007"},              // integers use the picture too
        {EvalResult::FromText(QStringLiteral("x")), "000", "x"}, // texts ignore the mask
        {EvalResult::FromBoolean(false), "", "False"},
        {EvalResult::FromError(QStringLiteral("Cannot divide by 0")), "0", "Cannot divide by 0"},
    };
    for (const TextRow& row : rows)
        EXPECT_EQ(EvalResultText(row.Value, QString::fromLatin1(row.Mask)),
                  QString::fromLatin1(row.Text));
}
