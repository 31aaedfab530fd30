#pragma once

#include "platform/ProgramFiles.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// The whole content of the file at path, or nothing when it cannot be read.
QByteArray readAll(const QString& path);

// A fresh installation in a temporary directory, laid out as the build lays it out: the
// seed statConf.txt, an empty dateStamps.txt, the output directory and, on request, the empty
// player database.
class TestInstallation
{
public:
    TestInstallation();

    const ProgramFiles& files() const { return m_files; }
    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    void createDatabase() const;
    void writeFile(const QString& name, const QByteArray& content) const;
    QByteArray readFile(const QString& name) const { return readAll(path(name)); }

private:
    QTemporaryDir m_dir;
    ProgramFiles m_files;
};
