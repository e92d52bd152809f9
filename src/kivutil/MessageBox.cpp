#include "MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

std::uint16_t MessageQuiet = 0;

namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

int DefaultMessageBoxButton(int style) {
    const int group = style & 15;
    const bool firstIsDefault = style < 256;
    switch (group) {
    case MB_OKCANCEL:
        return firstIsDefault ? IDOK : IDCANCEL;
    case MB_YESNOCANCEL:
        if (firstIsDefault)
            return IDYES;
        return (style & MB_DEFBUTTON2) ? IDNO : IDCANCEL;
    case MB_YESNO:
        return firstIsDefault ? IDYES : IDNO;
    default:
        return IDOK;
    }
}

int ShowMessageBox(const QString& text, const QString& caption, int style) {
    if (MessageQuiet > 0)
        return DefaultMessageBoxButton(style);
    const QString shownText = text.left(640);
    const QString shownCaption = caption.left(127);
    if (Handler())
        return Handler()(shownText, shownCaption, style);
    return StderrMessageBox(shownText, shownCaption, style);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

int StderrMessageBox(const QString& text, const QString& caption, int style) {
    QString line = caption + QStringLiteral(": ") + text;
    line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
    return DefaultMessageBoxButton(style);
}

QString MessageBoxButtonCaption(int id) {
    switch (id) {
    case IDOK:
        return QCoreApplication::translate("MessageBox", "Добре");
    case IDCANCEL:
        return QCoreApplication::translate("MessageBox", "Отказ");
    case IDABORT:
        return QCoreApplication::translate("MessageBox", "Прекъсва");
    case IDRETRY:
        return QCoreApplication::translate("MessageBox", "Опитва пак");
    case IDIGNORE:
        return QCoreApplication::translate("MessageBox", "Пропуска");
    case IDYES:
        return QCoreApplication::translate("MessageBox", "Да");
    case IDNO:
        return QCoreApplication::translate("MessageBox", "Не");
    default:
        return QString();
    }
}

int WidgetMessageBox(const QString& text, const QString& caption, int style) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    box.setWindowModality(Qt::ApplicationModal);
    switch (style & 0xF0) {
    case MB_ICONSTOP:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONEXCLAMATION:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }

    struct Choice {
        QMessageBox::StandardButton Button;
        int Id;
    };
    QList<Choice> choices;
    switch (style & 15) {
    case MB_OKCANCEL:
        choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_ABORTRETRYIGNORE:
        choices = {{QMessageBox::Abort, IDABORT},
                   {QMessageBox::Retry, IDRETRY},
                   {QMessageBox::Ignore, IDIGNORE}};
        break;
    case MB_YESNOCANCEL:
        choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNO:
        choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        break;
    case MB_RETRYCANCEL:
        choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    default:
        choices = {{QMessageBox::Ok, IDOK}};
        break;
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice& c : choices)
        buttons |= c.Button;
    box.setStandardButtons(buttons);
    const int defaultIndex = qBound(0, (style >> 8) & 3, int(choices.size()) - 1);
    box.setDefaultButton(choices[defaultIndex].Button);
    // The buttons speak the program's language: Qt's own translations are not
    // loaded, so their captions come from the program's.
    for (const Choice& c : choices)
        if (QAbstractButton* button = box.button(c.Button))
            button->setText(MessageBoxButtonCaption(c.Id));

    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const Choice& c : choices)
        if (c.Button == clicked)
            return c.Id;
    // Closed with Escape or the close box: the cancelling button.
    for (const Choice& c : choices)
        if (c.Id == IDCANCEL || c.Id == IDNO)
            return c.Id;
    return IDOK;
}
