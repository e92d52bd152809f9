#pragma once
// The program's entry sequence: settle the database alias (command line,
// Ctrl held at start, alias chooser), open the database, bootstrap the
// session and hand over to the message loop.

#include <QApplication>
#include <functional>
#include <memory>

class TSQLVexalForm;

// The application object: errors that escape any handler and reach the
// message loop are shown by AppException and the program goes on.
class TVexalApplication : public QApplication {
    Q_OBJECT
public:
    TVexalApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

struct TStartupHooks {
    // Whether the Ctrl key is held at this moment.
    std::function<bool()> CtrlHeld;
    // Runs the alias chooser modally; returns the chosen alias, or a null
    // string when it was cancelled. Given the alias to preselect.
    std::function<QString(const QString& current)> ChooseAlias;
};

// Hooks of the interactive program: the real keyboard and chooser.
TStartupHooks DefaultStartupHooks();

// Steps 2 to 9 of the start-up: creates the main window, settles the alias
// from the first argument (null when there is none), opens the database and
// bootstraps the session. Returns the main window, not yet shown, or nullptr
// when the program must end; *exitCode then says how (0 silent end, 1 failed
// connection).
std::unique_ptr<TSQLVexalForm> StartUp(const QString& aliasArgument, const TStartupHooks& hooks,
                                       int* exitCode);
