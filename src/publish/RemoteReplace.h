#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

typedef void CURL;
struct curl_slist;

// Puts a file on the server whole, never half-written: the upload goes to a temporary name
// beside the file (".<name>.part") and is renamed over the file once it has arrived. Where
// the server refuses to rename over an existing file, the old file is moved aside
// (".<name>.old") while the new one takes its name, and moved back should that fail. An
// upload that fails removes its temporary file where the server still lets it.
class RemoteReplace
{
public:
    // The remote path as the user gave it; SFTP takes its commands in a syntax of its own.
    RemoteReplace(const QString& remote, bool sftp);
    ~RemoteReplace();
    RemoteReplace(const RemoteReplace&) = delete;
    RemoteReplace& operator=(const RemoteReplace&) = delete;

    // Whether the path holds a control character; in a command on the control connection a
    // line end would start a command of its own.
    static bool holdsControlCharacter(const QString& remote);

    // Where the upload goes until it is complete: the remote path when it names no file.
    const QString& uploadPath() const { return m_upload; }
    // The commands that follow a complete upload on its own connection.
    curl_slist* afterUpload() const { return m_afterUpload; }

    // After the upload's attempt: replaces the file by moving the old one aside where the
    // server refused to rename over it, or removes the temporary file of an upload that
    // failed after it began. Commands run in folderUrl, on the handle's connection or a new
    // one. Returns the upload's outcome.
    int finish(CURL* curl, const QByteArray& folderUrl, int result, bool began) const;

private:
    QString m_upload;
    QList<QByteArray> m_replaceByMovingAside;
    QList<QByteArray> m_restore;     // after that failed half-way: the old file back, the upload gone
    QList<QByteArray> m_removeUpload;
    curl_slist* m_afterUpload = nullptr;
};
