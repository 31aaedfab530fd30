#include "FtpTransfer.h"

#include "platform/Failure.h"
#include "platform/FileOperations.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLoggingCategory>
#include <QUrl>

#include <curl/curl.h>

#include <chrono>
#include <future>
#include <memory>

Q_LOGGING_CATEGORY(lcFtp, "tallyvane.ftp", QtWarningMsg)

namespace {

using Ask = std::function<bool(const ServerIdentity&)>;

// What the libcurl callbacks of one PUT share. Runs on the worker thread only.
struct PutProgress
{
    std::function<void(int)> report;
    const std::atomic<bool>* abandon = nullptr;
    QFile* file = nullptr;
    qint64 size = 0;
    qint64 sent = 0;
    int last = 0;
    // The pin of the TLS server's public key, as libcurl reports it while checking a pin.
    QByteArray serverPin;

    // States only move forward: callbacks that fire again for the data connection, for a
    // second connection, or a step that libcurl skips, never send the status back.
    void reach(int state)
    {
        if (state > last) {
            last = state;
            report(state);
        }
    }

    void rewind()
    {
        file->seek(0);
        sent = 0;
    }
};

// What the SSH host key check needs. Runs on the worker thread only.
struct HostKeyCheck
{
    const KnownServers* known = nullptr;
    QString host;
    quint16 port = 0;
    Ask ask;
    bool trustedNow = false;
};

PutProgress& progressOf(void* pointer) { return *static_cast<PutProgress*>(pointer); }

QString fingerprintOf(const QByteArray& sha256)
{
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(sha256.toBase64(QByteArray::OmitTrailingEquals));
}

// A TLS server known by the pin of its public key, "sha256//" and Base64.
ServerIdentity tlsIdentity(const QString& host, quint16 port, const QByteArray& pin, bool changed)
{
    return {FtpProtocol::FtpOverTls, host, port, fingerprintOf(QByteArray::fromBase64(pin.mid(8))),
            pin, changed};
}

int onResolverStart(void*, void*, void* userdata)
{
    progressOf(userdata).reach(1);
    return 0;
}

curl_socket_t onOpenSocket(void* clientp, curlsocktype, curl_sockaddr* address)
{
    progressOf(clientp).reach(2);
    return socket(address->family, address->socktype, address->protocol);
}

int onSocketOptions(void* clientp, curl_socket_t, curlsocktype)
{
    progressOf(clientp).reach(3);
    return CURL_SOCKOPT_OK;
}

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* userptr)
{
    PutProgress& progress = progressOf(userptr);
    const QByteArrayView line(data, qsizetype(size));
    static constexpr QByteArrayView pinLabel = " public key hash: ";
    // libcurl's own account of the connection (never the commands, which hold the password).
    if (type == CURLINFO_TEXT)
        qCDebug(lcFtp).noquote() << line.trimmed();
    if (type == CURLINFO_TEXT && line.startsWith("Connected to "))
        progress.reach(4);
    else if (type == CURLINFO_TEXT && line.startsWith(pinLabel))
        progress.serverPin = line.sliced(pinLabel.size()).trimmed().toByteArray();
    else if (type == CURLINFO_HEADER_OUT && line.startsWith("STOR "))
        progress.reach(5);
    else if (type == CURLINFO_HEADER_IN && progress.last >= 6)
        progress.reach(7);
    return 0;
}

size_t onRead(char* buffer, size_t size, size_t count, void* userdata)
{
    PutProgress& progress = progressOf(userdata);
    progress.reach(5);
    const qint64 n = progress.file->read(buffer, qint64(size * count));
    if (n < 0)
        return CURL_READFUNC_ABORT;
    progress.sent += n;
    if (progress.sent >= progress.size)
        progress.reach(6);
    return size_t(n);
}

int onTransferInfo(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return progressOf(clientp).abandon->load() ? 1 : 0;
}

int onHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch, void* clientp)
{
    HostKeyCheck& check = *static_cast<HostKeyCheck*>(clientp);
    const QByteArray key = found->len ? QByteArray(found->key, qsizetype(found->len))
                                      : QByteArray::fromBase64(found->key);
    ServerIdentity identity{FtpProtocol::Sftp, check.host, check.port,
                            fingerprintOf(QCryptographicHash::hash(key, QCryptographicHash::Sha256)),
                            key};
    KnownServers::Match match = KnownServers::Match::Unknown;
    try {
        match = check.known->sshHostKey(check.host, check.port, key);
    } catch (const Failure&) {
        return CURLKHSTAT_REJECT;
    }
    switch (match) {
    case KnownServers::Match::Same:
        return CURLKHSTAT_FINE;
    case KnownServers::Match::Changed:
        identity.changed = true;
        check.ask(identity);
        return CURLKHSTAT_REJECT;
    case KnownServers::Match::Unknown:
        break;
    }
    check.trustedNow = check.ask(identity);
    return check.trustedNow ? CURLKHSTAT_FINE : CURLKHSTAT_REJECT;
}

// Commands for the server, alive as long as libcurl may send them.
struct CommandList
{
    curl_slist* list = nullptr;
    explicit CommandList(const QList<QByteArray>& commands)
    {
        for (const QByteArray& command : commands)
            list = curl_slist_append(list, command.constData());
    }
    ~CommandList() { curl_slist_free_all(list); }
    CommandList(const CommandList&) = delete;
    CommandList& operator=(const CommandList&) = delete;
};

// Runs commands alone, without a transfer, on the connection the handle holds or a new one.
CURLcode runCommands(CURL* curl, const QByteArray& url, const QList<QByteArray>& commands)
{
    const CommandList list(commands);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_QUOTE, list.list);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    return result;
}

// Verifies the certificate against the system's trust store, or, with a pin, accepts only
// the server whose public key it names. libcurl checks either before it logs in. A pin that
// this libcurl cannot check fails, and leaves the certificate checked.
CURLcode trustTls(CURL* curl, const QByteArray& pin)
{
    const CURLcode pinned =
        curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, pin.isEmpty() ? nullptr : pin.constData());
    const long verify = pin.isEmpty() || pinned != CURLE_OK ? 1L : 0L;
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, verify);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, verify * 2);
    return pinned;
}

// A name beside the remote file, hidden: ".<name><suffix>"; the remote path itself when it names
// no file.
QString besidePathOf(const QString& remote, const QString& suffix)
{
    const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));
    const QString name = remote.mid(slash + 1);
    return name.isEmpty() ? remote : remote.left(slash + 1) + QLatin1Char('.') + name + suffix;
}

// Where the upload goes until it is complete.
QString partialPathOf(const QString& remote) { return besidePathOf(remote, QStringLiteral(".part")); }
// Where the old page waits while the new one takes its name.
QString asidePathOf(const QString& remote) { return besidePathOf(remote, QStringLiteral(".old")); }

// A path as libcurl's SFTP commands take it: in double quotes, with \ and " escaped.
QByteArray sftpQuoted(const QString& path)
{
    QByteArray quoted = path.toUtf8();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

Failure busyFailure()
{
    return Failure(FtpTransfer::StillExecuting,
                   QStringLiteral("Still executing last request: the FTP transfer is busy"));
}

// A pin no key has; checking it makes libcurl report the server's own pin and stop before
// it logs in.
const QByteArray unmatchablePin = "sha256//" + QByteArray(43, 'A') + '=';

} // namespace

// One PUT, prepared on the owner's thread for the worker.
struct FtpTransfer::Request
{
    FtpProtocol protocol = FtpProtocol::Ftp;
    QString host;
    quint16 port = 0;
    QByteArray uploadUrl;  // the temporary file
    QByteArray folderUrl;  // where commands run on their own
    QList<QByteArray> replace;            // rename the temporary file over the remote one
    QList<QByteArray> replaceByMovingAside;  // the same, for servers that refuse to rename over
    QList<QByteArray> restore;  // after that failed half-way: the old page back, the upload gone
    QList<QByteArray> removePartial;
    QByteArray userName;
    QByteArray password;
    long timeoutSeconds = 60;
    QString localFile;
    QByteArray tlsPin;
    KnownServers knownServers{QString(), QString()};
};

FtpTransfer::FtpTransfer(QObject* parent) : QObject(parent) {}

FtpTransfer::~FtpTransfer()
{
    m_abandon = true;
    joinWorker();
}

void FtpTransfer::refuseWhileBusy() const
{
    if (m_busy)
        throw busyFailure();
}

void FtpTransfer::setUrl(const QString& url)
{
    refuseWhileBusy();
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("ftp") || parsed.host().isEmpty())
        throw Failure(InvalidUrl, QStringLiteral("URL is malformed (%1)").arg(url));
    m_url = url;
}

void FtpTransfer::setUserName(const QString& userName)
{
    refuseWhileBusy();
    m_userName = userName;
}

void FtpTransfer::setPassword(const QString& password)
{
    refuseWhileBusy();
    m_password = password;
}

void FtpTransfer::setPort(quint16 port)
{
    refuseWhileBusy();
    m_port = port;
}

void FtpTransfer::setProtocol(FtpProtocol protocol)
{
    refuseWhileBusy();
    m_protocol = protocol;
}

void FtpTransfer::setKnownServers(const KnownServers& servers)
{
    refuseWhileBusy();
    m_knownServers = servers;
}

void FtpTransfer::setTrustCheck(TrustCheck check)
{
    refuseWhileBusy();
    m_trustCheck = std::move(check);
}

void FtpTransfer::setRequestTimeout(int seconds)
{
    refuseWhileBusy();
    m_timeoutSeconds = seconds;
}

void FtpTransfer::execute(const QString& operation)
{
    refuseWhileBusy();
    const qsizetype blank = operation.indexOf(QLatin1Char(' '));
    const QString command = operation.left(blank < 0 ? operation.size() : blank);
    if (command.compare(QLatin1String("CLOSE"), Qt::CaseInsensitive) == 0 && blank < 0) {
        // The last PUT has ended its connection; only its finished thread is left to collect.
        joinWorker();
        return;
    }
    if (command.compare(QLatin1String("PUT"), Qt::CaseInsensitive) == 0 && blank >= 0) {
        startPut(operation.mid(blank + 1));
        return;
    }
    throw Failure(InvalidCommand, QStringLiteral("Invalid command (%1)").arg(operation));
}

void FtpTransfer::startPut(const QString& arguments)
{
    if (m_url.isEmpty())
        throw Failure(InvalidUrl, QStringLiteral("URL is malformed ()"));

    // The local path may hold blanks itself: it ends at the first blank before which an
    // existing file is named, and the rest is the remote path.
    Request request;
    for (qsizetype i = arguments.indexOf(QLatin1Char(' ')); i >= 0;
         i = arguments.indexOf(QLatin1Char(' '), i + 1)) {
        if (FileOperations::fileexists(arguments.left(i))) {
            request.localFile = arguments.left(i);
            break;
        }
    }
    QString remote;
    if (!request.localFile.isEmpty())
        remote = arguments.mid(request.localFile.size() + 1);
    else if (FileOperations::fileexists(arguments))
        request.localFile = arguments;
    else
        throw Failure(FileNotFound, QStringLiteral("File not found (%1)").arg(arguments));
    // The remote path goes into commands on the control connection, where a line end would
    // start a command of its own.
    for (const QChar c : remote) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            throw Failure(InvalidCommand,
                          QStringLiteral("Invalid command: the remote path holds a control character"));
    }

    const bool sftp = m_protocol == FtpProtocol::Sftp;
    QUrl server(m_url);
    server.setScheme(QLatin1String(sftp ? "sftp" : "ftp"));
    server.setUserInfo(QString());
    server.setPath(QString());
    server.setQuery(QString());
    server.setFragment(QString());
    if (server.port() < 0)
        server.setPort(m_port);
    request.protocol = m_protocol;
    request.host = server.host();
    request.port = quint16(server.port());

    // An FTP path is sent as given, so one that begins with "/" is absolute on the server; an
    // SFTP path that does not is taken from the login directory, as with FTP.
    const QString partial = partialPathOf(remote);
    const QByteArray base = server.toString(QUrl::FullyEncoded).toUtf8();
    const QByteArray prefix = !sftp ? "/" : remote.startsWith(QLatin1Char('/')) ? "" : "/~/";
    request.uploadUrl = base + prefix + QUrl::toPercentEncoding(partial, "/");
    request.folderUrl = base + (sftp ? "/~/" : "/");
    if (partial != remote) {
        const auto path = [sftp](const QString& name) { return sftp ? sftpQuoted(name) : name.toUtf8(); };
        const auto rename = [sftp](const QByteArray& from, const QByteArray& to, bool mayFail) {
            const QByteArray star = mayFail ? "*" : "";
            return sftp ? QList<QByteArray>{star + "rename " + from + ' ' + to}
                        : QList<QByteArray>{star + "RNFR " + from, star + "RNTO " + to};
        };
        const QByteArray remove = sftp ? "*rm " : "*DELE ";
        const QByteArray page = path(remote), upload = path(partial), aside = path(asidePathOf(remote));
        request.replace = rename(upload, page, false);
        // The old page is moved aside rather than removed, so that it can come back.
        request.replaceByMovingAside = QList<QByteArray>{remove + aside} + rename(page, aside, true) +
                                       rename(upload, page, false) + QList<QByteArray>{remove + aside};
        request.restore = rename(aside, page, true) + QList<QByteArray>{remove + upload};
        request.removePartial = {remove + upload};
    }
    request.userName = m_userName.toUtf8();
    request.password = m_password.toUtf8();
    request.timeoutSeconds = m_timeoutSeconds;
    request.knownServers = m_knownServers;
    if (m_protocol != FtpProtocol::Ftp)
        m_knownServers.ensureReadable();
    if (m_protocol == FtpProtocol::FtpOverTls)
        request.tlsPin = m_knownServers.tlsPin(request.host, request.port);

    joinWorker();
    m_busy = true;
    m_worker = std::thread([this, request] { runPut(request); });
}

void FtpTransfer::runPut(const Request& request)
{
    QFile file(request.localFile);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFtp) << "cannot read" << request.localFile << file.errorString();
        post(11, true);
        return;
    }

    PutProgress progress;
    progress.report = [this](int state) { post(state, false); };
    progress.abandon = &m_abandon;
    progress.file = &file;
    progress.size = file.size();
    const Ask ask = [this](const ServerIdentity& identity) { return askOwner(identity); };
    HostKeyCheck hostKey{&request.knownServers, request.host, request.port, ask};

    CURL* curl = curl_easy_init();
    if (!curl) {
        post(11, true);
        return;
    }
    char errorText[CURL_ERROR_SIZE] = {};
    const long timeout = request.timeoutSeconds;
    const QByteArray knownHosts = QFile::encodeName(request.knownServers.knownHostsFile());
    const CommandList replace(request.replace);

    curl_easy_setopt(curl, CURLOPT_URL, request.uploadUrl.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR,
                     request.protocol == FtpProtocol::Sftp ? "sftp" : "ftp");
    curl_easy_setopt(curl, CURLOPT_USERNAME, request.userName.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(progress.size));
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, replace.list);
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    // The request time-out: connecting, waiting for a reply and a stalled upload each give up
    // after it; a slow but moving upload goes on.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeout);
    if (request.protocol == FtpProtocol::FtpOverTls) {
        // Control and data connections both, or no transfer at all.
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
#ifdef _WIN32
        // The certificates this Windows trusts, from its own store.
        curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_NATIVE_CA));
#endif
    }
    if (request.protocol == FtpProtocol::Sftp) {
        curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES,
                         long(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        // libcurl checks host keys only with a known_hosts file; the check itself is ours.
        curl_easy_setopt(curl, CURLOPT_SSH_KNOWNHOSTS, knownHosts.constData());
        curl_easy_setopt(curl, CURLOPT_SSH_KEYFUNCTION, onHostKey);
        curl_easy_setopt(curl, CURLOPT_SSH_KEYDATA, &hostKey);
    }

    curl_easy_setopt(curl, CURLOPT_RESOLVER_START_FUNCTION, onResolverStart);
    curl_easy_setopt(curl, CURLOPT_RESOLVER_START_DATA, &progress);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &progress);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, onSocketOptions);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTDATA, &progress);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &progress);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, onRead);
    curl_easy_setopt(curl, CURLOPT_READDATA, &progress);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onTransferInfo);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);

    const auto perform = [&] {
        progress.rewind();
        return curl_easy_perform(curl);
    };
    CURLcode result = CURLE_OK;
    if (request.protocol != FtpProtocol::FtpOverTls) {
        result = perform();
        // A server met for the first time may have dropped the connection, or libcurl given up
        // on it, while the user read the question.
        if ((result == CURLE_OPERATION_TIMEDOUT || result == CURLE_SSH) && hostKey.trustedNow &&
            progress.last < 5 && !m_abandon)
            result = perform();
    } else if (!request.tlsPin.isEmpty()) {
        result = trustTls(curl, request.tlsPin);
        if (result == CURLE_OK)
            result = perform();
        if (result == CURLE_SSL_PINNEDPUBKEYNOTMATCH && !progress.serverPin.isEmpty())
            ask(tlsIdentity(request.host, request.port, progress.serverPin, true));
    } else {
        trustTls(curl, {});
        result = perform();
        if (result == CURLE_PEER_FAILED_VERIFICATION && !m_abandon &&
            trustTls(curl, unmatchablePin) == CURLE_OK) {
            // Learn the server's key without logging in, and put it to the user.
            perform();
            const ServerIdentity identity = tlsIdentity(request.host, request.port, progress.serverPin, false);
            if (progress.serverPin.startsWith("sha256//") && !m_abandon && ask(identity)) {
                result = trustTls(curl, identity.key);
                if (result == CURLE_OK)
                    result = perform();
            }
        }
    }

    if (result == CURLE_QUOTE_ERROR && !m_abandon) {
        // The file arrived, but the server would not rename it over the old one.
        result = runCommands(curl, request.folderUrl, request.replaceByMovingAside);
        if (result != CURLE_OK)
            runCommands(curl, request.folderUrl, request.restore);
    } else if (result != CURLE_OK && progress.last >= 5 && !m_abandon) {
        runCommands(curl, request.folderUrl, request.removePartial);
    }

    if (m_abandon) {
        curl_easy_cleanup(curl);
        return;
    }
    const bool connected = progress.last >= 4;
    // The response to the upload is not a step of its own in every protocol.
    if (result == CURLE_OK)
        progress.reach(7);
    progress.reach(8);
    if (result != CURLE_OK)
        qCWarning(lcFtp).noquote() << "upload to" << request.uploadUrl << "failed:"
                                   << (errorText[0] ? errorText : curl_easy_strerror(result));
    // Cleaning up the handle sends QUIT and closes the control connection.
    if (connected)
        post(9, false);
    curl_easy_cleanup(curl);
    if (connected)
        post(10, false);
    post(result == CURLE_OK ? 12 : 11, true);
}

bool FtpTransfer::askOwner(const ServerIdentity& identity)
{
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> answered = answer->get_future();
    QMetaObject::invokeMethod(
        this,
        [this, identity, answer] { answer->set_value(!m_abandon && m_trustCheck && m_trustCheck(identity)); },
        Qt::QueuedConnection);
    // The owner may be destroying the transfer rather than answering.
    while (answered.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (m_abandon)
            return false;
    }
    return answered.get();
}

void FtpTransfer::post(int state, bool final)
{
    if (m_abandon)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, state, final] {
            if (final)
                m_busy = false;
            emit stateChanged(state);
        },
        Qt::QueuedConnection);
}

void FtpTransfer::joinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}
