#pragma once
// The compiled form of an expression: a queue of elements in prefix order.
// Each element computes its value by reading the elements it needs after it.

#include "RpEvalResult.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

class TDataSet;
class TField;
class TRpFiFo;
class TRpEvEmbeddedFunction;

class TRpEvElement {
public:
    TRpEvElement() = default;
    virtual ~TRpEvElement() = default;
    TRpEvElement(const TRpEvElement&) = delete;
    TRpEvElement& operator=(const TRpEvElement&) = delete;

    // The element's value; the element itself has already been taken from the
    // queue, and it takes the elements of its operands or arguments.
    virtual EvalResult Value(TRpFiFo& fifo) = 0;
    // Forgets running totals (aggregates only).
    virtual void Reset() {}
    virtual bool IsArgumentEnd() const { return false; }
    bool IsAggregate() const { return Aggregate; }

protected:
    bool Aggregate = false;
};

// An ordered list of owned elements with a read position and the aggregate
// mode in which functions accumulate their arguments.
class TRpFiFo {
public:
    void Put(std::unique_ptr<TRpEvElement> element);
    void Start() { Position = 0; }
    TRpEvElement* Next(); // nullptr at the end
    // The value of the next element, an error value when the queue has ended.
    EvalResult NextValue();

    int Count() const { return int(Elements.size()); }
    TRpEvElement* At(int index) const { return Elements[size_t(index)].get(); }
    bool AggregateMode() const { return InAggregateMode; }
    void SetAggregateMode(bool on) { InAggregateMode = on; }

private:
    std::vector<std::unique_ptr<TRpEvElement>> Elements;
    size_t Position = 0;
    bool InAggregateMode = false;
};

// Operator codes; Not is the negation of a "not" factor and reads one operand.
enum class TRpOperator : int {
    Less = 0,
    LessEqual = 1,
    Greater = 2,
    GreaterEqual = 3,
    Equal = 4,
    NotEqual = 5,
    Add = 6,
    Subtract = 7,
    Or = 8,
    Multiply = 9,
    Divide = 10,
    And = 11,
    Not = 12
};

class TRpEvElementOperator : public TRpEvElement {
public:
    explicit TRpEvElementOperator(TRpOperator op) : Operator(op) {}
    EvalResult Value(TRpFiFo& fifo) override;
    TRpOperator Code() const { return Operator; }
    // Combines two computed operands (errors first, then kind unification).
    static EvalResult Combine(TRpOperator op, EvalResult left, EvalResult right);

private:
    TRpOperator Operator;
};

// An integer or float constant; the report sets its named values through it.
class TRpEvElementConstant : public TRpEvElement {
public:
    explicit TRpEvElementConstant(const EvalResult& value) : Stored(value) {}
    EvalResult Value(TRpFiFo&) override { return Stored; }
    void SetValue(const EvalResult& value) { Stored = value; }

private:
    EvalResult Stored;
};

class TRpEvElementString : public TRpEvElement {
public:
    explicit TRpEvElementString(const QString& text) : Text(CutEvalText(text)) {}
    EvalResult Value(TRpFiFo&) override { return EvalResult::FromText(Text); }
    void SetText(const QString& text) { Text = CutEvalText(text); }

private:
    QString Text;
};

// A field of a data set. The field is found again before each read (by its
// position, then by name), since a data set recreates its fields on opening.
class TRpEvElementDataField : public TRpEvElement {
public:
    TRpEvElementDataField(TDataSet* dataSet, TField* field);
    EvalResult Value(TRpFiFo&) override;

private:
    TField* CurrentField() const;

    QPointer<TDataSet> DataSet;
    QString FieldName;
    int FieldPosition;
};

// Marks the end of a function's arguments.
class TRpEvElementArgumentEnd : public TRpEvElement {
public:
    EvalResult Value(TRpFiFo&) override;
    bool IsArgumentEnd() const override { return true; }
};

// A named expression of an environment, computed with its own evaluator.
class TRpEvElementWrapper : public TRpEvElement {
public:
    TRpEvElementWrapper(const QString& name, std::weak_ptr<TRpEvEmbeddedFunction> function)
        : Name(name), Function(std::move(function)) {}
    EvalResult Value(TRpFiFo&) override;

private:
    QString Name;
    std::weak_ptr<TRpEvEmbeddedFunction> Function;
};

// A compilation problem; computing it gives an error value with the message.
class TRpEvElementError : public TRpEvElement {
public:
    explicit TRpEvElementError(const QString& message) : Message(message) {}
    EvalResult Value(TRpFiFo&) override { return EvalResult::FromError(Message); }
    QString ErrorMessage() const { return Message; }

private:
    QString Message;
};

// Base of the built-in functions: computes every following element up to the
// argument end as an argument, lets an aggregate accumulate them in aggregate
// mode, then computes the function's value.
class TRpEvElementFunction : public TRpEvElement {
public:
    EvalResult Value(TRpFiFo& fifo) override;

protected:
    virtual void AccumulateArgs(const QList<EvalResult>& args);
    virtual EvalResult ComputeResult(const QList<EvalResult>& args) = 0;
};

// Message texts shown to the user through error values.
namespace RpExprMessages {
QString MissingChar(QChar c);                   // "Missing %s"
QString ErrorInExpression(const QString& text); // "Error in expression : %s"
QString IllegalNumeric(const QString& text);    // "Illegal character in numeric contant "%s""
QString UnknownFunction(const QString& name);   // "Unknown function : %s"
QString WrongArguments(const QString& name);    // "Wrong arguments for %s"
QString MissingArgument(const QString& name);   // "Missing argument for %s"
QString NotCompatible(const QString& op, const QString& kind);
QString CannotOperate(const QString& verb, const QString& kind);
QString UnknownFieldType(const QString& field);
QString FieldNotFound(const QString& field);
extern const char* const DivideByZero;     // "Cannot divide by 0"
extern const char* const InvalidNot;       // "Invalid use of NOT"
extern const char* const RecursiveCall;    // "Recursive calls not allowed"
extern const char* const NotPrepared;      // "Evaluator not prepared"
extern const char* const ConversionError;  // "Conversion error"
extern const char* const InvalidSqrt;      // "Invalid argument to SQRT function"
extern const char* const DivisionByZero;   // "Division by Zero"
extern const char* const TooManyArguments; // "Too many arguments"
extern const char* const InvalidFormat;    // "Invalid format or value specified"
} // namespace RpExprMessages
