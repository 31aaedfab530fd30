#pragma once

#include "KnownServers.h"
#include "ServerIdentity.h"

#include "config/FtpProtocol.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

// An FTP client that runs one request at a time in the background and reports its progress
// as numbered states:
//    1 looking up the host      5 sending the request      9 disconnecting
//    2 host address found       6 request sent            10 disconnected
//    3 connecting               7 receiving the response  11 error
//    4 connected                8 response received       12 request completed
// Commands: "PUT <local file> <remote path>" uploads a file; "CLOSE" ends the connection.
// A PUT closes its own connection before it reports 11 or 12, so a CLOSE after it has
// nothing left to end and reports no state.
//
// A PUT never leaves the remote file half-written (see RemoteReplace).
//
// Over TLS and SFTP the server must prove its identity before the password goes to it (see
// ServerTrust). What needs the user is put to the trust check, on the owner's thread, while
// the transfer waits: a new server, which only a yes lets through (the check is expected to
// have remembered it by then); a changed or revoked one, refused whatever the check answers;
// and a TLS server verified for the first time, for the check to remember.
//
// The object must be used from the thread that owns it; states arrive there, queued and in
// order, through stateChanged. libcurl must have been initialised (curl_global_init) before
// the first command; the program does it once in main().
class FtpTransfer : public QObject
{
    Q_OBJECT

public:
    // Failure codes of the commands and settings.
    static constexpr int StillExecuting = 35764;
    static constexpr int InvalidUrl = 35752;
    static constexpr int InvalidCommand = 35754;

    using TrustCheck = std::function<bool(const ServerIdentity&)>;

    explicit FtpTransfer(QObject* parent = nullptr);
    // Abandons a running request and waits for its thread; no state is delivered after.
    ~FtpTransfer() override;

    // The server, as "ftp://host" (a port in the URL wins over setPort), whatever the protocol.
    // The settings are refused, like the commands, while a request still runs.
    void setUrl(const QString& url);
    void setUserName(const QString& userName);
    void setPassword(const QString& password);
    void setPort(quint16 port);
    // Plain FTP by default.
    void setProtocol(FtpProtocol protocol);
    void setKnownServers(const KnownServers& servers);
    void setTrustCheck(TrustCheck check);
    // Certificates to verify TLS servers against instead of the system's, and revocation
    // lists to check them with; empty names the system's store.
    void setCertificateAuthorities(const QString& bundle, const QString& revocations);
    // Seconds that connecting, a server reply or a stalled upload may take; 60 by default.
    void setRequestTimeout(int seconds);

    // Starts a command and returns at once. Fails while the previous request still runs,
    // for an unknown command, for a remote path with control characters, and for a PUT whose
    // local file does not exist.
    void execute(const QString& operation);

    // True from the start of a PUT until its final state (11 or 12) is delivered.
    bool stillExecuting() const { return m_busy; }

signals:
    void stateChanged(int state);

private:
    struct Request;

    void refuseWhileBusy() const;
    void startPut(const QString& arguments);
    void runPut(const Request& request);
    // Called on the worker thread; waits for the trust check's answer on the owner's thread.
    bool askOwner(const ServerIdentity& identity);
    // Called on the worker thread; delivers the state on the owner's thread.
    void post(int state, bool final);
    void joinWorker();

    QString m_url;
    QString m_userName;
    QString m_password;
    quint16 m_port = 21;
    FtpProtocol m_protocol = FtpProtocol::Ftp;
    KnownServers m_knownServers{QString(), QString()};
    TrustCheck m_trustCheck;
    QString m_caBundle;
    QString m_revocations;
    int m_timeoutSeconds = 60;
    bool m_busy = false;
    std::atomic<bool> m_abandon{false};
    std::thread m_worker;
};
