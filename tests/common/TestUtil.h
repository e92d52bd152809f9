#pragma once
// Shared helpers of the unit tests.

#include <QString>
#include <QTemporaryDir>

namespace TestUtil {

// A fresh temporary folder, removed with the returned object.
QTemporaryDir& Scratch();
// Path of a copy of the Chinook sample database in a fresh temporary folder.
QString CopyChinook(const QTemporaryDir& dir);
// The repository's source folder.
QString SourceDir();
// Reads a whole file; empty when it cannot be read.
QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);

} // namespace TestUtil
