#include "Numbers.h"

#include "Blanks.h"
#include "Failure.h"

#include <cmath>
#include <limits>

namespace Numbers {
namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Accepts [sign] digits [. digits] [e [sign] digits], with at least one digit in the mantissa.
bool isWellFormed(QStringView t)
{
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == u'+' || t[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(t[i])) {
        ++i;
        ++digits;
    }
    if (i < n && t[i] == u'.') {
        ++i;
        while (i < n && isDigit(t[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-'))
            ++i;
        qsizetype expDigits = 0;
        while (i < n && isDigit(t[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    return i == n;
}

template <typename T> T checkedConvert(double rounded)
{
    if (!std::isfinite(rounded) || rounded < double(std::numeric_limits<T>::min()) ||
        rounded > double(std::numeric_limits<T>::max()))
        throw Failure::overflow();
    return static_cast<T>(rounded);
}

} // namespace

double parse(QStringView text)
{
    const QStringView t = trimBlanks(text);
    if (!isWellFormed(t))
        throw Failure::typeMismatch();
    bool ok = false;
    const double value = t.toString().toDouble(&ok);
    if (!ok && !std::isinf(value))
        throw Failure::typeMismatch();
    if (!std::isfinite(value))
        throw Failure::overflow();
    return value;
}

bool isNumeric(QStringView text)
{
    return isWellFormed(trimBlanks(text));
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode is to nearest, ties to even
}

std::int16_t toInt16(double value) { return checkedConvert<std::int16_t>(roundHalfEven(value)); }
std::int32_t toInt32(double value) { return checkedConvert<std::int32_t>(roundHalfEven(value)); }
std::int16_t floorToInt16(double value) { return checkedConvert<std::int16_t>(std::floor(value)); }

std::int16_t add16(std::int16_t a, std::int16_t b) { return narrow16(std::int32_t(a) + b); }

std::int32_t add32(std::int32_t a, std::int32_t b)
{
    return checkedConvert<std::int32_t>(double(std::int64_t(a) + b));
}

std::int32_t multiply32(std::int32_t a, std::int32_t b)
{
    return checkedConvert<std::int32_t>(double(std::int64_t(a) * b));
}

std::int16_t narrow16(std::int32_t value)
{
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        throw Failure::overflow();
    return static_cast<std::int16_t>(value);
}

QString formatWithSign(long long value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

QString formatPlain(long long value) { return QString::number(value); }

} // namespace Numbers
