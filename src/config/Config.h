#pragma once

#include "FtpProtocol.h"

#include <QString>
#include <cstdint>

// The program's settings, kept in statConf.txt: loaded when the object is created and
// written back when it is destroyed. Nine lines hold the first nine; a tenth line names the
// upload protocol and is written only when it is not plain FTP. The members are public and unchecked; the range
// checks live in the configuration dialog.
class Config
{
public:
    // Whether the object writes the file when it goes (the window's way) or never (the
    // command line's, which only reads the configuration).
    enum class Saving { AtEnd, Never };

    // Loads the file; a missing file, fewer than nine lines or a number line that is not a
    // number in the 16-bit range fails, and then no member is changed.
    explicit Config(QString path, Saving saving = Saving::AtEnd);
    // Writes the file unless Saving::Never; a failure is logged, since the program is ending
    // either way.
    ~Config();

    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

    QString roguePath;
    std::int16_t scanInterval = 0;
    std::int16_t records = 0;
    QString nickname;
    QString ftpAddress;
    QString ftpLogin;
    QString ftpPassword;
    std::int16_t ftpPort = 0;
    QString ftpFile;
    FtpProtocol ftpProtocol = FtpProtocol::Ftp;
    // The tenth line as read; written back as it was while the protocol is Unknown.
    QString ftpProtocolLine;

    // Writes the members to the file, in one step, readable by the owner only.
    void diskConfig();

    const QString& path() const { return m_path; }

private:
    void loadConfig();

    QString m_path;
    Saving m_saving;
};
