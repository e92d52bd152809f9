#pragma once
// Window helpers of the utility library: placing a new window beside the
// previous one, and finding the window that answers a message.

#include <QWidget>
#include <QtGlobal>

// User message numbers of the program's windows.
inline constexpr int WM_USER = 0x400;
inline constexpr int WM_PREVIEW = WM_USER + 1;          // 1025: preview
inline constexpr int WM_PRINT = WM_USER + 2;            // 1026: print
inline constexpr int WM_TOGGLEFILTER = WM_USER + 1010;  // 2034: fold/unfold the condition panel
inline constexpr int WM_EXPORTSETUP = WM_USER + 2001;   // 3025: export settings changed
inline constexpr int WM_FINDINQUIRY = WM_USER + 4001;   // 5025: "are you an inquiry window?"

// A window that answers the program's user messages, with a result as a
// message handler would give it (0 = not handled).
class TMessageAnswerer {
public:
    virtual ~TMessageAnswerer() = default;
    virtual qintptr Perform(int message, qintptr wParam, qintptr lParam) = 0;
};

// The application's main window (the multi-document frame), set by the shell.
void SetMainForm(QWidget* form);
QWidget* MainForm();

// Walks the components of a window from the last to the first and returns
// the first that answers the message with a non-zero result.
TMessageAnswerer* FindAnsweringComponent(int message, qintptr wParam, qintptr lParam,
                                         QObject* window);

// Places a window six pixels right of and below the previous one and shows
// it. An ordinary window is shown modally and its modal result returned; a
// child window of the frame is shown, focused, and 0 is returned.
int ShowCascaded(QWidget* previous, QWidget* window);
