#include "FtpUpload.h"

#include "FtpTransfer.h"
#include "KnownServers.h"

#include "config/Config.h"
#include "platform/Blanks.h"
#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

#include <QDebug>
#include <QDir>

namespace FtpUpload {
namespace {

KnownServers knownServersOf(const ProgramFiles& files)
{
    return KnownServers(files.knownHosts(), files.knownTlsHosts());
}

} // namespace

bool trustServer(const ServerIdentity& identity, const ProgramFiles& files, UserInterface& ui)
{
    using Standing = ServerIdentity::Standing;
    const QString server = identity.host + QLatin1Char(':') + QString::number(identity.port);
    const bool tls = identity.protocol == FtpProtocol::FtpOverTls;
    const QString file = QDir::toNativeSeparators(tls ? files.knownTlsHosts() : files.knownHosts());
    // Hosts publish one fingerprint for each type of key.
    const QString key = tls ? QStringLiteral("its certificate's %1 public key").arg(identity.keyType)
                            : QStringLiteral("its %1 host key").arg(identity.keyType);
    if (identity.standing == Standing::Verified) {
        // Nobody is asked: from now on its certificate must verify.
        try {
            knownServersOf(files).remember(identity);
        } catch (const Failure& failure) {
            qWarning().noquote() << "could not remember" << server << "in" << file << "-"
                                 << failure.description();
        }
        return true;
    }
    if (identity.standing == Standing::Revoked) {
        ui.showMessage({QStringLiteral("The certificate of the server %1 has been revoked by its "
                                       "issuer. The upload was stopped, and the password was not "
                                       "sent.\n\nSHA-256 fingerprint of %2:\n%3\n\n"
                                       "Ask the server's owner to renew the certificate.")
                            .arg(server, key, identity.fingerprint),
                        QStringLiteral("Certificate Revoked"), UserInterface::Icon::Critical,
                        UserInterface::Buttons::Ok});
        return false;
    }
    if (identity.standing == Standing::Changed) {
        const QString how =
            identity.reason.isEmpty()
                ? QStringLiteral("it no longer shows the key it was trusted with")
                : QStringLiteral("its certificate was verified by an authority before, and now "
                                 "it cannot be verified: %1").arg(identity.reason);
        ui.showMessage({QStringLiteral("The identity of the server %1 has changed: %2. The upload "
                                       "was stopped, and the password was not sent.\n\n"
                                       "SHA-256 fingerprint of %3 now:\n%4\n\n"
                                       "If the server's owner confirms the change, remove the "
                                       "server's line from %5 and upload again.")
                            .arg(server, how, key, identity.fingerprint, file),
                        QStringLiteral("Server Identity Changed"), UserInterface::Icon::Critical,
                        UserInterface::Buttons::Ok});
        return false;
    }
    const QString why = tls ? QStringLiteral("The certificate of the server %1 could not be "
                                             "verified by this computer: %2.")
                                  .arg(server, identity.reason)
                            : QStringLiteral("The server %1 is not known yet.").arg(server);
    const UserInterface::Answer answer = ui.showMessage(
        {why + QStringLiteral("\n\nSHA-256 fingerprint of %1:\n%2\n\n"
                              "Compare it with the one your host gives you. Do you trust this "
                              "server? Yes remembers it, and later uploads accept only this key.")
                   .arg(key, identity.fingerprint),
         QStringLiteral("Unknown Server"), UserInterface::Icon::Question,
         UserInterface::Buttons::YesNo});
    if (answer != UserInterface::Answer::Yes)
        return false;
    try {
        knownServersOf(files).remember(identity);
    } catch (const Failure& failure) {
        ui.showMessage({QStringLiteral("The server could not be remembered in %1: %2.")
                            .arg(file, failure.description()),
                        QStringLiteral("Tallyvane"), UserInterface::Icon::Critical,
                        UserInterface::Buttons::Ok});
        return false;
    }
    return true;
}

void uploadHtml(const Config& config, FtpTransfer& transfer, const ProgramFiles& files,
                UserInterface& ui)
{
    try {
        if (config.ftpAddress == placeholderAddress) {
            ui.setStatus(QStringLiteral("Configure your FTP settings."));
            return;
        }
        if (config.ftpProtocol == FtpProtocol::Unknown) {
            // Never plain FTP for a protocol the file names but this program does not know.
            ui.showMessage({QStringLiteral("The protocol line \"%1\" of %2 names no protocol "
                                           "Tallyvane knows, so nothing was sent. Choose the "
                                           "protocol on the FTP Settings tab of the "
                                           "configuration.")
                                .arg(config.ftpProtocolLine.trimmed(),
                                     QDir::toNativeSeparators(config.path())),
                            QStringLiteral("Tallyvane"), UserInterface::Icon::Critical,
                            UserInterface::Buttons::Ok});
            ui.setStatus(QStringLiteral("Error. Check your FTP settings and try again."));
            return;
        }
        transfer.setUrl(QStringLiteral("ftp://") + trimBlanks(config.ftpAddress).toString());
        transfer.setUserName(trimBlanks(config.ftpLogin).toString());
        transfer.setPassword(trimBlanks(config.ftpPassword).toString());
        // The setting is stored as a signed 16-bit number; ports above 32767 come back as
        // negative values and are read back unsigned. 0 means the protocol's usual port.
        const quint16 port = quint16(config.ftpPort);
        transfer.setPort(port == 0 ? FtpProtocols::usualPort(config.ftpProtocol) : port);
        transfer.setProtocol(config.ftpProtocol);
        transfer.setKnownServers(knownServersOf(files));
        transfer.setTrustCheck([&files, &ui](const ServerIdentity& identity) {
            return trustServer(identity, files, ui);
        });
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
