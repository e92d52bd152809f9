#include "RpElements.h"

#include "DataSet.h"
#include "RpEnvironment.h"
#include "Win1251.h"

#include <QVariant>
#include <limits>

namespace RpExprMessages {

QString MissingChar(QChar c) {
    return QStringLiteral("Missing %1").arg(c);
}
QString ErrorInExpression(const QString& text) {
    return QStringLiteral("Error in expression : ") + text;
}
QString IllegalNumeric(const QString& text) {
    return QStringLiteral("Illegal character in numeric contant \"") + text + u'"';
}
QString UnknownFunction(const QString& name) {
    return QStringLiteral("Unknown function : ") + name;
}
QString WrongArguments(const QString& name) {
    return QStringLiteral("Wrong arguments for ") + name;
}
QString MissingArgument(const QString& name) {
    return QStringLiteral("Missing argument for ") + name;
}
QString NotCompatible(const QString& op, const QString& kind) {
    return QStringLiteral("Operator %1 is not compatible with %2 expressions").arg(op, kind);
}
QString CannotOperate(const QString& verb, const QString& kind) {
    return QStringLiteral("Cannot %1 %2 expressions").arg(verb, kind);
}
QString UnknownFieldType(const QString& field) {
    return QStringLiteral("Field %1 is of unknown type").arg(field);
}
QString FieldNotFound(const QString& field) {
    return QStringLiteral("Field %1 not found").arg(field);
}
const char* const DivideByZero = "Cannot divide by 0";
const char* const InvalidNot = "Invalid use of NOT";
const char* const RecursiveCall = "Recursive calls not allowed";
const char* const NotPrepared = "Evaluator not prepared";
const char* const ConversionError = "Conversion error";
const char* const InvalidSqrt = "Invalid argument to SQRT function";
const char* const DivisionByZero = "Division by Zero";
const char* const TooManyArguments = "Too many arguments";
const char* const InvalidFormat = "Invalid format or value specified";

} // namespace RpExprMessages

using namespace RpExprMessages;

// ---------------------------------------------------------------- queue

void TRpFiFo::Put(std::unique_ptr<TRpEvElement> element) {
    Elements.push_back(std::move(element));
}

TRpEvElement* TRpFiFo::Next() {
    if (Position >= Elements.size())
        return nullptr;
    return Elements[Position++].get();
}

EvalResult TRpFiFo::NextValue() {
    TRpEvElement* element = Next();
    if (!element)
        return EvalResult::FromError(ErrorInExpression(QString()));
    return element->Value(*this);
}

// ---------------------------------------------------------------- operators

namespace {

QString OperatorText(TRpOperator op) {
    switch (op) {
    case TRpOperator::Less:
        return QStringLiteral("<");
    case TRpOperator::LessEqual:
        return QStringLiteral("<=");
    case TRpOperator::Greater:
        return QStringLiteral(">");
    case TRpOperator::GreaterEqual:
        return QStringLiteral(">=");
    case TRpOperator::Equal:
        return QStringLiteral("=");
    case TRpOperator::NotEqual:
        return QStringLiteral("<>");
    case TRpOperator::Add:
        return QStringLiteral("+");
    case TRpOperator::Subtract:
        return QStringLiteral("-");
    case TRpOperator::Or:
        return QStringLiteral("OR");
    case TRpOperator::Multiply:
        return QStringLiteral("*");
    case TRpOperator::Divide:
        return QStringLiteral("/");
    case TRpOperator::And:
        return QStringLiteral("AND");
    case TRpOperator::Not:
        break;
    }
    return QStringLiteral("NOT");
}

// Texts compare byte by byte in their Windows-1251 form; a prefix sorts first.
int CompareTexts(const QString& a, const QString& b) {
    const QByteArray x = Win1251::Encode(a);
    const QByteArray y = Win1251::Encode(b);
    return x < y ? -1 : (y < x ? 1 : 0);
}

// Orders the comparison operators apply to a three-way comparison result.
bool OrderHolds(TRpOperator op, int order) {
    switch (op) {
    case TRpOperator::Less:
        return order < 0;
    case TRpOperator::LessEqual:
        return order <= 0;
    case TRpOperator::Greater:
        return order > 0;
    default:
        return order >= 0;
    }
}

// 32-bit arithmetic that wraps around instead of overflowing.
qint32 Wrap(quint32 value) {
    return qint32(value);
}

void Unify(EvalResult& left, EvalResult& right) {
    if (left.Kind == right.Kind)
        return;
    if (left.IsNumeric() && right.IsNumeric()) {
        left = EvalResult::FromFloat(left.AsDouble());
        right = EvalResult::FromFloat(right.AsDouble());
        return;
    }
    left = EvalResult::FromText(EvalPlainText(left));
    right = EvalResult::FromText(EvalPlainText(right));
}

EvalResult CombineIntegers(TRpOperator op, qint32 a, qint32 b) {
    switch (op) {
    case TRpOperator::Add:
        return EvalResult::FromInteger(Wrap(quint32(a) + quint32(b)));
    case TRpOperator::Subtract:
        return EvalResult::FromInteger(Wrap(quint32(a) - quint32(b)));
    case TRpOperator::Multiply:
        return EvalResult::FromInteger(Wrap(quint32(a) * quint32(b)));
    case TRpOperator::Divide:
        if (b == 0)
            return EvalResult::FromError(DivideByZero);
        return EvalResult::FromFloat(double(a) / double(b));
    case TRpOperator::Or:
        return EvalResult::FromInteger(a | b);
    case TRpOperator::And:
        return EvalResult::FromInteger(a & b);
    case TRpOperator::Equal:
        return EvalResult::FromBoolean(a == b);
    case TRpOperator::NotEqual:
        return EvalResult::FromBoolean(a != b);
    default:
        return EvalResult::FromBoolean(OrderHolds(op, a < b ? -1 : (a > b ? 1 : 0)));
    }
}

EvalResult CombineFloats(TRpOperator op, double a, double b) {
    switch (op) {
    case TRpOperator::Add:
        return EvalResult::FromFloat(a + b);
    case TRpOperator::Subtract:
        return EvalResult::FromFloat(a - b);
    case TRpOperator::Multiply:
        return EvalResult::FromFloat(a * b);
    case TRpOperator::Divide:
        if (b == 0)
            return EvalResult::FromError(DivideByZero);
        return EvalResult::FromFloat(a / b);
    case TRpOperator::Or:
    case TRpOperator::And:
        return EvalResult::FromError(NotCompatible(OperatorText(op), QStringLiteral("numeric")));
    case TRpOperator::Equal:
        return EvalResult::FromBoolean(a == b);
    case TRpOperator::NotEqual:
        return EvalResult::FromBoolean(a != b);
    default:
        if (op == TRpOperator::Less)
            return EvalResult::FromBoolean(a < b);
        if (op == TRpOperator::LessEqual)
            return EvalResult::FromBoolean(a <= b);
        if (op == TRpOperator::Greater)
            return EvalResult::FromBoolean(a > b);
        return EvalResult::FromBoolean(a >= b);
    }
}

EvalResult CombineTexts(TRpOperator op, const QString& a, const QString& b) {
    const QString kind = QStringLiteral("string");
    switch (op) {
    case TRpOperator::Add:
        return EvalResult::FromText(a + b);
    case TRpOperator::Subtract:
        return EvalResult::FromError(CannotOperate(QStringLiteral("subtract"), kind));
    case TRpOperator::Multiply:
        return EvalResult::FromError(CannotOperate(QStringLiteral("multiply"), kind));
    case TRpOperator::Divide:
        return EvalResult::FromError(CannotOperate(QStringLiteral("divide"), kind));
    case TRpOperator::Or:
    case TRpOperator::And:
        return EvalResult::FromError(NotCompatible(OperatorText(op), kind));
    case TRpOperator::Equal:
        return EvalResult::FromBoolean(a == b);
    case TRpOperator::NotEqual:
        return EvalResult::FromBoolean(a != b);
    default:
        return EvalResult::FromBoolean(OrderHolds(op, CompareTexts(a, b)));
    }
}

EvalResult CombineBooleans(TRpOperator op, bool a, bool b) {
    const QString kind = QStringLiteral("boolean");
    switch (op) {
    case TRpOperator::Add:
        return EvalResult::FromError(CannotOperate(QStringLiteral("add"), kind));
    case TRpOperator::Subtract:
        return EvalResult::FromError(CannotOperate(QStringLiteral("subtract"), kind));
    case TRpOperator::Multiply:
        return EvalResult::FromError(CannotOperate(QStringLiteral("multiply"), kind));
    case TRpOperator::Divide:
        return EvalResult::FromError(CannotOperate(QStringLiteral("divide"), kind));
    case TRpOperator::Or:
        return EvalResult::FromBoolean(a || b);
    case TRpOperator::And:
        return EvalResult::FromBoolean(a && b);
    case TRpOperator::Equal:
        return EvalResult::FromBoolean(a == b);
    case TRpOperator::NotEqual:
        return EvalResult::FromBoolean(a != b);
    default:
        return EvalResult::FromError(NotCompatible(OperatorText(op), kind));
    }
}

} // namespace

EvalResult TRpEvElementOperator::Combine(TRpOperator op, EvalResult left, EvalResult right) {
    if (left.IsError())
        return left;
    if (right.IsError())
        return right;
    Unify(left, right);
    switch (left.Kind) {
    case EvalKind::Integer:
        return CombineIntegers(op, left.IntValue, right.IntValue);
    case EvalKind::Float:
        return CombineFloats(op, left.FloatValue, right.FloatValue);
    case EvalKind::Text:
        return CombineTexts(op, left.TextValue, right.TextValue);
    case EvalKind::Boolean:
        return CombineBooleans(op, left.BoolValue, right.BoolValue);
    case EvalKind::Error:
        break;
    }
    return left;
}

EvalResult TRpEvElementOperator::Value(TRpFiFo& fifo) {
    if (Operator == TRpOperator::Not) {
        const EvalResult operand = fifo.NextValue();
        if (operand.Kind == EvalKind::Boolean)
            return EvalResult::FromBoolean(!operand.BoolValue);
        if (operand.IsError())
            return operand;
        return EvalResult::FromError(InvalidNot);
    }
    // Both operands are always taken, so that the queue stays in step.
    EvalResult left = fifo.NextValue();
    EvalResult right = fifo.NextValue();
    return Combine(Operator, std::move(left), std::move(right));
}

// ---------------------------------------------------------------- data field

TRpEvElementDataField::TRpEvElementDataField(TDataSet* dataSet, TField* field)
    : DataSet(dataSet), FieldName(field->FieldName()), FieldPosition(field->Index()) {}

TField* TRpEvElementDataField::CurrentField() const {
    TDataSet* dataSet = DataSet.data();
    if (!dataSet)
        return nullptr;
    const int count = dataSet->FieldCount();
    if (FieldPosition >= 0 && FieldPosition < count) {
        TField* field = dataSet->Fields(FieldPosition);
        if (field && field->FieldName().compare(FieldName, Qt::CaseInsensitive) == 0)
            return field;
    }
    for (int i = 0; i < count; ++i) {
        TField* field = dataSet->Fields(i);
        if (field && field->FieldName().compare(FieldName, Qt::CaseInsensitive) == 0)
            return field;
    }
    return nullptr;
}

namespace {

// Whole numbers beyond 32 bits become floats rather than wrapping.
EvalResult WholeValue(qint64 value) {
    if (value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max())
        return EvalResult::FromInteger(qint32(value));
    return EvalResult::FromFloat(double(value));
}

// Aggregate columns carry no declared kind; their value tells it.
EvalResult VariantValue(const QVariant& value) {
    if (value.isNull())
        return EvalResult::FromInteger(0);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return WholeValue(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return EvalResult::FromFloat(value.toDouble());
    case QMetaType::Bool:
        return EvalResult::FromBoolean(value.toBool());
    default:
        return EvalResult::FromText(value.toString());
    }
}

} // namespace

EvalResult TRpEvElementDataField::Value(TRpFiFo&) {
    TField* field = CurrentField();
    if (!field)
        return EvalResult::FromError(FieldNotFound(FieldName));
    try {
        const bool null = field->IsNull();
        switch (field->DataType()) {
        // A long text column is text too; an error value in its place would
        // hide the data.
        case TFieldType::String:
        case TFieldType::Memo:
            return EvalResult::FromText(null ? QString() : field->AsString());
        case TFieldType::Integer:
        case TFieldType::SmallInt:
        case TFieldType::Word:
            return WholeValue(null ? 0 : field->AsLargeInt());
        case TFieldType::Float:
        case TFieldType::Currency:
        case TFieldType::BCD:
            return EvalResult::FromFloat(null ? 0.0 : field->AsFloat());
        case TFieldType::Boolean:
            return EvalResult::FromBoolean(null ? false : field->AsBoolean());
        case TFieldType::Date:
        case TFieldType::Time:
        case TFieldType::DateTime:
            return EvalResult::FromText(null ? QString() : field->AsString());
        case TFieldType::Aggregate:
            return VariantValue(field->AsVariant());
        case TFieldType::Unknown:
        case TFieldType::Blob:
            break;
        }
        return EvalResult::FromError(UnknownFieldType(field->FieldName()));
    } catch (const Exception& e) {
        return EvalResult::FromError(e.message());
    } catch (const std::exception& e) {
        return EvalResult::FromError(QString::fromUtf8(e.what()));
    }
}

// ---------------------------------------------------------------- the others

EvalResult TRpEvElementArgumentEnd::Value(TRpFiFo&) {
    return EvalResult::FromError(ErrorInExpression(QString()));
}

EvalResult TRpEvElementWrapper::Value(TRpFiFo&) {
    const std::shared_ptr<TRpEvEmbeddedFunction> function = Function.lock();
    if (!function)
        return EvalResult::FromError(UnknownFunction(Name));
    return function->ComputeValue();
}

EvalResult TRpEvElementFunction::Value(TRpFiFo& fifo) {
    QList<EvalResult> args;
    while (TRpEvElement* element = fifo.Next()) {
        if (element->IsArgumentEnd())
            break;
        args.append(element->Value(fifo));
    }
    if (fifo.AggregateMode())
        AccumulateArgs(args);
    return ComputeResult(args);
}

void TRpEvElementFunction::AccumulateArgs(const QList<EvalResult>&) {}
