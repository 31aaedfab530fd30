#pragma once

#include <QString>

// The files of an installation. They all live in the program directory, the directory that
// holds the executable.
class ProgramFiles
{
public:
    explicit ProgramFiles(QString directory);

    // The directory of the running executable.
    static ProgramFiles ofRunningProgram();

    const QString& directory() const { return m_directory; }
    QString configuration() const { return file(QStringLiteral("statConf.txt")); }
    QString stamps() const { return file(QStringLiteral("dateStamps.txt")); }
    // Who the ranking page lists (see RankingRules); beside the configuration.
    QString rankingRules() const { return file(QStringLiteral("ranking.txt")); }
    QString database() const { return file(QStringLiteral("tallyvane.mdb")); }
    QString compactedDatabase() const { return file(QStringLiteral("tempdb.mdb")); }
    QString outputDirectory() const { return file(QStringLiteral("output")); }
    QString report() const { return file(QStringLiteral("output/tallyvane.htm")); }
    // The copy of the report that an upload sends; it stays in the program directory.
    QString uploadCopy() const { return file(QStringLiteral("tv.htm")); }
    // Servers the user chose to trust: SSH host keys in OpenSSH's format, and the pinned
    // public keys of TLS servers whose certificates the system could not verify.
    QString knownHosts() const { return file(QStringLiteral("known_hosts")); }
    QString knownTlsHosts() const { return file(QStringLiteral("known_tls_hosts")); }
    QString lock() const { return file(QStringLiteral("tallyvane.lock")); }

private:
    QString file(const QString& name) const { return m_directory + QLatin1Char('/') + name; }

    QString m_directory;
};
