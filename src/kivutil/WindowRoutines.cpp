#include "WindowRoutines.h"

#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>

namespace {

QPointer<QWidget>& MainFormRef() {
    static QPointer<QWidget> form;
    return form;
}

bool IsMdiFrame(QWidget* window) {
    auto* main = qobject_cast<QMainWindow*>(window);
    return main && qobject_cast<QMdiArea*>(main->centralWidget());
}

// The frame's sub-window that holds a widget, if it is a child window.
QMdiSubWindow* SubWindowOf(QWidget* window) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window))
        return sub;
    return window ? qobject_cast<QMdiSubWindow*>(window->parentWidget()) : nullptr;
}

QSize ScreenSize(QWidget* window) {
    QScreen* screen = window ? window->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(1024, 768);
}

void CollectAnswerers(QObject* object, QList<TMessageAnswerer*>& found) {
    for (QObject* child : object->children()) {
        if (auto* answerer = dynamic_cast<TMessageAnswerer*>(child))
            found << answerer;
        CollectAnswerers(child, found);
    }
}

} // namespace

void SetMainForm(QWidget* form) { MainFormRef() = form; }

QWidget* MainForm() { return MainFormRef().data(); }

TMessageAnswerer* FindAnsweringComponent(int message, qintptr wParam, qintptr lParam,
                                         QObject* window) {
    if (!window)
        return nullptr;
    QList<TMessageAnswerer*> found;
    CollectAnswerers(window, found);
    for (qsizetype i = found.size() - 1; i >= 0; --i)
        if (found[i]->Perform(message, wParam, lParam) != 0)
            return found[i];
    return nullptr;
}

int ShowCascaded(QWidget* previous, QWidget* window) {
    bool droppedMainForm = false;
    if (previous && previous == MainForm() && IsMdiFrame(previous)) {
        previous = nullptr;
        droppedMainForm = true;
    }
    QMdiSubWindow* child = SubWindowOf(window);
    const QSize screen = ScreenSize(window);

    if (previous) {
        if (!child) {
            if (!window->isMaximized() && !previous->isMaximized()) {
                // Whole windows, frames included: the new window's frame
                // takes the previous one's size, six pixels on.
                QRect r = previous->frameGeometry().translated(6, 6);
                if (r.right() + 1 > screen.width())
                    r.moveLeft(qMax(0, screen.width() - r.width() - 8));
                if (r.bottom() + 1 > screen.height())
                    r.moveTop(qMax(0, screen.height() - r.height() - 8));
                r.moveTo(qMax(0, r.left()), qMax(0, r.top()));
                window->resize(previous->size());
                window->move(r.topLeft());
            }
        } else {
            QWidget* previousFrame = SubWindowOf(previous) ? SubWindowOf(previous) : previous;
            if (previousFrame != child) {
                QRect r = previousFrame->normalGeometry();
                if (!r.isValid())
                    r = previousFrame->geometry();
                r.translate(6, 6);
                if (r.right() + 1 > screen.width())
                    r.translate(-qMin(r.left(), r.right() + 1 - screen.width() + 8), 0);
                child->setGeometry(r);
            }
        }
    } else if (droppedMainForm && child) {
        child->move(0, 0);
    }

    if (child) {
        child->show();
        window->show();
        window->setFocus();
        return 0;
    }
    if (auto* dialog = qobject_cast<QDialog*>(window))
        return dialog->exec();
    // An ordinary window that is not a dialog: modal until it closes.
    window->setAttribute(Qt::WA_ShowModal, true);
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->show();
    QPointer<QWidget> guard(window);
    while (guard && guard->isVisible())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return 0;
}
