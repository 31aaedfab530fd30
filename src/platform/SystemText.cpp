#include "SystemText.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace SystemText {

#ifdef _WIN32

std::optional<QByteArray> encode(QStringView text)
{
    if (text.isEmpty())
        return QByteArray();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = int(text.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0,
                                         nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, bytes.data(), size, nullptr,
                        &usedDefault);
    return usedDefault ? std::nullopt : std::optional<QByteArray>(bytes);
}

bool readsAsSystemText(QByteArrayView) { return true; }

QString decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()),
                        reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

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
    const QString text = decoder.decode(content);
    return !decoder.hasError();
}

QString decode(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

#endif

} // namespace SystemText
