#include "VirtualStore.h"

#include "FileOperations.h"

#include <QDir>

namespace VirtualStore {
namespace {

// Windows paths with forward slashes, the same on every system, so that the mapping is one.
QString slashed(const QString& path)
{
    return QDir::cleanPath(QString(path).replace(u'\\', u'/'));
}

} // namespace

QString copyIn(const QString& path, const QString& store, const QStringList& redirectedFolders)
{
    const QString file = slashed(path);
    for (const QString& folder : redirectedFolders) {
        const QString root = slashed(folder);
        if (store.isEmpty() || root.size() < 3 || !file.startsWith(root + u'/', Qt::CaseInsensitive))
            continue;
        // The store keeps the path without its drive: C:\Program Files\X -> store\Program Files\X.
        const qsizetype drive = root.indexOf(u'/');
        return slashed(store) + file.mid(drive);
    }
    return {};
}

QString gameView(const QString& path)
{
#ifdef _WIN32
    QStringList folders;
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "SystemRoot", "ProgramData"}) {
        const QString folder = qEnvironmentVariable(name);
        if (!folder.isEmpty())
            folders.append(folder);
    }
    const QString store = qEnvironmentVariable("LOCALAPPDATA");
    const QString copy =
        copyIn(path, store.isEmpty() ? QString() : store + QStringLiteral("/VirtualStore"), folders);
    if (!copy.isEmpty() && FileOperations::fileexists(copy))
        return QDir::toNativeSeparators(copy);
#endif
    return path;
}

} // namespace VirtualStore
