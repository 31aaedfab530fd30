#include "FtpProtocol.h"

namespace FtpProtocols {

std::uint16_t usualPort(FtpProtocol protocol)
{
    return protocol == FtpProtocol::Sftp ? 22 : 21;
}

QString configLine(FtpProtocol protocol)
{
    switch (protocol) {
    case FtpProtocol::FtpOverTls:
        return QStringLiteral("FTPS");
    case FtpProtocol::Sftp:
        return QStringLiteral("SFTP");
    case FtpProtocol::Ftp:
    case FtpProtocol::Unknown:
        break;
    }
    return QString();
}

FtpProtocol fromConfigLine(const QString& line)
{
    // Read leniently: a hand-edited "ftps " must not fall back to sending the password in clear.
    const QString name = line.trimmed();
    if (name.compare(QLatin1String("FTPS"), Qt::CaseInsensitive) == 0)
        return FtpProtocol::FtpOverTls;
    if (name.compare(QLatin1String("SFTP"), Qt::CaseInsensitive) == 0)
        return FtpProtocol::Sftp;
    if (name.isEmpty() || name.compare(QLatin1String("FTP"), Qt::CaseInsensitive) == 0)
        return FtpProtocol::Ftp;
    return FtpProtocol::Unknown;
}

QString displayName(FtpProtocol protocol)
{
    switch (protocol) {
    case FtpProtocol::FtpOverTls:
        return QStringLiteral("FTP over TLS");
    case FtpProtocol::Sftp:
        return QStringLiteral("SFTP");
    case FtpProtocol::Unknown:
        return QString();
    case FtpProtocol::Ftp:
        break;
    }
    return QStringLiteral("FTP");
}

} // namespace FtpProtocols
