#pragma once
// The one way the program shows a message. Styles and results are the
// classic message-box numbers, so callers keep their meaning everywhere:
// button group = style & 15, icon = style & 0xF0, default button = style & 0xF00.

#include <QString>
#include <cstdint>
#include <functional>

// Style bits.
inline constexpr int MB_OK = 0x0;
inline constexpr int MB_OKCANCEL = 0x1;
inline constexpr int MB_ABORTRETRYIGNORE = 0x2;
inline constexpr int MB_YESNOCANCEL = 0x3;
inline constexpr int MB_YESNO = 0x4;
inline constexpr int MB_RETRYCANCEL = 0x5;
inline constexpr int MB_ICONSTOP = 0x10; // error
inline constexpr int MB_ICONQUESTION = 0x20;
inline constexpr int MB_ICONEXCLAMATION = 0x30; // warning
inline constexpr int MB_ICONINFORMATION = 0x40;
inline constexpr int MB_DEFBUTTON2 = 0x100;
inline constexpr int MB_DEFBUTTON3 = 0x200;

// Button numbers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// While above 0, ShowMessageBox shows nothing and answers with the default button.
extern std::uint16_t MessageQuiet;

// Shows text (first 640 characters) with caption (first 127) through the
// installed handler; returns the number of the button pressed.
int ShowMessageBox(const QString& text, const QString& caption, int style);

// The button the box would answer with if the user just pressed Enter.
int DefaultMessageBoxButton(int style);

// Handler that actually presents a message. Without one installed, messages
// go to standard error and are answered with the default button, so nothing
// ever blocks on a dialog that no one can see (tests, batch runs).
using MessageBoxHandler = std::function<int(const QString& text, const QString& caption, int style)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The caption of a message box button (IDOK ... IDNO) in the program's language.
QString MessageBoxButtonCaption(int id);
// A modal QMessageBox, the handler of the interactive program.
int WidgetMessageBox(const QString& text, const QString& caption, int style);
// Writes "caption: text" to standard error and answers with the default button.
int StderrMessageBox(const QString& text, const QString& caption, int style);
