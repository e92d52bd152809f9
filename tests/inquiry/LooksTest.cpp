// What the user sees of an inquiry window and its preview: the column grid
// filled on first show, the subject list wide enough for its names, nothing
// clipped or overlapping at the smallest window size, distinct mnemonics,
// and preview pages drawn in the colours they were recorded in.

#include "InquiryFixture.h"

#include "RpPreview.h"
#include "RpPreviewImage.h"
#include "RpPrinter.h"
#include "RpReport.h"
#include "RpStandardPreview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTimer>

namespace {

// The letter after the single '&' of a caption, upper-cased; 0 for none.
QChar Mnemonic(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        return text[i + 1].toUpper();
    }
    return QChar();
}

using LooksTest = InquiryFixture;

// On first show nothing is added, yet the column grid shows the columns of
// the subject the list highlights (the first one, "Архив").
TEST_F(LooksTest, ColumnGridShowsTheHighlightedSubjectOnFirstShow) {
    TSpravkaForm* window = OpenWindow();
    ASSERT_TRUE(window->ReportListBox->currentIndex().isValid());
    EXPECT_EQ(window->ReportListBox->currentIndex().data().toString(), QStringLiteral("Архив"));
    EXPECT_TRUE(window->SelectedTablesBG->count() == 0);
    ASSERT_EQ(window->dsCol->rowCount(), 2) << "Фактура and Количество; hidden rows are left out";
    EXPECT_EQ(window->dsCol->index(0, 1).data().toString(), QStringLiteral("Фактура"));
}

// The subject list is as wide as its longest name needs: no horizontal
// scrolling, and the name is not cut.
TEST_F(LooksTest, SubjectListFitsItsNames) {
    ExecDirect(QStringLiteral(
        "INSERT INTO Relations (N, TableName, BGTableName, ColName, BGColName, SelectCol) "
        "VALUES (200, 'Customers', 'Телефонен указател на клиентите', 'Name', 'Име', 2)"));
    TSpravkaForm* window = OpenWindow();
    TDBLookupListBox* list = window->ReportListBox;
    EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    const int needed =
        list->fontMetrics().horizontalAdvance(QStringLiteral("Телефонен указател на клиентите"));
    EXPECT_GE(list->viewport()->width(), needed);
}

// At the smallest size the window allows, no button, label or check box of
// the condition panel or the title row is narrower than its caption needs,
// and no two of them overlap.
TEST_F(LooksTest, NothingClippedOrOverlappingAtTheMinimumSize) {
    TSpravkaForm* window = OpenWindow();
    auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->showNormal();
    window->resize(window->minimumSize());
    sub->adjustSize();
    sub->resize(sub->minimumSizeHint());
    QApplication::processEvents();
    EXPECT_EQ(window->minimumWidth(), 758);

    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != window->window())
            continue;
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w))
            controls << w;
    }
    ASSERT_GT(controls.size(), 20);
    for (QWidget* w : controls) {
        EXPECT_GE(w->width(), w->minimumSizeHint().width())
            << w->objectName().toStdString() << " is clipped";
        for (QWidget* other : controls) {
            if (other == w || other->parentWidget() != w->parentWidget())
                continue;
            EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                << w->objectName().toStdString() << " overlaps "
                << other->objectName().toStdString();
        }
    }
    // The result grid keeps its title row.
    EXPECT_GE(window->DataGrid->horizontalHeader()->height(),
              window->DataGrid->fontMetrics().height());
}

// Every button, check box and labelled control of the window has its own
// Alt letter, and the required ones are there.
TEST_F(LooksTest, MnemonicsAreDistinct) {
    TSpravkaForm* window = OpenWindow();
    QMap<QChar, QString> used;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        else if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        const QChar letter = Mnemonic(text);
        if (letter.isNull())
            continue;
        EXPECT_FALSE(used.contains(letter))
            << "Alt+" << QString(letter).toStdString() << " in " << text.toStdString() << " and "
            << used.value(letter).toStdString();
        used.insert(letter, text);
    }
    EXPECT_EQ(window->btPrintPreview->text(), QStringLiteral("Прегле&д"));
    EXPECT_EQ(window->btExport->text(), QStringLiteral("Експор&т"));
    EXPECT_EQ(window->btClear->text(), QStringLiteral("Из&чиства"));
    EXPECT_GE(used.size(), 15);
}

// The preview draws a page's text in the black it was recorded in, also on
// a widget whose palette writes in white: the title band of the report is
// drawn before anything sets a pen.
TEST_F(LooksTest, PreviewDrawsRecordedTextBlack) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Клиенти"));
    window->RunInquiry();
    window->edTitle->setText(QStringLiteral("ЗАГЛАВИЕ НА СПРАВКАТА"));
    QImage shot;
    QTimer::singleShot(300, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* preview = qobject_cast<TRpStandardPreview*>(w);
            if (!preview)
                continue;
            TRpPreviewImage* image = preview->RpPreview()->Image();
            QPalette palette = image->palette();
            palette.setColor(QPalette::WindowText, Qt::white);
            palette.setColor(QPalette::Text, Qt::white);
            image->setPalette(palette);
            preview->ZoomTo100Click();
            shot = image->grab().toImage();
            preview->close();
        }
    });
    window->btPrintPreviewClick();
    ASSERT_FALSE(shot.isNull());
    // The title band: the top 10 mm margin and 16 mm band of the page.
    const int bandBottom = qRound(26.0 / 25.4 * TRpPrinter::ScreenDpi());
    int dark = 0;
    for (int y = 0; y < std::min(bandBottom, shot.height()); ++y)
        for (int x = 0; x < shot.width() - 4; ++x)
            if (qGray(shot.pixel(x, y)) < 96)
                ++dark;
    // The frame line along the top edge alone is one row of pixels.
    EXPECT_GT(dark, shot.width() * 2) << "the title band shows no text";
}

} // namespace
