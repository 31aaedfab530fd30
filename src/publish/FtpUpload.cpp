#include "FtpUpload.h"

#include "FtpTransfer.h"

#include "config/Config.h"
#include "platform/Blanks.h"
#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

namespace FtpUpload {

void uploadHtml(const Config& config, FtpTransfer& transfer, const ProgramFiles& files,
                UserInterface& ui)
{
    try {
        if (config.ftpAddress == placeholderAddress) {
            ui.setStatus(QStringLiteral("Configure your FTP settings."));
            return;
        }
        transfer.setUrl(QStringLiteral("ftp://") + trimBlanks(config.ftpAddress).toString());
        transfer.setUserName(trimBlanks(config.ftpLogin).toString());
        transfer.setPassword(trimBlanks(config.ftpPassword).toString());
        // The setting is stored as a signed 16-bit number; ports above 32767 come back as
        // negative values and are read back unsigned. 0 means the standard port.
        const quint16 port = quint16(config.ftpPort);
        transfer.setPort(port == 0 ? 21 : port);
        FileOperations::copyfile(files.report(), files.uploadCopy());
        if (FileOperations::fileexists(files.uploadCopy()))
            transfer.execute(QStringLiteral("PUT ") + files.uploadCopy() + QLatin1Char(' ') +
                             trimBlanks(config.ftpFile).toString());
    } catch (const Failure& failure) {
        ui.setStatus(failure.description());
    }
}

void handleStateChange(int state, FtpTransfer& transfer, const ProgramFiles& files,
                       UserInterface& ui)
{
    try {
        switch (state) {
        case 1:
            ui.setStatus(QStringLiteral("Looking up host..."));
            break;
        case 2:
            ui.setStatus(QStringLiteral("Resolved ip..."));
            break;
        case 3:
            ui.setStatus(QStringLiteral("Connecting..."));
            break;
        case 4:
            ui.setStatus(QStringLiteral("Connected"));
            break;
        case 5:
            ui.setStatus(QStringLiteral("Requesting..."));
            break;
        case 6:
            ui.setStatus(QStringLiteral("Request successful"));
            break;
        case 7:
            ui.setStatus(QStringLiteral("Receiving response..."));
            break;
        case 9:
            ui.setStatus(QStringLiteral("Closing connection..."));
            break;
        case 10:
            ui.setStatus(QStringLiteral("Connection closed"));
            break;
        case 11:
            ui.setStatus(QStringLiteral("Error. Check your FTP settings and try again."));
            transfer.execute(QStringLiteral("CLOSE"));
            break;
        case 12:
            ui.setStatus(QStringLiteral("HTML file successfully uploaded!"));
            transfer.execute(QStringLiteral("CLOSE"));
            FileOperations::deletefile(files.uploadCopy());
            break;
        default:
            break;
        }
    } catch (const Failure&) {
        // The transfer's events report progress only; a failure here has no one to tell.
    }
}

} // namespace FtpUpload
