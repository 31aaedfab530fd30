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
enum Server { Pyftpdlib, Proftpd, ProftpdTlsRequired, ProftpdSftp, Silent, Greeting };
using Answer = UserInterface::Answer;

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
            connect(client, &QTcpSocket::readyRead, server, [=, this] { const QByteArray bytes = client->readAll(); sent += bytes, server->write(bytes); });
            connect(server, &QTcpSocket::readyRead, client, [=] { client->write(server->readAll()); });
            connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
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
        if (!content.isNull()) installation.writeFile("output/tallyvane.htm", content);
        transfer->setRequestTimeout(5);
        QObject::connect(transfer.get(), &FtpTransfer::stateChanged,
                         [this](int state) { FtpUpload::handleStateChange(state, *transfer, installation.files(), ui); });
    }
    void start() { FtpUpload::uploadHtml(config, *transfer, installation.files(), ui); }
    QByteArray known() const { return readAll(installation.files().knownHosts()) + readAll(installation.files().knownTlsHosts()); }
};

class FtpUploadTest : public QObject
{
    Q_OBJECT
    QTemporaryDir home, pro; // served by pyftpdlib, and by ProFTPD (in pro/home)
    QProcess ftp, proftpd;
    quint16 ports[6] = {};
    QTcpServer silent, greeting; // take connections and say nothing, or only the greeting
    Relay relay;
    QString tlsFingerprint, sshFingerprint, sshKey, otherSshKey;

    QString proHome(const QString& name) const { return pro.filePath("home/" + name); }

    void startProftpd()
    {
        proftpd.start("/usr/bin/python3", {TALLYVANE_SOURCE_DIR "/tests/support/proftpd_server.py", pro.path(), user, password});
        QVERIFY(proftpd.waitForReadyRead(60000));
        const auto match = QRegularExpression(R"(ftp=(\d+) tls=(\d+) sftp=(\d+))").match(proftpd.readAll());
        QVERIFY(match.hasMatch());
        ports[Proftpd] = match.captured(1).toUShort(), ports[ProftpdTlsRequired] = match.captured(2).toUShort(), ports[ProftpdSftp] = match.captured(3).toUShort();
        // The fingerprints as OpenSSL and OpenSSH compute them.
        tlsFingerprint = "SHA256:" + shell("openssl x509 -in " + pro.filePath("tls.crt") +
                                           " -pubkey -noout | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64").remove('=');
        sshKey = shell("ssh-keygen -y -f " + pro.filePath("host.key"));
        otherSshKey = shell("ssh-keygen -y -f " + pro.filePath("tls.key"));
        sshFingerprint = shell("ssh-keygen -l -E sha256 -f " + pro.filePath("host.key")).section(' ', 1, 1);
        QVERIFY(tlsFingerprint.size() == 50 && sshFingerprint.size() == 50 && otherSshKey.startsWith("ssh-rsa "));
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
        ftp.start("/usr/bin/python3", {"-m", "pyftpdlib", "-i", "127.0.0.1", "-p", "0", "-w",
                                       "-d", home.path(), "-u", user, "-P", password});
        ftp.setReadChannel(QProcess::StandardError);
        QByteArray log;
        while (!log.contains(" pid=") && ftp.waitForReadyRead(30000))
            log += ftp.readAll();
        ports[Pyftpdlib] = QRegularExpression(R"(127\.0\.0\.1:(\d+))").match(log).captured(1).toUShort();
        QVERIFY2(ports[Pyftpdlib] != 0, log);
        QVERIFY(silent.listen(QHostAddress::LocalHost) && greeting.listen(QHostAddress::LocalHost));
        ports[Silent] = silent.serverPort(), ports[Greeting] = greeting.serverPort();
        connect(&greeting, &QTcpServer::newConnection, [this] { greeting.nextPendingConnection()->write("220 ready\r\n"); });
        startProftpd();
    }

    void cleanupTestCase() { ftp.kill(), ftp.waitForFinished(), proftpd.closeWriteChannel(), proftpd.waitForFinished(), curl_global_cleanup(); }

    // Every protocol shows the same states and replaces the old page whole; over TLS and SFTP
    // the new server is put to the user once, and the password never crosses the wire in clear.
    void upload_replacesThePageWholeThroughEveryState_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("server");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("landsAt");
        QTest::addColumn<QString>("fingerprint"); // asked about on the first upload; none when empty
        QTest::newRow("FTP, absolute path") << 0 << int(Pyftpdlib) << " /stats.htm " << home.filePath("stats.htm") << "";
        QTest::newRow("FTP, relative path") << 0 << int(Proftpd) << "page.htm" << proHome("page.htm") << "";
        QTest::newRow("FTP over TLS, self-signed") << 1 << int(Proftpd) << "page.htm" << proHome("page.htm") << tlsFingerprint;
        QTest::newRow("SFTP, absolute path") << 2 << int(ProftpdSftp) << proHome("page.htm") << proHome("page.htm") << sshFingerprint;
        QTest::newRow("SFTP, relative path") << 2 << int(ProftpdSftp) << "page.htm" << proHome("page.htm") << sshFingerprint;
    }

    void upload_replacesThePageWholeThroughEveryState()
    {
        QFETCH(int, protocol);
        QFETCH(int, server);
        QFETCH(QString, remote);
        QFETCH(QString, landsAt);
        QFETCH(QString, fingerprint);
        relay.target = ports[server], relay.sent.clear();
        QFile old(landsAt);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(oldPage) && old.flush());
        GUARDED(Upload upload(relay.serverPort(), password + "  ", remote, page, protocol);
                upload.ui.setNextAnswer(Answer::Yes);
                for (int round = 0; round < 2; ++round) { // the second finds the server known
                    upload.ui.clear();
                    upload.start();
                    QTRY_VERIFY_WITH_TIMEOUT(!upload.transfer->stillExecuting(), 60000);
                    QCOMPARE(upload.ui.statuses, everyState);
                    QCOMPARE(upload.ui.messages.size(), size_t(round == 0 && !fingerprint.isEmpty()));
                    QVERIFY(upload.ui.messages.empty() || upload.ui.messages[0].text.contains("\n" + fingerprint + "\n"));
                    QVERIFY(readAll(landsAt) == page);
                    QCOMPARE(QDir(QFileInfo(landsAt).path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(landsAt).fileName()});
                    QVERIFY(!QFile::exists(upload.installation.files().uploadCopy()));
                });
        QCOMPARE(relay.sent.contains(password.toUtf8()), protocol == 0);
        QFile::remove(landsAt);
    }

    // Any other outcome shows a reason, leaves the published page as it was, and keeps the
    // upload copy; an address not set up and a missing page start no transfer at all.
    void notUploaded_showsWhy_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("server");
        QTest::addColumn<QStringList>("settings"); // address, password, remote file, where it lands
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("known"); // a known server's line, %1 for the port
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("message"); // the last box's title
        const QString staleTls = "[127.0.0.1]:%1 sha256//" + QString(43, 'B') + "=";
        const QStringList pageAt{"127.0.0.1", password, "page.htm", proHome("page.htm")};
        QTest::newRow("wrong password") << 0 << int(Pyftpdlib) << QStringList{"127.0.0.1", "wrong", "refused.htm", home.filePath("refused.htm")} << page << "" << 0 << failed << "";
        QTest::newRow("missing remote directory") << 0 << int(Pyftpdlib) << QStringList{"127.0.0.1", password, "no/x.htm", ""} << page << "" << 0 << failed << "";
        QTest::newRow("server silent") << 0 << int(Silent) << QStringList{"127.0.0.1", password, "x.htm", ""} << page << "" << 0 << failed << "";
        QTest::newRow("server stalls after greeting") << 0 << int(Greeting) << QStringList{"127.0.0.1", password, "x.htm", ""} << page << "" << 0 << failed << "";
        QTest::newRow("address not set up") << 0 << int(Pyftpdlib) << QStringList{"ftp.example.com", password, "x.htm", ""} << page << "" << 0 << "Configure your FTP settings." << "";
        QTest::newRow("no page generated") << 0 << int(Pyftpdlib) << QStringList{"127.0.0.1", password, "x.htm", ""} << QByteArray() << "" << 0 << "File not found" << "";
        QTest::newRow("line end in the remote path") << 0 << int(Pyftpdlib) << QStringList{"127.0.0.1", password, "x.htm\nDELE y", ""} << page << "" << 0 << "Invalid command" << "";
        QTest::newRow("plain FTP where TLS is required") << 0 << int(ProftpdTlsRequired) << pageAt << page << "" << 0 << failed << "";
        QTest::newRow("TLS, new server not trusted") << 1 << int(Proftpd) << pageAt << page << "" << int(Answer::No) << failed << "Unknown Server";
        QTest::newRow("SFTP, new server not trusted") << 2 << int(ProftpdSftp) << pageAt << page << "" << int(Answer::No) << failed << "Unknown Server";
        QTest::newRow("TLS, server key changed") << 1 << int(Proftpd) << pageAt << page << staleTls << int(Answer::Yes) << failed << "Server Identity Changed";
        QTest::newRow("SFTP, server key changed") << 2 << int(ProftpdSftp) << pageAt << page << "[127.0.0.1]:%1 " + otherSshKey << int(Answer::Yes) << failed << "Server Identity Changed";
        QTest::newRow("FTP, cut off half-way") << 0 << int(Proftpd) << QStringList{"127.0.0.1", password, "cutoff/page.htm", proHome("cutoff/page.htm")} << page << "" << 0 << failed << "";
        QTest::newRow("SFTP, cut off half-way") << 2 << int(ProftpdSftp) << QStringList{"127.0.0.1", password, "cutoff/page.htm", proHome("cutoff/page.htm")} << page << "[127.0.0.1]:%1 " + sshKey << 0 << failed << "";
    }

    void notUploaded_showsWhy()
    {
        QFETCH(int, protocol);
        QFETCH(int, server);
        QFETCH(QStringList, settings);
        QFETCH(QByteArray, content);
        QFETCH(QString, known);
        QFETCH(int, answer);
        QFETCH(QString, status);
        QFETCH(QString, message);
        const bool transfers = status == failed, copied = !content.isNull() && settings[0] != "ftp.example.com";
        relay.target = ports[server], relay.sent.clear();
        QFile old(settings[3]);
        QVERIFY(settings[3].isEmpty() || (old.open(QIODevice::WriteOnly) && old.write(oldPage) && old.flush()));
        GUARDED(Upload upload(relay.serverPort(), settings[1], settings[2], content, protocol);
                upload.config.ftpAddress = settings[0];
                upload.installation.writeFile(protocol == 1 ? "known_tls_hosts" : "known_hosts", QString(known).replace("%1", QString::number(relay.serverPort())).toUtf8());
                const QByteArray knownBefore = upload.known();
                upload.ui.setNextAnswer(Answer(answer));
                upload.start();
                QCOMPARE(upload.transfer->stillExecuting(), transfers);
                QTRY_VERIFY_WITH_TIMEOUT(!upload.transfer->stillExecuting(), 60000);
                QVERIFY2(upload.ui.status().startsWith(status), qPrintable(upload.ui.status()));
                QCOMPARE(upload.ui.messages.empty() ? QString() : upload.ui.messages.back().title, message);
                QCOMPARE(upload.known(), knownBefore);
                QCOMPARE(QFile::exists(upload.installation.files().uploadCopy()), copied);
                if (!settings[3].isEmpty()) {
                    QVERIFY(readAll(settings[3]) == oldPage);
                    QCOMPARE(QDir(QFileInfo(settings[3]).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
                }
                else QVERIFY(!QFile::exists(home.filePath(settings[2]))););
        QVERIFY(protocol == 0 || !relay.sent.contains(password.toUtf8()));
        if (!settings[3].isEmpty()) QFile::remove(settings[3]);
    }

    // Destroying a transfer that waits on a silent server ends it long before its time-out,
    // and no state comes after.
    void destroyedWhileWaiting_returnsAndDeliversNothing()
    {
        GUARDED(Upload upload(silent.serverPort(), password, "x.htm");
                upload.transfer->setRequestTimeout(60);
                upload.start();
                QTRY_VERIFY_WITH_TIMEOUT(upload.ui.status() == "Connected", 30000);
                const QDeadlineTimer generous(30000);
                upload.transfer.reset();
                QVERIFY(!generous.hasExpired());
                QTest::qWait(200);
                QCOMPARE(upload.ui.status(), QString("Connected")););
    }
};

QTEST_GUILESS_MAIN(FtpUploadTest)
#include "FtpUploadTest.moc"
