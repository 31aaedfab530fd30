#pragma once

#include <QString>
#include <QStringList>

// Windows redirects the writes of a 32-bit program without a manifest, such as the game, from
// protected folders (Program Files, the Windows folder, ProgramData) to a per-user copy under
// %LOCALAPPDATA%\VirtualStore. The game then reads its own files from that copy, while a 64-bit
// program sees the real folder, with no logs or stale ones.
namespace VirtualStore {

// The log as the game last wrote it: of path and its copy in the virtual store, the one written
// last (a game run as administrator writes the real folder, one run as a user the copy), or the
// one that exists. Outside Windows there is no virtual store and path comes back unchanged.
QString gameView(const QString& path);

// Of a file and its copy, the one written last; the one that exists, when only one does.
QString newerOf(const QString& path, const QString& copy);

// The path with every folder's short name (PROGRA~2) in its long form, where Windows knows one;
// anywhere else, and for folders that do not exist, the path as it is.
QString longPath(const QString& path);

// The copy of path in the virtual store at store, when path lies in one of the redirected
// folders; an empty text when it does not. Folders are compared without regard to case or
// separators, as Windows compares them.
QString copyIn(const QString& path, const QString& store, const QStringList& redirectedFolders);

} // namespace VirtualStore
