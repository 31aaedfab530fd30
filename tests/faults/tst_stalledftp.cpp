// An FTP server that takes the connection and then stops answering: the upload must end in
// state 11 within the request time-out, tell the user, and leave the page as it was.

#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "publish/FtpTransfer.h"
#include "publish/FtpUpload.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <curl/curl.h>

#include <memory>

namespace {

constexpr int requestTimeoutSeconds = 3;
// Time allowed beyond the time-out for closing the connection and delivering the state.
constexpr int slackMilliseconds = 1500;

class StalledServer
{
public:
    explicit StalledServer(const QString& mode)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(STALLED_FTP_SERVER), mode});
        if (m_process.waitForStarted(10000) && m_process.waitForReadyRead(10000))
            m_port = quint16(m_process.readLine().trimmed().toUInt());
    }
    ~StalledServer()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace

class TestStalledFtp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void cleanupTestCase() { curl_global_cleanup(); }

    void stalledServer_endsInState11WithinTheTimeout_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("no greeting") << QStringLiteral("silent");
        QTest::newRow("no answer to the login") << QStringLiteral("greeting");
        QTest::newRow("no answer after the login") << QStringLiteral("login");
    }

    void stalledServer_endsInState11WithinTheTimeout()
    {
        QFETCH(QString, mode);
        StalledServer server(mode);
        QVERIFY2(server.port() != 0, "the stalling server did not start");

        TestInstallation installation;
        const QByteArray page = "<html>\r\n \r\n</html>\r\n";
        installation.writeFile(QStringLiteral("output/tallyvane.htm"), page);
        Config config(installation.files().configuration());
        config.ftpAddress = QStringLiteral("127.0.0.1");
        config.ftpPort = qint16(server.port());
        config.ftpLogin = QStringLiteral("publisher");
        config.ftpPassword = QStringLiteral("secret");
        config.ftpFile = QStringLiteral("www/tallyvane.htm");

        RecordingUserInterface ui;
        FtpTransfer transfer;
        transfer.setRequestTimeout(requestTimeoutSeconds);
        QList<int> states;
        QElapsedTimer clock;
        qint64 finalAfter = -1;
        connect(&transfer, &FtpTransfer::stateChanged, this, [&](int state) {
            states.append(state);
            if (state == 11 || state == 12)
                finalAfter = clock.elapsed();
            FtpUpload::handleStateChange(state, transfer, installation.files(), ui);
        });

        clock.start();
        FtpUpload::uploadHtml(config, transfer, installation.files(), ui);
        QTRY_VERIFY_WITH_TIMEOUT(finalAfter >= 0, 6 * requestTimeoutSeconds * 1000);

        qInfo("%s: state %d after %lld ms (time-out %d s); states seen:", qPrintable(mode),
              int(states.last()), finalAfter, requestTimeoutSeconds);
        qInfo() << states;
        QCOMPARE(states.last(), 11);
        QVERIFY2(finalAfter <= requestTimeoutSeconds * 1000 + slackMilliseconds,
                 qPrintable(QString::number(finalAfter)));
        QCOMPARE(ui.status(), QStringLiteral("Error. Check your FTP settings and try again."));
        QVERIFY(!transfer.stillExecuting());
        QCOMPARE(installation.readFile(QStringLiteral("output/tallyvane.htm")), page);
        QCOMPARE(installation.readFile(QStringLiteral("tv.htm")), page);
    }
};

QTEST_GUILESS_MAIN(TestStalledFtp)
#include "tst_stalledftp.moc"
