#include "SystemFormats.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace SystemFormats {
namespace {

#ifdef _WIN32
SYSTEMTIME toSystemTime(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    SYSTEMTIME st{};
    st.wYear = WORD(d.year());
    st.wMonth = WORD(d.month());
    st.wDay = WORD(d.day());
    st.wDayOfWeek = WORD(d.dayOfWeek() % 7);
    st.wHour = WORD(t.hour());
    st.wMinute = WORD(t.minute());
    st.wSecond = WORD(t.second());
    return st;
}

QString windowsFormat(const QDateTime& moment, bool time)
{
    const SYSTEMTIME st = toSystemTime(moment);
    wchar_t buffer[128] = {};
    const int n = time ? GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, buffer, 128)
                       : GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr,
                                         buffer, 128, nullptr);
    return n > 0 ? QString::fromWCharArray(buffer, n - 1) : QString();
}
#else
QString strftimeFormat(const QDateTime& moment, const char* format)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    std::tm tm{};
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_wday = d.dayOfWeek() % 7;
    tm.tm_yday = d.dayOfYear() - 1;
    tm.tm_hour = t.hour();
    tm.tm_min = t.minute();
    tm.tm_sec = t.second();
    tm.tm_isdst = -1;
    char buffer[128] = {};
    const size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return QString::fromLocal8Bit(buffer, qsizetype(n));
}
#endif

} // namespace

#ifdef _WIN32
QString timeOfDay(const QDateTime& moment) { return windowsFormat(moment, true); }
QString shortDate(const QDateTime& moment) { return windowsFormat(moment, false); }
#else
QString timeOfDay(const QDateTime& moment) { return strftimeFormat(moment, "%X"); }
QString shortDate(const QDateTime& moment) { return strftimeFormat(moment, "%x"); }
#endif

QString generalDate(const QDateTime& moment)
{
    return shortDate(moment) + QLatin1Char(' ') + timeOfDay(moment);
}

} // namespace SystemFormats
