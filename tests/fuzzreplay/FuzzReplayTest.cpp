// Feeds every file of the kept fuzz corpora to its target's entry function.
// A fault shows as a crash or a sanitizer report of this test; a corpus
// folder that went missing or empty fails, so the replay cannot silently
// stop replaying.

#include "FuzzTargets.h"
#include "MessageBox.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

struct TReplayTarget {
    const char* Name;
    Fuzz::TEntry Entry;
};

const TReplayTarget ReplayTargets[] = {
    {"ParseStringLiteral", Fuzz::ParseStringLiteral},
    {"ParseFloatText", Fuzz::ParseFloatText},
    {"ParseIntText", Fuzz::ParseIntText},
    {"FormatByMask", Fuzz::FormatByMask},
    {"Expression", Fuzz::Expression},
    {"Filter", Fuzz::Filter},
    {"SqlDialect", Fuzz::SqlDialect},
    {"ReportFile", Fuzz::ReportFile},
    {"EmfPage", Fuzz::EmfPage},
    {"SavedInquiry", Fuzz::SavedInquiry},
    {"ConnectionScript", Fuzz::ConnectionScript},
};

class FuzzReplay : public ::testing::TestWithParam<TReplayTarget> {};

TEST_P(FuzzReplay, EveryCorpusFile) {
    const MessageBoxHandler previous = SetMessageBoxHandler(
        [](const QString&, const QString&, int style) { return DefaultMessageBoxButton(style); });
    const QDir folder(QStringLiteral(VEXAL_FUZZ_CORPUS "/") + QLatin1String(GetParam().Name));
    const QStringList files = folder.entryList(QDir::Files, QDir::Name);
    EXPECT_FALSE(files.isEmpty()) << "no corpus in " << folder.path().toStdString();
    for (const QString& name : files) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        SCOPED_TRACE(name.toStdString());
        GetParam().Entry(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         std::size_t(bytes.size()));
    }
    SetMessageBoxHandler(previous);
}

INSTANTIATE_TEST_SUITE_P(Corpora, FuzzReplay, ::testing::ValuesIn(ReplayTargets),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
