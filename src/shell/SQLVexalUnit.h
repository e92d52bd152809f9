#pragma once
// The main window "SQL Vexal": a multi-document frame that owns the
// program's one database connection and its inquiry windows.

#include <QMainWindow>
#include <QPointer>

class QMdiArea;
class TDatabase;

class TSQLVexalForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TSQLVexalForm(QWidget* parent = nullptr);
    ~TSQLVexalForm() override;

    TDatabase* Database = nullptr; // objectName "Database", database name "restdata"
    QMdiArea* MdiArea = nullptr;

    // The inquiry window the frame shows maximized.
    QWidget* CurrentInquiryWindow() const { return CurrentInquiry.data(); }
    void SetCurrentInquiryWindow(QWidget* window) { CurrentInquiry = window; }

    void btExitClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    bool Shown = false;
    QPointer<QWidget> CurrentInquiry;
};

// The application-wide handler of errors that reach the message loop: shows
// the message with caption "Системно съобщение" and the program goes on.
void AppException(const QString& message);
