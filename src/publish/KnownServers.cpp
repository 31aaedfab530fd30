#include "KnownServers.h"

#include "platform/Failure.h"
#include "platform/FileOperations.h"

#include <QFile>
#include <QSaveFile>

namespace {

// A missing file knows no server; one that exists but cannot be read fails, rather than be
// taken for empty and then written over.
QList<QByteArray> readLines(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw FileOperations::failureOf(file, path, QIODevice::ReadOnly);
    QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();
    lines.removeAll(QByteArray());
    return lines;
}

void writeLines(const QString& path, const QList<QByteArray>& lines)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
    for (const QByteArray& line : lines) {
        if (file.write(line + '\n') != line.size() + 1)
            throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
    }
    if (!file.commit())
        throw FileOperations::failureOf(file, path, QIODevice::WriteOnly);
}

// The server as OpenSSH names it: the bare host on the usual port, "[host]:port" elsewhere.
QByteArray sshPattern(const QString& host, quint16 port)
{
    return port == 22 ? host.toUtf8() : "[" + host.toUtf8() + "]:" + QByteArray::number(port);
}

const QByteArray verifiedMark = "verified";

QByteArray tlsPattern(const QString& host, quint16 port)
{
    return "[" + host.toUtf8() + "]:" + QByteArray::number(port);
}

} // namespace

QByteArray KnownServers::sshKeyType(const QByteArray& key)
{
    // A 32-bit big-endian length, then the type's name.
    if (key.size() < 4)
        return {};
    const quint32 length = quint32(quint8(key[0])) << 24 | quint32(quint8(key[1])) << 16 |
                           quint32(quint8(key[2])) << 8 | quint32(quint8(key[3]));
    if (length == 0 || length > quint32(key.size() - 4))
        return {};
    return key.mid(4, qsizetype(length));
}

KnownServers::KnownServers(QString knownHostsFile, QString knownTlsHostsFile)
    : m_knownHosts(std::move(knownHostsFile)), m_knownTlsHosts(std::move(knownTlsHostsFile))
{
}

void KnownServers::ensureReadable() const
{
    readLines(m_knownHosts);
    readLines(m_knownTlsHosts);
}

QByteArray KnownServers::tlsEntry(const QString& host, quint16 port) const
{
    const QByteArray pattern = tlsPattern(host, port);
    for (const QByteArray& line : readLines(m_knownTlsHosts)) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 2 && fields[0] == pattern)
            return fields[1];
    }
    return {};
}

QByteArray KnownServers::tlsPin(const QString& host, quint16 port) const
{
    const QByteArray entry = tlsEntry(host, port);
    return entry.startsWith("sha256//") ? entry : QByteArray();
}

bool KnownServers::tlsVerified(const QString& host, quint16 port) const
{
    return tlsEntry(host, port) == verifiedMark;
}

QList<QByteArray> KnownServers::sshEntries(const QString& host, quint16 port) const
{
    const QByteArray pattern = sshPattern(host, port);
    QList<QByteArray> keys;
    for (const QByteArray& line : readLines(m_knownHosts)) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (!line.startsWith('#') && fields.size() >= 3 && fields[0].split(',').contains(pattern))
            keys.append(QByteArray::fromBase64(fields[2]));
    }
    return keys;
}

KnownServers::Match KnownServers::sshHostKey(const QString& host, quint16 port,
                                             const QByteArray& key) const
{
    const QList<QByteArray> keys = sshEntries(host, port);
    if (keys.contains(key))
        return Match::Same;
    return keys.isEmpty() ? Match::Unknown : Match::Changed;
}

bool KnownServers::knowsSshServer(const QString& host, quint16 port) const
{
    return !sshEntries(host, port).isEmpty();
}

void KnownServers::remember(const ServerIdentity& identity) const
{
    if (identity.protocol == FtpProtocol::Sftp) {
        const QByteArray type = sshKeyType(identity.key);
        if (type.isEmpty())
            throw Failure(InvalidProcedureCall, QStringLiteral("the host key cannot be read"));
        QList<QByteArray> lines = readLines(m_knownHosts);
        lines.append(sshPattern(identity.host, identity.port) + ' ' + type + ' ' +
                     identity.key.toBase64());
        writeLines(m_knownHosts, lines);
        return;
    }
    const QByteArray pattern = tlsPattern(identity.host, identity.port);
    QList<QByteArray> lines = readLines(m_knownTlsHosts);
    lines.removeIf([&](const QByteArray& line) { return line.startsWith(pattern + ' '); });
    const bool verified = identity.standing == ServerIdentity::Standing::Verified;
    lines.append(pattern + ' ' + (verified ? verifiedMark : identity.key));
    writeLines(m_knownTlsHosts, lines);
}
