#include "RemoteReplace.h"

#include <curl/curl.h>

namespace {

// A name beside the remote file, hidden: ".<name><suffix>"; the remote path itself when it
// names no file.
QString besidePathOf(const QString& remote, const QString& suffix)
{
    const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));
    const QString name = remote.mid(slash + 1);
    return name.isEmpty() ? remote : remote.left(slash + 1) + QLatin1Char('.') + name + suffix;
}

// A path as libcurl's SFTP commands take it: in double quotes, with \ and " escaped.
QByteArray sftpQuoted(const QString& path)
{
    QByteArray quoted = path.toUtf8();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

curl_slist* listOf(const QList<QByteArray>& commands)
{
    curl_slist* list = nullptr;
    for (const QByteArray& command : commands)
        list = curl_slist_append(list, command.constData());
    return list;
}

// Runs commands alone, without a transfer, on the connection the handle holds or a new one.
CURLcode runCommands(CURL* curl, const QByteArray& url, const QList<QByteArray>& commands)
{
    curl_slist* list = listOf(commands);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_QUOTE, list);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(list);
    return result;
}

} // namespace

RemoteReplace::RemoteReplace(const QString& remote, bool sftp)
    : m_upload(besidePathOf(remote, QStringLiteral(".part")))
{
    if (m_upload == remote)
        return;
    const auto path = [sftp](const QString& name) { return sftp ? sftpQuoted(name) : name.toUtf8(); };
    // A command marked "*" may fail without failing the rest.
    const auto rename = [sftp](const QByteArray& from, const QByteArray& to, bool mayFail) {
        const QByteArray star = mayFail ? "*" : "";
        return sftp ? QList<QByteArray>{star + "rename " + from + ' ' + to}
                    : QList<QByteArray>{star + "RNFR " + from, star + "RNTO " + to};
    };
    const QByteArray remove = sftp ? "*rm " : "*DELE ";
    const QByteArray file = path(remote), upload = path(m_upload);
    const QByteArray aside = path(besidePathOf(remote, QStringLiteral(".old")));
    m_afterUpload = listOf(rename(upload, file, false));
    // The old file is moved aside rather than removed, so that it can come back.
    m_replaceByMovingAside = QList<QByteArray>{remove + aside} + rename(file, aside, true) +
                             rename(upload, file, false) + QList<QByteArray>{remove + aside};
    m_restore = rename(aside, file, true) + QList<QByteArray>{remove + upload};
    m_removeUpload = {remove + upload};
}

RemoteReplace::~RemoteReplace()
{
    curl_slist_free_all(m_afterUpload);
}

bool RemoteReplace::holdsControlCharacter(const QString& remote)
{
    for (const QChar c : remote) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

int RemoteReplace::finish(CURL* curl, const QByteArray& folderUrl, int result, bool began) const
{
    if (result == CURLE_QUOTE_ERROR && m_afterUpload) {
        // The file arrived, but the server would not rename it over the old one.
        result = runCommands(curl, folderUrl, m_replaceByMovingAside);
        if (result != CURLE_OK)
            runCommands(curl, folderUrl, m_restore);
    } else if (result != CURLE_OK && began && m_afterUpload) {
        runCommands(curl, folderUrl, m_removeUpload);
    }
    return result;
}
