#include "FtpTransfer.h"

#include "platform/Failure.h"
#include "platform/FileOperations.h"

#include <QFile>
#include <QLoggingCategory>
#include <QUrl>

#include <curl/curl.h>

#include <functional>

Q_LOGGING_CATEGORY(lcFtp, "tallyvane.ftp", QtWarningMsg)

namespace {

// What the libcurl callbacks of one PUT share. Runs on the worker thread only.
struct PutProgress
{
    std::function<void(int)> report;
    const std::atomic<bool>* abandon = nullptr;
    QFile* file = nullptr;
    qint64 size = 0;
    qint64 sent = 0;
    int last = 0;

    // States only move forward: callbacks that fire again for the data connection, or a
    // step that libcurl skips, never send the status back.
    void reach(int state)
    {
        if (state > last) {
            last = state;
            report(state);
        }
    }
};

PutProgress& progressOf(void* pointer) { return *static_cast<PutProgress*>(pointer); }

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
    if (type == CURLINFO_TEXT && line.startsWith("Connected to "))
        progress.reach(4);
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

Failure busyFailure()
{
    return Failure(FtpTransfer::StillExecuting,
                   QStringLiteral("Still executing last request: the FTP transfer is busy"));
}

} // namespace

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

    QUrl server(m_url);
    server.setUserInfo(QString());
    server.setPath(QString());
    server.setQuery(QString());
    server.setFragment(QString());
    if (server.port() < 0)
        server.setPort(m_port);
    // The remote path is sent as given; one that begins with "/" is absolute on the server.
    request.url = server.toString(QUrl::FullyEncoded) + QLatin1Char('/') +
                  QString::fromLatin1(QUrl::toPercentEncoding(remote, "/"));
    request.userName = m_userName;
    request.password = m_password;
    request.timeoutSeconds = m_timeoutSeconds;

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

    CURL* curl = curl_easy_init();
    if (!curl) {
        post(11, true);
        return;
    }
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray url = request.url.toUtf8();
    const QByteArray userName = request.userName.toUtf8();
    const QByteArray password = request.password.toUtf8();
    const long timeout = request.timeoutSeconds;

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_USERNAME, userName.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(progress.size));
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    // The request time-out: connecting, waiting for a reply and a stalled upload each give up
    // after it; a slow but moving upload goes on.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeout);

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

    const CURLcode result = curl_easy_perform(curl);
    if (m_abandon) {
        curl_easy_cleanup(curl);
        return;
    }
    const bool connected = progress.last >= 4;
    progress.reach(8);
    if (result != CURLE_OK)
        qCWarning(lcFtp).noquote() << "upload to" << request.url << "failed:"
                                   << (errorText[0] ? errorText : curl_easy_strerror(result));
    // Cleaning up the handle sends QUIT and closes the control connection.
    if (connected)
        post(9, false);
    curl_easy_cleanup(curl);
    if (connected)
        post(10, false);
    post(result == CURLE_OK ? 12 : 11, true);
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
