#pragma once
// The built-in functions of report expressions and the registry that maps
// their names to element classes.

#include "RpElements.h"

#include <QChar>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

// ---------------------------------------------------------------- functions

class TRpEvIfFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvStrFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvUpperFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvLowerFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvPrettyFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvTimeFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvDateFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvCopyFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

// Running total of its one argument. The first value fixes the kind; an
// integer total that would leave 32 bits, or a float joining an integer
// total, continues as a float total; a non-numeric value makes it an error.
class TRpEvSumFunction : public TRpEvElementFunction {
public:
    TRpEvSumFunction();
    void Reset() override;

protected:
    void AccumulateArgs(const QList<EvalResult>& args) override;
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
    // Adds one value to the total; false when the argument count is wrong.
    bool AddValue(const QList<EvalResult>& args);

    EvalResult Total;
    bool Started = false;
};

class TRpEvAverageFunction : public TRpEvSumFunction {
public:
    void Reset() override;

protected:
    void AccumulateArgs(const QList<EvalResult>& args) override;
    EvalResult ComputeResult(const QList<EvalResult>& args) override;

private:
    EvalResult Average = EvalResult::FromFloat(0);
    int Count = 0;
};

class TRpEvCountFunction : public TRpEvElementFunction {
public:
    TRpEvCountFunction() { Aggregate = true; }
    void Reset() override { Count = 0; }

protected:
    void AccumulateArgs(const QList<EvalResult>& args) override;
    EvalResult ComputeResult(const QList<EvalResult>& args) override;

private:
    qint32 Count = 0;
};

// Keeps the largest (MAX) or smallest (MIN) value accumulated.
class TRpEvExtremeFunction : public TRpEvElementFunction {
public:
    explicit TRpEvExtremeFunction(bool largest) : Largest(largest) { Aggregate = true; }
    void Reset() override;

protected:
    void AccumulateArgs(const QList<EvalResult>& args) override;
    EvalResult ComputeResult(const QList<EvalResult>& args) override;

private:
    QString Name() const { return Largest ? QStringLiteral("MAX") : QStringLiteral("MIN"); }

    bool Largest;
    EvalResult Stored;
    bool Started = false;
};

class TRpEvMaxFunction : public TRpEvExtremeFunction {
public:
    TRpEvMaxFunction() : TRpEvExtremeFunction(true) {}
};

class TRpEvMinFunction : public TRpEvExtremeFunction {
public:
    TRpEvMinFunction() : TRpEvExtremeFunction(false) {}
};

class TRpEvTrue : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvFalse : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvIntFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvFracFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvSQRTFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvDivFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvTypeOfFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

class TRpEvFormatNumericFunction : public TRpEvElementFunction {
protected:
    EvalResult ComputeResult(const QList<EvalResult>& args) override;
};

// ---------------------------------------------------------------- registry

using TRpElementFactory = std::function<std::unique_ptr<TRpEvElementFunction>()>;

struct TRpLibraryEntry {
    QString Name;
    QString Description;  // usage text ending in a bar, then the description
    QString ArgumentCode; // group digit, then the expected kinds (listings only)
    QString Vendor;
    TRpElementFactory ElementClass;

    QString Usage() const; // the description up to the first bar
    QString Help() const;  // the description after the first bar
};

class TRpLibrary {
public:
    // Adds the entry, or replaces the entry of the same name in its place.
    void RegisterFunction(const QString& name, const QString& description,
                          const QString& argumentCode, const QString& vendor,
                          TRpElementFactory elementClass);
    int Count() const { return int(Entries.size()); }
    const TRpLibraryEntry& Entry(int index) const { return Entries[size_t(index)]; }
    const TRpLibraryEntry* Find(const QString& name) const; // nullptr when absent

private:
    std::vector<TRpLibraryEntry> Entries;
};

class TRpFunctionLibrary : public TRpLibrary {
public:
    // A new element of the entry's class, or an error element
    // "Unknown function : " with the name upper-cased.
    std::unique_ptr<TRpEvElement> NewElement(const QString& name) const;
};

// The vendor text of every built-in entry.
inline const QString BuiltinVendor = QStringLiteral("SQL Vexal");

// Registers the 21 built-in functions in their listing order.
void RegisterBuiltinFunctions(TRpFunctionLibrary& library);
// The process-wide registry, filled with the built-ins on first use.
TRpFunctionLibrary& FunctionRegistry();

// The character that separates function arguments.
extern QChar ArgumentSeparator;

// Current local time (long time format) and date (short date format), as TIME
// and DATE give them.
QString CurrentTimeText();
QString CurrentDateText();
