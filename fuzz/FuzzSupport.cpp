#include "FuzzSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

QString writeInput(const QString& name, const uint8_t* data, size_t size)
{
    static const bool shm = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    static const QTemporaryDir dir(shm ? QStringLiteral("/dev/shm/tallyvane-fuzz-XXXXXX")
                                       : QString());
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
    return file.fileName();
}
