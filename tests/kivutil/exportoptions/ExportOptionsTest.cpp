// The export settings record: defaults on a first start and keeping the
// settings between runs in the (isolated) user configuration.

#include "ExportOptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

void ClearStored() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vexal"),
              QStringLiteral("export"))
        .clear();
}

void ExpectDefaults() {
    const TExportTxtOpts& o = ExportTxtOpts;
    EXPECT_EQ(o.TxtClmDelimiter, QStringLiteral("\t"));
    EXPECT_TRUE(o.ExportHeader);
    EXPECT_TRUE(o.ExportClmNames);
    EXPECT_FALSE(o.ExportPageBreaks);
    EXPECT_FALSE(o.FixedClmWidth);
    EXPECT_EQ(o.TxtCyrSet, 0);
    EXPECT_TRUE(o.DftTarget.isEmpty());
    EXPECT_EQ(o.FooterValues, nullptr);
    EXPECT_TRUE(o.BeforePrint.isEmpty());
    EXPECT_TRUE(o.AfterPrint.isEmpty());
    EXPECT_TRUE(o.OpenWith.isEmpty());
    EXPECT_EQ(o.Copies, 1);
    EXPECT_EQ(CyrTailShift, 64);
    EXPECT_FALSE(TextPrintMode);
}

class ExportOptions : public ::testing::Test {
protected:
    void SetUp() override { ClearStored(); }
    void TearDown() override {
        ClearStored();
        ResetExportSettings();
    }
};

} // namespace

// A first start: nothing stored, so loading keeps the defaults. The export
// folder was set when the application object was made; no test changes it,
// so this holds in whatever order the tests run.
TEST_F(ExportOptions, FirstStartHasTheDefaults) {
    ResetExportSettings();
    ExpectDefaults();
    EXPECT_EQ(LastExportDir, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    LoadExportSettings(); // nothing stored: nothing changes
    ExpectDefaults();
}

// The program's folder where the user can write there; else the user's own.
TEST_F(ExportOptions, FirstExportFolderIsOneTheUserCanWriteTo) {
    const QString program = QCoreApplication::applicationDirPath();
    EXPECT_EQ(FirstExportDir(program), program + QLatin1Char('/'));
    const QString elsewhere = FirstExportDir(program + QStringLiteral("/no such folder"));
    EXPECT_TRUE(elsewhere.endsWith(QLatin1Char('/')));
    EXPECT_TRUE(QFileInfo(elsewhere).isDir()) << elsewhere.toStdString();
    EXPECT_TRUE(QFileInfo(elsewhere).isWritable()) << elsewhere.toStdString();
    EXPECT_NE(FirstExportDir(QString()), QStringLiteral("/"));
}

TEST_F(ExportOptions, SettingsSurviveARestart) {
    QStringList footer = {QStringLiteral("x")};
    TExportTxtOpts& o = ExportTxtOpts;
    o.TxtClmDelimiter = QStringLiteral("|");
    o.ExportHeader = false;
    o.ExportClmNames = false;
    o.ExportPageBreaks = true;
    o.FixedClmWidth = true;
    o.TxtCyrSet = 2;
    o.DftTarget = QStringLiteral("/tmp/справка.txt");
    o.FooterValues = &footer;
    o.BeforePrint = QStringLiteral("#27'@' ^M");
    o.AfterPrint = QStringLiteral("#12");
    o.OpenWith = QStringLiteral("kate");
    o.Copies = 3;
    CyrTailShift = 16;
    SaveExportSettings();

    ResetExportSettings(); // what a new run starts with
    LoadExportSettings();
    EXPECT_EQ(o.TxtClmDelimiter, QStringLiteral("|"));
    EXPECT_FALSE(o.ExportHeader);
    EXPECT_FALSE(o.ExportClmNames);
    EXPECT_TRUE(o.ExportPageBreaks);
    EXPECT_TRUE(o.FixedClmWidth);
    EXPECT_EQ(o.TxtCyrSet, 2);
    EXPECT_EQ(o.DftTarget, QStringLiteral("/tmp/справка.txt"));
    EXPECT_EQ(o.FooterValues, nullptr); // a pointer into the last run is never stored
    EXPECT_EQ(o.BeforePrint, QStringLiteral("#27'@' ^M"));
    EXPECT_EQ(o.AfterPrint, QStringLiteral("#12"));
    EXPECT_EQ(o.OpenWith, QStringLiteral("kate"));
    EXPECT_EQ(o.Copies, 3);
    // The Russian page's shift comes back with it, not the start value 64.
    EXPECT_EQ(CyrTailShift, 16);

    // UTF-8, the fourth code page, is kept as well.
    o.TxtCyrSet = Utf8CodePage;
    SaveExportSettings();
    ResetExportSettings();
    LoadExportSettings();
    EXPECT_EQ(o.TxtCyrSet, Utf8CodePage);
}

TEST_F(ExportOptions, StoredDelimiterKeepsTabsAndEmptiness) {
    // A tab and "no delimiter" are the two values a text file mangles most easily.
    for (const QString& delimiter : {QStringLiteral("\t"), QString()}) {
        ExportTxtOpts.TxtClmDelimiter = delimiter;
        SaveExportSettings();
        ExportTxtOpts.TxtClmDelimiter = QStringLiteral(";");
        LoadExportSettings();
        EXPECT_EQ(ExportTxtOpts.TxtClmDelimiter, delimiter);
    }
}

TEST_F(ExportOptions, DamagedStoredValuesFallBackToDefaults) {
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vexal"),
                    QStringLiteral("export"));
        s.setValue(QStringLiteral("TxtClmDelimiter"), QStringLiteral("ab")); // one char at most
        s.setValue(QStringLiteral("TxtCyrSet"), 7);                          // no such code page
        s.setValue(QStringLiteral("Copies"), 0);                             // would print nothing
        s.setValue(QStringLiteral("CyrTailShift"), 30);                      // neither 16 nor 64
        s.setValue(QStringLiteral("ExportHeader"), QStringLiteral("false"));
    }
    LoadExportSettings();
    EXPECT_EQ(ExportTxtOpts.TxtClmDelimiter, QStringLiteral("a"));
    EXPECT_EQ(ExportTxtOpts.TxtCyrSet, 0);
    EXPECT_EQ(ExportTxtOpts.Copies, 1);
    EXPECT_EQ(CyrTailShift, 64);
    EXPECT_FALSE(ExportTxtOpts.ExportHeader);
}

// A settings file replaced by a FIFO or a link to /dev/zero would hang the
// start or fill the memory: the settings stay at their defaults instead,
// and the file is neither read nor written.
TEST_F(ExportOptions, SpecialSettingsFileIsNeitherReadNorWritten) {
    const QString file = QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                   QStringLiteral("vexal"), QStringLiteral("export"))
                             .fileName();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    for (int kind = 0; kind < 2; ++kind) {
        QFile::remove(file);
        if (kind == 0)
            ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else
            ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), file));
        ResetExportSettings();
        LoadExportSettings();
        ExpectDefaults();
        ExportTxtOpts.Copies = 7;
        SaveExportSettings();
        EXPECT_TRUE(QFileInfo(file).isSymLink() || !QFileInfo(file).isFile()) << kind;
    }
    QFile::remove(file);
    ResetExportSettings();
}
