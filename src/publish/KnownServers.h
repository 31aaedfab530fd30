#pragma once

#include "ServerIdentity.h"

#include <QString>

// The servers the user chose to trust, kept in two files of the installation: SSH host keys
// in OpenSSH's known_hosts format (which the SSH library reads itself), and the pinned public
// keys of TLS servers, one "[host]:port sha256//..." line each. A missing file knows no
// server.
class KnownServers
{
public:
    KnownServers(QString knownHostsFile, QString knownTlsHostsFile);

    const QString& knownHostsFile() const { return m_knownHosts; }

    // Fails with the file system's reason when a file exists but cannot be read; the lookups
    // below fail the same way.
    void ensureReadable() const;

    // The pin of a TLS server; empty when it is not known.
    QByteArray tlsPin(const QString& host, quint16 port) const;
    enum class Match { Unknown, Same, Changed };
    // Compares an SSH server's host key with those the known_hosts file holds for it.
    Match sshHostKey(const QString& host, quint16 port, const QByteArray& key) const;

    // Adds the identity to its file, replacing what was known of that server (for TLS) and
    // leaving the rest. Fails with the file system's reason; the file is then unchanged.
    void remember(const ServerIdentity& identity) const;

private:
    QString m_knownHosts;
    QString m_knownTlsHosts;
};
