#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real FTP server (pyftpdlib, run by the system's Python) on 127.0.0.1, on a port the
// system picks, serving a temporary home directory to one user. Stopped when it goes.
class FtpServer
{
public:
    static constexpr const char* userName = "publisher";
    static constexpr const char* password = "s3cret";

    FtpServer();
    ~FtpServer();

    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString homePath(const QString& name) const { return m_home.path() + QLatin1Char('/') + name; }
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
