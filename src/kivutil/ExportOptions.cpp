#include "ExportOptions.h"

#include "SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

TExportTxtOpts ExportTxtOpts;
TExportCsvOpts ExportCsvOpts;
std::int32_t CyrTailShift = 64;
QString LastExportDir;
bool TextPrintMode = false;

namespace {

// The settings file lives in the program's folder of the user's configuration
// but does not depend on the application name being set yet.
const QString SettingsFolder = QStringLiteral("vexal");
const QString SettingsName = QStringLiteral("export");

// The settings file is read and rewritten by QSettings, which would block on
// a FIFO or read a link to a device without end: it is checked first. Empty
// when it is fine (or missing), else what is wrong with it.
QString SettingsFileProblem() {
#ifdef Q_OS_WIN
    return QString(); // the registry
#else
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         u'/' + SettingsFolder + u'/' + SettingsName + QStringLiteral(".conf");
    try {
        ReadOptionalFile(file);
    } catch (const Exception& e) {
        return e.message();
    }
    return QString();
#endif
}

void WarnAboutSettings(const QString& problem) {
    std::fprintf(stderr, "vexal: %s\n", problem.toLocal8Bit().constData());
}

void InitExportSettings() {
    LastExportDir = FirstExportDir(QCoreApplication::applicationDirPath());
    LoadExportSettings();
}

} // namespace

QString FirstExportDir(const QString& programDir) {
    if (!programDir.isEmpty() && QFileInfo(programDir).isDir() &&
        QFileInfo(programDir).isWritable())
        return programDir + QLatin1Char('/');
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir())
        documents = QDir::homePath();
    return documents + QLatin1Char('/');
}

// The settings are there before the first window opens, without the start-up
// sequence having to know about them.
Q_COREAPP_STARTUP_FUNCTION(InitExportSettings)

void ResetExportSettings() {
    ExportTxtOpts = TExportTxtOpts();
    ExportCsvOpts = TExportCsvOpts();
    CyrTailShift = 64;
    TextPrintMode = false;
}

void LoadExportSettings() {
    if (const QString problem = SettingsFileProblem(); !problem.isEmpty()) {
        WarnAboutSettings(problem);
        return;
    }
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, SettingsFolder, SettingsName);
    TExportTxtOpts& o = ExportTxtOpts;
    auto text = [&](const char* key, QString& field) {
        field = settings.value(QLatin1String(key), field).toString();
    };
    auto flag = [&](const char* key, bool& field) {
        field = settings.value(QLatin1String(key), field).toBool();
    };
    auto number = [&](const char* key, int fallback, int low, int high) {
        bool ok = false;
        const int value = settings.value(QLatin1String(key), fallback).toInt(&ok);
        return ok && value >= low && value <= high ? value : fallback;
    };
    text("TxtClmDelimiter", o.TxtClmDelimiter);
    o.TxtClmDelimiter.truncate(1);
    flag("ExportHeader", o.ExportHeader);
    flag("ExportClmNames", o.ExportClmNames);
    flag("ExportPageBreaks", o.ExportPageBreaks);
    flag("FixedClmWidth", o.FixedClmWidth);
    o.TxtCyrSet = static_cast<std::uint8_t>(number("TxtCyrSet", o.TxtCyrSet, 0, Utf8CodePage));
    text("DftTarget", o.DftTarget);
    text("BeforePrint", o.BeforePrint);
    text("AfterPrint", o.AfterPrint);
    text("OpenWith", o.OpenWith);
    o.Copies = number("Copies", o.Copies, 1, 9999);
    // CSV: a delimiter must be one character that cannot start a quoted value
    // or a line.
    QString csvDelimiter =
        settings.value(QStringLiteral("CsvDelimiter"), ExportCsvOpts.Delimiter).toString();
    if (csvDelimiter.size() == 1 && csvDelimiter != QStringLiteral("\"") &&
        csvDelimiter != QStringLiteral("\r") && csvDelimiter != QStringLiteral("\n"))
        ExportCsvOpts.Delimiter = csvDelimiter;
    flag("CsvByteOrderMark", ExportCsvOpts.ByteOrderMark);
    flag("CsvDisplayDates", ExportCsvOpts.DisplayDates);
    // Kept as it was last set, so a restart converts exactly as before it.
    const int shift = number("CyrTailShift", CyrTailShift, 16, 64);
    if (shift == 16 || shift == 64)
        CyrTailShift = shift;
}

void SaveExportSettings() {
    if (const QString problem = SettingsFileProblem(); !problem.isEmpty()) {
        WarnAboutSettings(problem);
        return;
    }
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, SettingsFolder, SettingsName);
    const TExportTxtOpts& o = ExportTxtOpts;
    settings.setValue(QStringLiteral("TxtClmDelimiter"), o.TxtClmDelimiter);
    settings.setValue(QStringLiteral("ExportHeader"), o.ExportHeader);
    settings.setValue(QStringLiteral("ExportClmNames"), o.ExportClmNames);
    settings.setValue(QStringLiteral("ExportPageBreaks"), o.ExportPageBreaks);
    settings.setValue(QStringLiteral("FixedClmWidth"), o.FixedClmWidth);
    settings.setValue(QStringLiteral("TxtCyrSet"), int(o.TxtCyrSet));
    settings.setValue(QStringLiteral("DftTarget"), o.DftTarget);
    settings.setValue(QStringLiteral("BeforePrint"), o.BeforePrint);
    settings.setValue(QStringLiteral("AfterPrint"), o.AfterPrint);
    settings.setValue(QStringLiteral("OpenWith"), o.OpenWith);
    settings.setValue(QStringLiteral("Copies"), o.Copies);
    settings.setValue(QStringLiteral("CyrTailShift"), CyrTailShift);
    settings.setValue(QStringLiteral("CsvDelimiter"), ExportCsvOpts.Delimiter);
    settings.setValue(QStringLiteral("CsvByteOrderMark"), ExportCsvOpts.ByteOrderMark);
    settings.setValue(QStringLiteral("CsvDisplayDates"), ExportCsvOpts.DisplayDates);
    settings.sync();
}
