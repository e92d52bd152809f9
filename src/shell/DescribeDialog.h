#pragma once
// "Нова справка от таблица": the administrator picks a table of the open
// database and names the subject; the dialog previews the Relations rows
// that describing the table will write and, on OK, writes them. The rows
// are made and written by TDescriber; the dialog only chooses and shows.

#include "Describe.h"

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class TDatabase;

class TDescribeDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the database's tables; raises when its catalogue cannot be read.
    explicit TDescribeDialog(TDatabase& database, QWidget* parent = nullptr);
    ~TDescribeDialog() override;

    QListWidget* lbTables = nullptr; // tables and views, the catalogue tables left out
    QLineEdit* edSubject = nullptr;  // display name; follows the table until edited
    QLabel* lbInfo = nullptr;        // what else is written, or why nothing can be
    QTableWidget* grPreview = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;

    // Selects a table by name (without regard to case); false when the list
    // has none of that name.
    bool SelectTable(const QString& table);
    // The table selected, or empty.
    QString SelectedTable() const;
    // Plans the description of the selected table under the subject name and
    // shows it; OK is enabled only for a plan that can be written.
    void RefreshPreview();
    // Writes the planned rows and closes the dialog; a failure is shown and
    // the dialog stays.
    void btOkClick();

    // What OK wrote (empty until then).
    TDescription Written;

private:
    void TableChanged();
    void SubjectEdited();
    std::unique_ptr<TDescriber> Describer;
    TDescription Planned;
    bool HavePlan = false;
    QString FollowedName; // the subject text the dialog set from the table
};
