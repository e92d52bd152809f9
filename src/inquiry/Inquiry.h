#pragma once
// The state of one inquiry and the operations on it: the subject catalogue
// read from Relations, the column marks, conditions and joins, grouping and
// ordering, and the composition and run of the SELECT. No widgets here: the
// inquiry talks to the user through a TInquiryView, so a window, a hidden
// window of a batch run and a test all drive the same code.
//
// The inquiry is held in parallel lists of text lines: shown lists carry
// display names, hidden lists beside them carry the SQL text (item i of each
// describes the same entry).

#include "DataSource.h"
#include "InquiryView.h"

#include <QChar>
#include <QObject>
#include <QString>
#include <QStringList>

class TDataSource;
class TQuery;
class TRpSpravkaForm;

// The subject of the most recently run inquiry in any window (empty at start).
extern QString LastSubject;

// Marks FilterListSource after a default or external condition: the value
// list is not reloaded until a cell of the column grid is clicked.
inline const QString ExternalFilterMarker = QStringLiteral("_!_EXTERNAL_!_FILTER_!_");
// Left part of a condition on a server-side variable.
inline const QString VariablePrefix = QStringLiteral("QN__kzm__ZP.");

// The operators of the operator box, in their order.
QStringList InquiryOperators();

// A default-condition text split into its leading operator and its value.
struct TSplitCondition {
    QString Operator;
    QString Value;
};

class TInquiry : public QObject {
    Q_OBJECT
public:
    // The view must outlive the inquiry. Without a report form the inquiry
    // makes its own.
    TInquiry(TInquiryView* view, TRpSpravkaForm* reportForm, QObject* owner = nullptr);
    ~TInquiry() override;

    TInquiryView* View() const { return ViewPtr; }
    // The report template; its qrDATA is the inquiry's result.
    TRpSpravkaForm* ReportForm = nullptr;
    TQuery* qrDATA() const;

    // Catalogue queries: subjects, visible and hidden columns of the current
    // subject, column set-up of the result grid, value lists, mark update.
    TQuery* qrTableName = nullptr;
    TQuery* qrCol = nullptr;
    TQuery* qrCol2 = nullptr;
    TQuery* qrColumns = nullptr;
    TQuery* qrFilterList = nullptr;
    TQuery* qrAuthorize = nullptr;
    // The subject list, the column grid and the result grid show these.
    TDataSource* dsTableName = nullptr;
    TDataSource* dsCol = nullptr;
    TDataSource* dsData = nullptr;

    // The inquiry state (see the list formats in the class comment above).
    QStringList SelectedTables;
    QStringList SelectedTablesBG;
    QStringList Relations;
    QStringList RelationsFunc;
    QStringList RelationsLPart;
    QStringList RelationsBG;
    QStringList GroupBox;
    QStringList GroupBoxBG;
    QStringList OrderBox;
    QStringList OrderBoxFunc;
    QStringList OrderBoxBG;
    QStringList HiddenConditions;
    QStringList HiddenConditionsFunc;
    QStringList ReportOptions; // "name=value" lines of the options row
    QStringList PreRunScript;
    // "Графика в справката": the report ends with the result's chart
    // (saved with the inquiry).
    bool ChartInReport = false;
    // Working lists rebuilt by every run.
    QStringList FunctionColumns;
    QStringList FunctionColumnsBG;
    QStringList ChosenColumns;
    QStringList ChosenColumnsBG;

    QString JoinAlias;
    int JoinCounter = 0;
    bool HasJoin = false;
    QString FilterListSource;
    QChar DefaultSign = QLatin1Char('=');
    QString InitialSubject;
    QString CurrentSubjectBG;
    bool Modified = false;

    // Binds every query to the session database's name.
    void SetDatabaseName(const QString& databaseName);

    // --- Catalogue and subject ---
    // Fills the subject list with every subject the user may see.
    void OpenSubjectList();
    // Adds the named subject as a new inquiry; false (nothing done) when the
    // name is empty or the subject list does not hold it.
    bool SelectSubject(const QString& subject);
    // Shows the columns of the subject selected in the subject list.
    void ReportListBoxClick();
    // Starts a new inquiry on the subject selected in the subject list and
    // applies its default grouping, ordering and conditions.
    void btAddSpravkaClick();
    // A click in the column grid on the current row; fieldName is the
    // clicked column's field ("Text" is the mark column).
    void DBGrid1CellClick(const QString& fieldName);
    // Empties the inquiry (hidden conditions, report options, the pre-run
    // script and the marks stay).
    void btClearClick();

    // --- Conditions and joins ---
    void btAddFilterClick();
    void RemoveConditionsOn(const QString& leftPart);
    bool ApplyExternalFilter(const QString& colName, const QString& op, const QString& value);
    static TSplitCondition SplitOperator(const QString& text);
    QString EvaluateFilterValue(const QString& text);
    // Sets on the server every variable condition of the visible conditions,
    // as the condition box sets it; after a load, so the rows match the
    // conditions shown. A condition that cannot be set is told and removed.
    void SetLoadedVariables();
    // Removes visible condition i (RelationsBG and its parallel lists).
    void RemoveRelation(int index);
    // Value list of the value box.
    void cbFilterDropDown();
    void cbFilterEnter();
    void btLoadFilterClick();
    // Key of the current column's value list: table, ".", column.
    QString FilterListKey() const;

    // --- Grouping and ordering ---
    void btGroupClick();
    void btSortClick(bool ascending);
    void RemoveOrdering(const QString& quotedName);
    void RemoveGrouping(int index);
    void RemoveOrderingAt(int index);
    // A click on the result grid's header of the column with this display
    // name: the inquiry is ordered by that column alone (the ordering list
    // replaced), ascending, or descending when it was ordered by that column
    // ascending already. Returns true for ascending.
    bool OrderByColumn(const QString& name);
    // The column and direction of an inquiry ordered by one column, for the
    // grid's arrow; false when it is ordered by none or by several.
    bool SingleOrdering(QString& name, bool& ascending) const;

    // --- Composition and run ---
    // Composes the SELECT into qrDATA, runs the pre-run script and opens
    // the result, then builds the result grid's columns. bySpravkaButton
    // brings the result forward. Returns true when the result is open.
    bool btSpravkaClick(bool bySpravkaButton);
    // Steps up to the SQL text: working lists, mandatory check, orderings
    // a grouped statement cannot use, and the lines of qrDATA. False when a
    // mandatory condition is missing (the user has been told).
    bool ComposeStatement();
    // Result grid columns from the metadata of the subjects in the inquiry.
    void BuildResultColumns();

private:
    // The columns BuildResultColumns gives the grid.
    QList<TGridColumn> ResultColumns();
    QString CurrentTableName() const; // subject list's current TableName
    QString ColText(const char* field) const;
    void AddOrderingAt(int position, const QString& name, bool ascending);
    void AddJoin();
    // SET of a connection variable; false (the user told) when it failed.
    bool SetServerVariable(const QString& colName, const QString& literal);
    void RequeryRelatedSubjects(const QString& table);
    void Changed();
    TInquiryView* ViewPtr;
    bool AuthorizePrepared = false;
};
