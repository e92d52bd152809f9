#pragma once
// Saved inquiries: the list part of an inquiry kept as a set of text files
// that share one base name B (the file the user picks, by default ending in
// ".SQL"). Each file holds one list of the inquiry, one item per line, lines
// ended by CR LF, text in Windows-1251; an empty list gives an empty file.
// A set holding a character that Windows-1251 lacks is written in UTF-8,
// each file beginning with the UTF-8 byte-order mark; both are read.
// Beside them B.OPT.DRN holds the inquiry's own report options as
// "name=value" lines ("Chart.InReport=1": the report ends with the result's
// chart); a set saved without that file has them off.
// No widgets here: a window, a batch run and a test load and save the same
// way.

#include <QString>
#include <QStringList>

class TInquiry;

// What the user is told when a file of the set cannot be written or read.
QString SavedInquiryFailureMessage();

// The file dialogs' filter, in the "description|pattern" form.
QString SavedInquiryFilter();
inline const QString SavedInquiryExtension = QStringLiteral(".SQL");

// The user's own saved inquiries, where the dialogs open: SaveReps in the
// user's data folder, made mode 0700 when missing (a failure to make it is
// left to the file operations).
QString SavedInquiryFolder();

// The shared saved inquiries: SaveReps beside the program. The administrator
// puts sets there for everyone; users only read it. Never created here.
QString SharedSavedInquiryFolder();

// The base name of the saved inquiry with the file name of `name` (its
// folder is ignored): in the user's folder first, then in the shared one;
// empty when neither holds the set.
QString FindSavedInquiry(const QString& name);

// Whether the SQL text holds a statement separator ';' outside literals
// ('...' with doubled quotes), quoted names ("...") and comments (-- and
// /* */), with backslashes read as escapes and as plain characters alike.
bool HasStatementSeparator(const QString& text);

// The suffixes appended to B, in the order the files are written and read.
// The first is empty: B itself, which holds SelectedTables again so the
// user sees one file per inquiry in the dialogs; it is never read.
QStringList SavedInquirySuffixes();

// Writes the twelve files of the set, in order, each replacing an existing
// file with WriteFileReplacing (a new file renamed into place: a link under
// the name is replaced, never followed). At the first file that cannot be
// written raises Exception with SavedInquiryFailureMessage(); the files before
// it stay written and the one that failed keeps its old content.
void SaveInquiryFiles(const TInquiry& inquiry, const QString& baseName);

// Replaces the eleven lists of the inquiry, in order, by the content of their
// files. A set is refused whole, with a message naming the file and nothing
// changed, when one of its files is a symbolic link, not a regular file,
// larger than UntrustedFileLimit, owned by another user (outside the shared
// folder, where root's and the installing user's files are taken), or when
// a line of an SQL list holds a statement separator (HasStatementSeparator).
// At the first file that cannot be read raises Exception with
// SavedInquiryFailureMessage(); the lists before it keep what was loaded, the
// rest keep their previous content. The inquiry is not run but is marked
// modified once a list was loaded, so output runs it before it prints; the
// subject shown, the title and the hidden conditions stay as they are. The
// view is told that the lists changed.
void LoadInquiryFiles(TInquiry& inquiry, const QString& baseName);
