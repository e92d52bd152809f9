// Test entry: an offscreen QApplication and an isolated user configuration,
// so no test reads or writes the real user's settings, aliases or demo data.

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    QTemporaryDir home;
    const QByteArray base = home.path().toLocal8Bit();
    setenv("XDG_CONFIG_HOME", (base + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (base + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (base + "/cache").constData(), 1);
    setenv("TMPDIR", (base).constData(), 0);
    unsetenv("VEXAL_ALIASES");
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vexal"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
