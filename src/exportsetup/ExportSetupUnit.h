#pragma once
// The export settings dialog "Настройка Експорт": edits ExportTxtOpts. The
// caller creates it, shows it modally and destroys it; an OK stores the
// controls in ExportTxtOpts (and in the user's configuration) at once, so the
// caller reads nothing back.

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TExportSetupForm : public QDialog {
    Q_OBJECT

public:
    explicit TExportSetupForm(QWidget* parent = nullptr);

    // Fills the controls from ExportTxtOpts (runs on every show).
    void FormShow();
    // Decides whether the dialog may close with the current ModalResult. On OK
    // it stores the controls, validates the before/after-print texts and
    // refuses the close (ModalResult back to none) when one is invalid.
    bool FormCloseQuery();

    // The index of the chosen item of rgTxtCyrSet (0 Windows, 1 DOS, 2 Russian,
    // 3 UTF-8).
    int TxtCyrSetIndex() const;
    void SetTxtCyrSetIndex(int index);

    // The result the dialog is closing with: QDialog::Accepted (OK),
    // QDialog::Rejected (Cancel or the window's close box) or 0 (none).
    int ModalResult = 0;

    QGroupBox* gbTextExport;
    QGroupBox* gbInclude;
    QCheckBox* cbExportHeader;
    QCheckBox* cbExportClmNames;
    QCheckBox* cbExportPageBreaks;
    QGroupBox* rgTxtCyrSet;
    QButtonGroup* rgTxtCyrSetItems;
    QGroupBox* gbColumns;
    QLabel* lbTxtClmDelimiter;
    QComboBox* cbTxtClmDelimiter;
    QCheckBox* cbFixedClmWidth;
    QLabel* lbDftTarget;
    QLineEdit* edDftTarget;
    QLabel* lbBeforePrint;
    QLineEdit* edBeforePrint;
    QLabel* lbAfterPrint;
    QLineEdit* edAfterPrint;
    QLabel* lbOpenWith;
    QLineEdit* edOpenWith;
    QLabel* lbCopies;
    QSpinBox* edCopies;
    QPushButton* btOk;
    QPushButton* btCancel;

public slots:
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
};
