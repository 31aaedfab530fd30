#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "publish/FtpTransfer.h"
#include "publish/FtpUpload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace {

const QString user = "publisher", password = "s3cret";
const QString uploaded = "HTML file successfully uploaded!";

// A real FTP server (pyftpdlib) on 127.0.0.1, on a port the system picks, serving a temporary
// home directory to one user. Stopped when it goes.
struct FtpServer
{
    QTemporaryDir home;
    QProcess process;
    quint16 port = 0;

    FtpServer()
    {
        process.start("/usr/bin/python3", {"-c", R"(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
FTPHandler.authorizer = DummyAuthorizer()
FTPHandler.authorizer.add_user(sys.argv[2], sys.argv[3], sys.argv[1], perm="elradfmw")
server = FTPServer(("127.0.0.1", 0), FTPHandler)
print(server.address[1], flush=True)
server.serve_forever()
)", home.path(), user, password});
        while (!process.canReadLine() && process.waitForReadyRead(10000)) {
        }
        port = quint16(process.readLine().trimmed().toUInt());
    }
    ~FtpServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }
};

// Bytes that a text-mode transfer would change: CR LF, NUL, the high half.
QByteArray samplePage()
{
    static const char line[] = "    <tr>\xe9\x80\x00\xff</tr>\r\n";
    return "<html>\r\n" + QByteArray(line, sizeof line - 1).repeated(2000) + "</html>\r\n";
}

// An installation with a page to publish (none when null), set up to upload it to 127.0.0.1,
// with the transfer's states followed as the program follows them.
struct Upload
{
    TestInstallation installation;
    Config config{installation.files().configuration()};
    RecordingUserInterface ui;
    FtpTransfer transfer;
    QList<int> states;

    Upload(quint16 port, const QString& secret, const QString& remote,
           const QByteArray& page = samplePage())
    {
        config.ftpAddress = "127.0.0.1";
        config.ftpPort = qint16(port);
        config.ftpLogin = user;
        config.ftpPassword = secret;
        config.ftpFile = remote;
        if (!page.isNull())
            installation.writeFile("output/tallyvane.htm", page);
        QObject::connect(&transfer, &FtpTransfer::stateChanged, &transfer, [this](int state) {
            states.append(state);
            FtpUpload::handleStateChange(state, transfer, installation.files(), ui);
        });
    }
    void start() { FtpUpload::uploadHtml(config, transfer, installation.files(), ui); }
    bool finished() const { return states.contains(11) || states.contains(12); }
    bool copyLeft() const { return QFile::exists(installation.files().uploadCopy()); }
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class FtpUploadTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
        m_server = std::make_unique<FtpServer>();
        QVERIFY2(m_server->port != 0, m_server->process.readAllStandardError().constData());
        QVERIFY(QDir().mkpath(m_server->home.filePath("www")));
    }

    void cleanupTestCase()
    {
        m_server.reset();
        curl_global_cleanup();
    }

    void upload_arrivesByteForByteAndRemovesTheCopy()
    {
        // Blanks around the settings are no part of them.
        Upload upload(m_server->port, " " + password + "  ", " /www/stats.htm ");
        upload.config.ftpAddress = "  127.0.0.1 ";
        upload.config.ftpLogin = " " + user;

        upload.start();
        QTRY_VERIFY_WITH_TIMEOUT(upload.finished(), 20000);

        QCOMPARE(upload.states, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12}));
        QCOMPARE(upload.ui.statuses,
                 (QStringList{"Looking up host...", "Resolved ip...", "Connecting...", "Connected",
                              "Requesting...", "Request successful", "Receiving response...",
                              "Closing connection...", "Connection closed", uploaded}));
        QCOMPARE(fileBytes(m_server->home.filePath("www/stats.htm")), samplePage());
        QVERIFY(!upload.copyLeft());
        QVERIFY(!upload.transfer.stillExecuting());
    }

    void failedTransfer_showsErrorAndKeepsTheCopy_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QString>("remote");
        QTest::newRow("wrong password") << "wrong" << true << "refused.htm";
        QTest::newRow("nothing listening") << password << false << "unreached.htm";
        QTest::newRow("missing remote directory") << password << true << "nowhere/lost.htm";
    }

    void failedTransfer_showsErrorAndKeepsTheCopy()
    {
        QFETCH(QString, secret);
        QFETCH(bool, listening);
        QFETCH(QString, remote);
        quint16 port = m_server->port;
        if (!listening)
            port = FtpServer().port; // a port just given up

        Upload upload(port, secret, remote);
        upload.start();
        QTRY_VERIFY_WITH_TIMEOUT(upload.finished(), 20000);

        QCOMPARE(upload.states.last(), 11);
        QVERIFY(!upload.states.contains(12));
        QVERIFY(std::is_sorted(upload.states.begin(), upload.states.end()));
        QCOMPARE(upload.ui.status(), QString("Error. Check your FTP settings and try again."));
        QVERIFY(upload.copyLeft());
        QVERIFY(!QFile::exists(m_server->home.filePath(remote)));
        QVERIFY(!upload.transfer.stillExecuting());
    }

    void placeholderAddress_refusesWithoutCopying()
    {
        // The address of a configuration not yet set up: line 5 of the seed statConf.txt.
        const QByteArray seedLine5 = fileBytes(TALLYVANE_SEED_DIR "/statConf.txt").split('\n')[4];
        QCOMPARE(QString::fromLatin1(seedLine5).remove('\r'), FtpUpload::placeholderAddress);
        Upload upload(m_server->port, password, "x.htm");
        upload.config.ftpAddress = FtpUpload::placeholderAddress;

        upload.start();
        QTest::qWait(100);

        QCOMPARE(upload.ui.statuses, QStringList{"Configure your FTP settings."});
        QVERIFY(upload.states.isEmpty());
        QVERIFY(!upload.copyLeft());
    }

    void noPageYet_showsTheCopyFailure()
    {
        Upload upload(m_server->port, password, "x.htm", QByteArray());

        upload.start();
        QTest::qWait(100);

        QCOMPARE(upload.ui.statuses.size(), 1);
        QVERIFY2(upload.ui.status().startsWith("File not found") &&
                     upload.ui.status().contains("tallyvane.htm"),
                 qPrintable(upload.ui.status()));
        QVERIFY(upload.states.isEmpty());
        QVERIFY(!upload.transfer.stillExecuting());
    }

    void secondUploadWhileRunning_showsBusyAndFirstCompletes()
    {
        Upload upload(m_server->port, password, "busy.htm");

        upload.start();
        upload.installation.writeFile("output/tallyvane.htm", "<html>second</html>\r\n");
        upload.start();

        QCOMPARE(upload.ui.statuses.size(), 1);
        QVERIFY2(upload.ui.status().contains("busy"), qPrintable(upload.ui.status()));
        QTRY_VERIFY_WITH_TIMEOUT(upload.finished(), 20000);
        QCOMPARE(upload.ui.status(), uploaded);
        QCOMPARE(fileBytes(m_server->home.filePath("busy.htm")), samplePage());
    }

    void destroyedWhileRunning_returnsPromptlyAndDeliversNothing()
    {
        QList<int> states;
        QElapsedTimer clock;
        {
            // The server holds a wrong password's answer back for seconds.
            Upload upload(m_server->port, "wrong", "slow.htm");
            QObject::connect(&upload.transfer, &FtpTransfer::stateChanged,
                             [&states](int state) { states.append(state); });
            upload.start();
            QTRY_VERIFY_WITH_TIMEOUT(states.contains(4), 10000);
            clock.start();
        }
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        const qsizetype seen = states.size();
        QTest::qWait(200);
        QCOMPARE(states.size(), seen);
    }

private:
    std::unique_ptr<FtpServer> m_server;
};

QTEST_GUILESS_MAIN(FtpUploadTest)
#include "FtpUploadTest.moc"
