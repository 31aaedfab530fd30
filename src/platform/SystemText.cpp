#include "SystemText.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace SystemText {

#ifdef _WIN32

std::optional<QByteArray> encodeIn(unsigned codePage, QStringView text)
{
    if (text.isEmpty())
        return QByteArray();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = int(text.size());
    // With UTF-8 as the ANSI code page (a Windows option) only invalid text cannot be stored,
    // and that conversion takes neither best-fit flags nor a default character.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* defaultUsed = utf8 ? nullptr : &usedDefault;
    const int size =
        WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, defaultUsed);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(codePage, flags, wide, length, bytes.data(), size, nullptr, defaultUsed);
    return usedDefault ? std::nullopt : std::optional<QByteArray>(bytes);
}

bool readsAsTextIn(unsigned codePage, QByteArrayView content)
{
    // Every byte means something in a code page of single bytes; UTF-8 refuses invalid ones.
    return codePage != CP_UTF8 || content.isEmpty() ||
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, content.data(), int(content.size()),
                               nullptr, 0) > 0;
}

QString decodeIn(unsigned codePage, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()),
                        reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

std::optional<QByteArray> encode(QStringView text) { return encodeIn(GetACP(), text); }
bool readsAsSystemText(QByteArrayView content) { return readsAsTextIn(GetACP(), content); }
QString decode(QByteArrayView bytes) { return decodeIn(GetACP(), bytes); }

#else

std::optional<QByteArray> encode(QStringView text)
{
    // Stateless: a lone surrogate at the end is an error, not the start of a pair to come.
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) // a lone surrogate
        return std::nullopt;
    return bytes;
}

bool readsAsSystemText(QByteArrayView content)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(content); // the decoding runs when it becomes a QString
    return !decoder.hasError();
}

QString decode(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

#endif

} // namespace SystemText
