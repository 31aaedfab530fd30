#include "FtpTransfer.h"

#include "RemoteReplace.h"
#include "ServerTrust.h"
#include "TransferProgress.h"

#include "platform/Failure.h"
#include "platform/FileOperations.h"

#include <QFile>
#include <QLoggingCategory>
#include <QUrl>

#include <curl/curl.h>

#include <chrono>
#include <future>
#include <memory>

Q_LOGGING_CATEGORY(lcFtp, "tallyvane.ftp", QtWarningMsg)

namespace {

Failure busyFailure()
{
    return Failure(FtpTransfer::StillExecuting,
                   QStringLiteral("Still executing last request: the FTP transfer is busy"));
}

} // namespace

// One PUT, prepared on the owner's thread for the worker.
struct FtpTransfer::Request
{
    FtpProtocol protocol = FtpProtocol::Ftp;
    QString host;
    quint16 port = 0;
    QString remote;
    QByteArray serverUrl;  // scheme, host and port
    QByteArray userName;
    QByteArray password;
    long timeoutSeconds = 60;
    QString localFile;
    KnownServers knownServers{QString(), QString()};
    QString caBundle;
    QString revocations;

    // An FTP path is sent as given, so one that begins with "/" is absolute on the server; an
    // SFTP path that does not is taken from the login directory, as with FTP.
    QByteArray urlOf(const QString& path) const
    {
        const bool sftp = protocol == FtpProtocol::Sftp;
        const QByteArray prefix = !sftp ? "/" : path.startsWith(QLatin1Char('/')) ? "" : "/~/";
        return serverUrl + prefix + QUrl::toPercentEncoding(path, "/");
    }
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

void FtpTransfer::setCertificateAuthorities(const QString& bundle, const QString& revocations)
{
    refuseWhileBusy();
    m_caBundle = bundle;
    m_revocations = revocations;
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
    if (RemoteReplace::holdsControlCharacter(remote))
        throw Failure(InvalidCommand,
                      QStringLiteral("Invalid command: the remote path holds a control character"));

    QUrl server(m_url);
    server.setScheme(QLatin1String(m_protocol == FtpProtocol::Sftp ? "sftp" : "ftp"));
    server.setUserInfo(QString());
    server.setPath(QString());
    server.setQuery(QString());
    server.setFragment(QString());
    if (server.port() < 0)
        server.setPort(m_port);
    request.protocol = m_protocol;
    request.host = server.host();
    request.port = quint16(server.port());
    request.serverUrl = server.toString(QUrl::FullyEncoded).toUtf8();
    request.remote = remote;
    request.userName = m_userName.toUtf8();
    request.password = m_password.toUtf8();
    request.timeoutSeconds = m_timeoutSeconds;
    request.knownServers = m_knownServers;
    request.caBundle = m_caBundle;
    request.revocations = m_revocations;
    if (m_protocol != FtpProtocol::Ftp)
        m_knownServers.ensureReadable();

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

    TransferProgress progress;
    progress.report = [this](int state) { post(state, false); };
    progress.abandon = &m_abandon;
    progress.file = &file;
    progress.size = file.size();
    const RemoteReplace replace(request.remote, request.protocol == FtpProtocol::Sftp);
    ServerTrust trust(request.protocol, request.host, request.port, request.knownServers,
                      [this](const ServerIdentity& identity) { return askOwner(identity); });
    trust.setCertificateAuthorities(request.caBundle, request.revocations);

    CURL* curl = curl_easy_init();
    if (!curl) {
        post(11, true);
        return;
    }
    char errorText[CURL_ERROR_SIZE] = {};
    const long timeout = request.timeoutSeconds;
    const QByteArray uploadUrl = request.urlOf(replace.uploadPath());

    curl_easy_setopt(curl, CURLOPT_URL, uploadUrl.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR,
                     request.protocol == FtpProtocol::Sftp ? "sftp" : "ftp");
    curl_easy_setopt(curl, CURLOPT_USERNAME, request.userName.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(progress.size));
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, replace.afterUpload());
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
        // Control and data connections both, or no transfer at all; "AUTH TLS" first.
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
    }
    if (request.protocol == FtpProtocol::Sftp)
        curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES,
                         long(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));

    progress.follow(curl);

    trust.prepare(curl);
    CURLcode result = CURLE_OK;
    do {
        progress.rewind();
        result = curl_easy_perform(curl);
    } while (!m_abandon &&
             trust.retryAfter(curl, {result, progress.loggedIn, progress.last >= 5}));
    if (!m_abandon) {
        const QByteArray folderUrl = request.urlOf(QString());
        result = CURLcode(replace.finish(curl, folderUrl, result, progress.last >= 5));
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
        qCWarning(lcFtp).noquote() << "upload to" << uploadUrl << "failed:"
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
