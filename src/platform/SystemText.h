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

// Whether a whole file's bytes read as the system's text. On Linux a file that is not valid
// UTF-8 came from a Windows machine and is read as Windows-1252 instead.
bool readsAsSystemText(QByteArrayView content);

// Decodes bytes of a file for which readsAsSystemText answered true.
QString decode(QByteArrayView bytes);

} // namespace SystemText
