#include "ColumnSum.h"

#include "DataSet.h"
#include "MessageBox.h"
#include "TextRoutines.h"

#include <QCoreApplication>
#include <QMetaType>
#include <QVariant>

namespace {

// The number a value stands for; a number held as a number is taken as it
// is, anything else goes through the tolerant text reading. Sets empty for a
// NULL or blank value.
double ValueOf(const TField* field, bool& empty) {
    const QVariant value = field->AsVariant();
    empty = false;
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        empty = true;
        return 0;
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::LongLong:
    case QMetaType::Int:
        return double(value.toLongLong());
    default:
        break;
    }
    const QString text = TrimText(field->AsString());
    if (text.isEmpty()) {
        empty = true;
        return 0;
    }
    return ParseFloatText(text);
}

QString SumMask(const TField* field) {
    if (field->IsNumeric() && !field->DisplayFormat().isEmpty())
        return field->DisplayFormat();
    if (field->IsFloat())
        return QStringLiteral("### ### ##0.00##");
    return QStringLiteral("### ### ##0");
}

} // namespace

double ShowColumnSum(TDataSet* dataSet, const QString& fieldName) {
    TField* field = dataSet->FieldByName(fieldName);
    QString label = field->DisplayName();
    if (label.isEmpty())
        label = fieldName;

    double sum = 0;
    int emptyCount = 0;
    bool cancelled = false;
    if (!dataSet->Active())
        return sum;

    dataSet->DisableControls();
    const TBookmark bookmark = dataSet->GetBookmark();
    try {
        dataSet->First();
        while (!dataSet->Eof()) {
            bool empty = false;
            double value = 0;
            try {
                value = ValueOf(field, empty);
            } catch (const EConvertError& e) {
                const int answer = ShowMessageBox(
                    e.message() + QStringLiteral("\rZero is assumed!\r\rPress [Cancel] to abort."),
                    QStringLiteral("Error"), MB_OKCANCEL | MB_ICONEXCLAMATION);
                if (answer == IDCANCEL) {
                    cancelled = true;
                    break;
                }
            }
            if (empty)
                ++emptyCount;
            sum += value;
            dataSet->Next();
        }
    } catch (...) {
        if (dataSet->BookmarkValid(bookmark))
            dataSet->GotoBookmark(bookmark);
        dataSet->EnableControls();
        throw;
    }
    if (dataSet->BookmarkValid(bookmark))
        dataSet->GotoBookmark(bookmark);
    dataSet->EnableControls();

    const QString sumText =
        cancelled ? QStringLiteral("<n.a.>") : FormatByMask(SumMask(field), sum);
    QString message = QCoreApplication::translate("ColumnSum", "Сбор на колона ") + u'"' + label +
                      u'"' + QStringLiteral(":   ") + sumText + QStringLiteral("\r\r") +
                      QCoreApplication::translate("ColumnSum", "Брой редове:   ") +
                      QString::number(dataSet->RecordCount());
    if (emptyCount > 0)
        message += QCoreApplication::translate("ColumnSum", "\r\rБрой <NULL> стойности:   ") +
                   QString::number(emptyCount);
    message += u'\r';
    ShowMessageBox(message, QCoreApplication::translate("ColumnSum", "Съобщение"),
                   MB_ICONINFORMATION);
    return sum;
}
