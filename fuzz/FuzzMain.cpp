// Start-up of every libFuzzer executable: an application object on the
// offscreen platform (pictures and fonts need one), and message boxes and
// Qt's own warnings (about damaged pictures, say) that show nothing, so the
// fuzzer's output stays readable and fast.

#include "FuzzTargets.h"
#include "MessageBox.h"

#include <QApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives for the whole run; libFuzzer never returns to main's end.
    static QApplication* app = new QApplication(*argc, *argv);
    (void)app;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    SetMessageBoxHandler(
        [](const QString&, const QString&, int style) { return DefaultMessageBoxButton(style); });
    return 0;
}
