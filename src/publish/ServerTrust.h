#pragma once

#include "KnownServers.h"
#include "ServerIdentity.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

typedef void CURL;

// Makes sure that a connection's other end is the server the user trusts before the password
// goes to it: over TLS a certificate this computer verifies for the address, or the key the
// user accepted; over SSH a host key the known servers hold or the user accepts now. What the
// server shows is taken from the TLS and SSH libraries themselves.
//
// One object serves the attempts of one connection, on one thread. Whatever needs the user
// (a new server, a changed or revoked one, a server verified for the first time, which is
// remembered) goes to the trust check, which answers whether to go on.
class ServerTrust
{
public:
    using Check = std::function<bool(const ServerIdentity&)>;

    // How far an attempt got.
    struct Attempt
    {
        int result = 0;          // libcurl's code
        bool loggedIn = false;   // the user name was sent: the server's identity was accepted
        bool transferred = false; // data went out
    };

    ServerTrust(FtpProtocol protocol, QString host, quint16 port, KnownServers known, Check check);
    ~ServerTrust();
    ServerTrust(const ServerTrust&) = delete;
    ServerTrust& operator=(const ServerTrust&) = delete;

    // Certificates to verify against instead of the system's, and revocation lists to check
    // them with; empty for the system's store (tests name their own authority).
    void setCertificateAuthorities(const QString& bundle, const QString& revocations);

    // Sets the handle's checks for the next attempt.
    void prepare(CURL* curl);
    // After an attempt: whether another should follow (the user trusted the server just now,
    // or the server must show its key once more to be told apart); the handle is prepared for it.
    bool retryAfter(CURL* curl, const Attempt& attempt);

    struct TlsCapture;
    struct SshCheck;

private:
    ServerIdentity identity() const;
    bool retryTls(CURL* curl, const Attempt& attempt);
    bool retrySsh(CURL* curl, const Attempt& attempt);

    FtpProtocol m_protocol;
    QString m_host;
    quint16 m_port;
    KnownServers m_known;
    Check m_check;
    QByteArray m_caBundle;
    QByteArray m_revocations;
    QByteArray m_pin;  // the accepted key of a TLS server; empty: the certificate is verified
    bool m_verifiedBefore = false;
    std::unique_ptr<TlsCapture> m_tls;
    std::unique_ptr<SshCheck> m_ssh;
    std::optional<QTemporaryDir> m_nowhere;  // holds a known_hosts that names no server
};
