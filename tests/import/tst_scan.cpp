#include "PlayerRows.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "import/ScanDriver.h"
#include "import/StampCollection.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <functional>
#include <memory>

class TestScan : public QObject
{
    Q_OBJECT

private slots:
    void noLogs_failsQuietly();
    void unchangedLogs_areNotImportedAgain();
    void gapAtLog2_endsTheScanQuietly();
    void rewrittenLog_isImportedAgainInFull();
    void failedOrSkippedImport_isStillStamped();
    void elevenStamps_reportsError9OnEveryScan();
    void missingStampFile_endsQuietlyAndCreatesNothing();
    void blanksAroundGameDirectory_areIgnored();
    void scanRequestedDuringMessageBox_doesNothing();
    void killedBetweenLogs_rescanCountsNoGameTwice();
    void exampleGame_importsAsItsReadmeSays();
};

namespace {

// A user interface that runs an action whenever a message box is shown.
class ReentrantUserInterface : public RecordingUserInterface
{
public:
    std::function<void()> onMessage;

protected:
    Answer displayMessage(const Message& message) override
    {
        if (onMessage)
            onMessage();
        return RecordingUserInterface::displayMessage(message);
    }
};

const QDateTime baseTime(QDate(2024, 3, 1), QTime(20, 0, 0, 700), Qt::LocalTime);

QByteArray goodLog(int i)
{
    return "Adversarial\r\nIndex\r\n1 2 0 Alpha 1 50 5\r\n2 1 3 Log" + QByteArray::number(i) +
           " 2 40 4\r\n";
}

// Fails at its first player line, before anything is merged.
const QByteArray faultyLog = "Adversarial\r\nIndex\r\n1 2 x Alpha 1 50 5\r\n";

struct Setup
{
    TestInstallation inst;
    std::unique_ptr<Config> config;
    ReentrantUserInterface ui;
    std::unique_ptr<ScanDriver> driver;

    Setup()
    {
        inst.createDatabase();
        QDir(inst.files().directory()).mkdir("game");
        config = std::make_unique<Config>(inst.files().configuration());
        config->roguePath = inst.path("game");
        driver = std::make_unique<ScanDriver>(*config, inst.files(), ui);
    }

    QString logName(int i) const { return "game/RSRESULTS" + QString::number(i) + ".log"; }

    void writeLog(int i, const QByteArray& content, const QDateTime& time)
    {
        inst.writeFile(logName(i), content);
        QFile file(inst.path(logName(i)));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
    }

    void writeTenLogs()
    {
        for (int i = 0; i < 10; ++i)
            writeLog(i, goodLog(i), baseTime.addSecs(60 * i));
    }

    int games(const QString& name) const { return gamesPlayed(inst.files().database(), name); }
    int stampLines() const
    {
        int count = 0;
        for (const QByteArray& line : inst.readFile("dateStamps.txt").split('\n'))
            count += line.startsWith('#') ? 1 : 0;
        return count;
    }
};

void verifyFailed(const RecordingUserInterface& ui)
{
    QVERIFY2(ui.status().startsWith("Status scan failed at "), qPrintable(ui.status()));
    QVERIFY(ui.status().endsWith(u'.'));
}

void verifySucceeded(const RecordingUserInterface& ui)
{
    QCOMPARE(ui.statuses.size(), 2);
    QVERIFY2(ui.statuses[0].startsWith("Status scan failed at "), qPrintable(ui.statuses[0]));
    QVERIFY2(ui.status().startsWith("Status scan successful at "), qPrintable(ui.status()));
    QVERIFY(ui.status().endsWith(u'.'));
}

} // namespace

void TestScan::noLogs_failsQuietly()
{
    Setup s;
    s.driver->scanStatFiles();

    verifyFailed(s.ui);
    QCOMPARE(s.ui.statuses.size(), 1);
    QVERIFY(s.ui.messages.empty());
    QVERIFY(playerRows(s.inst.files().database()).isEmpty());
    QCOMPARE(s.inst.readFile("dateStamps.txt"), QByteArray());
}

void TestScan::unchangedLogs_areNotImportedAgain()
{
    Setup s;
    s.writeTenLogs();
    s.driver->scanStatFiles();
    verifySucceeded(s.ui);
    QCOMPARE(s.games("Alpha"), 10);

    // The next run of the program reads the stamps back from the file.
    s.driver = std::make_unique<ScanDriver>(*s.config, s.inst.files(), s.ui);
    s.ui.clear();
    s.driver->scanStatFiles();
    verifySucceeded(s.ui);
    QVERIFY(s.ui.messages.empty());
    QCOMPARE(s.games("Alpha"), 10);
    QCOMPARE(s.games("Log9"), 1);
}

void TestScan::gapAtLog2_endsTheScanQuietly()
{
    Setup s;
    s.writeTenLogs();
    QFile::remove(s.inst.path(s.logName(2)));

    s.driver->scanStatFiles();

    verifyFailed(s.ui);
    QVERIFY(s.ui.messages.empty());
    QCOMPARE(s.games("Alpha"), 2);
    QCOMPARE(s.games("Log1"), 1);
    QCOMPARE(s.games("Log3"), -1);
    QCOMPARE(s.stampLines(), 2);
}

void TestScan::rewrittenLog_isImportedAgainInFull()
{
    Setup s;
    s.writeTenLogs();
    s.driver->scanStatFiles();

    const QDateTime newer = baseTime.addDays(1);
    s.writeLog(5, goodLog(5) + "3 1 0 Beta 4 60 5\r\n", newer);
    // Rewritten but dated before its stamp: not looked at again.
    s.writeLog(6, goodLog(6) + "3 1 0 Gamma 4 60 5\r\n", baseTime);
    s.ui.clear();
    s.driver->scanStatFiles();

    verifySucceeded(s.ui);
    QCOMPARE(s.games("Alpha"), 11);
    QCOMPARE(s.games("Log5"), 2);
    QCOMPARE(s.games("Beta"), 1);
    QCOMPARE(s.games("Gamma"), -1);
    const QList<QByteArray> lines = s.inst.readFile("dateStamps.txt").split('\n');
    QCOMPARE(lines[5], StampCollection::formatStamp(newer.addMSecs(-newer.time().msec())).toLatin1() + '\r');
}

void TestScan::failedOrSkippedImport_isStillStamped()
{
    Setup s;
    s.writeTenLogs();
    s.writeLog(3, faultyLog, baseTime);
    s.writeLog(4, "Cooperative\r\nIndex\r\n1 2 0 Alpha 1 50 5\r\n", baseTime);

    s.driver->scanStatFiles();
    verifySucceeded(s.ui);
    QCOMPARE(s.ui.messages.size(), std::size_t(1));
    QVERIFY(s.ui.messages[0].text.startsWith("Error #: 13\n"));
    QCOMPARE(s.games("Alpha"), 8);
    QCOMPARE(s.stampLines(), 10);

    s.ui.clear();
    s.driver->scanStatFiles();
    verifySucceeded(s.ui);
    QVERIFY(s.ui.messages.empty());
    QCOMPARE(s.games("Alpha"), 8);
}

void TestScan::elevenStamps_reportsError9OnEveryScan()
{
    Setup s;
    s.writeTenLogs();
    s.inst.writeFile("dateStamps.txt", QByteArray("\r\n").repeated(11));

    for (int scan = 0; scan < 2; ++scan) {
        s.ui.clear();
        s.driver->scanStatFiles();
        verifyFailed(s.ui);
        QCOMPARE(s.ui.messages.size(), std::size_t(1));
        QCOMPARE(s.ui.messages[0].text, QString("Error date#: 9\nDescription: Subscript out of range."));
        QCOMPARE(s.ui.messages[0].title, QString("Error"));
        QCOMPARE(s.ui.messages[0].icon, UserInterface::Icon::Critical);
        QCOMPARE(s.ui.messages[0].buttons, UserInterface::Buttons::Ok);
        QVERIFY(playerRows(s.inst.files().database()).isEmpty());
    }
}

void TestScan::missingStampFile_endsQuietlyAndCreatesNothing()
{
    Setup s;
    s.writeTenLogs();
    QFile::remove(s.inst.files().stamps());

    s.driver->scanStatFiles();
    s.driver.reset();

    verifyFailed(s.ui);
    QVERIFY(s.ui.messages.empty());
    QVERIFY(playerRows(s.inst.files().database()).isEmpty());
    QVERIFY(!QFile::exists(s.inst.files().stamps()));
}

void TestScan::blanksAroundGameDirectory_areIgnored()
{
    Setup s;
    s.writeTenLogs();
    s.config->roguePath = "  " + s.inst.path("game") + "  ";

    s.driver->scanStatFiles();

    verifySucceeded(s.ui);
    QVERIFY(s.ui.messages.empty());
    QCOMPARE(s.games("Alpha"), 10);
}

void TestScan::scanRequestedDuringMessageBox_doesNothing()
{
    Setup s;
    s.writeTenLogs();
    s.writeLog(0, faultyLog, baseTime);
    bool scanningMeanwhile = false;
    s.ui.onMessage = [&] {
        scanningMeanwhile = s.driver->isScanning();
        s.driver->scanStatFiles();
    };

    s.driver->scanStatFiles();

    QVERIFY(scanningMeanwhile);
    QVERIFY(!s.driver->isScanning());
    verifySucceeded(s.ui);
    QCOMPARE(s.ui.messages.size(), std::size_t(1));
    QCOMPARE(s.games("Alpha"), 9);
}

void TestScan::killedBetweenLogs_rescanCountsNoGameTwice()
{
    Setup s;
    s.writeTenLogs();
    // The child kills itself at log 4's message, after logs 0 to 3 and before anything of log 4.
    s.writeLog(4, faultyLog, baseTime);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TALLYVANE_TEST_KILL_ON_MESSAGE", "1");
    child.setProcessEnvironment(env);
    child.start(SCAN_ONCE_PATH, {s.inst.files().directory(), s.inst.path("game")});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(s.games("Alpha"), 4);

    s.driver->scanStatFiles();

    verifySucceeded(s.ui);
    QCOMPARE(s.ui.messages.size(), std::size_t(1));
    QCOMPARE(s.games("Alpha"), 9);
    for (int i : {0, 1, 2, 3, 5, 9})
        QCOMPARE(s.games("Log" + QString::number(i)), 1);
}

void TestScan::exampleGame_importsAsItsReadmeSays()
{
    Setup s;
    s.config->roguePath = TALLYVANE_SOURCE_DIR "/examples/game";

    s.driver->scanStatFiles();

    verifySucceeded(s.ui);
    QCOMPARE(s.ui.messages.size(), std::size_t(1));
    QVERIFY(s.ui.messages[0].text.startsWith("Error #: 13\n"));
    QCOMPARE(playerRows(s.inst.files().database()).size(), 9);
    QCOMPARE(s.games("Kestrel"), 8);
    QCOMPARE(s.games(" NSR Viper"), 5);
    QCOMPARE(s.games("Big Bad Bob"), 5);
}

QTEST_GUILESS_MAIN(TestScan)
#include "tst_scan.moc"
