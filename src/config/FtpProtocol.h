#pragma once

#include <QString>

#include <cstdint>

// How the page travels to the server: plain FTP, FTP with explicit TLS on the control and
// data connections, or SFTP over SSH. Unknown is a protocol line that names none of them,
// which never means plain FTP: nothing is uploaded until the user chooses.
enum class FtpProtocol { Ftp, FtpOverTls, Sftp, Unknown };

namespace FtpProtocols {

// The port a server of this protocol usually listens on.
std::uint16_t usualPort(FtpProtocol protocol);

// The protocol's line in the configuration file: empty for plain FTP, which writes no line,
// so that the file of a plain-FTP installation keeps its nine lines.
QString configLine(FtpProtocol protocol);
// An absent or blank line is plain FTP, and so is "FTP"; a line that names no protocol is
// Unknown.
FtpProtocol fromConfigLine(const QString& line);

// The name offered in the configuration dialog.
QString displayName(FtpProtocol protocol);

} // namespace FtpProtocols
