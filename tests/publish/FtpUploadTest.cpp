#include "FtpServer.h"

#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "platform/Failure.h"
#include "publish/FtpTransfer.h"
#include "publish/FtpUpload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port that refuses connections: bound, so that nobody else takes it, but not listening.
class ClosedPort
{
public:
    ClosedPort()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~ClosedPort() { ::close(m_fd); }
    quint16 port() const { return m_port; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

// One installation with its configuration, a transfer wired to the state-change handler,
// and what the user saw.
struct Upload
{
    TestInstallation installation;
    std::unique_ptr<Config> config;
    RecordingUserInterface ui;
    FtpTransfer transfer;
    QList<int> states;

    Upload()
    {
        config = std::make_unique<Config>(installation.files().configuration());
        QObject::connect(&transfer, &FtpTransfer::stateChanged, &transfer, [this](int state) {
            states.append(state);
            FtpUpload::handleStateChange(state, transfer, installation.files(), ui);
        });
    }

    void configure(const QString& address, quint16 port, const QString& password,
                   const QString& remote)
    {
        config->ftpAddress = address;
        config->ftpPort = qint16(port);
        config->ftpLogin = QString::fromLatin1(FtpServer::userName);
        config->ftpPassword = password;
        config->ftpFile = remote;
    }

    void writeReport(const QByteArray& content)
    {
        installation.writeFile(QStringLiteral("output/tallyvane.htm"), content);
    }

    void start() { FtpUpload::uploadHtml(*config, transfer, installation.files(), ui); }

    bool finished() const { return states.contains(11) || states.contains(12); }
};

QByteArray samplePage()
{
    // Bytes that a text-mode transfer would change: CR LF, NUL, the high half.
    static const char line[] = "    <tr>\xe9\x80\x00\xff</tr>\r\n";
    QByteArray page = "<html>\r\n \r\n";
    for (int i = 0; i < 2000; ++i)
        page += QByteArray(line, sizeof line - 1);
    return page + "</html>\r\n";
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
        QVERIFY2(m_server->isRunning(), qPrintable(m_server->errorText()));
        QVERIFY(QDir().mkpath(m_server->homePath(QStringLiteral("www"))));
    }

    void cleanupTestCase()
    {
        m_server.reset();
        curl_global_cleanup();
    }

    void placeholderAddress_isTheSeedConfigurationsAddress()
    {
        QFile seed(QStringLiteral(TALLYVANE_SEED_DIR "/statConf.txt"));
        QVERIFY(seed.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = seed.readAll().split('\n');
        QVERIFY(lines.size() >= 5);
        QCOMPARE(QString::fromLatin1(lines[4]).remove(QLatin1Char('\r')),
                 FtpUpload::placeholderAddress);
    }

    void upload_arrivesByteForByteAndRemovesTheCopy()
    {
        Upload upload;
        // Blanks around the settings are not part of them.
        upload.configure(QStringLiteral("  127.0.0.1 "), m_server->port(),
                         QStringLiteral(" ") + FtpServer::password + QStringLiteral("  "),
                         QStringLiteral(" /www/stats.htm "));
        upload.config->ftpLogin = QStringLiteral(" ") + upload.config->ftpLogin;
        const QByteArray page = samplePage();
        upload.writeReport(page);

        upload.start();
        QTRY_VERIFY_WITH_TIMEOUT(upload.finished(), 20000);

        QCOMPARE(upload.states, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12}));
        QCOMPARE(upload.ui.statuses,
                 (QStringList{"Looking up host...", "Resolved ip...", "Connecting...",
                              "Connected", "Requesting...", "Request successful",
                              "Receiving response...", "Closing connection...",
                              "Connection closed", "HTML file successfully uploaded!"}));
        QFile uploaded(m_server->homePath(QStringLiteral("www/stats.htm")));
        QVERIFY(uploaded.open(QIODevice::ReadOnly));
        QCOMPARE(uploaded.readAll(), page);
        QVERIFY(!QFile::exists(upload.installation.files().uploadCopy()));
        QVERIFY(!upload.transfer.stillExecuting());
    }

    void failedTransfer_showsErrorAndKeepsTheCopy_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("serverListening");
        QTest::addColumn<QString>("remote");
        QTest::newRow("wrong password") << QStringLiteral("wrong") << true
                                        << QStringLiteral("refused.htm");
        QTest::newRow("nothing listening") << QString::fromLatin1(FtpServer::password) << false
                                           << QStringLiteral("unreached.htm");
        QTest::newRow("missing remote directory")
            << QString::fromLatin1(FtpServer::password) << true
            << QStringLiteral("nowhere/lost.htm");
    }

    void failedTransfer_showsErrorAndKeepsTheCopy()
    {
        QFETCH(QString, password);
        QFETCH(bool, serverListening);
        QFETCH(QString, remote);
        ClosedPort closedPort;
        Upload upload;
        upload.configure(QStringLiteral("127.0.0.1"),
                         serverListening ? m_server->port() : closedPort.port(), password, remote);
        upload.writeReport("<html>\r\n");

        upload.start();
        QTRY_VERIFY_WITH_TIMEOUT(upload.finished(), 20000);

        QCOMPARE(upload.states.last(), 11);
        QVERIFY(!upload.states.contains(12));
        QVERIFY(std::is_sorted(upload.states.begin(), upload.states.end()));
        QCOMPARE(upload.ui.status(), QStringLiteral("Error. Check your FTP settings and try again."));
        QVERIFY(QFile::exists(upload.installation.files().uploadCopy()));
        QVERIFY(!QFile::exists(m_server->homePath(remote)));
        QVERIFY(!upload.transfer.stillExecuting());
    }

    void placeholderAddress_refusesWithoutCopying()
    {
        Upload upload;
        upload.configure(FtpUpload::placeholderAddress, m_server->port(),
                         QString::fromLatin1(FtpServer::password), QStringLiteral("x.htm"));
        upload.writeReport("<html>\r\n");

        upload.start();
        QTest::qWait(100);

        QCOMPARE(upload.ui.statuses, QStringList{"Configure your FTP settings."});
        QVERIFY(upload.states.isEmpty());
        QVERIFY(!QFile::exists(upload.installation.files().uploadCopy()));
    }

    void noReportYet_showsTheCopyFailure()
    {
        Upload upload;
        upload.configure(QStringLiteral("127.0.0.1"), m_server->port(),
                         QString::fromLatin1(FtpServer::password), QStringLiteral("x.htm"));

        upload.start();
        QTest::qWait(100);

        QCOMPARE(upload.ui.statuses.size(), 1);
        QVERIFY2(upload.ui.status().startsWith(QStringLiteral("File not found")),
                 qPrintable(upload.ui.status()));
        QVERIFY(upload.ui.status().contains(QStringLiteral("tallyvane.htm")));
        QVERIFY(upload.states.isEmpty());
        QVERIFY(!upload.transfer.stillExecuting());
    }

    void secondUploadWhileRunning_showsBusyAndFirstCompletes()
    {
        Upload upload;
        upload.configure(QStringLiteral("127.0.0.1"), m_server->port(),
                         QString::fromLatin1(FtpServer::password), QStringLiteral("busy.htm"));
        const QByteArray page = samplePage();
        upload.writeReport(page);

        upload.start();
        upload.writeReport("<html>second</html>\r\n");
        upload.start();

        QCOMPARE(upload.ui.statuses.size(), 1);
        QVERIFY2(upload.ui.status().contains(QStringLiteral("busy")), qPrintable(upload.ui.status()));
        QTRY_VERIFY_WITH_TIMEOUT(upload.finished(), 20000);
        QCOMPARE(upload.ui.status(), QStringLiteral("HTML file successfully uploaded!"));
        QFile uploaded(m_server->homePath(QStringLiteral("busy.htm")));
        QVERIFY(uploaded.open(QIODevice::ReadOnly));
        QCOMPARE(uploaded.readAll(), page);
    }

    void destroyedWhileRunning_returnsPromptlyWithoutStates()
    {
        TestInstallation installation;
        installation.writeFile(QStringLiteral("output/tallyvane.htm"), "<html>\r\n");
        QFile::copy(installation.files().report(), installation.files().uploadCopy());
        QList<int> states;
        QElapsedTimer clock;
        {
            FtpTransfer transfer;
            QObject::connect(&transfer, &FtpTransfer::stateChanged,
                             [&states](int state) { states.append(state); });
            transfer.setUrl(QStringLiteral("ftp://127.0.0.1"));
            transfer.setPort(m_server->port());
            transfer.setUserName(QString::fromLatin1(FtpServer::userName));
            // The server holds a wrong password's answer back for seconds.
            transfer.setPassword(QStringLiteral("wrong"));
            transfer.execute(QStringLiteral("PUT ") + installation.files().uploadCopy() +
                             QStringLiteral(" slow.htm"));
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
