#pragma once
// The language of the interface. Bulgarian is the program's own: its texts
// are written in the code. English comes from the translation built into the
// program as a resource, so nothing has to lie beside the executable. The
// choice, strongest first: the --language option, the VEXAL_LANGUAGE
// variable, the setting remembered from the Help menu, else Bulgarian.

#include <QString>

// "bg" or "en" for a user's text (case and blanks ignored); empty for
// anything else.
QString LanguageCode(const QString& text);

// The language remembered in the settings file ("bg", "en"), empty when none
// is (or the file cannot be read).
QString SavedLanguage();
// Remembers the language for the next start; false when the settings file
// is not usable.
bool SaveLanguage(const QString& code);

// The language by the order above. optionCode is the checked value of
// --language or empty. A VEXAL_LANGUAGE that names no language is reported
// on standard error and passed over.
QString ChosenLanguage(const QString& optionCode);

// Puts the translation of the language into effect for every text made from
// now on ("bg" takes it away). Needs the application object. False when the
// translation cannot be loaded; the program then stays Bulgarian.
bool InstallLanguage(const QString& code);

// The language in effect: "en" after InstallLanguage("en"), else "bg".
QString CurrentLanguage();
