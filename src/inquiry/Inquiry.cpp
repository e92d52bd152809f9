#include "Inquiry.h"

#include "DbAccess.h"
#include "MessageBox.h"
#include "RpSpravkaUnit.h"
#include "ServerRoutines.h"
#include "TextRoutines.h"

#include <QCoreApplication>
#include <algorithm>
#include <optional>

QString LastSubject;

namespace {

const QString OptionsColName = QStringLiteral("__OPTIONS__");
QString NoMessageCaption() {
    return QCoreApplication::translate("Inquiry", "Съобщение ");
}

// List membership as the inquiry tests it: whole items, case-insensitive.
qsizetype IndexOfText(const QStringList& list, const QString& text) {
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool Holds(const QStringList& list, const QString& text) {
    return IndexOfText(list, text) >= 0;
}

// A display name as a column alias: in double quotes, a double quote within
// it doubled, so a name like 'Про"дукт' still makes one alias.
QString QuotedName(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// An ordering entry without its direction: the text from the last blank on
// is cut when it is at most five characters (" ASC", " DESC").
QString WithoutDirection(const QString& entry) {
    const qsizetype blank = entry.lastIndexOf(QLatin1Char(' '));
    if (blank >= 0 && entry.size() - blank <= 5)
        return entry.left(blank);
    return entry;
}

void RemoveAt(QStringList& list, qsizetype index) {
    if (index >= 0 && index < list.size())
        list.removeAt(index);
}

// Inserts at the position, or at the end of a list that is shorter (the
// parallel lists of a saved set edited by hand need not agree).
void InsertAt(QStringList& list, qsizetype position, const QString& text) {
    list.insert(std::clamp<qsizetype>(position, 0, list.size()), text);
}

int FieldInt(TDataSet* set, const char* name) {
    return TrimText(set->FieldByName(QLatin1String(name))->AsString()).toInt();
}

QString FieldText(TDataSet* set, const char* name) {
    return set->FieldByName(QLatin1String(name))->AsString();
}

// Keeps a data set's controls disabled for a scan, also when it fails.
class TControlsOff {
public:
    explicit TControlsOff(TDataSet* set) : Set(set) { Set->DisableControls(); }
    ~TControlsOff() { Set->EnableControls(); }
    TControlsOff(const TControlsOff&) = delete;
    TControlsOff& operator=(const TControlsOff&) = delete;

private:
    TDataSet* Set;
};

// Lets SQL failures be reported without raising them for one statement; the
// switch goes off again also when the statement raises regardless (no
// session, a cancelled run), so later statements raise their failures.
class TContinueOnSqlError {
public:
    TContinueOnSqlError() { ContinueOnSqlError = true; }
    ~TContinueOnSqlError() { ContinueOnSqlError = false; }
    TContinueOnSqlError(const TContinueOnSqlError&) = delete;
    TContinueOnSqlError& operator=(const TContinueOnSqlError&) = delete;
};

// One Relations row as the composition reads it.
struct TColumnRow {
    QString TableName;
    QString ColName;
    QString BGColName;
    QString Function;
    bool Variable = false;
    int SelectCol = 0;

    explicit TColumnRow(TDataSet* set)
        : TableName(FieldText(set, "TableName")), ColName(FieldText(set, "ColName")),
          BGColName(FieldText(set, "BGColName")), Function(FieldText(set, "Function")),
          Variable(FieldText(set, "Promenliva") == QLatin1String("1")),
          SelectCol(FieldInt(set, "SelectCol")) {}

    // Qualified name: the column name as written when it is an expression,
    // else table and column.
    QString Qualified() const {
        return IsExpression(ColName) ? ColName : TableName + QLatin1Char('.') + ColName;
    }
    QString Quoted() const { return QuotedName(BGColName); }
    // A column whose aggregate form differs from its name. An empty Function
    // means the column has no aggregate form (it could not be selected).
    bool IsFunction() const { return !Function.isEmpty() && Function != ColName; }
    QString Aggregate() const { return IsFunction() ? Function : ColName; }
};

} // namespace

QStringList InquiryOperators() {
    return {QStringLiteral("="), QStringLiteral(">="), QStringLiteral("<="), QStringLiteral(">"),
            QStringLiteral("<"), QStringLiteral("<>"), QStringLiteral("~")};
}

int TPlainInquiryView::DefaultColumnWidth(TField* field, const QString& title) const {
    const int chars = field && field->DisplayWidth() > 0 ? field->DisplayWidth() : 10;
    return std::max(chars, int(title.size())) * 7 + 4;
}

TInquiry::TInquiry(TInquiryView* view, TRpSpravkaForm* reportForm, QObject* owner)
    : QObject(owner), ReportForm(reportForm), ViewPtr(view) {
    setObjectName(QStringLiteral("Inquiry"));
    if (!ReportForm)
        ReportForm = new TRpSpravkaForm(this);
    auto makeQuery = [this](const char* name) {
        auto* query = new TQuery(this);
        query->setObjectName(QLatin1String(name));
        // Catalogue texts and composed statements carry user values that may
        // hold colons; only the mark update uses parameters.
        query->SetParamCheck(false);
        return query;
    };
    qrTableName = makeQuery("qrTableName");
    qrCol = makeQuery("qrCol");
    qrCol2 = makeQuery("qrCol2");
    qrColumns = makeQuery("qrColumns");
    qrFilterList = makeQuery("qrFilterList");
    qrAuthorize = makeQuery("qrAuthorize");
    qrAuthorize->SetParamCheck(true);
    qrDATA()->SetParamCheck(false);

    dsTableName = new TDataSource(this);
    dsTableName->setObjectName(QStringLiteral("dsTableName"));
    dsTableName->SetDataSet(qrTableName);
    dsCol = new TDataSource(this);
    dsCol->setObjectName(QStringLiteral("dsCol"));
    dsCol->SetDataSet(qrCol);
    dsData = new TDataSource(this);
    dsData->setObjectName(QStringLiteral("dsData"));
    dsData->SetDataSet(qrDATA());

    const QString databaseName =
        SessionDatabase ? SessionDatabase->DatabaseName() : QStringLiteral("restdata");
    SetDatabaseName(databaseName);
    FilterListSource.clear();
}

TInquiry::~TInquiry() {
    for (TDataSource* source : {dsTableName, dsCol, dsData})
        source->SetDataSet(nullptr);
}

TQuery* TInquiry::qrDATA() const {
    return ReportForm->qrDATA;
}

void TInquiry::SetDatabaseName(const QString& databaseName) {
    for (TQuery* query :
         {qrTableName, qrCol, qrCol2, qrColumns, qrFilterList, qrAuthorize, qrDATA()})
        query->SetDatabaseName(databaseName);
}

void TInquiry::Changed() {
    ViewPtr->ListsChanged();
}

QString TInquiry::CurrentTableName() const {
    if (!qrTableName->Active() || qrTableName->IsEmpty())
        return QString();
    return FieldText(qrTableName, "TableName");
}

QString TInquiry::ColText(const char* field) const {
    return FieldText(qrCol, field);
}

// ---------------------------------------------------------------------------
// Catalogue and subject

void TInquiry::OpenSubjectList() {
    qrTableName->Close();
    QStringList sql{QStringLiteral("SELECT TableName, BGTableName"),
                    QStringLiteral("FROM Relations"),
                    QStringLiteral("WHERE LEFT(TableName, 2)<>'//'")};
    if (CurrentUserN != 1)
        sql << QStringLiteral("  AND LEFT(TableName, 4)<>'v_d_'");
    sql << QStringLiteral("GROUP BY TableName, BGTableName ORDER BY BGTableName");
    qrTableName->SetSQL(sql);
    qrTableName->Open();
}

bool TInquiry::SelectSubject(const QString& subject) {
    if (subject.isEmpty() || !qrTableName->Active())
        return false;
    if (!qrTableName->Locate(QStringLiteral("BGTableName"), subject, true))
        return false;
    ReportListBoxClick();
    btClearClick();
    qrTableName->Locate(QStringLiteral("BGTableName"), subject, true);
    btAddSpravkaClick();
    return true;
}

void TInquiry::ReportListBoxClick() {
    QString subject;
    if (qrTableName->Active() && !qrTableName->IsEmpty())
        subject = FieldText(qrTableName, "BGTableName");

    qrCol->Close();
    qrCol->SetSQL(
        {QStringLiteral("SELECT * FROM Relations, Authchar"),
         QStringLiteral("WHERE Relations.BGTableName = ") + QuotedSql(subject),
         QStringLiteral("  AND Left(Relations.TableName,2)<>'//' AND SelectCol=Authchar.Code"),
         QStringLiteral("ORDER BY Relations.N")});
    qrCol->Open();
    qrCol->SetFilter(QStringLiteral("SelectCol<>1 AND ColName<>'__Options__'"));
    qrCol->SetFiltered(true);

    // The subject's name is quoted like any literal, so a name with an
    // apostrophe finds its hidden columns too.
    qrCol2->Close();
    qrCol2->SetSQL({QStringLiteral("SELECT * FROM Relations WHERE Relations.BGTableName = ") +
                        QuotedSql(subject),
                    QStringLiteral("  AND Left(TableName,2)<>'//' AND SelectCol=1 AND "
                                   "ColName<>'__Options__'"),
                    QStringLiteral("ORDER BY Relations.N")});
    qrCol2->Open();
    Changed();
}

void TInquiry::btAddSpravkaClick() {
    if (!qrTableName->Active() || qrTableName->IsEmpty())
        return;
    if (!qrCol->Active())
        ReportListBoxClick();
    if (!SelectedTables.isEmpty())
        btClearClick();
    // A new inquiry starts without hidden conditions: the subject's defaults
    // below supply its own, and those of an earlier subject would name a
    // table that is no longer in FROM.
    HiddenConditions.clear();
    HiddenConditionsFunc.clear();

    const QString subject = FieldText(qrTableName, "BGTableName");
    SelectedTables << FieldText(qrTableName, "TableName");
    SelectedTablesBG << subject;
    CurrentSubjectBG = subject;

    // The options belong to their subject: one without an options row has
    // none, rather than the printer options and the pre-run script of the
    // subject added before it.
    ReportOptions.clear();
    PreRunScript.clear();
    {
        TControlsOff off(qrCol);
        qrCol->SetFiltered(false);
        for (qrCol->First(); !qrCol->Eof(); qrCol->Next()) {
            if (ColText("ColName").toUpper() == OptionsColName) {
                ReportOptions = SplitTextLines(ColText("FilterList"));
                PreRunScript = SplitTextLines(ColText("DftFilter"));
                continue;
            }
            const int sortirane = FieldInt(qrCol, "Sortirane");
            if (std::abs(sortirane) >= 100) {
                btGroupClick();
                if (sortirane % 100 != 0) {
                    OrderBox.removeLast();
                    OrderBoxFunc.removeLast();
                    OrderBoxBG.removeLast();
                }
            }
            const int place = sortirane % 100; // keeps the sign of Sortirane
            if (place != 0) {
                const int position = std::min<int>(std::abs(place) - 1, int(OrderBox.size()));
                AddOrderingAt(position, ColText("BGColName"), place > 0);
            }
            const QString dftFilter = TrimText(ColText("DftFilter"));
            if (!dftFilter.isEmpty()) {
                TSplitCondition condition = SplitOperator(dftFilter);
                if (FieldInt(qrCol, "DftLike") == 1 && condition.Operator != QLatin1String("<>"))
                    condition.Operator = QStringLiteral("~");
                ApplyExternalFilter(QString(), condition.Operator, condition.Value);
            }
        }
        qrCol->SetFiltered(true);
        qrCol->First();
    }

    if (ViewPtr->TitleText().isEmpty()) {
        ViewPtr->SetCaption(subject);
        ViewPtr->SetTitleText(subject);
    }
    Modified = true;
    Changed();
}

void TInquiry::AddOrderingAt(int position, const QString& name, bool ascending) {
    const QString entry =
        QuotedName(name) + (ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
    InsertAt(OrderBox, position, entry);
    InsertAt(OrderBoxFunc, position, entry);
    InsertAt(OrderBoxBG, position,
             name + (ascending ? QStringLiteral(" ->") : QStringLiteral(" <-")));
}

void TInquiry::DBGrid1CellClick(const QString& fieldName) {
    if (FilterListSource == ExternalFilterMarker)
        FilterListSource.clear();
    if (!qrCol->Active() || qrCol->IsEmpty())
        return;
    const bool markClick = fieldName.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0;
    if (markClick) {
        if (!AuthorizePrepared) {
            qrAuthorize->SetSQL({QStringLiteral("UPDATE  Relations"), QStringLiteral("SET"),
                                 QStringLiteral(" SelectCol = :code"), QStringLiteral("WHERE"),
                                 QStringLiteral(" N =:nomer")});
            qrAuthorize->Prepare();
            AuthorizePrepared = true;
        }
        qrAuthorize->ParamByName(QStringLiteral("nomer"))->SetAsInteger(FieldInt(qrCol, "N"));
        qrAuthorize->ParamByName(QStringLiteral("code"))
            ->SetAsInteger(FieldInt(qrCol, "SelectCol") == 0 ? 2 : 0);
        qrAuthorize->ExecSQL();
    }
    if (FieldInt(qrCol, "DftLike") == 1) {
        ViewPtr->SetSignText(QStringLiteral("~"));
        DefaultSign = QLatin1Char('~');
    } else {
        ViewPtr->SetSignText(QStringLiteral("="));
        DefaultSign = QLatin1Char('=');
    }
    if (markClick) {
        // Read the marks again so the grid shows the stored one, on the same row.
        TControlsOff off(qrCol);
        const TBookmark row = qrCol->GetBookmark();
        qrCol->Close();
        qrCol->Open();
        if (qrCol->BookmarkValid(row))
            qrCol->GotoBookmark(row);
    }
    Changed();
}

void TInquiry::btClearClick() {
    qrDATA()->Close();
    ViewPtr->SetFilterItems({});
    ViewPtr->SetFilterText(QString());
    ViewPtr->SetTitleText(QString());
    JoinCounter = 0;
    HasJoin = false;
    for (QStringList* list :
         {&SelectedTables, &SelectedTablesBG, &Relations, &RelationsFunc, &RelationsLPart,
          &RelationsBG, &OrderBox, &OrderBoxBG, &OrderBoxFunc, &GroupBox, &GroupBoxBG})
        list->clear();
    FilterListSource.clear();
    Changed();
}

// ---------------------------------------------------------------------------
// Conditions and joins

void TInquiry::btAddFilterClick() {
    if (SelectedTables.isEmpty()) {
        const TBookmark column = qrCol->Active() ? qrCol->GetBookmark() : TBookmark();
        ReportListBoxClick();
        btAddSpravkaClick();
        if (column.IsValid() && qrCol->BookmarkValid(column))
            qrCol->GotoBookmark(column);
    }
    if (!qrCol->Active() || qrCol->IsEmpty() || qrCol->Eof())
        return;
    if (!ColText("RelationTable").isEmpty()) {
        AddJoin();
        return;
    }

    QString value = ViewPtr->FilterText();
    value.replace(QLatin1Char('%'), QLatin1Char('~'));
    QString op = ViewPtr->SignText();
    if (op == QLatin1String("~") || DefaultSign == QLatin1Char('~')) {
        if (!value.endsWith(QLatin1Char('~')))
            value += QLatin1Char('~');
        if (op == QLatin1String("~"))
            op = QStringLiteral("=");
    }
    ViewPtr->SetFilterText(value);
    TildeToPercent(value);
    const QString shownOp = op == QLatin1String("=") ? QStringLiteral(":") : op;

    if (value.contains(QLatin1Char('%'))) {
        if (op != QLatin1String("=") && op != QLatin1String("<>")) {
            ShowMessageBox(QCoreApplication::translate(
                               "Inquiry", "Не може да има условие, в което участват ") +
                               QChar(13) + QCoreApplication::translate("Inquiry", "и \"") + op +
                               QCoreApplication::translate("Inquiry", "\" и \"~\" ") + QChar(13) +
                               QCoreApplication::translate(
                                   "Inquiry", "(но може да се съставят две отделни условия)."),
                           QCoreApplication::translate("Inquiry", "Грешка"), MB_OK | MB_ICONSTOP);
            return;
        }
        op = op == QLatin1String("=") ? QStringLiteral("LIKE ") : QStringLiteral("NOT LIKE ");
    }

    const TColumnRow row(qrCol);
    const bool hidden = row.SelectCol == 1;

    // A date column's value loses trailing letters and dots (and an appended
    // wildcard), so the server reads a bare date.
    const QString upper = row.ColName.toUpper();
    auto isDateWord = [](const QString& t) {
        return t == QLatin1String("DATE") || t == QLatin1String("DATA");
    };
    QString word = upper.left(4);
    if (!isDateWord(word))
        word = upper.right(4);
    if (!isDateWord(word))
        word = upper.mid(3, 4);
    if (isDateWord(word))
        while (!value.isEmpty() && !(value.back() >= u'0' && value.back() <= u'9'))
            value.chop(1);

    const QString literal = QuotedSql(value);
    if (!row.Variable) {
        // The row's own table qualifies the column: after a join the subject
        // list shows the related table while the grid may still show the
        // columns of the first subject.
        const QString left = row.Qualified();
        if (!hidden) {
            QStringList conflicts;
            if (op == QLatin1String("="))
                conflicts = {QStringLiteral(" ="),     QStringLiteral(" >="),
                             QStringLiteral(" >"),     QStringLiteral(" <="),
                             QStringLiteral(" <"),     QStringLiteral(" <>"),
                             QStringLiteral(" LIKE "), QStringLiteral(" NOT LIKE ")};
            else if (op == QLatin1String("LIKE ") || op == QLatin1String("<>"))
                conflicts = {QStringLiteral(" =")};
            else if (op == QLatin1String(">") || op == QLatin1String(">="))
                conflicts = {QStringLiteral(" >="), QStringLiteral(" >"), QStringLiteral(" =")};
            else if (op == QLatin1String("<") || op == QLatin1String("<="))
                conflicts = {QStringLiteral(" <="), QStringLiteral(" <"), QStringLiteral(" =")};
            for (const QString& conflict : conflicts)
                RemoveConditionsOn(left + conflict);
        }
        const QString condition = left + QLatin1Char(' ') + op + literal;
        const QString aggregate = row.Function + QLatin1Char(' ') + op + literal;
        if (hidden) {
            HiddenConditions << condition;
            HiddenConditionsFunc << aggregate;
        } else {
            Relations << condition;
            RelationsFunc << aggregate;
            RelationsLPart << left + QLatin1Char(' ') + op;
            RelationsBG << row.BGColName + QLatin1Char(' ') + shownOp + QLatin1Char(' ') +
                               ViewPtr->FilterText();
        }
    } else {
        if (!SetServerVariable(row.ColName, literal))
            return;
        ViewPtr->SetFilterText(
            ExecSqlValue(QStringLiteral("SELECT ") + row.ColName + QStringLiteral(" FROM DUMMY"))
                .toString());
        // A hidden variable is only set on the server: it has no shown line,
        // and a condition entry without one would break the parallel lists.
        if (!hidden) {
            const QString left = VariablePrefix + row.ColName + QStringLiteral(" =");
            RemoveConditionsOn(left);
            Relations << left + literal;
            RelationsFunc << QString();
            RelationsLPart << left;
            RelationsBG << row.BGColName + QStringLiteral(" : ") + ViewPtr->FilterText();
        }
    }
    Modified = true;
    Changed();
}

bool TInquiry::SetServerVariable(const QString& colName, const QString& literal) {
    const TContinueOnSqlError reportOnly;
    ExecSqlValue(QStringLiteral("SET ") + colName + QLatin1Char('=') + literal);
    return LastSqlFailed == 0;
}

namespace {

// The value of a single SQL string literal, as QuotedSql writes it; false
// for any other text.
bool UnquotedLiteral(const QString& literal, QString& value) {
    if (literal.size() < 2 || !literal.startsWith(u'\'') || !literal.endsWith(u'\''))
        return false;
    value = literal.mid(1, literal.size() - 2);
    value.replace(QStringLiteral("''"), QStringLiteral("'"));
    return QuotedSql(value) == literal;
}

} // namespace

void TInquiry::SetLoadedVariables() {
    QList<qsizetype> dropped;
    for (qsizetype i = 0; i < Relations.size(); ++i) {
        const QString& condition = Relations[i];
        if (condition.left(VariablePrefix.size()) != VariablePrefix)
            continue;
        // The condition box writes prefix, column, " =" and a quoted value.
        const qsizetype equals = condition.indexOf(QStringLiteral(" ="), VariablePrefix.size());
        const QString colName =
            condition.mid(VariablePrefix.size(), equals - VariablePrefix.size());
        const QString literal = equals < 0 ? QString() : condition.mid(equals + 2);
        QString value;
        // A saved set is only text: the name must be a variable column of the
        // catalogue and the value one literal, or nothing is sent.
        bool known = equals > 0 && UnquotedLiteral(literal, value);
        if (known) {
            const TContinueOnSqlError reportOnly;
            known = ExecSqlValue(QStringLiteral("SELECT COUNT(*) FROM Relations WHERE ColName = ") +
                                 QuotedSql(colName) + QStringLiteral(" AND Promenliva = 1"))
                        .toInt() > 0;
        }
        if (!known)
            ShowMessageBox(
                QCoreApplication::translate("Inquiry", "Непознато условие за променлива: ") +
                    RelationsBG.value(i),
                QCoreApplication::translate("Inquiry", "Грешка"), MB_OK | MB_ICONSTOP);
        // A condition whose value did not reach the server is dropped, so the
        // lists never show a value the rows were not selected with.
        if (!known || !SetServerVariable(colName, QuotedSql(value)))
            dropped << i;
    }
    if (dropped.isEmpty())
        return;
    // Each list on its own: the lists of a set edited by hand need not agree.
    for (auto it = dropped.crbegin(); it != dropped.crend(); ++it)
        for (QStringList* list : {&RelationsBG, &Relations, &RelationsFunc, &RelationsLPart})
            RemoveAt(*list, *it);
    Changed();
}

void TInquiry::AddJoin() {
    const QString related = ColText("RelationTable");
    if (!HasJoin) {
        const QString current = CurrentTableName();
        if (!Holds(SelectedTables, current))
            SelectedTables << current;
    }
    JoinAlias = related;
    if (Holds(SelectedTables, related)) {
        ++JoinCounter;
        JoinAlias = related + QString::number(JoinCounter);
        SelectedTables << related + QLatin1Char(' ') + JoinAlias;
        SelectedTablesBG << related + QLatin1Char(' ') + JoinAlias;
    } else {
        SelectedTables << related;
    }
    HasJoin = true;
    const QString target = JoinAlias + QLatin1Char('.') + ColText("RelationCol");
    Relations << ColText("TableName") + QLatin1Char('.') + ColText("ColName") +
                     QStringLiteral(" = ") + target;
    RelationsFunc << QString();
    RelationsLPart << QString();
    RelationsBG << ColText("BGTableName") + QLatin1Char('.') + ColText("BGColName") +
                       QStringLiteral(" = ") + target;
    RequeryRelatedSubjects(related);
    Modified = true;
    Changed();
}

void TInquiry::RequeryRelatedSubjects(const QString& table) {
    qrTableName->Close();
    qrTableName->SetSQL({QStringLiteral("SELECT TableName, BGTableName FROM Relations"),
                         QStringLiteral("WHERE TableName = ") + QuotedSql(table),
                         QStringLiteral("GROUP BY TableName, BGTableName"),
                         QStringLiteral("ORDER BY BGTableName")});
    qrTableName->Open();
}

void TInquiry::RemoveConditionsOn(const QString& leftPart) {
    for (qsizetype i = RelationsLPart.size() - 1; i >= 0; --i) {
        if (RelationsLPart[i] != leftPart)
            continue;
        RemoveAt(RelationsBG, i);
        RemoveAt(Relations, i);
        RemoveAt(RelationsFunc, i);
        RemoveAt(RelationsLPart, i);
    }
}

TSplitCondition TInquiry::SplitOperator(const QString& text) {
    const QStringList operators = InquiryOperators();
    for (int length : {2, 1}) {
        const QString head = text.left(length);
        for (const QString& op : operators)
            if (op == head)
                return {op, TrimText(text.mid(length, 1000))};
    }
    return {operators.first(), text};
}

QString TInquiry::EvaluateFilterValue(const QString& text) {
    if (text.isEmpty())
        return QString();
    QString result;
    const QChar first = text[0];
    if (first == u'\'') {
        for (qsizetype i = 1; i < text.size(); ++i) {
            if (text[i] == u'\'') {
                if (i + 1 < text.size() && text[i + 1] == u'\'') {
                    result += u'\'';
                    ++i;
                    continue;
                }
                break;
            }
            result += text[i];
        }
    } else if (first == u'+' || first == u'-' || (first >= u'0' && first <= u'9')) {
        result = text;
    } else {
        // Anything else is a statement whose first value is the value.
        const TContinueOnSqlError reportOnly;
        result = ExecSqlValue(text).toString();
    }
    return result.left(255);
}

bool TInquiry::ApplyExternalFilter(const QString& colName, const QString& op,
                                   const QString& value) {
    const QString evaluated = EvaluateFilterValue(TrimText(value));
    if (evaluated.isEmpty() || !qrCol->Active())
        return false;
    const QString sign = op.isEmpty() ? QStringLiteral("=") : op;
    std::optional<TControlsOff> off;
    if (!colName.isEmpty()) {
        off.emplace(qrCol);
        const TBookmark previous = qrCol->GetBookmark();
        if (!qrCol->Locate(QStringLiteral("ColName"), colName, true)) {
            if (qrCol->BookmarkValid(previous))
                qrCol->GotoBookmark(previous);
            return false;
        }
    }
    ViewPtr->SetSignText(sign);
    DefaultSign = sign[0];
    ViewPtr->SetFilterText(evaluated);
    FilterListSource = ExternalFilterMarker;
    btAddFilterClick();
    if (off) {
        off.reset();
        ViewPtr->SelectColumnField(QStringLiteral("BGColName"));
    }
    return true;
}

void TInquiry::RemoveRelation(int index) {
    if (index < 0 || index >= RelationsBG.size())
        return;
    RemoveAt(RelationsBG, index);
    RemoveAt(Relations, index);
    RemoveAt(RelationsFunc, index);
    RemoveAt(RelationsLPart, index);
    Modified = true;
    Changed();
}

QString TInquiry::FilterListKey() const {
    const QString column = qrCol->Active() && !qrCol->IsEmpty() ? ColText("ColName") : QString();
    return CurrentTableName() + QLatin1Char('.') + column;
}

void TInquiry::cbFilterDropDown() {
    const QString key = FilterListKey();
    if (key != FilterListSource) {
        btLoadFilterClick();
        FilterListSource = key;
    }
}

void TInquiry::cbFilterEnter() {
    const QString key = FilterListKey();
    if (key == FilterListSource)
        return;
    if (FilterListSource != ExternalFilterMarker) {
        btLoadFilterClick();
        FilterListSource = key;
    } else {
        ViewPtr->SetFilterItems({});
    }
}

void TInquiry::btLoadFilterClick() {
    ViewPtr->SetFilterItems({});
    ViewPtr->SetFilterText(QString());
    if (!qrCol->Active() || qrCol->IsEmpty())
        return;
    QStringList items;
    const QString statement = ColText("FilterList");
    if (!statement.isEmpty()) {
        try {
            qrFilterList->Close();
            qrFilterList->SetSQLText(statement);
            qrFilterList->Open();
            if (qrFilterList->FieldCount() > 0)
                for (qrFilterList->First(); !qrFilterList->Eof(); qrFilterList->Next())
                    items << qrFilterList->Fields(0)->AsString();
        } catch (...) {
            qrFilterList->Close();
            throw;
        }
        qrFilterList->Close();
    }
    std::stable_sort(items.begin(), items.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    ViewPtr->SetFilterItems(items);

    const TSplitCondition condition = SplitOperator(TrimText(ColText("DftFilter")));
    const QString value = EvaluateFilterValue(condition.Value);
    if (!value.isEmpty()) {
        if (!items.isEmpty())
            ViewPtr->SetFilterItemIndex(BestPrefixMatch(items, value));
        ViewPtr->SetSignText(condition.Operator);
        ViewPtr->SetFilterText(value);
    }
    if (ViewPtr->FilterText().isEmpty() && !items.isEmpty()) {
        ViewPtr->SetFilterItemIndex(0);
        ViewPtr->SetFilterText(items.first());
    }
    ViewPtr->SelectFilterText();
}

// ---------------------------------------------------------------------------
// Grouping and ordering

void TInquiry::btGroupClick() {
    if (!qrCol->Active() || qrCol->IsEmpty() || qrCol->Eof())
        return;
    const QString name = ColText("BGColName");
    const QString quoted = QuotedName(name);
    const qsizetype index = IndexOfText(GroupBox, quoted);
    if (index >= 0) {
        RemoveAt(GroupBox, index);
        RemoveAt(GroupBoxBG, index);
    }
    GroupBox << quoted;
    GroupBoxBG << name;
    btSortClick(true);
}

void TInquiry::btSortClick(bool ascending) {
    if (!qrCol->Active() || qrCol->IsEmpty() || qrCol->Eof())
        return;
    const QString name = ColText("BGColName");
    RemoveOrdering(QuotedName(name));
    AddOrderingAt(int(OrderBox.size()), name, ascending);
    Modified = true;
    Changed();
}

void TInquiry::RemoveOrdering(const QString& quotedName) {
    for (qsizetype i = OrderBox.size() - 1; i >= 0; --i) {
        if (WithoutDirection(OrderBox[i]) != quotedName)
            continue;
        RemoveAt(OrderBox, i);
        RemoveAt(OrderBoxFunc, i);
        RemoveAt(OrderBoxBG, i);
    }
}

bool TInquiry::OrderByColumn(const QString& name) {
    QString current;
    bool ascending = true;
    if (SingleOrdering(current, ascending) && current == name)
        ascending = !ascending;
    else
        ascending = true;
    OrderBox.clear();
    OrderBoxFunc.clear();
    OrderBoxBG.clear();
    AddOrderingAt(0, name, ascending);
    Modified = true;
    Changed();
    return ascending;
}

bool TInquiry::SingleOrdering(QString& name, bool& ascending) const {
    if (OrderBoxBG.size() != 1)
        return false;
    // "name ->" ascending, "name <-" descending, as AddOrderingAt writes them.
    const QString& entry = OrderBoxBG.first();
    if (entry.endsWith(QStringLiteral(" ->")))
        ascending = true;
    else if (entry.endsWith(QStringLiteral(" <-")))
        ascending = false;
    else
        return false;
    name = entry.left(entry.size() - 3);
    return true;
}

void TInquiry::RemoveGrouping(int index) {
    if (index < 0 || index >= GroupBoxBG.size())
        return;
    RemoveAt(GroupBoxBG, index);
    RemoveAt(GroupBox, index);
    Modified = true;
    Changed();
}

void TInquiry::RemoveOrderingAt(int index) {
    if (index < 0 || index >= OrderBoxBG.size())
        return;
    RemoveAt(OrderBoxBG, index);
    RemoveAt(OrderBox, index);
    RemoveAt(OrderBoxFunc, index);
    Modified = true;
    Changed();
}

// ---------------------------------------------------------------------------
// Composition and run

bool TInquiry::ComposeStatement() {
    FunctionColumns.clear();
    FunctionColumnsBG.clear();
    ChosenColumns.clear();
    ChosenColumnsBG.clear();
    LastSubject = CurrentSubjectBG;

    // Working lists and the mandatory check.
    {
        TControlsOff off(qrCol);
        for (qrCol->First(); !qrCol->Eof(); qrCol->Next()) {
            const TColumnRow row(qrCol);
            if (row.SelectCol > 0) {
                ChosenColumns << row.Qualified();
                ChosenColumnsBG << row.Quoted();
            }
            if (row.IsFunction()) {
                FunctionColumns << row.Qualified();
                FunctionColumnsBG << row.Quoted();
            }
            // Every variable needs a condition: the server must have a value.
            if (ColText("Zadaljitelna") == QLatin1String("1") || row.Variable) {
                const QString key =
                    (row.Variable ? VariablePrefix + row.ColName : row.Qualified()) +
                    QLatin1Char(' ');
                const bool present =
                    std::any_of(Relations.cbegin(), Relations.cend(),
                                [&](const QString& c) { return c.startsWith(key); });
                if (!present) {
                    ShowMessageBox(QCoreApplication::translate("Inquiry", "Липсва условие за: ") +
                                       row.Quoted(),
                                   NoMessageCaption(), MB_OK | MB_ICONSTOP);
                    return false;
                }
            }
        }
    }

    // A grouped statement can order only by grouped or aggregate columns
    // that it selects.
    const bool grouped = !GroupBox.isEmpty();
    if (grouped) {
        for (qsizetype k = OrderBox.size() - 1; k >= 0; --k) {
            const QString name = WithoutDirection(OrderBox[k]);
            if (Holds(ChosenColumnsBG, name) &&
                (Holds(GroupBox, name) || Holds(FunctionColumnsBG, name)))
                continue;
            RemoveAt(OrderBox, k);
            RemoveAt(OrderBoxFunc, k);
            RemoveAt(OrderBoxBG, k);
        }
    }

    dsData->SetDataSet(qrDATA());
    qrDATA()->Close();
    qrDATA()->ClearSQL();

    // SELECT list.
    QString list;
    {
        TControlsOff off(qrCol);
        for (qrCol->First(); !qrCol->Eof(); qrCol->Next()) {
            const TColumnRow row(qrCol);
            const QString quoted = row.Quoted();
            const bool isGrouped = Holds(GroupBox, quoted);
            const bool isOrdered =
                std::any_of(OrderBox.cbegin(), OrderBox.cend(),
                            [&](const QString& o) { return o.startsWith(quoted); });
            if (!(row.SelectCol == 2 || isGrouped || isOrdered))
                continue;
            // A variable is selected by its bare name.
            QString expression = row.ColName;
            if (!row.Variable && !IsExpression(row.ColName))
                expression = row.TableName + QLatin1Char('.') + row.ColName;
            if (!grouped) {
                list += expression + QLatin1Char(' ') + quoted + QStringLiteral(", ");
            } else if (isGrouped || Holds(FunctionColumns, expression)) {
                if (row.IsFunction())
                    expression = row.Function;
                list += expression + QLatin1Char(' ') + quoted + QStringLiteral(", ");
            }
        }
    }
    if (!grouped && qrCol2->Active()) {
        for (qrCol2->First(); !qrCol2->Eof(); qrCol2->Next()) {
            const TColumnRow row(qrCol2);
            // A hidden variable too is selected by its bare name: qualified
            // with a table it names no column and the statement would fail.
            QString expression = row.ColName;
            if (!row.Variable && !IsExpression(row.ColName))
                expression = row.TableName + QLatin1Char('.') + row.ColName;
            list += expression + QLatin1Char(' ') + row.Quoted() + QStringLiteral(", ");
        }
    }
    list.chop(2);
    QString select = QStringLiteral("SELECT ") + list;

    // FROM.
    QString from = QStringLiteral("FROM ") + SelectedTables.value(0);
    for (qsizetype i = 1; i < SelectedTables.size(); ++i)
        from += QLatin1Char(',') + SelectedTables[i];

    // WHERE and HAVING.
    QString where;
    QString having;
    auto addTo = [](QString& clause, const char* word, const QString& condition) {
        clause = clause.isEmpty() ? QLatin1String(word) + condition
                                  : clause + QStringLiteral(" AND ") + condition;
    };
    auto leftOf = [](const QString& condition) {
        const qsizetype blank = condition.indexOf(QLatin1Char(' '));
        return blank < 0 ? condition : condition.left(blank);
    };
    for (qsizetype k = 0; k < Relations.size(); ++k) {
        const QString condition = Relations[k];
        if (condition.left(12) == VariablePrefix)
            continue;
        const QString left = leftOf(condition);
        if (grouped && Holds(FunctionColumns, left)) {
            if (!Holds(ChosenColumns, left)) {
                // The aggregate a HAVING condition tests is also shown.
                ChosenColumns << left;
                const QString colName = left.mid(left.indexOf(QLatin1Char('.')) + 1);
                TControlsOff off(qrCol);
                for (qrCol->First(); !qrCol->Eof(); qrCol->Next()) {
                    if (ColText("ColName") == colName) {
                        const TColumnRow row(qrCol);
                        select += QLatin1Char(',') + row.Function + QLatin1Char(' ') + row.Quoted();
                        break;
                    }
                }
            }
            addTo(having, "HAVING ", RelationsFunc.value(k));
        } else {
            addTo(where, "WHERE ", condition);
        }
    }
    for (qsizetype k = 0; k < HiddenConditions.size(); ++k) {
        const QString left = leftOf(HiddenConditions[k]);
        if (grouped && Holds(FunctionColumns, left))
            addTo(having, "HAVING ", HiddenConditionsFunc.value(k));
        else
            addTo(where, "WHERE ", HiddenConditions[k]);
    }

    QStringList lines{select, from};
    if (!where.isEmpty())
        lines << where;
    if (grouped) {
        lines << QStringLiteral("GROUP BY ") + GroupBox.first();
        for (qsizetype i = 1; i < GroupBox.size(); ++i)
            lines << QLatin1Char(',') + GroupBox[i];
    }
    if (!having.isEmpty())
        lines << having;
    if (!OrderBox.isEmpty())
        lines << QStringLiteral("ORDER BY ") +
                     (grouped ? OrderBoxFunc : OrderBox).join(QLatin1Char(','));
    qrDATA()->SetSQL(lines);
    return true;
}

bool TInquiry::btSpravkaClick(bool bySpravkaButton) {
    const TBookmark column = qrCol->Active() ? qrCol->GetBookmark() : TBookmark();
    auto restoreColumn = [&] {
        if (column.IsValid() && qrCol->Active() && qrCol->BookmarkValid(column))
            qrCol->GotoBookmark(column);
    };
    if (SelectedTables.isEmpty()) {
        ReportListBoxClick();
        btAddSpravkaClick();
        if (SelectedTables.isEmpty())
            return false;
    }
    if (!ComposeStatement()) {
        Changed();
        return false;
    }

    try {
        if (!PreRunScript.isEmpty() && !RunSqlScript(PreRunScript))
            throw EAbort();
        qrDATA()->Open();
        Modified = false;
    } catch (const std::exception& e) {
        const auto* failure = dynamic_cast<const Exception*>(&e);
        const QString message = failure ? failure->message() : QString::fromUtf8(e.what());
        if (!message.isEmpty())
            ShowMessageBox(message, QCoreApplication::translate("Inquiry", "Системно съобщение"),
                           MB_OK | MB_ICONSTOP);
        restoreColumn();
        Changed();
        return false;
    }

    if (!qrDATA()->IsEmpty() && bySpravkaButton)
        ViewPtr->ShowResults();
    BuildResultColumns();
    restoreColumn();
    Changed();
    return true;
}

void TInquiry::BuildResultColumns() {
    // The old columns go and the new ones come in one change of the grid (a
    // change makes the grid set up its rows again); a failure on the way
    // leaves the grid without columns.
    try {
        dsData->SetColumns(ResultColumns());
    } catch (...) {
        dsData->ClearColumns();
        throw;
    }
}

QList<TGridColumn> TInquiry::ResultColumns() {
    QStringList subjects;
    for (const QString& subject : SelectedTablesBG)
        subjects << QuotedSql(subject);
    qrColumns->Close();
    qrColumns->SetSQL({QStringLiteral("SELECT * FROM Relations"),
                       QStringLiteral("WHERE BGTableName in (") +
                           subjects.join(QStringLiteral(", ")) +
                           QStringLiteral(") AND Left(TableName,2)<>'//'"),
                       QStringLiteral("ORDER BY N")});
    qrColumns->Open();

    const bool grouped = !GroupBox.isEmpty();
    QList<TGridColumn> columns;
    for (qrColumns->First(); !qrColumns->Eof(); qrColumns->Next()) {
        const TColumnRow row(qrColumns);
        if (row.SelectCol != 2)
            continue;
        const QString expression = row.Qualified();
        const bool variable = ParseIntText(FieldText(qrColumns, "Promenliva")) != 0;
        const QString key =
            (variable ? VariablePrefix + row.ColName : expression) + QStringLiteral(" =");
        // An equality condition fixes the column's value: no need to show it.
        if (Holds(RelationsLPart, key))
            continue;
        if (grouped && !Holds(GroupBox, row.Quoted()) && !Holds(FunctionColumns, expression))
            continue;
        // A column of a subject whose fields the statement does not select
        // (after a join the SELECT list comes from the related subject)
        // would show an empty column: it gets none.
        TField* field = qrDATA()->FindField(row.BGColName);
        if (!field)
            continue;
        TGridColumn column;
        column.FieldName = row.BGColName;
        column.Title = row.BGColName;
        {
            const int align = FieldInt(qrColumns, "Align");
            if (align == 1)
                column.Alignment = TAlignment::Right;
            else if (align == 2)
                column.Alignment = TAlignment::Center;
            if (align == 1 || align == 2)
                field->SetAlignment(column.Alignment);
            int width = FieldInt(qrColumns, "Shirina");
            if (width == 0) {
                width = ViewPtr->DefaultColumnWidth(field, column.Title);
                if (field->DataType() == TFieldType::Date)
                    width += 2;
                width = std::min(width, 210);
            }
            column.Width = width;
            field->SetDisplayLabel(column.Title);
            field->SetDisplayWidth((width + 7) / 8);
            if (field->IsNumeric() || field->IsDateTime() || field->IsAggregate())
                field->SetDisplayFormat(TrimText(FieldText(qrColumns, "Mask")));
        }
        columns << column;
    }
    return columns;
}
