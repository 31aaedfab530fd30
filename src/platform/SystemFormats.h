#pragma once

#include <QDateTime>
#include <QString>

// Dates and times in the system's own formats: on Linux the C library's locale formats
// (strftime %X and %x, after QCoreApplication has set the locale), on Windows the user's
// long time and short date.
namespace SystemFormats {
QString timeOfDay(const QDateTime& moment);
QString shortDate(const QDateTime& moment);
// The short date, a space and the long time.
QString generalDate(const QDateTime& moment);
} // namespace SystemFormats
