#pragma once

#include <QByteArray>
#include <QString>

// The 8-bit code page of the program's text files. Every byte decodes to one character;
// a character the code page cannot hold encodes as '?'.
namespace Windows1252 {
QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);
// As encode, but a character the code page cannot hold becomes an HTML numeric character
// reference (&#322; for U+0142), so that a page shows it as it is.
QByteArray encodeHtml(QStringView text);
} // namespace Windows1252
