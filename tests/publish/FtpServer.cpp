#include "FtpServer.h"

namespace {

// Binds port 0 so that the system picks a free port, and prints it once listening.
const char* const kServerScript = R"(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
home, user, password = sys.argv[1:4]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm="elradfmw")
FTPHandler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), FTPHandler)
print(server.address[1], flush=True)
server.serve_forever()
)";

} // namespace

FtpServer::FtpServer()
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-c"), QString::fromLatin1(kServerScript), m_home.path(),
                     QString::fromLatin1(userName), QString::fromLatin1(password)});
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return;
    }
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
    }
    bool ok = false;
    const int port = QString::fromLatin1(m_process.readLine()).trimmed().toInt(&ok);
    if (ok && port > 0 && port < 65536)
        m_port = quint16(port);
    else
        m_error = QString::fromLocal8Bit(m_process.readAllStandardError());
}

FtpServer::~FtpServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
