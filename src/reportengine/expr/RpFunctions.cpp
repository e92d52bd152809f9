#include "RpFunctions.h"

#include "DisplayFormat.h"
#include "FormatSettings.h"
#include "Win1251.h"

#include <QDateTime>
#include <cmath>
#include <exception>
#include <limits>

using namespace RpExprMessages;

QChar ArgumentSeparator = u',';

QString CurrentTimeText() {
    return FormatDateTimePicture(FormatSettings::LongTimeFormat, QDateTime::currentDateTime());
}

QString CurrentDateText() {
    return FormatDateTimePicture(FormatSettings::ShortDateFormat, QDateTime::currentDateTime());
}

namespace {

EvalResult Wrong(const QString& name) {
    return EvalResult::FromError(WrongArguments(name));
}

// UPPER, LOWER and PRETTY: one text argument; an error argument passes on.
template <typename Transform>
EvalResult TextFunction(const QList<EvalResult>& args, const QString& name, Transform transform) {
    if (args.isEmpty())
        return EvalResult::FromError(MissingArgument(name));
    if (args.size() > 1)
        return Wrong(name);
    const EvalResult& arg = args.first();
    if (arg.IsError())
        return arg;
    if (arg.Kind != EvalKind::Text)
        return Wrong(name);
    return EvalResult::FromText(transform(arg.TextValue));
}

bool FitsInteger(double value) {
    return std::isfinite(value) && value >= double(std::numeric_limits<qint32>::min()) &&
           value <= double(std::numeric_limits<qint32>::max());
}

// Integer sum that continues as a float when it would leave 32 bits.
EvalResult AddNumbers(const EvalResult& total, const EvalResult& value) {
    if (total.Kind == EvalKind::Integer && value.Kind == EvalKind::Integer) {
        const qint64 sum = qint64(total.IntValue) + value.IntValue;
        if (sum >= std::numeric_limits<qint32>::min() && sum <= std::numeric_limits<qint32>::max())
            return EvalResult::FromInteger(qint32(sum));
        return EvalResult::FromFloat(double(sum));
    }
    return EvalResult::FromFloat(total.AsDouble() + value.AsDouble());
}

int CompareTexts1251(const QString& a, const QString& b) {
    const QByteArray x = Win1251::Encode(a);
    const QByteArray y = Win1251::Encode(b);
    return x < y ? -1 : (y < x ? 1 : 0);
}

} // namespace

// ---------------------------------------------------------------- plain functions

EvalResult TRpEvIfFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 3 || args[0].Kind != EvalKind::Boolean)
        return Wrong(QStringLiteral("IF"));
    return args[0].BoolValue ? args[1] : args[2];
}

EvalResult TRpEvStrFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 1 || !(args[0].IsNumeric() || args[0].Kind == EvalKind::Boolean))
        return EvalResult::FromError(ConversionError);
    return EvalResult::FromText(EvalPlainText(args[0]));
}

EvalResult TRpEvUpperFunction::ComputeResult(const QList<EvalResult>& args) {
    return TextFunction(args, QStringLiteral("UPPER"),
                        [](const QString& t) { return t.toUpper(); });
}

EvalResult TRpEvLowerFunction::ComputeResult(const QList<EvalResult>& args) {
    return TextFunction(args, QStringLiteral("LOWER"),
                        [](const QString& t) { return t.toLower(); });
}

EvalResult TRpEvPrettyFunction::ComputeResult(const QList<EvalResult>& args) {
    return TextFunction(args, QStringLiteral("PRETTY"), [](const QString& t) {
        if (t.isEmpty())
            return t;
        // A character outside the basic plane is two code units; both go up.
        const int head = t.size() > 1 && t.at(0).isHighSurrogate() ? 2 : 1;
        return t.left(head).toUpper() + t.mid(head).toLower();
    });
}

EvalResult TRpEvTimeFunction::ComputeResult(const QList<EvalResult>& args) {
    if (!args.isEmpty())
        return EvalResult::FromError(TooManyArguments);
    return EvalResult::FromText(CurrentTimeText());
}

EvalResult TRpEvDateFunction::ComputeResult(const QList<EvalResult>& args) {
    if (!args.isEmpty())
        return EvalResult::FromError(TooManyArguments);
    return EvalResult::FromText(CurrentDateText());
}

EvalResult TRpEvCopyFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 3 || args[0].Kind != EvalKind::Text || args[1].Kind != EvalKind::Integer ||
        args[2].Kind != EvalKind::Integer)
        return Wrong(QStringLiteral("COPY"));
    const QString& text = args[0].TextValue;
    const qint64 size = text.size();
    qint64 from = qMax<qint64>(args[1].IntValue, 1) - 1;
    qint64 to = qMin<qint64>(size, from + qMax<qint64>(args[2].IntValue, 0));
    if (from >= to)
        return EvalResult::FromText(QString());
    // Never cut a surrogate pair: an orphan half at either end is left out.
    if (text.at(from).isLowSurrogate())
        ++from;
    if (to < size && text.at(to - 1).isHighSurrogate())
        --to;
    if (from >= to)
        return EvalResult::FromText(QString());
    return EvalResult::FromText(text.mid(from, to - from));
}

EvalResult TRpEvTrue::ComputeResult(const QList<EvalResult>& args) {
    if (!args.isEmpty())
        return EvalResult::FromError(TooManyArguments);
    return EvalResult::FromBoolean(true);
}

EvalResult TRpEvFalse::ComputeResult(const QList<EvalResult>& args) {
    if (!args.isEmpty())
        return EvalResult::FromError(TooManyArguments);
    return EvalResult::FromBoolean(false);
}

EvalResult TRpEvIntFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() == 1 && args[0].Kind == EvalKind::Integer)
        return args[0];
    if (args.size() == 1 && args[0].Kind == EvalKind::Float) {
        const double whole = std::trunc(args[0].FloatValue);
        // A float beyond the 32-bit range has no integer part to give.
        if (FitsInteger(whole))
            return EvalResult::FromInteger(qint32(whole));
    }
    return Wrong(QStringLiteral("INT"));
}

EvalResult TRpEvFracFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() == 1 && args[0].Kind == EvalKind::Integer)
        return EvalResult::FromFloat(0);
    if (args.size() == 1 && args[0].Kind == EvalKind::Float) {
        double whole = 0;
        return EvalResult::FromFloat(std::modf(args[0].FloatValue, &whole));
    }
    return Wrong(QStringLiteral("FRAC"));
}

EvalResult TRpEvSQRTFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 1 || !args[0].IsNumeric() || args[0].AsDouble() < 0)
        return EvalResult::FromError(InvalidSqrt);
    return EvalResult::FromFloat(std::sqrt(args[0].AsDouble()));
}

EvalResult TRpEvDivFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 2 || !args[0].IsNumeric() || !args[1].IsNumeric())
        return Wrong(QStringLiteral("DIV"));
    qint64 operands[2];
    for (int i = 0; i < 2; ++i) {
        if (args[i].Kind == EvalKind::Integer) {
            operands[i] = args[i].IntValue;
            continue;
        }
        // Halves go to the even neighbour (the default rounding mode).
        const double rounded = std::nearbyint(args[i].FloatValue);
        if (!FitsInteger(rounded))
            return Wrong(QStringLiteral("DIV"));
        operands[i] = qint64(rounded);
    }
    if (operands[1] == 0)
        return EvalResult::FromError(DivisionByZero);
    // -2147483648 DIV -1 wraps around like the other integer arithmetic.
    return EvalResult::FromInteger(qint32(quint32(quint64(operands[0] / operands[1]))));
}

EvalResult TRpEvTypeOfFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 1)
        return Wrong(QStringLiteral("TypeOf"));
    switch (args[0].Kind) {
    case EvalKind::Integer:
        return EvalResult::FromText(QStringLiteral("INTEGER"));
    case EvalKind::Float:
        return EvalResult::FromText(QStringLiteral("FLOAT"));
    case EvalKind::Text:
        return EvalResult::FromText(QStringLiteral("STRING"));
    case EvalKind::Boolean:
        return EvalResult::FromText(QStringLiteral("BOOLEAN"));
    case EvalKind::Error:
        break;
    }
    return EvalResult::FromText(QStringLiteral("ERROR"));
}

EvalResult TRpEvFormatNumericFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 2 || args[0].Kind != EvalKind::Text || !args[1].IsNumeric())
        return Wrong(QStringLiteral("FORMATNUMERIC"));
    const double value = args[1].AsDouble();
    if (!std::isfinite(value))
        return EvalResult::FromError(InvalidFormat);
    try {
        return EvalResult::FromText(FormatFloatPicture(args[0].TextValue, value));
    } catch (const std::exception&) {
        return EvalResult::FromError(InvalidFormat);
    }
}

// ---------------------------------------------------------------- aggregates

TRpEvSumFunction::TRpEvSumFunction() {
    Aggregate = true;
    Total = EvalResult::FromInteger(0);
}

void TRpEvSumFunction::Reset() {
    Started = false;
    Total = EvalResult::FromInteger(0);
}

bool TRpEvSumFunction::AddValue(const QList<EvalResult>& args) {
    if (args.size() != 1)
        return false;
    const EvalResult& value = args.first();
    if (!Started) {
        Started = true;
        if (value.IsNumeric())
            Total = value;
        else
            Total = value.IsError() ? value : Wrong(QStringLiteral("SUM"));
        return true;
    }
    if (Total.IsError())
        return true;
    if (value.IsNumeric())
        Total = AddNumbers(Total, value);
    else
        Total = value.IsError() ? value : Wrong(QStringLiteral("SUM"));
    return true;
}

void TRpEvSumFunction::AccumulateArgs(const QList<EvalResult>& args) {
    AddValue(args);
}

EvalResult TRpEvSumFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 1)
        return Wrong(QStringLiteral("SUM"));
    return Started ? Total : EvalResult::FromInteger(0);
}

void TRpEvAverageFunction::Reset() {
    TRpEvSumFunction::Reset();
    Average = EvalResult::FromFloat(0);
    Count = 0;
}

void TRpEvAverageFunction::AccumulateArgs(const QList<EvalResult>& args) {
    if (!AddValue(args))
        return;
    ++Count;
    if (Total.IsNumeric())
        Average = EvalResult::FromFloat(Total.AsDouble() / Count);
    else
        Average = Total.IsError() ? Total : Wrong(QStringLiteral("AVERAGE"));
}

EvalResult TRpEvAverageFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 1)
        return Wrong(QStringLiteral("AVERAGE"));
    return Average;
}

void TRpEvCountFunction::AccumulateArgs(const QList<EvalResult>& args) {
    if (args.isEmpty())
        Count = qint32(quint32(Count) + 1);
}

EvalResult TRpEvCountFunction::ComputeResult(const QList<EvalResult>& args) {
    if (!args.isEmpty())
        return EvalResult::FromError(QStringLiteral("COUNT - ") + TooManyArguments);
    return EvalResult::FromInteger(Count);
}

void TRpEvExtremeFunction::Reset() {
    Started = false;
    Stored = EvalResult::FromInteger(0);
}

void TRpEvExtremeFunction::AccumulateArgs(const QList<EvalResult>& args) {
    if (args.size() != 1)
        return;
    const EvalResult& value = args.first();
    if (!Started) {
        Started = true;
        Stored = value;
        return;
    }
    if (Stored.IsError())
        return;
    if (value.IsError()) {
        Stored = value;
        return;
    }
    int order = 0; // value compared with the stored one
    if (Stored.IsNumeric() && value.IsNumeric()) {
        const double a = value.AsDouble();
        const double b = Stored.AsDouble();
        order = a < b ? -1 : (a > b ? 1 : 0);
    } else if (Stored.Kind == EvalKind::Text && value.Kind == EvalKind::Text) {
        order = CompareTexts1251(value.TextValue, Stored.TextValue);
    } else if (Stored.Kind == EvalKind::Boolean && value.Kind == EvalKind::Boolean) {
        order = int(value.BoolValue) - int(Stored.BoolValue);
    } else {
        Stored = Wrong(Name());
        return;
    }
    if ((Largest && order > 0) || (!Largest && order < 0))
        Stored = value;
}

EvalResult TRpEvExtremeFunction::ComputeResult(const QList<EvalResult>& args) {
    if (args.size() != 1)
        return Wrong(Name());
    return Started ? Stored : EvalResult::FromInteger(0);
}

// ---------------------------------------------------------------- registry

QString TRpLibraryEntry::Usage() const {
    const int bar = Description.indexOf(u'|');
    return bar < 0 ? Description : Description.left(bar);
}

QString TRpLibraryEntry::Help() const {
    const int bar = Description.indexOf(u'|');
    return bar < 0 ? QString() : Description.mid(bar + 1);
}

void TRpLibrary::RegisterFunction(const QString& name, const QString& description,
                                  const QString& argumentCode, const QString& vendor,
                                  TRpElementFactory elementClass) {
    TRpLibraryEntry entry{name.toUpper(), description, argumentCode, vendor,
                          std::move(elementClass)};
    for (TRpLibraryEntry& existing : Entries) {
        if (existing.Name == entry.Name) {
            existing = std::move(entry);
            return;
        }
    }
    Entries.push_back(std::move(entry));
}

const TRpLibraryEntry* TRpLibrary::Find(const QString& name) const {
    for (const TRpLibraryEntry& entry : Entries)
        if (entry.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    return nullptr;
}

std::unique_ptr<TRpEvElement> TRpFunctionLibrary::NewElement(const QString& name) const {
    const TRpLibraryEntry* entry = Find(name);
    if (!entry || !entry->ElementClass)
        return std::make_unique<TRpEvElementError>(UnknownFunction(name.toUpper()));
    return entry->ElementClass();
}

namespace {

template <typename T> TRpElementFactory Make() {
    return [] { return std::make_unique<T>(); };
}

} // namespace

void RegisterBuiltinFunctions(TRpFunctionLibrary& library) {
    struct Builtin {
        const char* Name;
        const char* Usage;
        const char* Description;
        const char* Code;
        TRpElementFactory Factory;
    };
    const Builtin builtins[] = {
        {"IF", "IF(<Exp>, <X>, <Y>)|",
         "Returns <X> or <Y> depending on the boolean expression <Exp>", "5BVV",
         Make<TRpEvIfFunction>()},
        {"STR", "STR(<X>)|", "Convert a numeric <X> to a string", "7N", Make<TRpEvStrFunction>()},
        {"UPPER", "UPPER(<X>)|", "Converts a string to upper case letters", "7S",
         Make<TRpEvUpperFunction>()},
        {"LOWER", "LOWER(<X>)|", "Converts a string to lower case letters", "7S",
         Make<TRpEvLowerFunction>()},
        {"PRETTY", "PRETTY(<X>)|", "Makes the first character upper case and the rest lower case",
         "7S", Make<TRpEvPrettyFunction>()},
        {"TIME", "TIME|", "Return current time as a string", "1", Make<TRpEvTimeFunction>()},
        {"DATE", "DATE|", "Return current date as a string", "1", Make<TRpEvDateFunction>()},
        {"COPY", "COPY(<X>, <St>,<Len>)|", "Returns a substring of string X", "7SNN",
         Make<TRpEvCopyFunction>()},
        {"SUM", "SUM(<X>)|", "Sums the numeric <X>", "3N", Make<TRpEvSumFunction>()},
        {"COUNT", "COUNT|", "Increments for each iteration", "3", Make<TRpEvCountFunction>()},
        {"MAX", "MAX(<X>)|", "Returns the highest <X>", "3V", Make<TRpEvMaxFunction>()},
        {"MIN", "MIN(<X>)|", "Returns the lowest <X>", "3V", Make<TRpEvMinFunction>()},
        {"AVERAGE", "AVERAGE(<X>)|", "Returns the average of numeric <X>", "3N",
         Make<TRpEvAverageFunction>()},
        {"TRUE", "TRUE|", "boolean value", "5", Make<TRpEvTrue>()},
        {"FALSE", "FALSE|", "boolean value", "5", Make<TRpEvFalse>()},
        {"INT", "INT(<X>)|", "Returns the integer part of <X>", "2N", Make<TRpEvIntFunction>()},
        {"FRAC", "FRAC(<X>)|", "Returns the fractional part of <X>", "2N",
         Make<TRpEvFracFunction>()},
        {"SQRT", "SQRT(<X>)|", "Returns square root of <X>", "2N", Make<TRpEvSQRTFunction>()},
        {"DIV", "DIV(<X>, <Y>) | ", "Integer division of <X> by <Y>", "2NN",
         Make<TRpEvDivFunction>()},
        {"TYPEOF", "TYPEOF(<Exp>)|", "Returns the data type of <Exp>", "6N",
         Make<TRpEvTypeOfFunction>()},
        {"FORMATNUMERIC", "FORMATNUMERIC(<F>,<N>)|", "Formats numeric <N> using the mask in <F>",
         "7SN", Make<TRpEvFormatNumericFunction>()},
    };
    for (const Builtin& builtin : builtins)
        library.RegisterFunction(QString::fromLatin1(builtin.Name),
                                 QString::fromLatin1(builtin.Usage) +
                                     QString::fromLatin1(builtin.Description),
                                 QString::fromLatin1(builtin.Code), BuiltinVendor, builtin.Factory);
}

TRpFunctionLibrary& FunctionRegistry() {
    // Never destroyed: evaluators may still look functions up while the
    // program ends.
    static TRpFunctionLibrary* registry = [] {
        auto* made = new TRpFunctionLibrary;
        RegisterBuiltinFunctions(*made);
        return made;
    }();
    return *registry;
}
