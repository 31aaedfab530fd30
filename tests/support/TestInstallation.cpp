#include "TestInstallation.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sqlite3.h>
#include <stdexcept>

TestInstallation::TestInstallation() : m_files(m_dir.path())
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary directory");
    QFile::copy(QStringLiteral(TALLYVANE_SEED_DIR "/statConf.txt"), m_files.configuration());
    QFile::copy(QStringLiteral(TALLYVANE_SEED_DIR "/dateStamps.txt"), m_files.stamps());
    QFile(m_files.configuration())
        .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile(m_files.stamps()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QDir(m_dir.path()).mkdir(QStringLiteral("output"));
}

void TestInstallation::writeFile(const QString& name, const QByteArray& content) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        throw std::runtime_error("cannot write " + name.toStdString());
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An empty player database, from the schema file.
void TestInstallation::createDatabase() const
{
    const QByteArray schema = readAll(QStringLiteral(TALLYVANE_SCHEMA_FILE));
    if (schema.isEmpty())
        throw std::runtime_error("cannot read the schema");
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(m_files.database()).constData(), &db) != SQLITE_OK ||
        sqlite3_exec(db, schema.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot create the database");
    }
    sqlite3_close(db);
}
