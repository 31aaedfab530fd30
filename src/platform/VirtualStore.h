#pragma once

#include <QString>
#include <QStringList>

// Windows redirects the writes of a 32-bit program without a manifest, such as the game, from
// protected folders (Program Files, the Windows folder, ProgramData) to a per-user copy under
// %LOCALAPPDATA%\VirtualStore. The game then reads its own files from that copy, while a 64-bit
// program sees the real folder, with no logs or stale ones.
namespace VirtualStore {

// The file the game itself sees at path: its copy in the virtual store when that copy exists,
// otherwise path. Outside Windows there is no virtual store and path comes back unchanged.
QString gameView(const QString& path);

// The copy of path in the virtual store at store, when path lies in one of the redirected
// folders; an empty text when it does not. Folders are compared without regard to case or
// separators, as Windows compares them.
QString copyIn(const QString& path, const QString& store, const QStringList& redirectedFolders);

} // namespace VirtualStore
