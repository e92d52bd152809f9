// The export settings dialog, driven through its controls on the offscreen
// platform: set controls, press OK or Cancel, read ExportTxtOpts.

#include "ExportOptions.h"
#include "ExportSetupUnit.h"
#include "KivUtilUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

struct ShownMessage {
    QString Text;
    QString Caption;
    int Style;
};

void ExpectSameOptions(const TExportTxtOpts& a, const TExportTxtOpts& b) {
    EXPECT_EQ(a.TxtClmDelimiter, b.TxtClmDelimiter);
    EXPECT_EQ(a.ExportHeader, b.ExportHeader);
    EXPECT_EQ(a.ExportClmNames, b.ExportClmNames);
    EXPECT_EQ(a.ExportPageBreaks, b.ExportPageBreaks);
    EXPECT_EQ(a.FixedClmWidth, b.FixedClmWidth);
    EXPECT_EQ(a.TxtCyrSet, b.TxtCyrSet);
    EXPECT_EQ(a.DftTarget, b.DftTarget);
    EXPECT_EQ(a.FooterValues, b.FooterValues);
    EXPECT_EQ(a.BeforePrint, b.BeforePrint);
    EXPECT_EQ(a.AfterPrint, b.AfterPrint);
    EXPECT_EQ(a.OpenWith, b.OpenWith);
    EXPECT_EQ(a.Copies, b.Copies);
}

class ExportSetup : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vexal"),
                  QStringLiteral("export"))
            .clear();
        ResetExportSettings();
        Previous =
            SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
                Messages.push_back({text, caption, style});
                return IDOK;
            });
    }
    void TearDown() override {
        SetMessageBoxHandler(Previous);
        ResetExportSettings();
    }

    // A fresh dialog, shown as the inquiry window shows it (so FormShow runs).
    std::unique_ptr<TExportSetupForm> Open() {
        auto form = std::make_unique<TExportSetupForm>();
        form->show();
        return form;
    }
    template <class T> static T* Child(TExportSetupForm& form, const char* name) {
        T* child = form.findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static void PressOk(TExportSetupForm& form) {
        QTest::mouseClick(Child<QPushButton>(form, "btOk"), Qt::LeftButton);
    }
    static void PressCancel(TExportSetupForm& form) {
        QTest::mouseClick(Child<QPushButton>(form, "btCancel"), Qt::LeftButton);
    }

    std::vector<ShownMessage> Messages;
    MessageBoxHandler Previous;
};

} // namespace

// What a user does with the dialog: find each field by the caption beside
// it, change it there, press Добре, and the export uses the new setting. A
// caption moved to the wrong control or a label without its field fails here.
TEST_F(ExportSetup, EachCaptionLeadsToTheSettingItNames) {
    auto form = Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Настройка Експорт"));
    auto labelled = [&](const QString& caption) -> QWidget* {
        for (QLabel* label : form->findChildren<QLabel*>())
            if (label->text().remove(u'&') == caption)
                return label->buddy();
        ADD_FAILURE() << "no label " << caption.toStdString();
        return nullptr;
    };
    auto captioned = [&]<class T>(const QString& caption) -> T* {
        for (T* control : form->findChildren<T*>())
            if (control->text().remove(u'&') == caption)
                return control;
        ADD_FAILURE() << "no control " << caption.toStdString();
        return nullptr;
    };
    struct Edit {
        const char16_t* Caption;
        const char16_t* Typed;
        QString TExportTxtOpts::*Setting;
    };
    const Edit edits[] = {
        {u"Във файл", u"справка.txt", &TExportTxtOpts::DftTarget},
        {u"Предпечат", u"#27'@'", &TExportTxtOpts::BeforePrint},
        {u"Следпечат", u"#12", &TExportTxtOpts::AfterPrint},
        {u"Отвори с", u"kate", &TExportTxtOpts::OpenWith},
    };
    for (const Edit& e : edits) {
        auto* edit = qobject_cast<QLineEdit*>(labelled(QString::fromUtf16(e.Caption)));
        ASSERT_NE(edit, nullptr) << QString::fromUtf16(e.Caption).toStdString();
        edit->selectAll();
        edit->insert(QString::fromUtf16(e.Typed)); // typed over what was there
    }
    // The printer texts are literals: the hint says so where the user types.
    EXPECT_TRUE(Child<QLineEdit>(*form, "edBeforePrint")->toolTip().contains(u"String"));
    captioned.operator()<QRadioButton>(QStringLiteral("UTF-8"))->click();
    captioned.operator()<QCheckBox>(QStringLiteral("Глава и дъно"))->click();
    captioned.operator()<QCheckBox>(QStringLiteral("Фиксиран размер"))->click();
    QComboBox* delimiter = Child<QComboBox>(*form, "cbTxtClmDelimiter");
    delimiter->setCurrentIndex(delimiter->findText(QStringLiteral("<Tab>")));
    QTest::mouseClick(captioned.operator()<QPushButton>(QStringLiteral("Добре")), Qt::LeftButton);

    EXPECT_TRUE(Messages.empty());
    for (const Edit& e : edits)
        EXPECT_EQ(ExportTxtOpts.*e.Setting, QString::fromUtf16(e.Typed));
    EXPECT_EQ(ExportTxtOpts.TxtCyrSet, 3);
    EXPECT_FALSE(ExportTxtOpts.ExportHeader);
    EXPECT_TRUE(ExportTxtOpts.FixedClmWidth);
    EXPECT_EQ(ExportTxtOpts.TxtClmDelimiter, QStringLiteral("\t"));
}

TEST_F(ExportSetup, ShowFillsTheControlsFromTheSettings) {
    struct Row {
        QString Stored;
        QString Shown;
    };
    const Row rows[] = {
        {QStringLiteral("\t"), QStringLiteral("<Tab>")},
        {QString(), QStringLiteral("<Няма>")},
        {QStringLiteral("X"), QStringLiteral("X")}, // not an item, still shown
    };
    for (const Row& r : rows) {
        ExportTxtOpts.TxtClmDelimiter = r.Stored;
        auto form = Open();
        EXPECT_EQ(Child<QComboBox>(*form, "cbTxtClmDelimiter")->currentText(), r.Shown);
    }
    TExportTxtOpts& o = ExportTxtOpts;
    o.ExportHeader = false;
    o.ExportClmNames = false;
    o.ExportPageBreaks = true;
    o.FixedClmWidth = true;
    o.TxtCyrSet = 2;
    o.DftTarget = QStringLiteral("out.txt");
    o.BeforePrint = QStringLiteral("#27'@'");
    o.AfterPrint = QStringLiteral("#12");
    o.OpenWith = QStringLiteral("kate");
    o.Copies = 4;
    auto form = Open();
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbExportHeader")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbExportClmNames")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbExportPageBreaks")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbFixedClmWidth")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(*form, "rgTxtCyrSetItem2")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(*form, "edDftTarget")->text(), QStringLiteral("out.txt"));
    EXPECT_EQ(Child<QLineEdit>(*form, "edBeforePrint")->text(), QStringLiteral("#27'@'"));
    EXPECT_EQ(Child<QLineEdit>(*form, "edAfterPrint")->text(), QStringLiteral("#12"));
    EXPECT_EQ(Child<QLineEdit>(*form, "edOpenWith")->text(), QStringLiteral("kate"));
    EXPECT_EQ(Child<QSpinBox>(*form, "edCopies")->value(), 4);
}

TEST_F(ExportSetup, DelimiterAsStoredByOk) {
    struct Row {
        QString Text;
        QString Stored;
        QString ShownAgain;
    };
    const Row rows[] = {
        {QStringLiteral("<Tab>"), QStringLiteral("\t"), QStringLiteral("<Tab>")},
        {QStringLiteral("<Няма>"), QString(), QStringLiteral("<Няма>")}, // no delimiter
        {QString(), QString(), QStringLiteral("<Няма>")},                // empty text: none
        {QStringLiteral("<tab>"), QStringLiteral("\t"), QStringLiteral("<Tab>")}, // case-blind
        {QStringLiteral("x"), QStringLiteral("X"), QStringLiteral("X")}, // letters go capital
        {QStringLiteral("ж"), QStringLiteral("Ж"), QStringLiteral("Ж")}, // Cyrillic too
        {QStringLiteral("|"), QStringLiteral("|"), QStringLiteral("|")},
    };
    for (const Row& r : rows) {
        auto form = Open();
        Child<QComboBox>(*form, "cbTxtClmDelimiter")->setEditText(r.Text);
        PressOk(*form);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(ExportTxtOpts.TxtClmDelimiter, r.Stored) << r.Text.toStdString();
        auto again = Open();
        EXPECT_EQ(Child<QComboBox>(*again, "cbTxtClmDelimiter")->currentText(), r.ShownAgain);
    }
}

TEST_F(ExportSetup, DelimiterBoxTakesOneTypedCharacter) {
    auto form = Open();
    QComboBox* box = Child<QComboBox>(*form, "cbTxtClmDelimiter");
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), QStringLiteral("xy"));
    EXPECT_EQ(box->currentText(), QStringLiteral("x"));
    // Choosing a longer item still shows it whole.
    box->setCurrentIndex(1);
    EXPECT_EQ(box->currentText(), QStringLiteral("<Няма>"));
    PressOk(*form);
    EXPECT_EQ(ExportTxtOpts.TxtClmDelimiter, QString());
}

TEST_F(ExportSetup, OkStoresEveryControlAndTheShift) {
    struct Row {
        int CyrSet;
        int Shift; // 64 only for the Bulgarian DOS page
    };
    const Row rows[] = {{0, 16}, {1, 64}, {2, 16}, {3, 16}};
    for (const Row& r : rows) {
        ResetExportSettings();
        auto form = Open();
        Child<QRadioButton>(*form, qPrintable(QStringLiteral("rgTxtCyrSetItem%1").arg(r.CyrSet)))
            ->click();
        Child<QCheckBox>(*form, "cbExportHeader")->setChecked(false);
        Child<QCheckBox>(*form, "cbExportClmNames")->setChecked(false);
        Child<QCheckBox>(*form, "cbExportPageBreaks")->setChecked(true);
        Child<QCheckBox>(*form, "cbFixedClmWidth")->setChecked(true);
        Child<QComboBox>(*form, "cbTxtClmDelimiter")->setCurrentIndex(3); // ";"
        Child<QLineEdit>(*form, "edDftTarget")->setText(QStringLiteral(" справка.txt "));
        Child<QLineEdit>(*form, "edBeforePrint")->setText(QStringLiteral("#27'E'"));
        Child<QLineEdit>(*form, "edAfterPrint")->setText(QStringLiteral("^L"));
        Child<QLineEdit>(*form, "edOpenWith")->setText(QStringLiteral("kate"));
        Child<QSpinBox>(*form, "edCopies")->setValue(2);
        PressOk(*form);

        EXPECT_EQ(form->result(), QDialog::Accepted);
        EXPECT_TRUE(Messages.empty());
        const TExportTxtOpts& o = ExportTxtOpts;
        EXPECT_EQ(o.TxtCyrSet, r.CyrSet);
        EXPECT_EQ(CyrTailShift, r.Shift) << r.CyrSet;
        EXPECT_FALSE(o.ExportHeader);
        EXPECT_FALSE(o.ExportClmNames);
        EXPECT_TRUE(o.ExportPageBreaks);
        EXPECT_TRUE(o.FixedClmWidth);
        EXPECT_EQ(o.TxtClmDelimiter, QStringLiteral(";"));
        EXPECT_EQ(o.DftTarget, QStringLiteral(" справка.txt ")); // as typed, untrimmed
        EXPECT_EQ(o.BeforePrint, QStringLiteral("#27'E'"));
        EXPECT_EQ(o.AfterPrint, QStringLiteral("^L"));
        EXPECT_EQ(o.OpenWith, QStringLiteral("kate"));
        EXPECT_EQ(o.Copies, 2);

        // An OK also keeps the settings for the next run.
        const TExportTxtOpts saved = o;
        const int shift = CyrTailShift;
        ResetExportSettings();
        LoadExportSettings();
        ExpectSameOptions(ExportTxtOpts, saved);
        EXPECT_EQ(CyrTailShift, shift);
    }
}

TEST_F(ExportSetup, InvalidPrinterTextKeepsTheDialogOpen) {
    struct Row {
        const char* Before;
        const char* After;
        const char* Message;
    };
    const Row rows[] = {
        {"abc", "", "Invalid string:  abc"},                        // unquoted before-print text
        {"#27", "'unterminated", "Invalid string:  'unterminated"}, // after-print text
        {"'x", "'y", "Invalid string:  'x"}, // the before-print text is checked first
    };
    for (const Row& r : rows) {
        Messages.clear();
        auto form = Open();
        Child<QRadioButton>(*form, "rgTxtCyrSetItem2")->click();
        Child<QLineEdit>(*form, "edBeforePrint")->setText(QLatin1String(r.Before));
        Child<QLineEdit>(*form, "edAfterPrint")->setText(QLatin1String(r.After));
        PressOk(*form);

        EXPECT_TRUE(form->isVisible()) << r.Message;
        EXPECT_EQ(form->ModalResult, 0);
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Text, QLatin1String(r.Message));
        EXPECT_EQ(Messages[0].Caption, QStringLiteral("Грешка!"));
        EXPECT_EQ(Messages[0].Style, MB_ICONSTOP | MB_OK);
        // The typed texts are stored anyway, and the shift is set as on any OK.
        EXPECT_EQ(ExportTxtOpts.BeforePrint, QLatin1String(r.Before));
        EXPECT_EQ(ExportTxtOpts.AfterPrint, QLatin1String(r.After));
        EXPECT_EQ(CyrTailShift, 16);
        EXPECT_EQ(Child<QLineEdit>(*form, "edBeforePrint")->text(), QLatin1String(r.Before));
    }
    // Reopening shows the invalid text; mending it lets OK close the dialog.
    auto form = Open();
    EXPECT_EQ(Child<QLineEdit>(*form, "edBeforePrint")->text(), QStringLiteral("'x"));
    Child<QLineEdit>(*form, "edBeforePrint")->setText(QStringLiteral("'x'"));
    Child<QLineEdit>(*form, "edAfterPrint")->setText(QStringLiteral("'y'"));
    Messages.clear();
    PressOk(*form);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ExportSetup, CancelAndCloseBoxChangeNothing) {
    ExportTxtOpts.TxtClmDelimiter = QStringLiteral("|");
    ExportTxtOpts.BeforePrint = QStringLiteral("#27");
    const TExportTxtOpts before = ExportTxtOpts;
    for (int closeBox = 0; closeBox < 2; ++closeBox) {
        auto form = Open();
        Child<QComboBox>(*form, "cbTxtClmDelimiter")->setCurrentIndex(0);
        Child<QCheckBox>(*form, "cbExportHeader")->setChecked(false);
        Child<QRadioButton>(*form, "rgTxtCyrSetItem1")->click();
        Child<QLineEdit>(*form, "edBeforePrint")->setText(QStringLiteral("abc"));
        Child<QSpinBox>(*form, "edCopies")->setValue(9);
        if (closeBox)
            form->close();
        else
            PressCancel(*form);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(form->result(), QDialog::Rejected);
        ExpectSameOptions(ExportTxtOpts, before);
        EXPECT_EQ(CyrTailShift, 64);   // untouched start value
        EXPECT_TRUE(Messages.empty()); // an invalid text is not checked on Cancel
    }
}
