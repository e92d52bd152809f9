#include "RobustnessFixture.h"

#include "Exception.h"
#include "SQLVexalUnit.h"
#include "SqliteConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <sys/fsuid.h>
#include <unistd.h>

namespace {
constexpr uid_t Nobody = 65534;
}

void AsEventLoop(const std::function<void()>& action) {
    try {
        action();
    } catch (const EAbort&) {
    } catch (const Exception& e) {
        AppException(e.message());
    } catch (const std::exception& e) {
        AppException(QString::fromUtf8(e.what()));
    }
}

TReadOnlyFolders::TReadOnlyFolders(const QStringList& folders) : Folders(folders) {
    for (const QString& folder : Folders)
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                          QFileDevice::ReadOther | QFileDevice::ExeOther |
                                          QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    if (geteuid() == 0) {
        setfsgid(Nobody);
        setfsuid(Nobody);
        Unprivileged = true;
    }
}

TReadOnlyFolders::~TReadOnlyFolders() {
    if (Unprivileged) {
        setfsuid(0);
        setfsgid(0);
    }
    for (const QString& folder : Folders)
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther);
}

void OpenToEveryone(const QString& folder) {
    for (QDir dir(folder); !dir.isRoot(); dir.cdUp()) {
        const QFileInfo info(dir.path());
        if (info.permission(QFileDevice::ExeOther))
            continue;
        QFile::setPermissions(dir.path(),
                              info.permissions() | QFileDevice::ExeOther | QFileDevice::ReadOther);
    }
}

QStringList MarksInFile(const QString& databaseFile) {
    QStringList marks;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(databaseFile).constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT N, SelectCol FROM Relations ORDER BY N", -1, &st,
                               nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW)
                marks << QStringLiteral("%1=%2")
                             .arg(sqlite3_column_int(st, 0))
                             .arg(QString::fromUtf8(
                                 reinterpret_cast<const char*>(sqlite3_column_text(st, 1))));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return marks;
}

QString RobustnessFixture::DatabaseFile() const {
    auto* connection = dynamic_cast<TSqliteConnection*>(Database->Connection());
    return connection ? QString::fromUtf8(sqlite3_db_filename(connection->Handle(), "main"))
                      : QString();
}

TSpravkaForm* RobustnessFixture::RunSales() {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    Press(window->btSpravka);
    EXPECT_EQ(window->dsData->rowCount(), 5);
    return window;
}

QStringList RobustnessFixture::Captions() const {
    QStringList captions;
    for (const TShownMessage& m : Messages)
        captions << m.Caption;
    return captions;
}

std::string RobustnessFixture::ShownTexts() const {
    QStringList texts;
    for (const TShownMessage& m : Messages)
        texts << m.Caption + QStringLiteral(": ") + m.Text;
    return texts.join(QStringLiteral(" | ")).toStdString();
}
