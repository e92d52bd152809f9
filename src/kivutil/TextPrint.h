#pragma once
// Text printing: an exported text file sent as raw text to the printer (or to
// a device or file named in the export settings), with the code page, the
// before and after texts and the copies of ExportTxtOpts.

#include <QString>
#include <QStringList>

class TDBGrid;

// Makes a new, empty work file for text printing and returns its name: a
// unique "Report-*.txt" in the user's own working folder (WorkingFolder(),
// made mode 0700), created exclusively with mode 0600, so no other user can
// read it, prepare it or print into it. Raises Exception when it cannot.
QString NewTextPrintFile();

// Where "Във файл" (DftTarget) sends the text: an absolute name as it is, a
// relative one in the user's documents folder (the home folder when there is
// none), never in the working folder.
QString TextPrintTarget(const QString& target);

// The print action's text branch: with the export settings set aside and set
// to "|" as delimiter, fixed widths, header, footer and column names, no
// code-page conversion and totals as the footer values, writes the grid's
// rows with the condition lines and the title to a NewTextPrintFile(); then
// puts the settings back, prints the file with PrintTextFile and removes it
// (it stays when OpenWith is set, for the program started on it). Does
// nothing for a grid without rows; prints nothing when the export failed (its
// message has been shown).
void PrintAsText(TDBGrid* grid, const QStringList* lines, const QString& title,
                 QStringList* totals);

// Sends a text file to the printer as raw text:
// 1. the file's lines pass through ConvertCodePage;
// 2. the indentation all lines share (at most 100 blanks) is removed;
// 3. the string BeforePrint denotes goes in front of the first line and the
//    one AfterPrint denotes after the last (no line break added);
// 4. Copies - 1 more copies of the lines follow;
// 5. the file is replaced by the result (lines ended by CR LF, mode 0600),
//    which is then written to the target: DftTarget (a file or device,
//    written as a file; see TextPrintTarget) or, when that is empty, the printer: "LPT1" on
//    Windows, elsewhere the system's print queue as raw data ("lp -o raw");
// 6. OpenWith, when set, is started on the file.
// Failures are shown in message boxes: a file that cannot be read, an
// invalid before/after text or a file that cannot be rewritten stop it; a
// target that cannot be written does not.
void PrintTextFile(const QString& fileName);

// Starts a program with a parameter text (split into arguments as a shell
// would: blanks separate, double quotes group) in a working folder, without
// waiting for it. showState is the window show state (1 normal); it has no
// effect where the platform has none. The outcome is not examined.
void ShellRun(const QString& program, const QString& parameters, const QString& folder,
              int showState);
