#include "ChartModel.h"

#include "DataSet.h"
#include "DisplayFormat.h"
#include "Exception.h"

#include <QCoreApplication>
#include <QDate>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>

namespace {

constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();
// Rows looked at to tell what a text column holds.
constexpr int SampleRows = 1000;

struct TKindName {
    TChartKind Kind;
    const char* Name;
    const char* Caption;
};
const TKindName KindNames[] = {
    {TChartKind::Bar, "bar", QT_TRANSLATE_NOOP("ChartModel", "Стълбове")},
    {TChartKind::Line, "line", QT_TRANSLATE_NOOP("ChartModel", "Линия")},
    {TChartKind::Pie, "pie", QT_TRANSLATE_NOOP("ChartModel", "Кръг")},
    {TChartKind::None, "none", QT_TRANSLATE_NOOP("ChartModel", "Без графика")},
};

QString Quoted(const QString& text) {
    return QStringLiteral("„") + text + QStringLiteral("“");
}

// A text read as a number the way the database gives them ("." decimal
// point); false for anything else.
bool NumberText(const QString& text, double& value) {
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

// Month-and-year texts: "2024-03" (as substr of an ISO date gives), "03.2024"
// and "03/2024". The key counts months from year 0.
const QRegularExpression& IsoMonth() {
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{4})-(\\d{1,2})\\s*$"));
    return re;
}
const QRegularExpression& DottedMonth() {
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,2})[./](\\d{4})\\s*$"));
    return re;
}
std::optional<qint64> MonthKey(const QString& text) {
    QRegularExpressionMatch m = IsoMonth().match(text);
    int year = 0;
    int month = 0;
    if (m.hasMatch()) {
        year = m.captured(1).toInt();
        month = m.captured(2).toInt();
    } else if ((m = DottedMonth().match(text)).hasMatch()) {
        month = m.captured(1).toInt();
        year = m.captured(2).toInt();
    } else {
        return std::nullopt;
    }
    if (month < 1 || month > 12)
        return std::nullopt;
    return qint64(year) * 12 + (month - 1);
}

enum class TPeriod { None, Day, Month };

// What a grid column is to the chart.
enum class TColumnRole { Label, Value, Skipped };

struct TColumn {
    TField* Field = nullptr;
    QString Caption;
    TColumnRole Role = TColumnRole::Label;
};

int RowCount(TDataSet* data) {
    return data && data->Active() ? data->RecordCount() : 0;
}

// A text column that holds numbers and now and then a text: a numeric field
// someone typed a text into. It is neither a label nor a value.
bool NumbersWithText(TField* field, int rows) {
    int numbers = 0;
    int texts = 0;
    double value = 0;
    for (int r = 0; r < std::min(rows, SampleRows); ++r) {
        if (field->IsNullAt(r))
            continue;
        if (NumberText(field->AsStringAt(r), value))
            ++numbers;
        else
            ++texts;
    }
    return texts > 0 && numbers > texts;
}

// The date at the start of a field's text, "YYYY-MM-DD" as stored or
// "DD.MM.YYYY" (with the program's date separator) as a date field gives
// it, read without the zone look-ups of a date-time value (a million rows
// chart at once); invalid for any other text.
QDate TextDate(const QString& text) {
    if (text.size() < 10)
        return {};
    const QStringView t(text);
    int year = 0, month = 0, day = 0;
    if (t[4] == u'-' && t[7] == u'-') {
        year = t.left(4).toInt();
        month = t.mid(5, 2).toInt();
        day = t.mid(8, 2).toInt();
    } else if (t[2] == t[5] && !t[2].isDigit()) {
        day = t.left(2).toInt();
        month = t.mid(3, 2).toInt();
        year = t.mid(6, 4).toInt();
    }
    return year > 0 ? QDate(year, month, day) : QDate();
}

// The period of a label column: days of a date column (months when every
// date is the first of its month), months of month-and-year texts.
TPeriod PeriodOf(TField* field, int rows) {
    if (field->DataType() == TFieldType::Date || field->DataType() == TFieldType::DateTime) {
        bool firstDays = true;
        for (int r = 0; r < rows && firstDays; ++r)
            if (!field->IsNullAt(r)) {
                QDate date = TextDate(field->AsStringAt(r));
                if (!date.isValid())
                    date = field->ValueAt(r).toDate();
                firstDays = date.day() == 1;
            }
        return firstDays ? TPeriod::Month : TPeriod::Day;
    }
    if (field->DataType() != TFieldType::String)
        return TPeriod::None;
    bool any = false;
    for (int r = 0; r < std::min(rows, SampleRows); ++r) {
        if (field->IsNullAt(r))
            continue;
        if (!MonthKey(field->AsStringAt(r)))
            return TPeriod::None;
        any = true;
    }
    return any ? TPeriod::Month : TPeriod::None;
}

std::optional<qint64> PeriodKey(TField* field, int row, TPeriod period) {
    if (field->IsNullAt(row))
        return std::nullopt;
    if (field->DataType() == TFieldType::String)
        return MonthKey(field->AsStringAt(row));
    QDate date = TextDate(field->AsStringAt(row));
    if (!date.isValid())
        date = field->ValueAt(row).toDate();
    if (!date.isValid())
        return std::nullopt;
    if (period == TPeriod::Month)
        return qint64(date.year()) * 12 + (date.month() - 1);
    return date.toJulianDay();
}

// The label of a period no row has, in the form the rows' labels have.
QString PeriodText(qint64 key, TPeriod period, bool isoMonths) {
    if (period == TPeriod::Day)
        return DateText(QDate::fromJulianDay(key));
    const qint64 year = key >= 0 ? key / 12 : (key - 11) / 12;
    const int month = int(key - year * 12) + 1;
    if (isoMonths)
        return QStringLiteral("%1-%2")
            .arg(year, 4, 10, QLatin1Char('0'))
            .arg(month, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1.%2").arg(month, 2, 10, QLatin1Char('0')).arg(year);
}

// Adds a value to a sum in which NaN means "nothing yet".
void AddTo(double& sum, double value) {
    if (std::isnan(value))
        return;
    sum = std::isnan(sum) ? value : sum + value;
}

// Indices of the `keep` largest of values (NaN the smallest), in their own
// order.
std::vector<int> LargestInOrder(const std::vector<double>& values, int keep) {
    std::vector<int> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    if (int(order.size()) <= keep)
        return order;
    auto larger = [&](int a, int b) {
        const double x = values[std::size_t(a)];
        const double y = values[std::size_t(b)];
        if (std::isnan(x) || std::isnan(y))
            return !std::isnan(x) && std::isnan(y);
        return x > y || (x == y && a < b);
    };
    std::nth_element(order.begin(), order.begin() + keep, order.end(), larger);
    order.resize(std::size_t(keep));
    std::sort(order.begin(), order.end());
    return order;
}

QString OthersNote(const QString& by, int kept, int rest) {
    return QCoreApplication::translate(
               "ChartModel", "Показани са %1 най-големи по %2; останалите %3 са събрани в \"%4\".")
        .arg(kept)
        .arg(Quoted(by))
        .arg(rest)
        .arg(ChartOthersLabel());
}

// Keeps the `keep` largest items by the first series and joins the rest
// (and an earlier rest) into "Други".
void JoinOthers(QStringList& labels, QList<TChartSeries>& series, int keep, int earlierRest,
                const std::vector<double>& earlierSums, QStringList& notes) {
    const int count = int(labels.size());
    const bool joins = count > keep || earlierRest > 0;
    if (!joins || series.isEmpty())
        return;
    std::vector<bool> isKept(std::size_t(count), true);
    if (count > keep) {
        isKept.assign(std::size_t(count), false);
        for (int i : LargestInOrder(series.first().Values, keep))
            isKept[std::size_t(i)] = true;
    }
    QStringList newLabels;
    for (int i = 0; i < count; ++i)
        if (isKept[std::size_t(i)])
            newLabels << labels[i];
    newLabels << ChartOthersLabel();
    int rest = earlierRest;
    for (int i = 0; i < count; ++i)
        if (!isKept[std::size_t(i)])
            ++rest;
    for (qsizetype s = 0; s < series.size(); ++s) {
        std::vector<double>& values = series[s].Values;
        std::vector<double> kept2;
        double others = std::size_t(s) < earlierSums.size() ? earlierSums[std::size_t(s)] : NoValue;
        for (int i = 0; i < count; ++i) {
            if (isKept[std::size_t(i)])
                kept2.push_back(values[std::size_t(i)]);
            else
                AddTo(others, values[std::size_t(i)]);
        }
        kept2.push_back(others);
        values = std::move(kept2);
    }
    notes << OthersNote(series.first().Name, int(newLabels.size()) - 1, rest);
    labels = newLabels;
}

// Reads the rows of a date or month label column: one item per period,
// periods in order and gaps filled.
void ReadPeriods(TChartData& data, TField* labelField, TPeriod period,
                 const std::vector<TColumn*>& values, int rows) {
    std::map<qint64, int> firstRow; // period -> first row that has it
    std::map<qint64, std::vector<double>> sums;
    bool undated = false;
    bool repeated = false;
    bool isoMonths = false;
    // Rows of one period usually follow each other: the period of the row
    // before is kept at hand.
    std::optional<qint64> lastKey;
    std::vector<double>* lastSum = nullptr;
    for (int r = 0; r < rows; ++r) {
        const std::optional<qint64> key = PeriodKey(labelField, r, period);
        if (!key) {
            undated = true;
            continue;
        }
        if (key == lastKey) {
            repeated = true;
        } else {
            auto [at, added] = firstRow.emplace(*key, r);
            repeated = repeated || !added;
            if (added && labelField->DataType() == TFieldType::String)
                isoMonths = isoMonths || IsoMonth().match(labelField->AsStringAt(r)).hasMatch();
            lastKey = key;
            lastSum = &sums[*key];
            lastSum->resize(values.size(), NoValue);
        }
        for (std::size_t s = 0; s < values.size(); ++s)
            AddTo((*lastSum)[s], data.Series[qsizetype(s)].Values[std::size_t(r)]);
    }
    for (TChartSeries& series : data.Series)
        series.Values.clear();
    if (undated)
        data.Notes << QCoreApplication::translate("ChartModel", "Редовете без %1 не са изобразени.")
                          .arg(Quoted(data.LabelCaption));
    if (repeated)
        data.Notes << QCoreApplication::translate(
            "ChartModel", "Стойностите на редовете с един и същ период са събрани.");
    if (firstRow.empty())
        return;
    qint64 first = firstRow.begin()->first;
    const qint64 last = firstRow.rbegin()->first;
    if (last - first + 1 > ChartMaxPeriods) {
        first = last - ChartMaxPeriods + 1;
        data.Notes << QCoreApplication::translate("ChartModel",
                                                  "Показани са последните %1 периода.")
                          .arg(ChartMaxPeriods);
    }
    for (qint64 key = first; key <= last; ++key) {
        const auto at = firstRow.find(key);
        if (at != firstRow.end()) {
            data.Labels << labelField->DisplayTextAt(at->second);
            const std::vector<double>& sum = sums[key];
            for (qsizetype s = 0; s < data.Series.size(); ++s)
                data.Series[s].Values.push_back(sum[std::size_t(s)]);
        } else {
            data.Labels << PeriodText(key, period, isoMonths);
            for (TChartSeries& series : data.Series)
                series.Values.push_back(NoValue);
        }
    }
}

QString RowLabel(const std::vector<TField*>& labelFields, int row) {
    if (labelFields.empty())
        return QString::number(row + 1);
    QStringList parts;
    for (TField* field : labelFields)
        parts << field->DisplayTextAt(row);
    return parts.join(QStringLiteral(" / "));
}

} // namespace

QString ChartKindName(TChartKind kind) {
    for (const TKindName& k : KindNames)
        if (k.Kind == kind)
            return QLatin1String(k.Name);
    return {};
}

std::optional<TChartKind> ChartKindFromName(const QString& name) {
    const QString n = name.trimmed();
    for (const TKindName& k : KindNames)
        if (n.compare(QLatin1String(k.Name), Qt::CaseInsensitive) == 0)
            return k.Kind;
    return std::nullopt;
}

QString ChartKindCaption(TChartKind kind) {
    for (const TKindName& k : KindNames)
        if (k.Kind == kind)
            return QCoreApplication::translate("ChartModel", k.Caption);
    return {};
}

std::optional<TChartKind> ChartOption(const QStringList& options) {
    for (const QString& line : options) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 &&
            QStringView(line).left(eq).trimmed().compare(u"Chart", Qt::CaseInsensitive) == 0)
            return ChartKindFromName(line.mid(eq + 1));
    }
    return std::nullopt;
}

QString TChartModel::ValueText(int s, double value) const {
    const QString mask = s >= 0 && s < Series.size() ? Series[s].Mask : QString();
    if (std::isnan(value))
        return {};
    if (!mask.isEmpty())
        return FormatFloatPicture(mask, value).trimmed();
    return GeneralFloatText(value);
}

TChartData ReadChartData(const TChartSource& source) {
    TChartData data;
    data.Title = source.Title;
    data.Conditions = source.Conditions;
    TDataSet* set = source.Data;
    const int rows = RowCount(set);

    std::vector<TColumn> columns;
    for (const TGridColumn& c : source.Columns) {
        TField* field = c.Visible && set ? set->FindField(c.FieldName) : nullptr;
        if (field)
            columns.push_back({field, c.Title.isEmpty() ? c.FieldName : c.Title});
    }
    if (source.Columns.isEmpty() && set)
        for (int i = 0; i < set->FieldCount(); ++i)
            columns.push_back({set->Fields(i), set->Fields(i)->DisplayLabel()});

    // Grouped results: the aggregates are the values, the grouping columns
    // label the rows even when they are numbers (a client's number).
    bool computedNumbers = false;
    for (const TColumn& c : columns)
        computedNumbers = computedNumbers || (c.Field->IsNumeric() && c.Field->IsAggregate());
    for (TColumn& c : columns) {
        TField* f = c.Field;
        if (f->DataType() == TFieldType::Blob) {
            c.Role = TColumnRole::Skipped;
        } else if (f->DataType() == TFieldType::Aggregate) {
            c.Role = TColumnRole::Value; // nothing but NULLs
        } else if (f->IsNumeric()) {
            c.Role = computedNumbers && !f->IsAggregate() ? TColumnRole::Label : TColumnRole::Value;
        } else if (f->DataType() == TFieldType::String && NumbersWithText(f, rows)) {
            c.Role = TColumnRole::Skipped;
            data.Notes << QCoreApplication::translate(
                              "ChartModel",
                              "Колоната %1 съдържа текст вместо число и не е изобразена.")
                              .arg(Quoted(c.Caption));
        }
    }

    // A grouped result is labelled by all its grouping columns; any other
    // by its first text or date column.
    std::vector<TColumn*> values;
    std::vector<TField*> labelFields;
    QStringList labelCaptions;
    for (TColumn& c : columns) {
        if (c.Role == TColumnRole::Value)
            values.push_back(&c);
        else if (c.Role == TColumnRole::Label && (computedNumbers || labelFields.empty())) {
            labelFields.push_back(c.Field);
            labelCaptions << c.Caption;
        }
    }
    data.LabelCaption = labelCaptions.join(QStringLiteral(" / "));

    // Values; a numeric field that gives a text (a server that does not
    // type its columns) is left out like a text column.
    for (TColumn* c : values) {
        TChartSeries series;
        series.Name = c->Caption;
        series.Mask = c->Field->DisplayFormat();
        series.Values.resize(std::size_t(rows), NoValue);
        bool text = false;
        for (int r = 0; r < rows && !text; ++r) {
            const QVariant v = c->Field->ValueAt(r);
            if (v.isNull())
                continue;
            double x = 0;
            if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray) {
                if (!NumberText(v.toString(), x))
                    text = true;
            } else {
                bool ok = false;
                x = v.toDouble(&ok);
                if (!ok || !std::isfinite(x))
                    x = NoValue;
            }
            series.Values[std::size_t(r)] = x;
        }
        if (text) {
            data.Notes << QCoreApplication::translate(
                              "ChartModel",
                              "Колоната %1 съдържа текст вместо число и не е изобразена.")
                              .arg(Quoted(c->Caption));
            continue;
        }
        data.Series << std::move(series);
    }
    if (data.Series.isEmpty())
        throw Exception(NoChartValuesMessage());
    if (rows == 0) {
        for (TChartSeries& series : data.Series)
            series.Values.clear();
        data.Notes << QCoreApplication::translate("ChartModel", "Справката няма редове.");
        return data;
    }

    const TPeriod period =
        labelFields.size() == 1 ? PeriodOf(labelFields.front(), rows) : TPeriod::None;
    if (period != TPeriod::None) {
        data.DateLabels = true;
        ReadPeriods(data, labelFields.front(), period, values, rows);
        return data;
    }

    // Other labels: at most ChartMaxLabels rows stay; only their labels are
    // formatted, so a result of a million rows charts at once.
    std::vector<int> kept;
    if (rows <= ChartMaxLabels) {
        kept.resize(std::size_t(rows));
        std::iota(kept.begin(), kept.end(), 0);
    } else {
        kept = LargestInOrder(data.Series.first().Values, ChartMaxLabels - 1);
        std::vector<bool> isKept(std::size_t(rows), false);
        for (int r : kept)
            isKept[std::size_t(r)] = true;
        data.RestCount = rows - int(kept.size());
        data.RestSums.assign(std::size_t(data.Series.size()), NoValue);
        for (qsizetype s = 0; s < data.Series.size(); ++s)
            for (int r = 0; r < rows; ++r)
                if (!isKept[std::size_t(r)])
                    AddTo(data.RestSums[std::size_t(s)], data.Series[s].Values[std::size_t(r)]);
    }
    for (int r : kept)
        data.Labels << RowLabel(labelFields, r);
    for (TChartSeries& series : data.Series) {
        std::vector<double> shown;
        shown.reserve(kept.size());
        for (int r : kept)
            shown.push_back(series.Values[std::size_t(r)]);
        series.Values = std::move(shown);
    }
    return data;
}

TChartKind SuggestedChartKind(const TChartData& data) {
    if (data.DateLabels)
        return TChartKind::Line;
    if (data.Series.size() == 1 && data.RestCount == 0 && !data.Labels.isEmpty() &&
        data.Labels.size() <= ChartMaxSlices) {
        const std::vector<double>& v = data.Series.first().Values;
        if (std::none_of(v.begin(), v.end(), [](double x) { return x < 0; }))
            return TChartKind::Pie;
    }
    return TChartKind::Bar;
}

TChartModel ShapeChart(const TChartData& data, TChartKind kind) {
    TChartModel model;
    model.Kind = kind == TChartKind::None ? SuggestedChartKind(data) : kind;
    model.Title = data.Title;
    model.Conditions = data.Conditions;
    model.LabelCaption = data.LabelCaption;
    model.Labels = data.Labels;
    model.Series = data.Series;
    model.Notes = data.Notes;

    if (model.Kind == TChartKind::Pie) {
        // One value a slice: the first value column; no room for NULLs,
        // zeros or negative values.
        if (model.Series.size() > 1) {
            model.Notes << QCoreApplication::translate("ChartModel",
                                                       "Кръговата диаграма показва само %1.")
                               .arg(Quoted(model.Series.first().Name));
            model.Series = model.Series.mid(0, 1);
        }
        if (model.Series.isEmpty())
            return model;
        QStringList labels;
        std::vector<double> values;
        bool negative = false;
        for (qsizetype i = 0; i < model.Labels.size(); ++i) {
            const double v = model.Series.first().Values[std::size_t(i)];
            negative = negative || v < 0;
            if (v > 0) {
                labels << model.Labels[i];
                values.push_back(v);
            }
        }
        if (negative)
            model.Notes << QCoreApplication::translate(
                "ChartModel", "Отрицателните стойности не могат да се покажат в кръгова диаграма.");
        model.Labels = labels;
        model.Series.first().Values = values;
        std::vector<double> rest;
        if (data.RestCount > 0 && !data.RestSums.empty() && data.RestSums.front() > 0)
            rest.push_back(data.RestSums.front());
        JoinOthers(model.Labels, model.Series, ChartMaxSlices - 1,
                   rest.empty() ? 0 : data.RestCount, rest, model.Notes);
        return model;
    }

    if (data.DateLabels) {
        // A bar over more periods than there is room for keeps the largest,
        // in date order; a line shows every period.
        if (model.Kind == TChartKind::Bar)
            JoinOthers(model.Labels, model.Series, ChartMaxLabels - 1, 0, {}, model.Notes);
        return model;
    }
    if (data.RestCount > 0) {
        model.Labels << ChartOthersLabel();
        for (qsizetype s = 0; s < model.Series.size(); ++s)
            model.Series[s].Values.push_back(data.RestSums[std::size_t(s)]);
        model.Notes << OthersNote(model.Series.first().Name, int(data.Labels.size()),
                                  data.RestCount);
    }
    return model;
}

TChartModel BuildChartModel(const TChartSource& source, std::optional<TChartKind> kind) {
    const TChartData data = ReadChartData(source);
    return ShapeChart(data, kind.value_or(TChartKind::None));
}

QString NoChartValuesMessage() {
    return QCoreApplication::translate(
        "ChartModel", "Справката няма числова колона, която да се изобрази графично.");
}

QString ChartOthersLabel() {
    return QCoreApplication::translate("ChartModel", "Други");
}
