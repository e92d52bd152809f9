#pragma once
// Saved inquiries: the list part of an inquiry kept as a set of text files
// that share one base name B (the file the user picks, by default ending in
// ".SQL"). Each file holds one list of the inquiry, one item per line, lines
// ended by CR LF, text in Windows-1251; an empty list gives an empty file.
// A set holding a character that Windows-1251 lacks is written in UTF-8,
// each file beginning with the UTF-8 byte-order mark; both are read.
// No widgets here: a window, a batch run and a test load and save the same
// way.

#include <QString>
#include <QStringList>

class TInquiry;

// What the user is told when a file of the set cannot be written or read.
inline const QString SavedInquiryFailureMessage = QStringLiteral(
    "Проверете дали в папката, където е програмата има папка \"SaveReps\" или някой файл е "
    "забравен отворен");

// The file dialogs' filter, in the "description|pattern" form.
inline const QString SavedInquiryFilter = QStringLiteral("Справка от DRNKorb|*.SQL");
inline const QString SavedInquiryExtension = QStringLiteral(".SQL");

// The folder the dialogs open in: SaveReps beside the program. Created when
// it is missing (a failure to create it is left to the file operations).
QString SavedInquiryFolder();

// The suffixes appended to B, in the order the files are written and read.
// The first is empty: B itself, which holds SelectedTables again so the
// user sees one file per inquiry in the dialogs; it is never read.
QStringList SavedInquirySuffixes();

// Writes the twelve files of the set, in order, each replacing an existing
// file. At the first file that cannot be written raises Exception with
// SavedInquiryFailureMessage; the files before it stay written and the one
// that failed keeps its old content.
void SaveInquiryFiles(const TInquiry& inquiry, const QString& baseName);

// Replaces the eleven lists of the inquiry, in order, by the content of their
// files. At the first file that cannot be read raises Exception with
// SavedInquiryFailureMessage; the lists before it keep what was loaded, the
// rest keep their previous content. The inquiry is not run but is marked
// modified once a list was loaded, so output runs it before it prints; the
// subject shown, the title and the hidden conditions stay as they are. The
// view is told that the lists changed.
void LoadInquiryFiles(TInquiry& inquiry, const QString& baseName);
