#pragma once
// The fixed number, date and time formats of the whole run, independent of
// the system locale: decimal ".", dates "DD.MM.YYYY", times "HH:MM".

#include <QChar>
#include <QString>

namespace FormatSettings {

inline constexpr QChar DecimalSeparator = u'.';
inline constexpr QChar ThousandSeparator = u',';
inline constexpr QChar DateSeparator = u'.';
inline constexpr QChar TimeSeparator = u':';
// Picture texts in the date-time picture language (see DisplayFormat.h).
inline const QString ShortDateFormat = QStringLiteral("dd/mm/yyyy");
inline const QString ShortTimeFormat = QStringLiteral("hh:nn");
inline const QString LongTimeFormat = QStringLiteral("hh:nn");

} // namespace FormatSettings
