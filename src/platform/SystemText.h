#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The system's own 8-bit text encoding, in which the user's settings are stored: UTF-8 on
// Linux, the ANSI code page on Windows.
namespace SystemText {

// The text's bytes, or nothing when a character has no place in the encoding: such a value is
// refused, never stored with a stand-in character.
std::optional<QByteArray> encode(QStringView text);

// Whether a whole file's bytes read as the system's text. Where that is UTF-8 (always on Linux,
// on Windows with its UTF-8 option on), a file that is not valid UTF-8 came from an older
// Windows setting and is read as Windows-1252 instead.
bool readsAsSystemText(QByteArrayView content);

// Decodes bytes of a file for which readsAsSystemText answered true.
QString decode(QByteArrayView bytes);

#ifdef _WIN32
// The same in a code page named explicitly (the ANSI code page, GetACP(), for the three above).
std::optional<QByteArray> encodeIn(unsigned codePage, QStringView text);
bool readsAsTextIn(unsigned codePage, QByteArrayView content);
QString decodeIn(unsigned codePage, QByteArrayView bytes);
#endif

} // namespace SystemText
