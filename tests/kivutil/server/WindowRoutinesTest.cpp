// Window placement beside the previous window, and the search for the window
// that answers a message.

#include "KivUtilUnit.h"

#include <QDialog>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class Answerer : public QWidget, public TMessageAnswerer {
public:
    Answerer(QWidget* parent, qintptr answer) : QWidget(parent), Answer(answer) {}
    qintptr Perform(int message, qintptr, qintptr) override {
        ++Asked;
        return message == WM_FINDINQUIRY ? Answer : 0;
    }
    qintptr Answer;
    int Asked = 0;
};

TEST(FindAnsweringComponent, WalksFromTheLastComponentToTheFirst) {
    QWidget window;
    auto* first = new Answerer(&window, 1);
    auto* silent = new Answerer(&window, 0);
    auto* last = new Answerer(new QWidget(&window), 1); // nested components count too
    EXPECT_EQ(FindAnsweringComponent(WM_FINDINQUIRY, 0, 0, &window), last);
    delete last;
    EXPECT_EQ(FindAnsweringComponent(WM_FINDINQUIRY, 0, 0, &window), first);
    EXPECT_EQ(silent->Asked, 1);
    EXPECT_EQ(FindAnsweringComponent(WM_PREVIEW, 0, 0, &window), nullptr);
    EXPECT_EQ(FindAnsweringComponent(WM_FINDINQUIRY, 0, 0, nullptr), nullptr);
}

QSize Screen() { return QGuiApplication::primaryScreen()->geometry().size(); }

// Shows an ordinary window through ShowCascaded; the modal loop is ended by
// closing it from a timer. Returns its size and the rectangle of its frame
// at that moment.
struct Cascaded {
    QSize Size;
    QRect Frame;
};
Cascaded CascadeDialog(QWidget* previous, QRect start) {
    QDialog dialog;
    dialog.setGeometry(start);
    Cascaded seen;
    QTimer::singleShot(0, &dialog, [&] {
        seen = {dialog.size(), dialog.frameGeometry()};
        dialog.done(7);
    });
    EXPECT_EQ(ShowCascaded(previous, &dialog), 7); // the modal result comes back
    return seen;
}

TEST(ShowCascaded, OrdinaryWindowMovesSixPixelsAndKeepsOnScreen) {
    const QSize screen = Screen();
    QWidget previous;
    previous.show();
    struct Row {
        QRect Previous;
        bool PastRight, PastBottom;
    } rows[] = {
        // Inside the screen: the frame six pixels right of and below the
        // previous frame, the same size.
        {QRect(100, 120, 300, 200), false, false},
        // Past the right edge: the frame pulled back to 8 pixels from it.
        {QRect(screen.width() - 302, 120, 300, 200), true, false},
        // Past the bottom edge likewise.
        {QRect(10, screen.height() - 202, 300, 200), false, true},
    };
    for (const Row& row : rows) {
        previous.setGeometry(row.Previous);
        QCoreApplication::processEvents();
        const QRect before = previous.frameGeometry();
        const Cascaded seen = CascadeDialog(&previous, QRect(0, 0, 50, 50));
        EXPECT_EQ(seen.Size, row.Previous.size()) << row.Previous.x();
        EXPECT_EQ(seen.Frame.size(), before.size()) << row.Previous.x();
        EXPECT_EQ(seen.Frame.left(),
                  row.PastRight ? screen.width() - before.width() - 8 : before.left() + 6)
            << row.Previous.x();
        EXPECT_EQ(seen.Frame.top(),
                  row.PastBottom ? screen.height() - before.height() - 8 : before.top() + 6)
            << row.Previous.x();
    }
}

TEST(ShowCascaded, ChildWindowTakesThePreviousNormalRectangle) {
    QMainWindow frame;
    auto* area = new QMdiArea(&frame);
    frame.setCentralWidget(area);
    frame.resize(900, 700);
    frame.show();
    SetMainForm(&frame);

    auto* firstContent = new QWidget;
    QMdiSubWindow* first = area->addSubWindow(firstContent);
    first->setGeometry(40, 30, 300, 200);
    // The main window as "previous" puts the first child at the top left.
    EXPECT_EQ(ShowCascaded(&frame, firstContent), 0);
    EXPECT_EQ(first->pos(), QPoint(0, 0));

    first->setGeometry(40, 30, 300, 200);
    auto* secondContent = new QWidget;
    QMdiSubWindow* second = area->addSubWindow(secondContent);
    EXPECT_EQ(ShowCascaded(firstContent, secondContent), 0);
    EXPECT_EQ(second->geometry(), QRect(46, 36, 300, 200));
    EXPECT_TRUE(secondContent->isVisible());
    SetMainForm(nullptr);
}

TEST(ShowCascaded, ChildWindowIsPulledBackFromTheScreensRightEdge) {
    // The frame is wider than the screen, so only the screen's width can
    // pull a child window back.
    const QSize screen = Screen();
    QMainWindow frame;
    auto* area = new QMdiArea(&frame);
    frame.setCentralWidget(area);
    frame.resize(screen.width() + 600, 500);
    frame.show();
    struct Row {
        QRect Previous;
        int ExpectedLeft;
    } rows[] = {
        // Inside the screen: six pixels to the right.
        {QRect(100, 30, 300, 200), 106},
        // Past the right edge: the right edge ends 8 pixels inside the screen.
        {QRect(screen.width() - 302, 30, 300, 200), screen.width() - 300 - 8},
        // Wider than the screen: the shift stops at the left edge.
        {QRect(2, 30, screen.width() + 10, 200), 0},
    };
    for (const Row& row : rows) {
        auto* previousContent = new QWidget;
        QMdiSubWindow* previous = area->addSubWindow(previousContent);
        previous->show();
        previous->setGeometry(row.Previous);
        auto* content = new QWidget;
        QMdiSubWindow* child = area->addSubWindow(content);
        EXPECT_EQ(ShowCascaded(previousContent, content), 0);
        EXPECT_EQ(child->x(), row.ExpectedLeft) << row.Previous.x();
        EXPECT_EQ(child->y(), row.Previous.y() + 6) << row.Previous.x(); // no vertical correction
        EXPECT_EQ(child->width(), row.Previous.width()) << row.Previous.x();
        delete child;
        delete previous;
    }
}

} // namespace
