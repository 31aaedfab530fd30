#pragma once

#include <QString>

class Config;
class FtpTransfer;
class ProgramFiles;
class UserInterface;
struct ServerIdentity;

// Publishing the ranking page: starting the upload and following its states.
namespace FtpUpload {

// The FTP address of an installation that has not been configured yet; the seed
// statConf.txt holds it.
inline const QString placeholderAddress = QStringLiteral("ftp.example.com");

// Copies the report to the upload copy and has the transfer PUT it to the configured server
// and remote path. Returns before the transfer ends; a failure while starting shows its
// description on the status line.
void uploadHtml(const Config& config, FtpTransfer& transfer, const ProgramFiles& files,
                UserInterface& ui);

// Asks whether to trust a server whose identity is new, and remembers it after a yes; tells
// of a changed identity and refuses it. Answers whether the upload may go on.
bool trustServer(const ServerIdentity& identity, const ProgramFiles& files, UserInterface& ui);

// Follows one state of the transfer: shows it on the status line and, at the end, closes
// the connection and (after success) removes the upload copy. Failures are ignored.
void handleStateChange(int state, FtpTransfer& transfer, const ProgramFiles& files,
                       UserInterface& ui);

} // namespace FtpUpload
