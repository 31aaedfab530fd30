#include "TextFileWriter.h"

#include "FileOperations.h"
#include "Failure.h"
#include "OwnerOnly.h"
#include "SystemText.h"
#include "Windows1252.h"

#include <QSaveFile>

namespace TextFileWriter {
namespace {

void write(const QString& path, const QStringList& lines, bool settings)
{
    QByteArray content;
    for (const QString& line : lines) {
        if (!settings) {
            content += Windows1252::encode(line);
        } else if (const auto bytes = SystemText::encode(line)) {
            content += *bytes;
        } else {
            throw Failure(InvalidProcedureCall,
                          QStringLiteral("'%1' holds a character the system's text encoding "
                                         "cannot store")
                              .arg(path));
        }
        content += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
    if (settings)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(content) != content.size())
        throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
    if (!file.commit())
        throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
    if (settings)
        OwnerOnly::restrict(path);
    FileOperations::syncFolderOf(path);
}

} // namespace

void writeLines(const QString& path, const QStringList& lines) { write(path, lines, false); }
void writePrivateLines(const QString& path, const QStringList& lines) { write(path, lines, true); }

} // namespace TextFileWriter
