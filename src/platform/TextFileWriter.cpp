#include "TextFileWriter.h"

#include "FileOperations.h"
#include "Failure.h"
#include "Windows1252.h"

#include <QSaveFile>

namespace TextFileWriter {
namespace {

void write(const QString& path, const QStringList& lines, bool ownerOnly)
{
    QByteArray content;
    for (const QString& line : lines) {
        content += Windows1252::encode(line);
        content += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
    if (ownerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(content) != content.size())
        throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
    if (!file.commit())
        throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
}

} // namespace

void writeLines(const QString& path, const QStringList& lines) { write(path, lines, false); }
void writePrivateLines(const QString& path, const QStringList& lines) { write(path, lines, true); }

} // namespace TextFileWriter
