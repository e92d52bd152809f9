#include "RpLabels.h"

#include "DisplayFormat.h"
#include "RpBand.h"
#include "RpCustomReport.h"
#include "RpEvaluator.h"
#include "RpReportRun_p.h"

#include <QDateTime>

#include <cstring>

// ---------------------------------------------------------------- TRpLabel

TRpLabel::TRpLabel(QObject* parent) : TRpCustomLabel(parent) {}

// ---------------------------------------------------------------- TRpMemo

TRpMemo::TRpMemo(QObject* parent) : TRpCustomLabel(parent) {
    CaptionBased = false;
    MemoLines = true;
}

void TRpMemo::Print(TRpPrintContext& context, double x0, double y0) {
    // The lines print with the caption cleared, so OnPrint is not called.
    PrintTextValue.clear();
    PrintLines(context, x0, y0);
}

void TRpMemo::Unprepare() {
    TRpCustomLabel::Unprepare();
    PrintTextValue = CaptionText;
}

// ---------------------------------------------------------------- TRpDBText

TRpDBText::TRpDBText(QObject* parent) : TRpCustomLabel(parent) {}

void TRpDBText::SetDataField(const QString& name) {
    FieldName = name;
    if (!IsPrinting)
        SetCaption(name);
}

void TRpDBText::Prepare(TRpReportRun& run) {
    TRpCustomLabel::Prepare(run);
    TDataSet* dataSet = Data;
    if (!dataSet && Report())
        dataSet = Report()->DataSet();
    FieldOwner = dataSet;
    Field = dataSet ? dataSet->FindField(FieldName) : nullptr;
    // Memo and binary fields print their text as lines.
    UseLines =
        Field && (Field->DataType() == TFieldType::Memo || Field->DataType() == TFieldType::Blob);
}

void TRpDBText::Unprepare() {
    TRpCustomLabel::Unprepare();
    Field = nullptr;
    FieldOwner = nullptr;
    UseLines = false;
    SetCaption(FieldName);
}

template <typename Make> QString TRpDBText::Masked(int kind, quint64 key, Make&& make) const {
    constexpr int bits = 10;
    if (MaskedTexts.empty())
        MaskedTexts.resize(std::size_t(1) << bits);
    TMasked& entry =
        MaskedTexts[std::size_t(((key + quint64(kind)) * 0x9E3779B97F4A7C15ull) >> (64 - bits))];
    if (entry.Kind != kind || entry.Key != key) {
        entry.Text = make();
        entry.Kind = kind;
        entry.Key = key;
    }
    return entry.Text;
}

QString TRpDBText::Value() const {
    TField* field = Field;
    TDataSet* dataSet = FieldOwner;
    if (!IsPrinting) {
        dataSet = Data ? Data.data() : (Report() ? Report()->DataSet() : nullptr);
        field = dataSet ? dataSet->FindField(FieldName) : nullptr;
    } else if (field) {
        // The data set may have rebuilt its fields (reopened) since the run
        // started: look the field up again then.
        if (!dataSet || field->Index() >= dataSet->FieldCount() ||
            dataSet->Fields(field->Index()) != field)
            field = dataSet ? dataSet->FindField(FieldName) : nullptr;
    }
    if (!field)
        return {};
    try {
        const TFieldType type = field->DataType();
        if (type == TFieldType::Memo || type == TFieldType::Blob)
            return field->AsString();
        if (MaskText.isEmpty() || type == TFieldType::String)
            return field->DisplayText();
        if (field->IsNull())
            return {};
        if (field->IsNumeric()) {
            const double value = field->AsFloat();
            quint64 key;
            std::memcpy(&key, &value, sizeof key);
            return Masked(1, key, [&] { return FormatFloatPicture(MaskText, value); });
        }
        if (field->IsDateTime()) {
            const QDateTime value = field->AsPlainDateTime();
            if (!value.isValid())
                return FormatDateTimePicture(MaskText, value);
            const quint64 key = quint64(value.date().toJulianDay()) * 86400000u +
                                quint64(value.time().msecsSinceStartOfDay());
            return Masked(2, key, [&] { return FormatDateTimePicture(MaskText, value); });
        }
        if (field->IsAggregate()) {
            // An aggregate column whose kind the server did not tell: a
            // numeric value still takes the number picture.
            const QVariant value = field->AsVariant();
            const QMetaType::Type kind = QMetaType::Type(value.typeId());
            if (kind == QMetaType::Int || kind == QMetaType::LongLong ||
                kind == QMetaType::Double || kind == QMetaType::UInt ||
                kind == QMetaType::ULongLong)
                return FormatFloatPicture(MaskText, value.toDouble());
        }
        return field->DisplayText();
    } catch (...) {
        return {};
    }
}

void TRpDBText::Print(TRpPrintContext& context, double x0, double y0) {
    // A run that draws nothing needs a data text only when it can make its
    // band grow or has a print event: reading and laying out every value of
    // the data set would change nothing else.
    if (!context.Drawing() && !AutoStretch() && !OnPrint) {
        Finished = true;
        return;
    }
    const QString value = Value();
    if (UseLines) {
        LinesValue = QStringList{value};
        PrintTextValue.clear();
    } else {
        PrintTextValue = value;
    }
    PrintLines(context, x0, y0);
}

// ---------------------------------------------------------------- TRpExpr

TRpExpr::TRpExpr(QObject* parent)
    : TRpCustomLabel(parent), EvaluatorValue(std::make_unique<TRpEvaluator>()) {
    ShowExpression();
}

TRpExpr::~TRpExpr() = default;

void TRpExpr::ShowExpression() {
    SetCaption(ExpressionText.isEmpty() ? QStringLiteral("(none)") : ExpressionText);
}

void TRpExpr::SetExpression(const QString& expression) {
    ExpressionText = expression;
    if (!IsPrinting)
        ShowExpression();
}

void TRpExpr::SetMask(const QString& mask) {
    MaskText = mask;
    if (!IsPrinting)
        ShowExpression();
}

void TRpExpr::Prepare(TRpReportRun& run) {
    TRpCustomLabel::Prepare(run);
    EvaluatorValue->SetSearchDataSets(run.DataSets());
    EvaluatorValue->SetLocalEnvironment(&run.Report.Environment());
    EvaluatorValue->Compile(ExpressionText);
    if (MasterObject || EvaluatorValue->HasAggregates())
        run.RegisterAggregate(this, MasterObject);
    EvaluatorValue->ClearTotals();
}

void TRpExpr::Unprepare() {
    TRpCustomLabel::Unprepare();
    EvaluatorValue->Discard();
    ShowExpression();
}

QString TRpExpr::Value() {
    return EvalResultText(EvaluatorValue->Compute(), MaskText);
}

void TRpExpr::Print(TRpPrintContext& context, double x0, double y0) {
    PrintTextValue = Value();
    PrintLines(context, x0, y0);
    if (Reset)
        EvaluatorValue->ClearTotals();
}

// ---------------------------------------------------------------- TRpSysData

TRpSysData::TRpSysData(QObject* parent) : TRpCustomLabel(parent) {
    ShowKind();
}

QString TRpSysData::KindName(TRpSysDataType kind) {
    switch (kind) {
    case rpsTime:
        return QStringLiteral("Time");
    case rpsDate:
        return QStringLiteral("Date");
    case rpsDateTime:
        return QStringLiteral("Date/Time");
    case rpsPageNumber:
        return QStringLiteral("Page#");
    case rpsReportTitle:
        return QStringLiteral("Report title");
    case rpsDetailCount:
        return QStringLiteral("Detail count");
    case rpsDetailNo:
        return QStringLiteral("Detail no");
    }
    return {};
}

void TRpSysData::ShowKind() {
    SetCaption(Prefix + u'(' + KindName(Kind) + u')');
}

void TRpSysData::SetData(TRpSysDataType kind) {
    Kind = kind;
    if (!IsPrinting)
        ShowKind();
}

void TRpSysData::SetText(const QString& text) {
    Prefix = text;
    if (!IsPrinting)
        ShowKind();
}

QString TRpSysData::Value() const {
    const TRpCustomReport* report = Report();
    const TRpReportRun* run = report ? report->CurrentRun() : nullptr;
    QString value;
    switch (Kind) {
    case rpsTime:
        value = FormatDateTimePicture(QStringLiteral("t"), QDateTime::currentDateTime());
        break;
    case rpsDate:
        value = FormatDateTimePicture(QStringLiteral("c"),
                                      QDateTime(QDate::currentDate(), QTime(0, 0)));
        break;
    case rpsDateTime:
        value = FormatDateTimePicture(QStringLiteral("c"), QDateTime::currentDateTime());
        break;
    case rpsPageNumber:
        value = QString::number(report ? report->PageNumber() : 0);
        break;
    case rpsReportTitle:
        value = report ? report->ReportTitle() : QString();
        break;
    case rpsDetailCount:
        value = QString::number(run ? run->DetailCount() : 1);
        break;
    case rpsDetailNo:
        value = QString::number(report ? report->DetailNo() : 0);
        break;
    }
    return Prefix + value;
}

void TRpSysData::Print(TRpPrintContext& context, double x0, double y0) {
    SetCaption(Value());
    PrintLines(context, x0, y0);
}

void TRpSysData::Unprepare() {
    TRpCustomLabel::Unprepare();
    ShowKind();
}
