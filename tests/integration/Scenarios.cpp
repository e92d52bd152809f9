#include "Scenarios.h"

#include "DbAccess.h"
#include "Inquiry.h"
#include "InquiryView.h"
#include "MessageBox.h"

#include "ExportText.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

void Locate(TQuery* query, const QString& field, const QString& value) {
    if (!query->Locate(field, value))
        throw Exception(u"no %1 %2 in %3"_s.arg(field, value, query->objectName()));
}

// The user removes every ordering.
void ClearOrderings(TInquiry& inquiry) {
    while (!inquiry.OrderBox.isEmpty())
        inquiry.RemoveOrderingAt(0);
}

} // namespace

const std::vector<TScenario>& Scenarios() {
    static const std::vector<TScenario> scenarios = {
        // The mandatory date default, a hidden column's default and two
        // default orderings.
        {"subject with defaults", [](TInquiry& q) { q.SelectSubject(u"Продажби"_s); }},
        // A relation column joins the clients; a condition on the joined
        // subject's column.
        {"join",
         [](TInquiry& q) {
             q.SelectSubject(u"Продажби"_s);
             ClearOrderings(q);
             Locate(q.qrCol, u"ColName"_s, u"ClientID"_s);
             q.btAddFilterClick();
             Locate(q.qrTableName, u"BGTableName"_s, u"Клиенти"_s);
             q.ReportListBoxClick();
             q.ApplyExternalFilter(u"City"_s, u"="_s, u"'София'"_s);
             Locate(q.qrCol, u"ColName"_s, u"Name"_s);
             q.btSortClick(true);
         }},
        // Grouped by an expression column; a condition on an aggregate column
        // goes to HAVING with a fractional number against a whole-number sum.
        {"grouped with HAVING",
         [](TInquiry& q) {
             q.SelectSubject(u"Продажби"_s);
             Locate(q.qrCol, u"BGColName"_s, u"Клиент"_s);
             q.btGroupClick();
             q.ApplyExternalFilter(u"Qty"_s, u">="_s, u"100.5"_s);
             Locate(q.qrCol, u"BGColName"_s, u"Сума"_s);
             q.btSortClick(false);
         }},
        // The year is a connection variable set on the server; the view reads it.
        {"variable column",
         [](TInquiry& q) {
             q.SelectSubject(u"Продажби за година"_s);
             q.ApplyExternalFilter(u"kzmGodina"_s, u"="_s, u"2023"_s);
         }},
        // Ungrouped, the variable is a column of every row, read by its bare name.
        {"variable, every row",
         [](TInquiry& q) {
             q.SelectSubject(u"Продажби за година"_s);
             while (!q.GroupBox.isEmpty())
                 q.RemoveGrouping(0);
             q.ApplyExternalFilter(u"kzmGodina"_s, u"="_s, u"2023"_s);
         }},
        // A date range in the program's date form.
        {"date condition",
         [](TInquiry& q) {
             q.SelectSubject(u"Продажби"_s);
             q.ApplyExternalFilter(u"SaleDate"_s, u">="_s, u"01.06.2024"_s);
             q.ApplyExternalFilter(u"SaleDate"_s, u"<="_s, u"30.06.2024"_s);
             q.ApplyExternalFilter(u"Payment"_s, u"="_s, u"'Карта'"_s);
         }},
        // Begins-with in lower case finds names in upper case.
        {"LIKE with Cyrillic",
         [](TInquiry& q) {
             q.SelectSubject(u"Клиенти"_s);
             q.ApplyExternalFilter(u"Name"_s, u"~"_s, u"'б'"_s);
         }},
        // A subject grouped by default, with averages and a count.
        {"grouped subject", [](TInquiry& q) { q.SelectSubject(u"Стоки"_s); }},
    };
    return scenarios;
}

TScenarioResult RunScenario(const TScenario& scenario, int repeats,
                            const std::function<void(TInquiry&)>& afterRun) {
    TScenarioResult result;
    const MessageBoxHandler previous =
        SetMessageBoxHandler([&result](const QString& text, const QString& caption, int style) {
            result.Messages << caption + u": "_s + text;
            return DefaultMessageBoxButton(style);
        });
    try {
        TPlainInquiryView view;
        TInquiry inquiry(&view, nullptr);
        inquiry.SetDatabaseName(u"restdata"_s);
        inquiry.OpenSubjectList();
        scenario.Compose(inquiry);
        std::vector<double> times;
        for (int i = 0; i < std::max(repeats, 1); ++i) {
            QElapsedTimer timer;
            timer.start();
            const bool open = inquiry.btSpravkaClick(true);
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
            if (!open)
                break;
        }
        std::sort(times.begin(), times.end());
        result.Milliseconds = times[times.size() / 2];
        TQuery* data = inquiry.qrDATA();
        result.Sql = data->SQL();
        if (data->Active()) {
            std::vector<int> keys;
            for (const QString& order : inquiry.OrderBox) {
                const QString name = order.left(order.lastIndexOf(u' ')).remove(u'"');
                if (TField* field = data->FindField(name))
                    keys.push_back(field->Index());
            }
            for (data->First(); !data->Eof(); data->Next()) {
                QStringList cells;
                for (int c = 0; c < data->FieldCount(); ++c)
                    cells << data->Fields(c)->DisplayText();
                result.Rows << cells.join(u'|');
                QStringList key;
                for (int c : keys)
                    key << cells[c];
                result.OrderKeys << key.join(u'|');
            }
        }
        if (afterRun)
            afterRun(inquiry);
    } catch (const Exception& e) {
        result.Messages << u"error: "_s + e.message();
    }
    SetMessageBoxHandler(previous);
    return result;
}

QString ExportResult(TInquiry& inquiry, const QString& title, const QString& fileName) {
    QString failure;
    ExportToText(inquiry.qrDATA(), nullptr, title, fileName, failure);
    if (!failure.isEmpty())
        return u"export failed: "_s + failure;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return u"export missing: "_s + fileName;
    return QString::fromLatin1(
        QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex());
}
