#include "TransferProgress.h"

#include <QLoggingCategory>

#include <curl/curl.h>

Q_DECLARE_LOGGING_CATEGORY(lcFtp)

namespace {

TransferProgress& progressOf(void* pointer) { return *static_cast<TransferProgress*>(pointer); }

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
    TransferProgress& progress = progressOf(userptr);
    const QByteArrayView line(data, qsizetype(size));
    // libcurl's own account of the connection (never the commands, which hold the password).
    if (type == CURLINFO_TEXT)
        qCDebug(lcFtp).noquote() << line.trimmed();
    if (type == CURLINFO_TEXT && line.startsWith("Connected to "))
        progress.reach(4);
    else if (type == CURLINFO_HEADER_OUT && line.startsWith("USER "))
        progress.loggedIn = true;
    else if (type == CURLINFO_HEADER_OUT && line.startsWith("STOR "))
        progress.reach(5);
    else if (type == CURLINFO_HEADER_IN && progress.last >= 6)
        progress.reach(7);
    return 0;
}

size_t onRead(char* buffer, size_t size, size_t count, void* userdata)
{
    TransferProgress& progress = progressOf(userdata);
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

} // namespace

void TransferProgress::follow(CURL* curl)
{
    curl_easy_setopt(curl, CURLOPT_RESOLVER_START_FUNCTION, onResolverStart);
    curl_easy_setopt(curl, CURLOPT_RESOLVER_START_DATA, this);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, onSocketOptions);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, onRead);
    curl_easy_setopt(curl, CURLOPT_READDATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onTransferInfo);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
}
