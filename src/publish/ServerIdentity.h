#pragma once

#include "config/FtpProtocol.h"

#include <QByteArray>
#include <QString>

// What a server showed to prove who it is: for FTP over TLS the public key of its
// certificate, for SFTP its host key.
struct ServerIdentity
{
    FtpProtocol protocol = FtpProtocol::Ftp;
    QString host;
    quint16 port = 0;
    // The SHA-256 fingerprint of the key, "SHA256:" and Base64 as OpenSSH shows it.
    QString fingerprint;
    // What is pinned: the public key's pin ("sha256//" and Base64) for TLS, the host key
    // itself for SSH.
    QByteArray key;
    // The server was trusted before and now shows another key.
    bool changed = false;
};
