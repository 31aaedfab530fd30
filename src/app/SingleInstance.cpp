#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryFile>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr int channelTimeoutMilliseconds = 1000;

QString channelNameFor(const QString& directory)
{
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(
        (canonical.isEmpty() ? directory : canonical).toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("tallyvane-") + QString::fromLatin1(hash.toHex().left(24));
}

} // namespace

SingleInstance::SingleInstance(const ProgramFiles& files, QObject* parent)
    : QObject(parent), m_channelName(channelNameFor(files.directory())),
      m_directory(files.directory()), m_lock(files.lock())
{
    // Only a lock whose program is no longer running is stale, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::acquire()
{
    if (!m_lock.tryLock(0)) {
        // A folder that cannot be written is said to be so, also where a lock left behind in
        // it could not be taken over: ask the file system, with a file of our own.
        QTemporaryFile probe(m_directory + QStringLiteral("/tallyvane-XXXXXX"));
        if (!probe.open()) {
            m_folderError = probe.errorString();
            return Outcome::FolderNotWritable;
        }
        if (m_lock.error() == QLockFile::LockFailedError)
            return Outcome::HeldByAnother;
        m_folderError = QStringLiteral("the lock file could not be created");
        return Outcome::FolderNotWritable;
    }
    m_server = new QLocalServer(this);
    // A channel left behind by a program that died would refuse the name.
    QLocalServer::removeServer(m_channelName);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->write("ok");
            socket->flush();
            socket->disconnectFromServer();
            emit activationRequested();
        }
    });
    m_server->listen(m_channelName);
    return Outcome::Acquired;
}

QString SingleInstance::folderNotWritable() const
{
    return QStringLiteral("Tallyvane cannot write to its folder %1: %2.")
        .arg(QDir::toNativeSeparators(m_directory), m_folderError);
}

bool SingleInstance::activateRunningInstance() const
{
#ifdef _WIN32
    // Windows lets a program come to the front only when the one in front allows it: this one,
    // started by the user, grants it to the running copy before asking it to come.
    qint64 pid = 0;
    if (m_lock.getLockInfo(&pid, nullptr, nullptr) && pid > 0)
        AllowSetForegroundWindow(DWORD(pid));
#endif
    QLocalSocket socket;
    socket.connectToServer(m_channelName);
    if (!socket.waitForConnected(channelTimeoutMilliseconds))
        return false;
    return socket.waitForReadyRead(channelTimeoutMilliseconds) && socket.readAll() == "ok";
}
