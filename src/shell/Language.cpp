#include "Language.h"

#include "Exception.h"
#include "SafeFile.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>

#include <cstdio>

namespace {

// The language is remembered beside the export settings, in the same file.
const QString SettingsFolder = QStringLiteral("vexal");
const QString SettingsName = QStringLiteral("export");
const QString LanguageKey = QStringLiteral("Language");

// The built-in English translation (made by lrelease at build time).
const QString EnglishTranslation = QStringLiteral(":/i18n/vexal_en.qm");

QTranslator*& Installed() {
    static QTranslator* translator = nullptr;
    return translator;
}

// QSettings would block on a FIFO or read a device without end in place of
// the settings file: the file is checked first, as the export settings do.
bool SettingsUsable() {
#ifdef Q_OS_WIN
    return true;
#else
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         u'/' + SettingsFolder + u'/' + SettingsName + QStringLiteral(".conf");
    try {
        ReadOptionalFile(file);
    } catch (const Exception& e) {
        std::fprintf(stderr, "vexal: %s\n", e.message().toLocal8Bit().constData());
        return false;
    }
    return true;
#endif
}

} // namespace

QString LanguageCode(const QString& text) {
    const QString code = text.trimmed().toLower();
    if (code == QLatin1String("bg") || code == QLatin1String("en"))
        return code;
    return QString();
}

QString SavedLanguage() {
    if (!SettingsUsable())
        return QString();
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, SettingsFolder,
                             SettingsName);
    return LanguageCode(settings.value(LanguageKey).toString());
}

bool SaveLanguage(const QString& code) {
    if (LanguageCode(code).isEmpty() || !SettingsUsable())
        return false;
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, SettingsFolder, SettingsName);
    settings.setValue(LanguageKey, LanguageCode(code));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString ChosenLanguage(const QString& optionCode) {
    if (!LanguageCode(optionCode).isEmpty())
        return LanguageCode(optionCode);
    const QString environment = qEnvironmentVariable("VEXAL_LANGUAGE");
    if (!environment.trimmed().isEmpty()) {
        if (!LanguageCode(environment).isEmpty())
            return LanguageCode(environment);
        std::fprintf(stderr, "vexal: VEXAL_LANGUAGE=%s is neither en nor bg; it is ignored\n",
                     environment.toLocal8Bit().constData());
    }
    const QString saved = SavedLanguage();
    return saved.isEmpty() ? QStringLiteral("bg") : saved;
}

bool InstallLanguage(const QString& code) {
    QTranslator*& installed = Installed();
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    if (LanguageCode(code) != QLatin1String("en"))
        return LanguageCode(code) == QLatin1String("bg");
    auto* translator = new QTranslator;
    if (!translator->load(EnglishTranslation) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        std::fprintf(stderr, "vexal: the English translation cannot be loaded\n");
        return false;
    }
    installed = translator;
    return true;
}

QString CurrentLanguage() {
    return Installed() ? QStringLiteral("en") : QStringLiteral("bg");
}
