#include "VirtualStore.h"

#include "FileOperations.h"

#include <QDir>
#include <QFileInfo>

#ifdef _WIN32
#include <windows.h>
#endif

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

QString newerOf(const QString& path, const QString& copy)
{
    const QFileInfo real(path), stored(copy);
    if (!stored.exists())
        return path;
    if (!real.exists())
        return copy;
    return stored.lastModified() > real.lastModified() ? copy : path;
}

QString longPath(const QString& path)
{
#ifdef _WIN32
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD size = GetLongPathNameW(name.c_str(), nullptr, 0);
    if (size == 0) {
        // The file may not exist yet: its folder's long form, and its name.
        const QFileInfo info(path);
        const QString folder = QDir::toNativeSeparators(info.path());
        return folder == QDir::toNativeSeparators(path) || folder == u'.'
                   ? path
                   : longPath(folder) + u'\\' + info.fileName();
    }
    std::wstring buffer(size, L'\0');
    const DWORD written = GetLongPathNameW(name.c_str(), buffer.data(), size);
    if (written == 0 || written >= size)
        return path;
    buffer.resize(written);
    return QString::fromStdWString(buffer);
#else
    return path;
#endif
}

QString gameView(const QString& path)
{
#ifdef _WIN32
    QStringList folders;
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "SystemRoot", "ProgramData"}) {
        const QString folder = qEnvironmentVariable(name);
        if (!folder.isEmpty())
            folders.append(longPath(folder));
    }
    const QString store = qEnvironmentVariable("LOCALAPPDATA");
    const QString copy = copyIn(longPath(slashed(path)),
                                store.isEmpty() ? QString() : store + QStringLiteral("/VirtualStore"),
                                folders);
    if (!copy.isEmpty())
        return QDir::toNativeSeparators(newerOf(path, copy));
#endif
    return path;
}

} // namespace VirtualStore
