#include "RpEvalResult.h"

#include "DisplayFormat.h"

#include <cmath>
#include <exception>

QString CutEvalText(const QString& text) {
    if (text.size() <= MaxEvalTextLength)
        return text;
    int length = MaxEvalTextLength;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

EvalResult EvalResult::FromInteger(qint32 value) {
    EvalResult result;
    result.Kind = EvalKind::Integer;
    result.IntValue = value;
    return result;
}

EvalResult EvalResult::FromFloat(double value) {
    EvalResult result;
    result.Kind = EvalKind::Float;
    result.FloatValue = value;
    return result;
}

EvalResult EvalResult::FromText(const QString& text) {
    EvalResult result;
    result.Kind = EvalKind::Text;
    result.TextValue = CutEvalText(text);
    return result;
}

EvalResult EvalResult::FromBoolean(bool value) {
    EvalResult result;
    result.Kind = EvalKind::Boolean;
    result.BoolValue = value;
    return result;
}

EvalResult EvalResult::FromError(const QString& message) {
    EvalResult result;
    result.Kind = EvalKind::Error;
    result.TextValue = CutEvalText(message);
    return result;
}

double EvalResult::AsDouble() const {
    if (Kind == EvalKind::Integer)
        return IntValue;
    if (Kind == EvalKind::Float)
        return FloatValue;
    return 0;
}

QString EvalPlainText(const EvalResult& value) {
    switch (value.Kind) {
    case EvalKind::Integer:
        return QString::number(value.IntValue);
    case EvalKind::Float:
        return GeneralFloatText(value.FloatValue);
    case EvalKind::Boolean:
        return value.BoolValue ? QStringLiteral("True") : QStringLiteral("False");
    case EvalKind::Text:
    case EvalKind::Error:
        break;
    }
    return value.TextValue;
}

QString EvalResultText(const EvalResult& value, const QString& mask) {
    if (!value.IsNumeric() || mask.isEmpty())
        return EvalPlainText(value);
    try {
        return FormatFloatPicture(mask, value.AsDouble());
    } catch (const std::exception&) {
        return QString();
    }
}
