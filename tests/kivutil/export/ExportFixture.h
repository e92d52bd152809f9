#pragma once
// Shared set-up of the export, column-sum and text-print tests: default
// settings, a recording message box and a scripted file dialog.

#include "DataSet.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "MessageBox.h"
#include "Win1251.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

struct TShownMessage {
    QString Text;
    QString Caption;
    int Style = 0;
};

class ExportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ResetExportSettings();
        PreviousBox =
            SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
                Messages.push_back({text, caption, style});
                if (Answers.empty())
                    return DefaultMessageBoxButton(style);
                const int answer = Answers.front();
                Answers.pop_front();
                return answer;
            });
        PreviousDialog =
            SetSaveFileDialogHandler([this](const QString& title, const QString& filter,
                                            const QString& directory, const QString& suggested) {
                DialogCalls.push_back({title, filter, directory, suggested});
                if (Chosen.empty())
                    return QString();
                const QString name = Chosen.front();
                Chosen.pop_front();
                return name;
            });
    }
    void TearDown() override {
        ResetExportSettings();
        SetTextWriteLimit(-1);
        SetMessageBoxHandler(PreviousBox);
        SetSaveFileDialogHandler(PreviousDialog);
    }

    QString Path(const QString& name) const { return Dir.filePath(name); }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void TestWrite(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    // Lines joined with CR LF (each one ended), in Windows-1251.
    static QByteArray Lines(const QStringList& lines) {
        QByteArray bytes;
        for (const QString& line : lines)
            bytes += Win1251::Encode(line) + "\r\n";
        return bytes;
    }

    struct TDialogCall {
        QString Title, Filter, Directory, Suggested;
    };
    QTemporaryDir Dir;
    std::vector<TShownMessage> Messages;
    std::deque<int> Answers;
    std::vector<TDialogCall> DialogCalls;
    std::deque<QString> Chosen;
    MessageBoxHandler PreviousBox;
    SaveFileDialogHandler PreviousDialog;
};
