#include "Guarded.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "publish/FtpTransfer.h"
#include "publish/FtpUpload.h"

#include <QDeadlineTimer>
#include <QDir>
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
static const QStringList everyState{"Looking up host...", "Resolved ip...", "Connecting...", "Connected", "Requesting...", "Request successful",
                                    "Receiving response...", "Closing connection...", "Connection closed", "HTML file successfully uploaded!"};
// CR LF, NUL and the high half: bytes that a text-mode transfer would change.
static const QByteArray page = "<html>\r\n" + QByteArray("<tr>\xe9\x80\0\xff</tr>\r\n", 15).repeated(3000);
static const QByteArray oldPage = "<html>the page as it was</html>";
// The test ProFTPD's servers, in the order it names them, then two silent ones of the test's own.
enum Server { Proftpd, ProftpdTlsRequired, ProftpdSftp, ProftpdEd25519, Verified, WrongName, Expired, Revoked, UnknownCa, ProftpdPlain, Silent, Greeting };
static const char* const proftpdNames[] = {"ftp", "tls", "sftp", "ed25519", "verified", "wrongname", "expired", "revoked", "unknownca", "plain"};

static QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static QString shell(const QString& command)
{
    QProcess process;
    process.start("/bin/sh", {"-c", command});
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Passes each connection on to the server of the moment and keeps what clients sent: the
// test's capture of the wire.
struct Relay : QTcpServer
{
    quint16 target = 0;
    QByteArray sent;
    Relay()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, [this] {
            QTcpSocket* client = nextPendingConnection();
            auto* server = new QTcpSocket(client);
            server->connectToHost(QHostAddress::LocalHost, target);
            for (auto [from, to] : {std::pair(client, server), std::pair(server, client)}) {
                connect(from, &QTcpSocket::readyRead, to, [=, this] { const QByteArray bytes = from->readAll(); sent += from == client ? bytes : "", to->write(bytes); });
                connect(from, &QTcpSocket::disconnected, to, &QTcpSocket::disconnectFromHost);
            }
        });
    }
};

// An installation with a page (none when null) to upload to 127.0.0.1, the transfer's states
// followed as the program follows them.
struct Upload
{
    TestInstallation installation;
    Config config{installation.files().configuration()};
    RecordingUserInterface ui;
    std::unique_ptr<FtpTransfer> transfer = std::make_unique<FtpTransfer>();

    Upload(quint16 port, const QString& secret, const QString& remote, const QByteArray& content = page, int protocol = 0)
    {
        config.ftpAddress = "  127.0.0.1 "; // blanks around a setting are no part of it
        config.ftpPort = qint16(port);
        config.ftpLogin = " " + user;
        config.ftpPassword = secret;
        config.ftpFile = remote;
        config.ftpProtocol = FtpProtocol(protocol);
        config.ftpProtocolLine = "FTPES"; // read only while the protocol is Unknown
        if (!content.isNull()) installation.writeFile("output/tallyvane.htm", content);
        QObject::connect(transfer.get(), &FtpTransfer::stateChanged,
                         [this](int state) { FtpUpload::handleStateChange(state, *transfer, installation.files(), ui); });
    }
    void start() { FtpUpload::uploadHtml(config, *transfer, installation.files(), ui); }
    QByteArray known() const { return readAll(installation.files().knownHosts()) + readAll(installation.files().knownTlsHosts()); }
};

class FtpUploadTest : public QObject
{
    Q_OBJECT
    QTemporaryDir pro; // ProFTPD's, with the user's directory in pro/home
    QProcess proftpd;
    quint16 ports[Greeting + 1] = {};
    QTcpServer silent, greeting; // take connections and say nothing, or only the greeting
    Relay relay;
    QString fingerprints[Greeting + 1], sshKey, otherSshKey;

    QString proHome(const QString& name) const { return pro.filePath("home/" + name); }

private slots:
    void initTestCase()
    {
        QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
        QVERIFY(silent.listen(QHostAddress::LocalHost) && greeting.listen(QHostAddress::LocalHost));
        ports[Silent] = silent.serverPort(), ports[Greeting] = greeting.serverPort();
        connect(&greeting, &QTcpServer::newConnection, [this] { greeting.nextPendingConnection()->write("220 ready\r\n"); });
        proftpd.start("/usr/bin/python3", {TALLYVANE_SOURCE_DIR "/tests/support/proftpd_server.py", pro.path(), user, password});
        while (!proftpd.canReadLine())
            QVERIFY(proftpd.waitForReadyRead(60000));
        const QString listening = proftpd.readLine();
        for (int server = Proftpd; server < Silent; ++server)
            ports[server] = QRegularExpression(QString(R"(\b%1=(\d+))").arg(proftpdNames[server])).match(listening).captured(1).toUShort();
        // The fingerprints as OpenSSL and OpenSSH compute them.
        const auto certificateKey = [this](const QString& name) {
            return "SHA256:" + shell("openssl x509 -in " + pro.filePath(name + ".crt") +
                                     " -pubkey -noout | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64").remove('=');
        };
        fingerprints[Proftpd] = certificateKey("tls");
        for (int server = Verified; server <= UnknownCa; ++server)
            fingerprints[server] = certificateKey(proftpdNames[server]);
        sshKey = shell("ssh-keygen -y -f " + pro.filePath("host.key"));
        otherSshKey = shell("ssh-keygen -y -f " + pro.filePath("tls.key"));
        for (auto [server, key] : {std::pair(ProftpdSftp, "host.key"), std::pair(ProftpdEd25519, "ed25519.key")})
            fingerprints[server] = shell("ssh-keygen -l -E sha256 -f " + pro.filePath(key)).section(' ', 1, 1);
        QVERIFY(ports[ProftpdPlain] && otherSshKey.startsWith("ssh-rsa "));
        for (int server : {Proftpd, ProftpdSftp, ProftpdEd25519, Verified, WrongName, Expired, Revoked, UnknownCa})
            QCOMPARE(fingerprints[server].size(), 50);
    }

    void cleanupTestCase() { proftpd.closeWriteChannel(), proftpd.waitForFinished(), curl_global_cleanup(); }

    // Every protocol shows the same states. A page that arrives replaces the old one whole; any other
    // outcome shows a reason, leaves the old page as it was and keeps the upload copy (none is made
    // without an address or a page). Over TLS and SFTP a new server is put to the user once with its
    // fingerprint, a changed one is refused, and the password never crosses the wire in clear.
    void upload_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("server");
        QTest::addColumn<QStringList>("settings"); // address, password, remote file, where it lands
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("known"); // a known server's line, %1 for the port
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("message"); // the last box's title
        QTest::addColumn<QString>("says");    // and what else it must say
        const QString done = everyState.last(), ask = "Unknown Server", changed = "Server Identity Changed", at127 = "[127.0.0.1]:%1 ";
        const auto at = [this](const QString& remote, const QString& local) { return QStringList{"  127.0.0.1 ", password, remote, proHome(local)}; };
        const auto row = [&](const char* name, int protocol, int server, const QString& known, int answer, const QString& status,
                             const QString& message = {}, const QString& says = {}, const QStringList& settings = {}, const QByteArray& content = page) {
            QTest::newRow(name) << protocol << server << (settings.isEmpty() ? at("page.htm", "page.htm") : settings) << content << known
                                << answer << status << message << says;
        };
        enum { F, T, S, U }; // plain FTP, FTP over TLS, SFTP, a protocol line that names none
        const int yes = int(UserInterface::Answer::Yes), no = int(UserInterface::Answer::No);
        row("FTP, absolute path", F, Proftpd, "", 0, done, "", "", at(" " + proHome("stats.htm") + " ", "stats.htm"));
        row("FTP, relative path", F, Proftpd, "", 0, done);
        row("FTP over TLS, self-signed", T, Proftpd, "", yes, done, ask, "self-signed.\n\nSHA-256 fingerprint of its certificate's RSA public key:");
        row("SFTP, absolute path", S, ProftpdSftp, "", yes, done, ask, "", at(proHome("page.htm"), "page.htm"));
        row("SFTP, relative path", S, ProftpdSftp, "", yes, done, ask);
        row("SFTP, Ed25519 host key alone", S, ProftpdEd25519, "", yes, done, ask, "of its ED25519 host key");
        row("wrong password", F, Proftpd, "", 0, failed, "", "", {"127.0.0.1", "wrong", "refused.htm", proHome("refused.htm")});
        row("missing remote directory", F, Proftpd, "", 0, failed, "", "", at("no/x.htm", ""));
        row("server silent", F, Silent, "", 0, failed, "", "", at("x.htm", ""));
        row("server stalls after greeting", F, Greeting, "", 0, failed, "", "", at("x.htm", ""));
        row("address not set up", F, Proftpd, "", 0, "Configure your FTP settings.", "", "", {"ftp.example.com", password, "x.htm", proHome("")});
        row("no page generated", F, Proftpd, "", 0, "File not found", "", "", at("x.htm", ""), QByteArray());
        row("line end in the remote path", F, Proftpd, "", 0, "Invalid command", "", "", at("x.htm\nDELE y", ""));
        row("plain FTP where TLS is required", F, ProftpdTlsRequired, "", 0, failed);
        row("TLS, new server not trusted", T, Proftpd, "", no, failed, ask);
        row("SFTP, new server not trusted", S, ProftpdSftp, "", no, failed, ask);
        row("SFTP, question answered after the server gave up", S, ProftpdSftp, "late", yes, done, ask);
        row("SFTP, trust file unreadable", S, ProftpdSftp, "unreadable", yes, "Path/File access error", "", "", at("x.htm", ""));
        row("FTP over TLS, server without TLS", T, ProftpdPlain, "", yes, failed);
        row("TLS, server key changed", T, Proftpd, at127 + "sha256//" + QString(43, 'B') + "=", yes, failed, changed);
        row("SFTP, server key changed", S, ProftpdSftp, at127 + otherSshKey, yes, failed, changed);
        // A known server that no longer offers the type of key known shows the key it has now.
        row("SFTP, type of key known no longer offered", S, ProftpdEd25519, at127 + otherSshKey, yes, failed, changed, "ED25519 host key now");
        // Certificates of a test authority: one that verifies is remembered as verified, and such a
        // server is refused without a question once it cannot be verified; the question says why.
        row("TLS, verified by an authority", T, Verified, "", 0, done);
        row("TLS, verified before, self-signed now", T, Proftpd, at127 + "verified", yes, failed, changed, "verified by an authority before");
        row("TLS, issued for another name", T, WrongName, "", no, failed, ask, "this computer: it was issued for another name.");
        row("TLS, expired", T, Expired, "", no, failed, ask, ": it has expired.");
        row("TLS, unknown issuer", T, UnknownCa, "", no, failed, ask, ": its issuer is unknown to this computer.");
        row("TLS, revoked", T, Revoked, "", yes, failed, "Certificate Revoked", "revoked");
        row("unknown protocol line", U, Proftpd, "", 0, failed, "Tallyvane", "The protocol line \"FTPES\" of ");
        row("FTP, cut off half-way", F, Proftpd, "", 0, failed, "", "", at("cutoff/page.htm", "cutoff/page.htm"));
        row("FTP, renaming refused", F, Proftpd, "", 0, failed, "", "", at("norename/page.htm", "norename/page.htm"));
        row("SFTP, renaming refused", S, ProftpdSftp, at127 + sshKey, 0, failed, "", "", at("norename/page.htm", "norename/page.htm"));
        row("SFTP, cut off half-way", S, ProftpdSftp, at127 + sshKey, 0, failed, "", "", at("cutoff/page.htm", "cutoff/page.htm"));
    }

    void upload()
    {
        QFETCH(int, protocol);
        QFETCH(int, server);
        QFETCH(QStringList, settings);
        QFETCH(QByteArray, content);
        QFETCH(QString, known);
        QFETCH(int, answer);
        QFETCH(QString, status);
        QFETCH(QString, message);
        QFETCH(QString, says);
        const bool uploads = status == everyState.last();
        const bool copied = protocol != 3 && !content.isNull() && settings[0] != "ftp.example.com";
        const QString landsAt = settings[3], folder = QFileInfo(landsAt).path();
        // Whatever a row leaves in the server's folder goes with it, also when a check fails.
        const auto cleanUp = qScopeGuard([&] {
            for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
                QFile::remove(folder + '/' + name);
        });
        relay.target = ports[server], relay.sent.clear();
        QVERIFY(QFile::resize(pro.filePath("proftpd.log"), 0));
        QFile old(landsAt);
        QVERIFY(landsAt.endsWith('/') || (old.open(QIODevice::WriteOnly) && old.write(oldPage) && old.flush()));
        GUARDED(Upload upload(relay.serverPort(), settings[1] + "  ", settings[2], content, protocol);
                upload.transfer->setCertificateAuthorities(pro.filePath("ca.crt"), pro.filePath("ca.crl"));
                // The short time-out for the servers that say nothing; the others have a loaded machine's time.
                if (server == Silent || server == Greeting || known == "late")
                    upload.transfer->setRequestTimeout(server == Greeting ? 5 : 2);
                if (known == "late") // the user takes longer to answer than the server waits
                    upload.ui.answerDelay = 3000, known.clear();
                if (known == "unreadable") // a trust file that cannot be read is never taken for empty
                    QDir(upload.installation.path("")).mkdir("known_hosts"), known.clear();
                upload.config.ftpAddress = settings[0];
                if (!QFileInfo(upload.installation.path("known_hosts")).isDir())
                    upload.installation.writeFile(protocol == 1 ? "known_tls_hosts" : "known_hosts", QString(known).replace("%1", QString::number(relay.serverPort())).toUtf8());
                const QByteArray knownBefore = upload.known();
                upload.ui.setNextAnswer(UserInterface::Answer(answer));
                for (int round = 0; round < 1 + uploads; ++round) { // a page that arrived goes again, to a known server
                    upload.ui.clear();
                    upload.start();
                    QCOMPARE(upload.transfer->stillExecuting(), (uploads || status == failed) && copied);
                    QTRY_VERIFY_WITH_TIMEOUT(!upload.transfer->stillExecuting(), 60000);
                    QVERIFY2(upload.ui.status().startsWith(status), qPrintable(upload.ui.status()));
                    QVERIFY(!uploads || upload.ui.statuses == everyState);
                    QCOMPARE(upload.ui.messages.empty() ? QString() : upload.ui.messages.back().title, round ? QString() : message);
                    const QString shown = upload.ui.messages.empty() ? QString() : upload.ui.messages.back().text;
                    QVERIFY2(round || (shown.contains(says) && (!shown.contains("SHA-256") || shown.contains("\n" + fingerprints[server] + "\n"))),
                             qPrintable(shown));
                    QCOMPARE(upload.known() != knownBefore, uploads && (answer == int(UserInterface::Answer::Yes) || server == Verified));
                    QCOMPARE(QFile::exists(upload.installation.files().uploadCopy()), copied && !uploads);
                    QVERIFY(landsAt.endsWith('/') || readAll(landsAt) == (uploads ? page : oldPage));
                    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), int(!landsAt.endsWith('/')));
                });
        QVERIFY(protocol == 0 || !relay.sent.contains(password.toUtf8()));
        QVERIFY(protocol != 1 || relay.sent.startsWith("AUTH TLS\r\n")); // TLS asked for by its name first
        QVERIFY(uploads || message.isEmpty() || !readAll(pro.filePath("proftpd.log")).contains("USER ")); // the server's word: no login
        QVERIFY(protocol != 0 || !uploads || relay.sent.contains(password.toUtf8())); // the capture sees clear text
    }

    // Destroying a transfer that waits on a silent server ends it, and closes its connection,
    // long before its time-out.
    void destroyedWhileWaiting_returnsAndClosesTheConnection()
    {
        while (silent.hasPendingConnections()) // the silent rows' connections, long closed
            delete silent.nextPendingConnection();
        GUARDED(Upload upload(silent.serverPort(), password, "x.htm");
                upload.start();
                QTRY_VERIFY_WITH_TIMEOUT(upload.ui.status() == "Connected" && silent.hasPendingConnections(), 30000);
                std::unique_ptr<QTcpSocket> peer(silent.nextPendingConnection());
                const QDeadlineTimer generous(30000);
                upload.transfer.reset();
                QVERIFY(!generous.hasExpired());
                QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, 10000););
    }
};

QTEST_GUILESS_MAIN(FtpUploadTest)
#include "FtpUploadTest.moc"
