#pragma once
// A fresh SQLite database per test, reached through an aliases file, with a
// small sales table whose rows the comparison and display tests rely on.

#include "DbTestUtil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class SqlFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a statement on the test database and returns the first value.
    QVariant Value(const QString& sql);
    // Number of rows a SELECT returns.
    int Rows(const QString& sql);
    void Exec(const QString& sql);
    // The message of the failure a statement raises; empty when it succeeds.
    QString Failure(const QString& sql, bool open = true);

    // Writes the aliases file with the given sections and points the session at it.
    void WriteAliases(const QByteArray& ini);
    // Creates a SQLite file holding the statements.
    static void MakeDatabase(const QString& path, const char* sql);

    QTemporaryDir Dir;
    QString DbPath;
    std::unique_ptr<TDatabase> Db;
};
