#include "FileOperations.h"

#include "Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace FileOperations {
namespace {

QString describe(const QString& what, const QString& path)
{
    return QStringLiteral("%1 (%2)").arg(what, QDir::toNativeSeparators(path));
}

} // namespace

Failure failureOf(const QFileDevice& file, const QString& path)
{
    const QFileInfo info(path);
    if (file.error() == QFileDevice::OpenError || file.error() == QFileDevice::NoError) {
        if (!info.dir().exists())
            return {PathNotFound, describe(QStringLiteral("Path not found"), path)};
        if (info.isDir())
            return {PathFileAccessError, describe(QStringLiteral("Path/File access error"), path)};
        if (!info.exists() && !(file.openMode() & QIODevice::WriteOnly))
            return {FileNotFound, describe(QStringLiteral("File not found"), path)};
    }
    switch (file.error()) {
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
        return {PermissionDenied,
                describe(QStringLiteral("Permission denied: %1").arg(file.errorString()), path)};
    case QFileDevice::ResourceError:
        return {DiskFull, describe(QStringLiteral("Disk full: %1").arg(file.errorString()), path)};
    default:
        return {DeviceIOError,
                describe(QStringLiteral("Device I/O error: %1").arg(file.errorString()), path)};
    }
}

bool fileexists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

void copyfile(const QString& source, const QString& destination)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw failureOf(in, source);
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        throw failureOf(out, destination);
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            throw failureOf(in, source);
        if (n == 0)
            break;
        if (out.write(buffer, n) != n)
            throw failureOf(out, destination);
    }
    if (!out.commit())
        throw failureOf(out, destination);
}

void deletefile(const QString& path)
{
    QFile file(path);
    if (!fileexists(path))
        throw Failure(FileNotFound, describe(QStringLiteral("File not found"), path));
    if (!file.remove())
        throw Failure(PermissionDenied,
                      describe(QStringLiteral("Permission denied: %1").arg(file.errorString()), path));
}

void replacefile(const QString& source, const QString& destination)
{
    if (!fileexists(source))
        throw Failure(FileNotFound, describe(QStringLiteral("File not found"), source));
    // std::rename replaces an existing destination atomically on POSIX; on Windows QFile's
    // rename refuses an existing destination, so the old file goes first there.
#ifdef _WIN32
    if (QFileInfo::exists(destination) && !QFile::remove(destination))
        throw Failure(PermissionDenied, describe(QStringLiteral("Permission denied"), destination));
#endif
    if (std::rename(QFile::encodeName(source).constData(),
                    QFile::encodeName(destination).constData()) != 0)
        throw Failure(PermissionDenied, describe(QStringLiteral("Permission denied"), destination));
}

} // namespace FileOperations
