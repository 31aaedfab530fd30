#include "Windows1252.h"

namespace Windows1252 {
namespace {

// 0x80 to 0x9F; 0 marks the five bytes the code page leaves undefined, which decode to
// the control character of the same number.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t toUnicode(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F && kHigh[byte - 0x80] != 0)
        return kHigh[byte - 0x80];
    return byte;
}

char toByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == c)
            return char(0x80 + i);
        if (kHigh[i] == 0 && c == 0x80 + i)
            return char(c);
    }
    return '?';
}

} // namespace

QString decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(toUnicode(static_cast<unsigned char>(bytes[i])));
    return text;
}

namespace {

QByteArray encodeWith(QStringView text, bool references)
{
    // One byte a character, written in place; only a character reference makes it longer.
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    qsizetype used = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0x80) { // most of a page
            out[used++] = char(c.unicode());
            continue;
        }
        char32_t codePoint = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            codePoint = QChar::surrogateToUcs4(c, text[++i]);
        const char byte = codePoint > 0xFFFF ? '?' : toByte(char16_t(codePoint));
        if (byte != '?' || !references) {
            out[used++] = byte;
            continue;
        }
        const bool lone = codePoint >= 0xD800 && codePoint <= 0xDFFF; // no character of its own
        const QByteArray reference = "&#" + QByteArray::number(lone ? 0xFFFD : codePoint) + ';';
        bytes.resize(used);
        bytes += reference;
        used = bytes.size();
        bytes.resize(used + text.size() - i - 1);
        out = bytes.data();
    }
    bytes.resize(used);
    return bytes;
}

} // namespace

QByteArray encode(QStringView text) { return encodeWith(text, false); }
QByteArray encodeHtml(QStringView text) { return encodeWith(text, true); }

} // namespace Windows1252
