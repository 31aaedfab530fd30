#pragma once

#include <QByteArray>
#include <QString>

// The 8-bit code page of the program's text files. Every byte decodes to one character;
// a character the code page cannot hold encodes as '?'.
namespace Windows1252 {
QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);
} // namespace Windows1252
