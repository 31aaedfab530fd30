#include "FileOperations.h"

#include "Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace FileOperations {
namespace {

QString describe(const QString& what, const QString& path)
{
    return QStringLiteral("%1 (%2)").arg(what, QDir::toNativeSeparators(path));
}

#ifdef _WIN32
// The path as the file functions take it past 260 characters: absolute, "\\?\" before it.
std::wstring extendedPath(const QString& path)
{
    const QString native = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (native.size() < MAX_PATH || native.startsWith(QLatin1String("\\\\")))
        return native.toStdWString();
    return (QStringLiteral("\\\\?\\") + native).toStdWString();
}
#endif

} // namespace

#ifdef _WIN32
QString systemMessage(unsigned long error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString reason = QString::fromWCharArray(text, int(length)).trimmed();
    LocalFree(text);
    return reason;
}
#endif

Failure failureOf(const QFileDevice& file, const QString& path, QIODevice::OpenMode intended)
{
    const QFileInfo info(path);
    const bool writing = intended & QIODevice::WriteOnly;
    if (!info.dir().exists())
        return {PathNotFound, describe(QStringLiteral("Path not found"), path)};
    if (info.isDir())
        return {PathFileAccessError, describe(QStringLiteral("Path/File access error"), path)};
    if (!writing && !info.exists())
        return {FileNotFound, describe(QStringLiteral("File not found"), path)};
    const QString reason = file.errorString();
    const auto withReason = [&](const QString& what) {
        return reason.isEmpty() || reason.compare(what, Qt::CaseInsensitive) == 0
                   ? describe(what, path)
                   : describe(what + QStringLiteral(": ") + reason, path);
    };
    if (file.error() == QFileDevice::ResourceError)
        return {DiskFull, withReason(QStringLiteral("Disk full"))};
    const bool refused = writing ? (info.exists() ? !info.isWritable()
                                                  : !QFileInfo(info.absolutePath()).isWritable())
                                 : !info.isReadable();
    if (refused || file.error() == QFileDevice::OpenError ||
        file.error() == QFileDevice::PermissionsError)
        return {PermissionDenied, withReason(QStringLiteral("Permission denied"))};
    return {DeviceIOError, withReason(QStringLiteral("Device I/O error"))};
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
        throw failureOf(in, source, QIODevice::ReadOnly);
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        throw failureOf(out, destination, QIODevice::WriteOnly);
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            throw failureOf(in, source, QIODevice::ReadOnly);
        if (n == 0)
            break;
        if (out.write(buffer, n) != n)
            throw failureOf(out, destination, QIODevice::WriteOnly);
    }
    if (!out.commit())
        throw failureOf(out, destination, QIODevice::WriteOnly);
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
    // A missing source is found out when the move fails, rather than asked first.
    const auto missingSource = [&] {
        return Failure(FileNotFound, describe(QStringLiteral("File not found"), source));
    };
#ifdef _WIN32
    // One replacing move: the destination is never missing, whatever fails. A scanner or a
    // backup tool that holds either file for a moment is waited for, up to about two seconds.
    const std::wstring from = extendedPath(source), to = extendedPath(destination);
    DWORD error = ERROR_SUCCESS;
    for (int wait = 15;; wait *= 2) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return;
        error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                          error == ERROR_LOCK_VIOLATION;
        if (!held || wait > 960)
            break;
        Sleep(DWORD(wait));
    }
    if (!fileexists(source))
        throw missingSource();
    throw Failure(PermissionDenied,
                  describe(QStringLiteral("Permission denied: ") + systemMessage(error), destination));
#else
    if (std::rename(QFile::encodeName(source).constData(),
                    QFile::encodeName(destination).constData()) != 0) {
        if (errno == ENOENT && !fileexists(source))
            throw missingSource();
        throw Failure(PermissionDenied,
                      describe(QStringLiteral("Permission denied: ") +
                                   QString::fromLocal8Bit(std::strerror(errno)),
                               destination));
    }
    syncFolderOf(destination);
#endif
}

void syncFolderOf(const QString& path)
{
#ifndef _WIN32
    const int directory = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
#else
    Q_UNUSED(path);
#endif
}

} // namespace FileOperations
