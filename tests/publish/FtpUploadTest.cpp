#include "Guarded.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "publish/FtpTransfer.h"
#include "publish/FtpUpload.h"

#include <QDeadlineTimer>
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
// CR LF, NUL and the high half: bytes that a text-mode transfer would change.
static const QByteArray page = "<html>\r\n" + QByteArray("<tr>\xe9\x80\0\xff</tr>\r\n", 15).repeated(3000);

// An installation with a page (none when null) to upload to 127.0.0.1, the transfer's states
// followed as the program follows them.
struct Upload
{
    TestInstallation installation;
    Config config{installation.files().configuration()};
    RecordingUserInterface ui;
    std::unique_ptr<FtpTransfer> transfer = std::make_unique<FtpTransfer>();

    Upload(quint16 port, const QString& secret, const QString& remote, const QByteArray& content = page)
    {
        config.ftpAddress = "  127.0.0.1 "; // blanks around a setting are no part of it
        config.ftpPort = qint16(port);
        config.ftpLogin = " " + user;
        config.ftpPassword = secret;
        config.ftpFile = remote;
        if (!content.isNull()) installation.writeFile("output/tallyvane.htm", content);
        transfer->setRequestTimeout(5);
        QObject::connect(transfer.get(), &FtpTransfer::stateChanged,
                         [this](int state) { FtpUpload::handleStateChange(state, *transfer, installation.files(), ui); });
    }
    void start() { FtpUpload::uploadHtml(config, *transfer, installation.files(), ui); }
};

class FtpUploadTest : public QObject
{
    Q_OBJECT
    QTemporaryDir home; // served by a real FTP server (pyftpdlib) on a port the system picks
    QProcess ftp;
    quint16 port = 0;
    QTcpServer silent, greeting; // take connections and say nothing, or only the greeting

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
        port = QRegularExpression(R"(127\.0\.0\.1:(\d+))").match(log).captured(1).toUShort();
        QVERIFY2(port != 0, log);
        QVERIFY(silent.listen(QHostAddress::LocalHost) && greeting.listen(QHostAddress::LocalHost));
        connect(&greeting, &QTcpServer::newConnection, [this] { greeting.nextPendingConnection()->write("220 ready\r\n"); });
    }

    void cleanupTestCase() { ftp.kill(), ftp.waitForFinished(), curl_global_cleanup(); }

    void upload_arrivesByteForByteThroughEveryState()
    {
        GUARDED(Upload upload(port, password + "  ", " /stats.htm ");
                upload.start();
                QTRY_VERIFY_WITH_TIMEOUT(!upload.transfer->stillExecuting(), 60000);
                QCOMPARE(upload.ui.statuses, (QStringList{"Looking up host...", "Resolved ip...", "Connecting...", "Connected", "Requesting...", "Request successful",
                    "Receiving response...", "Closing connection...", "Connection closed", "HTML file successfully uploaded!"}));
                QFile copy(home.filePath("stats.htm"));
                QVERIFY(copy.open(QIODevice::ReadOnly) && copy.readAll() == page);
                QVERIFY(!QFile::exists(upload.installation.files().uploadCopy())););
    }

    // Any other outcome shows a reason and leaves the upload copy; an address not set up and a
    // missing page start no transfer at all.
    void notUploaded_showsWhy_data()
    {
        QTest::addColumn<quint16>("server");
        QTest::addColumn<QStringList>("settings"); // address, password, remote file
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("status");
        QTest::newRow("wrong password") << port << QStringList{"127.0.0.1", "wrong", "refused.htm"} << page << failed;
        QTest::newRow("missing remote directory") << port << QStringList{"127.0.0.1", password, "no/x.htm"} << page << failed;
        QTest::newRow("server silent") << silent.serverPort() << QStringList{"127.0.0.1", password, "x.htm"} << page << failed;
        QTest::newRow("server stalls after greeting") << greeting.serverPort() << QStringList{"127.0.0.1", password, "x.htm"} << page << failed;
        QTest::newRow("address not set up") << port << QStringList{"ftp.example.com", password, "x.htm"} << page << "Configure your FTP settings.";
        QTest::newRow("no page generated") << port << QStringList{"127.0.0.1", password, "x.htm"} << QByteArray() << "File not found";
    }

    void notUploaded_showsWhy()
    {
        QFETCH(quint16, server);
        QFETCH(QStringList, settings);
        QFETCH(QByteArray, content);
        QFETCH(QString, status);
        const bool transfers = status == failed;
        GUARDED(Upload upload(server, settings[1], settings[2], content);
                upload.config.ftpAddress = settings[0];
                upload.start();
                QCOMPARE(upload.transfer->stillExecuting(), transfers);
                QTRY_VERIFY_WITH_TIMEOUT(!upload.transfer->stillExecuting(), 60000);
                QVERIFY2(upload.ui.status().startsWith(status), qPrintable(upload.ui.status()));
                QCOMPARE(QFile::exists(upload.installation.files().uploadCopy()), transfers);
                QVERIFY(!QFile::exists(home.filePath(settings[2]))););
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
