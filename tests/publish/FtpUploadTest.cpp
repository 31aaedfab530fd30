#include "Guarded.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "publish/FtpTransfer.h"
#include "publish/FtpUpload.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

#include <memory>

static const QString user = "publisher", password = "s3cret";
static const QString failed = "Error. Check your FTP settings and try again.";
static const QStringList everyState{"Looking up host...", "Resolved ip...", "Connecting...",
    "Connected", "Requesting...", "Request successful", "Receiving response...",
    "Closing connection...", "Connection closed", "HTML file successfully uploaded!"};
// CR LF, NUL and the high half: bytes that a text-mode transfer would change.
static const QByteArray page = QByteArray("<tr>\xe9\x80\0\xff</tr>\r\n", 15).repeated(3000);
static const QByteArray oldPage = "<html>the page as it was</html>";
enum { F, T, S, U }; // plain FTP, FTP over TLS, SFTP, a protocol line that names none

// One upload: its protocol and server (by the name the test ProFTPD prints, or "silent" and
// "greeting", the test's own that say nothing or only the greeting); the status it ends with,
// the last box's title and what else that box must say; then what is given beside the settings:
// a known server's line (%1 for the port), or "late" (the question answered after the server
// gave up), "unreadable" (a trust file that cannot be read) or "no" (the question answered No;
// any other box is answered Yes); then the remote file, the address, the password and the page
// (none when null).
struct Row
{
    int protocol = F;
    QString server, status, message = {}, says = {}, given = {}, remote = "page.htm";
    QString address = "  127.0.0.1 ", secret = password;
    QByteArray content = page;
};
Q_DECLARE_METATYPE(Row)

static QString shell(const QString& command)
{
    QProcess process;
    process.start("/bin/sh", {"-c", command});
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// An installation with the row's page (none when null) to upload to 127.0.0.1 at port, its
// trust file and answers as the row gives them, the transfer's states followed as the program
// follows them.
struct Upload
{
    TestInstallation installation;
    Config config{installation.files().configuration()};
    RecordingUserInterface ui;
    std::unique_ptr<FtpTransfer> transfer = std::make_unique<FtpTransfer>();

    Upload(quint16 port, const Row& row = {})
    {
        config.ftpAddress = row.address;
        config.ftpPort = qint16(port);
        config.ftpLogin = " " + user; // blanks around a setting are no part of it
        config.ftpPassword = row.secret + "  ";
        config.ftpFile = row.remote;
        config.ftpProtocol = FtpProtocol(row.protocol);
        config.ftpProtocolLine = "FTPES"; // read only while the protocol is Unknown
        if (!row.content.isNull()) installation.writeFile("output/tallyvane.htm", row.content);
        QObject::connect(transfer.get(), &FtpTransfer::stateChanged,
                         [this](int state) { FtpUpload::handleStateChange(state, *transfer, installation.files(), ui); });
        // A short time-out where the server says nothing; the others have a loaded machine's time.
        if (row.server == "silent" || row.server == "greeting" || row.given == "late")
            transfer->setRequestTimeout(row.server == "greeting" ? 5 : 2);
        if (row.given == "late") // the user takes longer to answer than the server waits
            ui.answerDelay = 3000;
        ui.setNextAnswer(row.given == "no" ? UserInterface::Answer::No
                                           : UserInterface::Answer::Yes);
        if (row.given == "unreadable") // a trust file that cannot be read is never taken for empty
            QDir(installation.path("")).mkdir("known_hosts");
        else
            installation.writeFile(row.protocol == T ? "known_tls_hosts" : "known_hosts",
                                   row.given.startsWith('[') ? row.given.arg(port).toUtf8() : "");
    }
    void start() { FtpUpload::uploadHtml(config, *transfer, installation.files(), ui); }
    QByteArray known() const { return readAll(installation.files().knownHosts()) + readAll(installation.files().knownTlsHosts()); }
};

class FtpUploadTest : public QObject
{
    Q_OBJECT
    QTemporaryDir pro; // ProFTPD's, with the user's directory in pro/home
    QProcess proftpd;
    QHash<QString, quint16> ports; // by the servers' names
    QTcpServer silent, greeting; // take connections and say nothing, or only the greeting
    // Passes each connection on to the server at target and keeps what clients sent: the test's
    // capture of the wire.
    QTcpServer relay;
    quint16 target = 0;
    QByteArray sent;

private slots:
    void initTestCase()
    {
        QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
        for (QTcpServer* server : {&silent, &greeting, &relay})
            QVERIFY(server->listen(QHostAddress::LocalHost));
        connect(&greeting, &QTcpServer::newConnection, [this] { greeting.nextPendingConnection()->write("220 ready\r\n"); });
        connect(&relay, &QTcpServer::newConnection, [this] {
            QTcpSocket* client = relay.nextPendingConnection();
            auto* server = new QTcpSocket(client);
            server->connectToHost(QHostAddress::LocalHost, target);
            for (auto [from, to] : {std::pair(client, server), std::pair(server, client)}) {
                connect(from, &QTcpSocket::readyRead, to, [=, this] {
                    sent += from == client ? from->peek(from->bytesAvailable()) : "";
                    to->write(from->readAll());
                });
                connect(from, &QTcpSocket::disconnected, to, &QTcpSocket::disconnectFromHost);
            }
        });
        proftpd.start("/usr/bin/python3", {TALLYVANE_SOURCE_DIR "/tests/support/proftpd_server.py", pro.path(), user, password});
        while (!proftpd.canReadLine())
            QVERIFY(proftpd.waitForReadyRead(60000));
        for (auto server : QRegularExpression(R"((\w+)=(\d+))").globalMatch(proftpd.readLine()))
            ports[server.captured(1)] = server.captured(2).toUShort();
        ports["silent"] = silent.serverPort(), ports["greeting"] = greeting.serverPort();
    }

    void cleanupTestCase() { proftpd.closeWriteChannel(), proftpd.waitForFinished(), curl_global_cleanup(); }

    // Every protocol shows the same states. A page that arrives replaces the old one whole; any other
    // outcome shows a reason, leaves the old page as it was and keeps the upload copy (none is made
    // without an address or a page). Over TLS and SFTP a new server is put to the user once with its
    // fingerprint, a changed one is refused, and the password never crosses the wire in clear.
    void upload_data()
    {
        QTest::addColumn<Row>("row");
        const auto row = [](const char* name, const Row& row) { QTest::newRow(name) << row; };
        const QString done = everyState.last(), ask = "Unknown Server", at127 = "[127.0.0.1]:%1 ";
        const QString changed = "Server Identity Changed", home = pro.filePath("home/");
        // Known lines of the SFTP server's RSA key and of another RSA key.
        const QString sshKey = at127 + shell("ssh-keygen -y -f " + pro.filePath("sftp.key"));
        const QString otherSshKey = at127 + shell("ssh-keygen -y -f " + pro.filePath("tls.key"));
        QVERIFY(sshKey.contains(" ssh-rsa ") && otherSshKey.contains(" ssh-rsa "));
        row("FTP, absolute path", {F, "ftp", done, "", "", "", " " + home + "stats.htm "});
        row("FTP, relative path", {F, "ftp", done});
        row("FTP over TLS, self-signed", {T, "ftp", done, ask,
            "self-signed.\n\nSHA-256 fingerprint of its certificate's RSA public key:"});
        row("SFTP, absolute path", {S, "sftp", done, ask, "", "", home + "page.htm"});
        row("SFTP, relative path", {S, "sftp", done, ask});
        row("SFTP, Ed25519 host key alone", {S, "ed25519", done, ask, "of its ED25519 host key"});
        row("wrong password", {F, "ftp", failed, "", "", "", "refused.htm", "127.0.0.1", "wrong"});
        row("server silent", {F, "silent", failed});
        row("server stalls after greeting", {F, "greeting", failed});
        row("address not set up",
            {F, "ftp", "Configure your FTP settings.", "", "", "", "page.htm", "ftp.example.com"});
        row("no page generated",
            {F, "ftp", "File not found", "", "", "", "page.htm", "  127.0.0.1 ", password, {}});
        row("line end in the remote path",
            {F, "ftp", "Invalid command", "", "", "", "x.htm\nDELE y"});
        row("SFTP, new server not trusted", {S, "sftp", failed, ask, "", "no"});
        row("SFTP, question answered after the server gave up", {S, "sftp", done, ask, "", "late"});
        row("SFTP, trust file unreadable",
            {S, "sftp", "Path/File access error", "", "", "unreadable"});
        row("FTP over TLS, server without TLS", {T, "plain", failed});
        row("TLS, server key changed",
            {T, "ftp", failed, changed, "", at127 + "sha256//" + QString(43, 'B') + "="});
        row("SFTP, server key changed", {S, "sftp", failed, changed, "", otherSshKey});
        // A known server that no longer offers the type of key known shows the key it has now.
        row("SFTP, type of key known no longer offered",
            {S, "ed25519", failed, changed, "ED25519 host key now", otherSshKey});
        // Certificates of a test authority: one that verifies is remembered as verified, and such a
        // server is refused without a question once it cannot be verified; the question says why.
        row("TLS, verified by an authority", {T, "verified", done});
        row("TLS, verified before, self-signed now",
            {T, "ftp", failed, changed, "verified by an authority before", at127 + "verified"});
        row("TLS, issued for another name",
            {T, "wrongname", failed, ask, "this computer: it was issued for another name.", "no"});
        row("TLS, expired", {T, "expired", failed, ask, ": it has expired.", "no"});
        row("TLS, unknown issuer",
            {T, "unknownca", failed, ask, ": its issuer is unknown to this computer.", "no"});
        row("TLS, revoked", {T, "revoked", failed, "Certificate Revoked", "revoked"});
        row("unknown protocol line",
            {U, "ftp", failed, "Tallyvane", "The protocol line \"FTPES\" of "});
        row("FTP, cut off half-way", {F, "ftp", failed, "", "", "", "cutoff/page.htm"});
        row("FTP, renaming refused", {F, "ftp", failed, "", "", "", "norename/page.htm"});
        row("SFTP, renaming refused", {S, "sftp", failed, "", "", sshKey, "norename/page.htm"});
        row("SFTP, cut off half-way", {S, "sftp", failed, "", "", sshKey, "cutoff/page.htm"});
    }

    void upload()
    {
        QFETCH(Row, row);
        const auto& [protocol, server, status, message, says, given, remote, address, secret,
                     content] = row;
        const bool uploads = status == everyState.last();
        const bool copied = protocol != U && !content.isNull() && address != "ftp.example.com";
        const QString home = pro.filePath("home"), landsAt = QDir(home).filePath(remote.trimmed());
        const QString log = pro.filePath("proftpd.log");
        // Whatever a row leaves in the server's folders goes with it, also when a check fails.
        const auto cleanUp = qScopeGuard([&] { shell("find " + home + " -type f -delete"); });
        QVERIFY(ports.contains(server));
        QVERIFY(QFile::resize(log, 0));
        target = ports[server], sent.clear();
        // The old page where the upload lands.
        QFile old(landsAt);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(oldPage) && old.flush());
        // The fingerprint of the key the server shows, as OpenSSH computes it (the SHA-256 of the
        // SSH key or of the certificate's public key, in Base64), on a line of its own.
        const QString key = pro.filePath(server == "ftp" ? "tls" : server);
        const QString keyBytes = protocol == S
            ? "ssh-keygen -y -f " + key + ".key | cut -d' ' -f2 | base64 -d"
            : "openssl x509 -in " + key + ".crt -pubkey -noout | openssl pkey -pubin -outform der";
        const QString sha256 = shell(keyBytes + " | openssl dgst -sha256 -binary | base64");
        const QString fingerprint = "\nSHA256:" + QString(sha256).remove('=') + "\n";
        // A server put to the user and accepted, or verified, is remembered once its page arrived.
        const bool remembered = uploads && (!message.isEmpty() || server == "verified");
        GUARDED(Upload upload(relay.serverPort(), row);
                upload.transfer->setCertificateAuthorities(pro.filePath("ca.crt"),
                                                           pro.filePath("ca.crl"));
                const QByteArray knownBefore = upload.known();
                // A page that arrived goes again, to a known server.
                for (int round = 0; round < 1 + uploads; ++round) {
                    upload.ui.clear();
                    upload.start();
                    QCOMPARE(upload.transfer->stillExecuting(), (uploads || status == failed) && copied);
                    QTRY_VERIFY_WITH_TIMEOUT(!upload.transfer->stillExecuting(), 60000);
                    QVERIFY2(upload.ui.status().startsWith(status), qPrintable(upload.ui.status()));
                    QVERIFY(!uploads || upload.ui.statuses == everyState);
                    const auto box = upload.ui.messages.empty() ? UserInterface::Message()
                                                                : upload.ui.messages.back();
                    QCOMPARE(box.title, round ? QString() : message);
                    QVERIFY2(round || box.text.contains(says), qPrintable(box.text));
                    QVERIFY(!box.text.contains("SHA-256") || box.text.contains(fingerprint));
                    QCOMPARE(upload.known() != knownBefore, remembered);
                    QCOMPARE(QFile::exists(upload.installation.path("tv.htm")), copied && !uploads);
                    QCOMPARE(readAll(landsAt), uploads ? page : oldPage);
                    QCOMPARE(shell("find " + home + " -type f"), landsAt);
                });
        QVERIFY(protocol == F || !sent.contains(password.toUtf8()));
        // TLS asked for by its name first.
        QVERIFY(protocol != T || sent.startsWith("AUTH TLS\r\n"));
        // Where a box stopped the upload, the server's word: no login.
        QVERIFY(uploads || message.isEmpty() || !readAll(log).contains("USER "));
        // The capture sees clear text.
        QVERIFY(protocol != F || !uploads || sent.contains(password.toUtf8()));
    }

    // Destroying a transfer that waits on a silent server ends it, and closes its connection,
    // long before its time-out.
    void destroyedWhileWaiting_returnsAndClosesTheConnection()
    {
        while (silent.hasPendingConnections()) // the silent rows' connections, long closed
            delete silent.nextPendingConnection();
        GUARDED(Upload upload(silent.serverPort());
                upload.start();
                QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 30000);
                std::unique_ptr<QTcpSocket> peer(silent.nextPendingConnection());
                const QDeadlineTimer generous(30000);
                upload.transfer.reset();
                QVERIFY(!generous.hasExpired());
                QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QTcpSocket::UnconnectedState, 10000););
    }
};

QTEST_GUILESS_MAIN(FtpUploadTest)
#include "FtpUploadTest.moc"
