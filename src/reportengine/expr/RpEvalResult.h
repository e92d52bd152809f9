#pragma once
// The value of any computation of the report expression evaluator: one of
// five kinds with the field that goes with it.

#include <QString>
#include <QtGlobal>

// Kinds with their stable codes (listings and stored forms use the codes).
enum class EvalKind : int { Integer = 0, Float = 1, Text = 2, Boolean = 3, Error = 4 };

// Texts and error messages hold at most this many characters.
inline constexpr int MaxEvalTextLength = 255;

// Cuts a text to MaxEvalTextLength characters without splitting a surrogate
// pair (the UTF-16 counterpart of a double-byte character).
QString CutEvalText(const QString& text);

struct EvalResult {
    EvalKind Kind = EvalKind::Integer;
    qint32 IntValue = 0;   // integer: 32-bit, arithmetic wraps around
    double FloatValue = 0; // float
    QString TextValue;     // text, or the message of an error
    bool BoolValue = false;

    static EvalResult FromInteger(qint32 value);
    static EvalResult FromFloat(double value);
    static EvalResult FromText(const QString& text);
    static EvalResult FromBoolean(bool value);
    static EvalResult FromError(const QString& message);

    bool IsError() const { return Kind == EvalKind::Error; }
    bool IsNumeric() const { return Kind == EvalKind::Integer || Kind == EvalKind::Float; }
    // Integer or float as a double (0 for the other kinds).
    double AsDouble() const;
};

// The text a mixed-kind operation and STR use: integer in decimal, float in
// general format with up to 15 significant digits, boolean "True"/"False",
// text as it is, error its message.
QString EvalPlainText(const EvalResult& value);

// The text a printable shows for a computed value: integer and float
// formatted by the mask as a number picture (an empty mask gives the general
// format, a failure gives empty text), text as it is, boolean "True"/"False",
// error its message.
QString EvalResultText(const EvalResult& value, const QString& mask = QString());
