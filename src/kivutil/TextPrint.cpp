#include "TextPrint.h"

#include "DBGrid.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "MessageBox.h"
#include "SafeFile.h"
#include "SessionInit.h"
#include "TextRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>

namespace {

// Lines of a file as Windows-1251 bytes; a line ends at CR LF, LF or CR, and
// a final line break opens no further line.
QList<QByteArray> ReadLines(const QString& fileName) {
    QByteArray text;
    try {
        text = ReadUntrustedFile(fileName);
    } catch (const Exception&) {
        // A missing or locked file is told in the system's words, as the
        // message puts the file's name in front of them already; a special
        // or oversized file keeps the reader's message.
        const QFileInfo info(fileName);
        if (info.exists() && (!info.isFile() || info.size() > UntrustedFileLimit))
            throw;
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw Exception(file.errorString());
        throw;
    }
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines << text.mid(start, end - start);
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

QByteArray JoinLines(const QList<QByteArray>& lines) {
    qsizetype size = 0;
    for (const QByteArray& line : lines)
        size += line.size() + 2;
    QByteArray text;
    text.reserve(size);
    for (const QByteArray& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

// Writes the whole text to a file or device; nothing partial survives.
void WriteAll(const QString& fileName, const QByteArray& text) {
    TTextFileWriter writer;
    writer.Open(fileName);
    writer.Write(text);
    writer.Finish();
}

// The number of blanks every line starts with, at most 100.
qsizetype CommonIndent(const QList<QByteArray>& lines) {
    qsizetype indent = 100;
    for (const QByteArray& line : lines) {
        qsizetype blanks = 0;
        while (blanks < line.size() && blanks < indent && line[blanks] == ' ')
            ++blanks;
        indent = std::min(indent, blanks);
        if (indent == 0)
            break;
    }
    return lines.isEmpty() ? 0 : indent;
}

// Raw data to the system's print queue, for systems without a printer port.
void SendToPrintQueue(const QByteArray& text) {
    const QString lp = QStandardPaths::findExecutable(QStringLiteral("lp"));
    if (lp.isEmpty())
        throw Exception(QCoreApplication::translate(
            "TextPrint", "Няма системна опашка за печат (lp). Задайте файл или "
                         "устройство за текстов печат в \"Във файл\"."));
    QProcess process;
    process.start(lp, {QStringLiteral("-o"), QStringLiteral("raw")});
    if (!process.waitForStarted())
        throw Exception(QStringLiteral("lp: ") + process.errorString());
    process.write(text);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        throw Exception(QStringLiteral("lp: ") + process.errorString());
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QString error = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        if (error.isEmpty())
            error = QStringLiteral("exit code %1").arg(process.exitCode());
        throw Exception(QStringLiteral("lp: ") + error);
    }
}

void SendToTarget(const QByteArray& text) {
    const QString target = TrimText(ExportTxtOpts.DftTarget);
    if (!target.isEmpty()) {
        WriteAll(TextPrintTarget(target), text);
        return;
    }
#ifdef Q_OS_WIN
    WriteAll(QStringLiteral("LPT1"), text);
#else
    SendToPrintQueue(text);
#endif
}

// The parameter text naming one file: quoted when it holds blanks, so that
// splitting it into arguments keeps it whole.
QString FileParameter(const QString& fileName) {
    if (!fileName.contains(u' ') && !fileName.contains(u'\t') && !fileName.contains(u'"'))
        return fileName;
    QString quoted = fileName;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\"\""));
    return u'"' + quoted + u'"';
}

void ShowError(const QString& text, const QString& caption) {
    ShowMessageBox(text, caption, MB_ICONSTOP);
}

// PrintTextFile, with the code-page conversion of its first step only when
// convert is set (a text written in UTF-8 is printed as it is).
void PrintText(const QString& fileName, bool convert);

} // namespace

QString NewTextPrintFile() {
    const QString folder = MakePrivateFolder(WorkingFolder());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = QDir(folder).filePath(
            QStringLiteral("Report-%1.txt")
                .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
#ifdef Q_OS_WIN
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
#else
        const int fd = ::open(QFile::encodeName(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST)
            break;
#endif
    }
    throw Exception(QCoreApplication::translate(
                        "TextPrint", "Не може да бъде създаден файл за текстов печат в ") +
                    u'"' + QDir::toNativeSeparators(folder) + u'"');
}

QString TextPrintTarget(const QString& target) {
#ifdef Q_OS_WIN
    // Device names (LPT1, PRN) are relative names that must stay as typed.
    if (!target.contains(u'\\') && !target.contains(u'/') && !target.contains(u'.'))
        return target;
#endif
    if (!QFileInfo(target).isRelative())
        return target;
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir())
        documents = QDir::homePath();
    return QDir(documents).filePath(target);
}

void PrintAsText(TDBGrid* grid, const QStringList* lines, const QString& title,
                 QStringList* totals) {
    TDataSet* dataSet = grid ? grid->DataSet() : nullptr;
    if (!dataSet || dataSet->IsEmpty())
        return;
    QString fileName;
    try {
        fileName = NewTextPrintFile();
    } catch (const Exception& e) {
        ShowError(e.message(), QCoreApplication::translate("TextPrint", "Грешка"));
        return;
    }
    // The work file holds a company's report: it goes once printed. A
    // program started on it (OpenWith) needs it after this returns; it stays
    // then, readable by the user alone, in the user's own folder.
    struct TRemove {
        QString Name;
        ~TRemove() {
            if (TrimText(ExportTxtOpts.OpenWith).isEmpty())
                QFile::remove(Name);
        }
    } remove{fileName};
    QString result;
    {
        // The user's settings come back whatever happens; the footer list is
        // the caller's and is not kept.
        struct TRestore {
            const TExportTxtOpts Saved = ExportTxtOpts;
            ~TRestore() {
                ExportTxtOpts = Saved;
                ExportTxtOpts.FooterValues = nullptr;
            }
        } restore;
        ExportTxtOpts.TxtClmDelimiter = QStringLiteral("|");
        // UTF-8 is written as such (Windows-1251 would lose what it lacks);
        // the DOS pages are made from the Windows text when it is printed.
        if (ExportTxtOpts.TxtCyrSet != Utf8CodePage)
            ExportTxtOpts.TxtCyrSet = 0;
        ExportTxtOpts.ExportHeader = true;
        ExportTxtOpts.ExportClmNames = true;
        ExportTxtOpts.FixedClmWidth = true;
        ExportTxtOpts.FooterValues = totals;
        ExportToText(grid, lines, title, fileName, result);
    }
    // A failed export has been reported; printing whatever an earlier run
    // left in the file would print the wrong report.
    if (!result.isEmpty())
        return;
    PrintText(fileName, ExportTxtOpts.TxtCyrSet != Utf8CodePage);
}

void PrintTextFile(const QString& fileName) {
    PrintText(fileName, true);
}

namespace {

void PrintText(const QString& fileName, bool convert) {
    QList<QByteArray> lines;
    try {
        lines = ReadLines(fileName);
    } catch (const std::exception& e) {
        ShowError(QCoreApplication::translate("TextPrint", "Проблем с  ") + u'"' + fileName + u'"' +
                      QStringLiteral(".\r") + ExceptionText(e),
                  QCoreApplication::translate("TextPrint", "Грешка"));
        return;
    }
    try {
        if (convert)
            for (QByteArray& line : lines)
                line = ConvertCodePage(line);

        const qsizetype indent = CommonIndent(lines);
        if (indent > 0)
            for (QByteArray& line : lines)
                line.remove(0, indent);

        if (!lines.isEmpty()) {
            lines.first().prepend(ParseStringLiteral(ExportTxtOpts.BeforePrint));
            lines.last().append(ParseStringLiteral(ExportTxtOpts.AfterPrint));
        }
        if (ExportTxtOpts.Copies > 1) {
            const QList<QByteArray> copy = lines;
            for (int i = 1; i < ExportTxtOpts.Copies; ++i)
                lines += copy;
        }

        const QByteArray text = JoinLines(lines);
        WriteFileReplacing(fileName, text, 0600);

        try {
            SendToTarget(text);
        } catch (const std::exception& e) {
            ShowError(ExceptionText(e), QCoreApplication::translate("TextPrint", "Съобщение"));
        }

        const QString program = TrimText(ExportTxtOpts.OpenWith);
        if (!program.isEmpty()) {
            const QFileInfo info(fileName);
            ShellRun(program, FileParameter(info.absoluteFilePath()), info.absolutePath(), 1);
        }
    } catch (const std::exception& e) {
        ShowError(ExceptionText(e), QCoreApplication::translate("TextPrint", "Съобщение"));
    }
}

} // namespace

void ShellRun(const QString& program, const QString& parameters, const QString& folder,
              int showState) {
    // There is no owner window or show state to hand over to a started
    // process here; the program opens its own window as it sees fit.
    Q_UNUSED(showState);
    QProcess::startDetached(program, QProcess::splitCommand(parameters), folder);
}
