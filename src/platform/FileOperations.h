#pragma once

#include <QIODevice>
#include <QString>

class Failure;
class QFileDevice;

// Whole-file tests, copies and deletions. Every failure carries the runtime's code and a
// description built from the file system's own error text.
namespace FileOperations {

// True only when a file, not a directory, exists at the path; never fails.
bool fileexists(const QString& path);

// Afterwards the destination holds a byte-for-byte copy of the source, an existing destination
// being replaced in one step. A missing source or an unwritable destination fails.
void copyfile(const QString& source, const QString& destination);

// Afterwards no file exists at the path. A missing file fails with code 53; a file that
// cannot be removed fails with code 70.
void deletefile(const QString& path);

// Replaces the destination by the source in one step (a rename); the source is gone after.
void replacefile(const QString& source, const QString& destination);

#ifdef _WIN32
// Windows' own words for one of its error codes (GetLastError).
QString systemMessage(unsigned long error);
#endif

// Makes a rename into the folder of path durable: until the folder is on disk, a power loss
// can undo it. Windows' file system records renames in its journal, so there it does nothing.
void syncFolderOf(const QString& path);

// The failure that describes what went wrong with a file that could not be opened, read or
// written; intended tells whether it was to be read or written, since a failed open leaves
// the device without a mode.
Failure failureOf(const QFileDevice& file, const QString& path, QIODevice::OpenMode intended);

} // namespace FileOperations
