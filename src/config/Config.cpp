#include "Config.h"

#include "platform/Failure.h"
#include "platform/Numbers.h"
#include "platform/SequentialInput.h"
#include "platform/TextFileWriter.h"

#include <QDebug>

Config::Config(QString path, Saving saving) : m_path(std::move(path)), m_saving(saving)
{
    loadConfig();
}

Config::~Config()
{
    if (m_saving == Saving::Never)
        return;
    try {
        diskConfig();
    } catch (const Failure& failure) {
        qWarning().noquote() << "Could not save the configuration to" << m_path << "-"
                             << failure.code() << failure.description();
    }
}

void Config::loadConfig()
{
    SequentialInput input = SequentialInput::open(m_path, SequentialInput::Encoding::System);
    QString lines[9];
    for (QString& line : lines)
        line = input.readLine();
    const QString protocolLine = input.atEnd() ? QString() : input.readLine();
    const FtpProtocol protocol = FtpProtocols::fromConfigLine(protocolLine);

    const std::int16_t interval = Numbers::floorToInt16(Numbers::parse(lines[1]));
    const std::int16_t recordCount = Numbers::floorToInt16(Numbers::parse(lines[2]));
    const std::int16_t port = Numbers::toInt16(Numbers::parse(lines[7]));

    roguePath = lines[0];
    scanInterval = interval;
    records = recordCount;
    nickname = lines[3];
    ftpAddress = lines[4];
    ftpLogin = lines[5];
    ftpPassword = lines[6];
    ftpPort = port;
    ftpFile = lines[8];
    ftpProtocol = protocol;
    ftpProtocolLine = protocolLine;
}

void Config::diskConfig()
{
    QStringList lines{roguePath, Numbers::formatWithSign(scanInterval),
                      Numbers::formatWithSign(records), nickname, ftpAddress, ftpLogin, ftpPassword,
                      Numbers::formatWithSign(ftpPort), ftpFile};
    if (ftpProtocol == FtpProtocol::Unknown)
        lines.append(ftpProtocolLine);
    else if (ftpProtocol != FtpProtocol::Ftp)
        lines.append(FtpProtocols::configLine(ftpProtocol));
    TextFileWriter::writePrivateLines(m_path, lines);
}
