#pragma once
// The text printables: fixed text, several lines of fixed text, the value of
// a data field, the value of an expression and a system value.

#include "RpPrintable.h"

#include <QPointer>

#include <vector>

#include <memory>

class TDataSet;
class TField;
class TRpEvaluator;

// Fixed text.
class TRpLabel : public TRpCustomLabel {
    Q_OBJECT
public:
    explicit TRpLabel(QObject* parent = nullptr);
};

// Several lines of fixed text (Lines). With AutoSize on, every line prints
// as it is, unwrapped.
class TRpMemo : public TRpCustomLabel {
    Q_OBJECT
public:
    explicit TRpMemo(QObject* parent = nullptr);
    void Print(TRpPrintContext& context, double x0, double y0) override;
    void Unprepare() override;
};

// The value of one field of the current row. Without a data set of its own
// it reads the report's data set.
class TRpDBText : public TRpCustomLabel {
    Q_OBJECT
public:
    explicit TRpDBText(QObject* parent = nullptr);

    TDataSet* DataSet() const { return Data; }
    void SetDataSet(TDataSet* dataSet) { Data = dataSet; }
    QString DataField() const { return FieldName; }
    void SetDataField(const QString& name);
    // Number picture for numeric fields, date-time picture for date and time
    // fields; ignored for other fields.
    QString Mask() const { return MaskText; }
    void SetMask(const QString& mask) {
        MaskText = mask;
        MaskedTexts.clear();
    }

    // The text the current row prints (empty when there is no such field or
    // formatting fails).
    QString Value() const;

    void Prepare(TRpReportRun& run) override;
    void Print(TRpPrintContext& context, double x0, double y0) override;
    void Unprepare() override;

private:
    QPointer<TDataSet> Data;
    QString FieldName;
    QString MaskText;
    // The field found by name at run start.
    TField* Field = nullptr;
    QPointer<TDataSet> FieldOwner;
    // The masked texts of the values met last: a picture is worked out once
    // per distinct value, and a long report repeats its dates and amounts.
    struct TMasked {
        quint64 Key = 0;
        int Kind = 0; // 0: empty
        QString Text;
    };
    mutable std::vector<TMasked> MaskedTexts;
    template <typename Make> QString Masked(int kind, quint64 key, Make&& make) const;
};

// The value of an expression of the report expression language.
class TRpExpr : public TRpCustomLabel {
    Q_OBJECT
public:
    explicit TRpExpr(QObject* parent = nullptr);
    ~TRpExpr() override;

    QString Expression() const { return ExpressionText; }
    void SetExpression(const QString& expression);
    // Number picture for numeric results (empty: the general format).
    QString Mask() const { return MaskText; }
    void SetMask(const QString& mask);
    // Reset the expression's totals after every print.
    bool ResetAfterPrint() const { return Reset; }
    void SetResetAfterPrint(bool on) { Reset = on; }
    // The report or a sub-detail whose rows the expression sees; nullptr
    // lets an expression with aggregates see the report's rows.
    QObject* Master() const { return MasterObject; }
    void SetMaster(QObject* master) { MasterObject = master; }

    TRpEvaluator& Evaluator() { return *EvaluatorValue; }
    // The text the expression prints now; raises "Evaluator not prepared"
    // outside a run.
    QString Value();

    void Prepare(TRpReportRun& run) override;
    void Print(TRpPrintContext& context, double x0, double y0) override;
    void Unprepare() override;

private:
    void ShowExpression();

    QString ExpressionText;
    QString MaskText;
    bool Reset = false;
    QPointer<QObject> MasterObject;
    std::unique_ptr<TRpEvaluator> EvaluatorValue;
};

// A system value after the prefix Text.
class TRpSysData : public TRpCustomLabel {
    Q_OBJECT
public:
    explicit TRpSysData(QObject* parent = nullptr);

    TRpSysDataType Data() const { return Kind; }
    void SetData(TRpSysDataType kind);
    QString Text() const { return Prefix; }
    void SetText(const QString& text);

    // The prefix and the value now.
    QString Value() const;
    // The kind's name shown between runs ("Time", "Report title", ...).
    static QString KindName(TRpSysDataType kind);

    void Print(TRpPrintContext& context, double x0, double y0) override;
    void Unprepare() override;

private:
    void ShowKind();

    TRpSysDataType Kind = rpsTime;
    QString Prefix;
};
