#pragma once
// The alias chooser "Select Database Alias".

#include <QDialog>

class QListWidget;
class QPushButton;

class TSelectDbForm : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString AliasName READ AliasName WRITE SetAliasName)
public:
    // Dialog results: OK 1, Cancel 2.
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    explicit TSelectDbForm(QWidget* parent = nullptr);

    // The selected alias, or empty; setting it selects the first entry equal
    // to the value without regard to letter case, or clears the selection.
    QString AliasName() const;
    void SetAliasName(const QString& alias);

    QListWidget* cbDbList = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;

    void done(int result) override;
    void reject() override; // Escape and the close box: Cancel

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Enter closes as OK, Escape as Cancel; true when the key was consumed.
    bool FormKeyPress(QKeyEvent* event);
    // A double-click on the list closes as OK.
    void cbDbListDblClick();

private:
    void FormCreate();
    bool FormCloseQuery(int result) const;
};
