#include "Vexal.h"

#include "Database.h"
#include "MessageBox.h"
#include "SQLVexalUnit.h"
#include "SelectDbUnit.h"
#include "ServerRoutines.h"
#include "SessionInit.h"

#include <QCoreApplication>
#include <cstdio>
#include <exception>

TVexalApplication::TVexalApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TVexalApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const EAbort&) {
        // Raised after the user has been told already.
    } catch (const Exception& e) {
        AppException(e.message());
    } catch (const std::exception& e) {
        AppException(QString::fromUtf8(e.what()));
    }
    return false;
}

TStartupHooks DefaultStartupHooks() {
    TStartupHooks hooks;
    hooks.CtrlHeld = [] {
        return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
    };
    hooks.ChooseAlias = [](const QString& current) -> QString {
        TSelectDbForm chooser;
        chooser.SetAliasName(current);
        if (chooser.exec() == TSelectDbForm::mrOk)
            return chooser.AliasName();
        return QString();
    };
    return hooks;
}

namespace {

// Upper-cases the letters a to z only, as the alias comparison does.
QString AsciiUpper(const QString& text) {
    QString result = text;
    for (QChar& c : result)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    return result;
}

} // namespace

std::unique_ptr<TSQLVexalForm> StartUp(const QString& aliasArgument, const TStartupHooks& hooks,
                                       int* exitCode) {
    *exitCode = 0;
    auto form = std::make_unique<TSQLVexalForm>();
    TDatabase& database = *form->Database;
    database.Close();

    if (!aliasArgument.isEmpty() &&
        AsciiUpper(aliasArgument) != AsciiUpper(database.AliasName()))
        database.SetAliasName(aliasArgument);

    if (database.AliasName().isEmpty() || (hooks.CtrlHeld && hooks.CtrlHeld())) {
        const QString chosen = hooks.ChooseAlias ? hooks.ChooseAlias(database.AliasName()) : QString();
        if (!chosen.isNull())
            database.SetAliasName(chosen);
    }

    if (database.AliasName().isEmpty())
        return nullptr;

    try {
        database.Open();
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), QCoreApplication::translate("Vexal", "Грешка"),
                       MB_OK | MB_ICONSTOP);
        *exitCode = 1;
        return nullptr;
    }

    InitSession(database);
    SessionReady = true;
    return form;
}
