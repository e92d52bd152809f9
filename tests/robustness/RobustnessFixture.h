#pragma once
// Helpers of the robustness tests: the inquiry fixture's database and main
// frame, plus the ways the outside world fails a session (a file system that
// refuses writes, a second process holding the database) and the way the
// program's message loop deals with an error that reaches it.

#include "InquiryFixture.h"

#include <QString>
#include <functional>

// What the application object does with an error that escapes an event
// handler: a program error is shown by AppException and the loop goes on;
// EAbort is silent. Runs action as if it were such an event.
void AsEventLoop(const std::function<void()>& action);

// While alive, file operations of this thread run as an unprivileged user
// (tests run as root in CI, where permission bits alone refuse nothing), and
// the given folders are made read-only. Restores both when it goes.
class TReadOnlyFolders {
public:
    explicit TReadOnlyFolders(const QStringList& folders);
    ~TReadOnlyFolders();
    TReadOnlyFolders(const TReadOnlyFolders&) = delete;
    TReadOnlyFolders& operator=(const TReadOnlyFolders&) = delete;

private:
    QStringList Folders;
    bool Unprivileged = false;
};

// Makes a folder and the folders above it up to root passable for the
// unprivileged user (scratch folders are private to their owner).
void OpenToEveryone(const QString& folder);

// Reads the Relations marks straight from the database file: "N=SelectCol"
// in N order.
QStringList MarksInFile(const QString& databaseFile);

class RobustnessFixture : public InquiryFixture {
protected:
    // The test database's file (the one the session has open).
    QString DatabaseFile() const;
    // Opens a window and runs the "Продажби" inquiry on it (five rows).
    TSpravkaForm* RunSales();
    // The captions of the messages shown so far.
    QStringList Captions() const;
    // Every message shown so far, for failure reports.
    std::string ShownTexts() const;
};
