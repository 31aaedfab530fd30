#pragma once

#include "config/FtpProtocol.h"

#include <QByteArray>
#include <QString>

// What a server showed to prove who it is: for FTP over TLS the public key of its
// certificate, for SFTP its host key.
struct ServerIdentity
{
    enum class Standing {
        New,      // not known yet: the user is asked whether to trust it
        Changed,  // known by another key, or verified before and now unverifiable: refused
        Revoked,  // its certificate was revoked: refused
        Verified, // its certificate was verified for its address: remembered, nobody asked
    };

    FtpProtocol protocol = FtpProtocol::Ftp;
    QString host;
    quint16 port = 0;
    // The SHA-256 fingerprint of the key, "SHA256:" and Base64 as OpenSSH shows it.
    QString fingerprint;
    // The key's type as hosts publish fingerprints by it: "ED25519", "ECDSA", "RSA", ...
    QString keyType;
    // What is pinned: the public key's pin ("sha256//" and Base64) for TLS, the host key
    // itself for SSH.
    QByteArray key;
    Standing standing = Standing::New;
    // Why a TLS certificate could not be verified, as a clause: "it is self-signed".
    QString reason;
};
