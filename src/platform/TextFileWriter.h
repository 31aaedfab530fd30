#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>

// Writes a whole text file at once in the 8-bit code page, every line ended by CR LF.
// The file is written to a temporary file beside it and renamed over the old one only when
// complete, so a crash or a full disk never leaves half a file.
namespace TextFileWriter {

void writeLines(const QString& path, const QStringList& lines);

// As writeLines, but in the system's own text encoding (see SystemText), and the file is
// readable and writable by its owner only (see OwnerOnly). A line
// with a character the encoding cannot hold fails with code 5, and the file stays as it was.
void writePrivateLines(const QString& path, const QStringList& lines);

} // namespace TextFileWriter
