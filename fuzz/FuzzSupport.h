#pragma once

#include "platform/Failure.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Writes one input as the named file of a scratch directory that goes when the process ends
// (on a memory file system where there is one), and answers the file's path.
QString writeInput(const QString& name, const uint8_t* data, size_t size);

// For the file at path, which load() reads and writes back: either the first load fails with
// a code, or a second one writes the same text again (and a failure then is a finding).
template <typename Load> void checkRoundTrip(const QString& path, const Load& load)
{
    QFile file(path);
    try {
        load();
    } catch (const Failure&) {
        return;
    }
    const QByteArray first = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.close();
    load();
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != first)
        std::abort();
}
