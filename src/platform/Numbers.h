#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>

// Number conversions of the program. A fraction goes to the nearest whole number with
// halves to the even neighbour; a result outside the target width fails with Overflow
// (code 6), never a clipped value; a text that is not a number fails with TypeMismatch (13).
namespace Numbers {

// Reads a decimal number; blanks around it are ignored, a sign, a fraction and an
// exponent are allowed. Anything else (also an empty text) fails with code 13.
double parse(QStringView text);
bool isNumeric(QStringView text);

double roundHalfEven(double value);
std::int16_t toInt16(double value);   // half to even, code 6 outside 16 bits
std::int32_t toInt32(double value);   // half to even, code 6 outside 32 bits
std::int16_t floorToInt16(double value); // rounded down, code 6 outside 16 bits

std::int16_t add16(std::int16_t a, std::int16_t b);
std::int32_t add32(std::int32_t a, std::int32_t b);
std::int32_t multiply32(std::int32_t a, std::int32_t b);
std::int16_t narrow16(std::int32_t value);

// Decimal with a leading blank when not negative (" 300", "-5"), as text files store numbers.
QString formatWithSign(long long value);
// Plain decimal digits with a minus sign when negative ("300", "-5").
QString formatPlain(long long value);

} // namespace Numbers
