#pragma once

#include "ServerIdentity.h"

#include <QString>

// The servers the user chose to trust, kept in two files of the installation: SSH host keys
// in OpenSSH's known_hosts format (which the SSH library reads itself), and TLS servers, one
// line each: "[host]:port sha256//..." pins the public key the user accepted, "[host]:port
// verified" says that the server's certificate was verified by an authority. A missing file
// knows no server.
class KnownServers
{
public:
    KnownServers(QString knownHostsFile, QString knownTlsHostsFile);

    const QString& knownHostsFile() const { return m_knownHosts; }

    // Fails with the file system's reason when a file exists but cannot be read; the lookups
    // below fail the same way.
    void ensureReadable() const;

    // The pin of a TLS server; empty when it is not known by a pin.
    QByteArray tlsPin(const QString& host, quint16 port) const;
    // Whether the TLS server's certificate was once verified by an authority.
    bool tlsVerified(const QString& host, quint16 port) const;
    enum class Match { Unknown, Same, Changed };
    // Compares an SSH server's host key with those the known_hosts file holds for it.
    Match sshHostKey(const QString& host, quint16 port, const QByteArray& key) const;
    // Whether the known_hosts file holds any key for the SSH server.
    bool knowsSshServer(const QString& host, quint16 port) const;

    // The type an SSH key blob names ("ssh-ed25519"); empty when it names none.
    static QByteArray sshKeyType(const QByteArray& key);

    // Adds the identity (a new one accepted, or a TLS server verified) to its file, replacing
    // what was known of that server (for TLS) and leaving the rest. Fails with the file
    // system's reason; the file is then unchanged.
    void remember(const ServerIdentity& identity) const;

private:
    // The TLS server's second field: a pin, "verified", or empty.
    QByteArray tlsEntry(const QString& host, quint16 port) const;
    QList<QByteArray> sshEntries(const QString& host, quint16 port) const;

    QString m_knownHosts;
    QString m_knownTlsHosts;
};
