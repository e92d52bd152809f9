// Program entry of SQL Vexal.
#include <QApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--version") {
            std::printf("SQL Vexal %s\n", VEXAL_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: vexal [ALIAS]\n");
            return 0;
        }
    }
    QApplication app(argc, argv);
    return 0;
}
