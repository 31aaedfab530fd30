#include "PlayerRows.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "import/ImportLog.h"
#include "import/ScanDriver.h"
#include "import/StampCollection.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <sqlite3.h>

#include <functional>
#include <memory>

namespace {

using Stamp = StampCollection::Stamp;

const QString explained = "Error #: 13\nDescription: Type mismatch.\n"
                          "Plain english: Log imports will fail if a player has\n"
                          "two names, seperated by numbers (such\n"
                          "as \"mp5 10SD\"). This log will be skipped.\n"
                          "Click on Force Statistics Scan to import remaining logs.";

QByteArray table(const QByteArray& players)
{
    return "Adversarial Game,Map\r\nServer,Home\r\nIndex Team Status Player Kills\r\n" + players;
}

QByteArray goodLog(int i)
{
    return table("1 2 0 Alpha 1 50 5\r\n2 1 3 Log" + QByteArray::number(i) + " 2 40 4\r\n");
}

// Fails at its first player line, before anything is merged.
const QByteArray faultyLog = table("1 2 x Alpha 1 50 5\r\n");

// The texts of the message boxes shown, each marked when it is not an error box with OK.
QStringList errorTexts(const RecordingUserInterface& ui)
{
    QStringList texts;
    for (const UserInterface::Message& m : ui.messages) {
        const bool errorBox = m.title == u"Error" && m.icon == UserInterface::Icon::Critical &&
                              m.buttons == UserInterface::Buttons::Ok;
        texts.append(errorBox ? m.text : "(not an error box) " + m.text);
    }
    return texts;
}

// Runs an action whenever a message box is shown, as a timer tick in its event loop would.
struct ReentrantUserInterface : RecordingUserInterface
{
    std::function<void()> onMessage;
    Answer displayMessage(const Message& message) override
    {
        if (onMessage)
            onMessage();
        return RecordingUserInterface::displayMessage(message);
    }
};

const QDateTime baseTime(QDate(2024, 3, 1), QTime(20, 0, 0, 700), Qt::LocalTime);

// An installation whose game directory holds the first `logs` logs, a minute apart.
struct Scan
{
    TestInstallation inst; // its stamp file starts empty
    Config config{inst.files().configuration()};
    ReentrantUserInterface ui;
    std::unique_ptr<ScanDriver> driver;

    explicit Scan(int logs = 10)
    {
        inst.createDatabase();
        QDir(inst.files().directory()).mkdir("game");
        config.roguePath = inst.path("game");
        for (int i = 0; i < logs; ++i)
            writeLog(i, goodLog(i), baseTime.addSecs(60 * i));
        driver = std::make_unique<ScanDriver>(config, inst.files(), ui);
    }
    QString log(int i) const { return inst.path("game/RSRESULTS%1.log").arg(i); }
    void writeLog(int i, const QByteArray& content, const QDateTime& time)
    {
        QFile file(log(i));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
                file.flush());
        QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
    }
    int games(const QString& name) const { return gamesPlayed(inst.files().database(), name); }
    QByteArray stamps() const { return inst.readFile("dateStamps.txt"); }
    // One scan: the status line says it failed and then, after the tenth log, that it succeeded.
    void run(bool succeeds)
    {
        ui.clear();
        driver->scanStatFiles();
        QCOMPARE(ui.statuses.size(), succeeds ? 2 : 1);
        QVERIFY(ui.statuses[0].startsWith("Status scan failed at "));
        const char* last = succeeds ? "Status scan successful at " : "Status scan failed at ";
        QVERIFY2(ui.status().startsWith(last) && ui.status().endsWith(u'.'),
                 qPrintable(ui.status()));
    }
};

void row(const char* name, const QByteArray& log, const QStringList& rows,
         const QStringList& messages = {})
{
    QTest::newRow(name) << log << rows << messages;
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private slots:
    void importLog_mergesWhatTheColumnsHold_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("messages");
        const QStringList bob{"Bob|12|1|45|7|1"}, both{"Bob|12|1|45|7|1", "Amy|3|0|50|4|1"};
        const QString noHeading = "Error imp#: 62\nDescription: Input past end of file.";
        const QString overflow = "Error imp#: 6\nDescription: Overflow.";
        const QByteArray two = "1 2 3 Bob 12 45 7\r\n2 1 0 Amy 3 50 4";
        // 200 characters; the cut after 150 leaves "67" of the rounds figure "6789".
        const QByteArray longLine =
            "1 2 0 " + QByteArray(136, 'X') + " 4 50 6789" + QByteArray(" 1").repeated(24);

        row("killed, then not", table("1 2 3 Bob 12 45 7\r\n1 2 0 Big Bad Bob 3 50 4\r\n"),
            {"Bob|12|1|45|7|1", "Big Bad Bob|3|0|50|4|1"});
        row("two blanks: empty column", table("1 2 3  Bob 12 45 7\r\n"), {" Bob|12|1|45|7|1"});
        row("clan tag, accent, quote", table("1 2 0 [TAG]Zo\xeb's 5 40 3\r\n"),
            {" TAG Zo  s|5|0|40|3|1"});
        row("digits end the name", table("1 2 0 Agent 47 10 20 5\r\n"), {"Agent|47|0|10|20|1"});
        row("exponent is no number", table("1 2 0 Sniper 2e4 5 40 3\r\n"),
            {"Sniper 2e4|5|0|40|3|1"});
        row("tab inside a name part", table("1 2 0 Tom 1\t2 5 6 7\r\n"), {"Tom 1 2|5|0|6|7|1"});
        row("200 characters", table(longLine + "\r\n"), {QString(136, u'X') + "|4|0|50|67|1"});
        row("figures past column 19", table("1 2 0 a b c d e f g h i j k l m n o 1 2 3\r\n"), {},
            {explained});
        row("no figure to column 20", table("1 2 0 a b c d e f g h i j k l m n o p q r\r\n"), {},
            {"Error imp#: 9\nDescription: Subscript out of range."});
        row("blank line at the end", table(two + "\r\n\r\n"), both, {explained});
        row("numeric part in a name",
            table("1 2 3 Bob 12 45 7\r\n2 1 0 mp5 10 SD 3 50 4\r\n2 1 0 Amy 3 50 4\r\n"), bob,
            {explained});
        row("kills beyond 32 bits", table("1 2 3 Bob 12 45 7\r\n1 2 0 Amy 2147483648 50 4\r\n"),
            bob, {overflow});
        row("hit % beyond 16 bits", table("1 2 0 Amy 3 32768 4\r\n"), {}, {overflow});
        row("no Index", "Adversarial\r\nServer,Home\r\n1 2 3 Bob 12 45 7\r\n", {}, {noHeading});
        row("empty file", "", {}, {noHeading});
        row("index in small letters", "Adversarial\r\nindex\r\n" + two, {}, {noHeading});
        row("adversarial in small letters", "adversarial\r\nIndex\r\n" + two, {});
        row("shorter first field", "Adversaria\r\nIndex\r\n" + two, {});
        row("heading ending at a comma", "Adversarial\r\nIndex," + two, both);
        row("quoted first field", "\"Adversarial, ranked\",Map\r\nIndex\r\n" + two, both);
        row("blanks before the first field", "   Adversarial\r\nIndex\r\n" + two, both);
        row("heading lines later", "Adversarial,a,b\r\nc\r\nd,e,Index Team\r\n" + two, both);
        row("lone CR", "Adversarial\rIndex\r1 2 3 Bob 12 45 7\r2 1 0 Amy 3 50 4\r", both);
        row("lone LF", "Adversarial\nIndex\n1 2 3 Bob 12 45 7\n2 1 0 Amy 3 50 4\n", both);
    }

    void importLog_mergesWhatTheColumnsHold()
    {
        QFETCH(QByteArray, log);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, messages);
        TestInstallation inst;
        inst.createDatabase();
        inst.writeFile("RSRESULTS0.log", log);
        RecordingUserInterface ui;

        importLog(inst.path("RSRESULTS0.log"), inst.files().database(), ui);

        QCOMPARE(playerRows(inst.files().database()), rows);
        QCOMPARE(errorTexts(ui), messages);
        QVERIFY(ui.statuses.isEmpty());
    }

    void mergeNamingUnknownField_isPassedOverQuietly()
    {
        // No fldAccuracy: updating the known player fails with code 3061, which is not shown.
        TestInstallation inst;
        sqlite3* db = nullptr;
        sqlite3_open(inst.files().database().toUtf8().constData(), &db);
        sqlite3_exec(db,
                     "CREATE TABLE tblPlayer (fldName TEXT, fldSkill INTEGER, fldKills INTEGER, "
                     "fldKilled INTEGER, fldHitPercent INTEGER, fldAverageRounds INTEGER, "
                     "fldGamesPlayed INTEGER); INSERT INTO tblPlayer VALUES ('Bob',100,1,1,40,5,1)",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        inst.writeFile("RSRESULTS0.log", table("1 2 3 Bob 12 45 7\r\n2 1 0 Amy 3 50 4\r\n"));
        RecordingUserInterface ui;

        importLog(inst.path("RSRESULTS0.log"), inst.files().database(), ui);

        QCOMPARE(errorTexts(ui), QStringList());
        QCOMPARE(playerRows(inst.files().database()), QStringList{"Bob|1|1|40|5|1"});
    }

    void stampFile_keepsItsLayoutAndIsWrittenAtOnce()
    {
        TestInstallation inst; // its stamp file is empty
        const QDateTime afternoon(QDate(2024, 3, 1), QTime(14, 23, 5), Qt::LocalTime);
        const QDateTime midnight(QDate(1999, 10, 15), QTime(0, 0), Qt::LocalTime);
        const QByteArray layout =
            "#2024-03-01 14:23:05#\r\n#1999-10-15#\r\n" + QByteArray("\r\n").repeated(8);
        {
            StampCollection stamps(inst.files().stamps());
            for (std::int16_t i = 0; i < 10; ++i)
                QCOMPARE(stamps.getStamp(i), Stamp());
        }
        QCOMPARE(inst.readFile("dateStamps.txt"), QByteArray("\r\n").repeated(10));
        {
            StampCollection stamps(inst.files().stamps());
            stamps.setStamp(afternoon, 0);
            stamps.setStamp(midnight, 1);
            QCOMPARE(inst.readFile("dateStamps.txt"), layout); // a crash now would keep them
        }
        QCOMPARE(inst.readFile("dateStamps.txt"), layout);
        StampCollection again(inst.files().stamps());
        QCOMPARE(again.getStamp(0), Stamp(afternoon));
        QCOMPARE(again.getStamp(1), Stamp(midnight));
        QCOMPARE(again.getStamp(2), Stamp());
    }

    void scanThatCannotStart_importsNothingAndKeepsTheStamps_data()
    {
        QTest::addColumn<int>("logs");
        QTest::addColumn<QByteArray>("stamps"); // null: no file at all
        QTest::addColumn<QStringList>("messages");
        const QStringList outOfRange{"Error date#: 9\nDescription: Subscript out of range."};
        const QStringList mismatch{"Error date#: 13\nDescription: Type mismatch."};
        QTest::newRow("no logs") << 0 << QByteArray("") << QStringList();
        QTest::newRow("eleven lines") << 10 << QByteArray("\r\n").repeated(11) << outOfRange;
        QTest::newRow("eleven fields") << 10 << QByteArray(",,,,,,,,,,\r\n") << outOfRange;
        QTest::newRow("eleven stamps") << 10 << QByteArray("#2024-03-01#\r\n").repeated(11)
                                       << outOfRange;
        QTest::newRow("text that is no stamp") << 10 << QByteArray("yesterday\r\n") << mismatch;
        QTest::newRow("impossible date") << 10 << QByteArray("#2024-02-30 10:00:00#\r\n")
                                         << mismatch;
        QTest::newRow("missing stamp file") << 10 << QByteArray() << QStringList();
    }

    void scanThatCannotStart_importsNothingAndKeepsTheStamps()
    {
        QFETCH(int, logs);
        QFETCH(QByteArray, stamps);
        QFETCH(QStringList, messages);
        Scan s(logs);
        QFile::remove(s.inst.files().stamps());
        if (!stamps.isNull())
            s.inst.writeFile("dateStamps.txt", stamps);

        s.run(false);
        s.driver.reset();

        QCOMPARE(errorTexts(s.ui), messages);
        QVERIFY(playerRows(s.inst.files().database()).isEmpty());
        QCOMPARE(QFile::exists(s.inst.files().stamps()), !stamps.isNull());
        QCOMPARE(s.stamps(), stamps);
    }

    void gapAtLog2_endsTheScanQuietly()
    {
        Scan s;
        QFile::remove(s.log(2));
        s.run(false);
        QCOMPARE(errorTexts(s.ui), QStringList());
        QCOMPARE(s.games("Alpha"), 2);
        QCOMPARE(s.games("Log3"), -1);
        QCOMPARE(s.stamps().count('#'), 4);
    }

    void nextScan_importsOnlyLogsRewrittenSinceTheirStamp()
    {
        Scan s;
        s.config.roguePath = "  " + s.config.roguePath + " "; // blanks around it are no part of it
        s.run(true);
        QCOMPARE(s.games("Alpha"), 10);
        s.writeLog(5, goodLog(5) + "3 1 0 Beta 4 60 5\r\n", baseTime.addDays(1));
        s.writeLog(6, goodLog(6) + "3 1 0 Gamma 4 60 5\r\n", baseTime); // older than its stamp
        // The next run of the program reads the stamps back from the file.
        s.driver = std::make_unique<ScanDriver>(s.config, s.inst.files(), s.ui);
        s.run(true);
        QCOMPARE(errorTexts(s.ui), QStringList());
        QCOMPARE(s.games("Alpha"), 11);
        QCOMPARE(s.games("Log5"), 2);
        QCOMPARE(s.games("Log9"), 1);
        QCOMPARE(s.games("Beta"), 1);
        QCOMPARE(s.games("Gamma"), -1);
        QCOMPARE(s.stamps().split('\n')[5], QByteArray("#2024-03-02 20:00:00#\r"));
    }

    void failedOrSkippedImport_isStampedAndScanFromItsMessageBoxDoesNothing()
    {
        Scan s;
        s.writeLog(3, faultyLog, baseTime);
        s.writeLog(4, "Cooperative\r\nIndex\r\n1 2 0 Alpha 1 50 5\r\n", baseTime);
        bool scanningMeanwhile = false;
        s.ui.onMessage = [&] {
            scanningMeanwhile = s.driver->isScanning();
            s.driver->scanStatFiles();
        };
        s.run(true);
        QVERIFY(scanningMeanwhile);
        QVERIFY(!s.driver->isScanning());
        QCOMPARE(errorTexts(s.ui), QStringList{explained});
        QCOMPARE(s.games("Alpha"), 8);
        QCOMPARE(s.stamps().count('#'), 20);
        s.run(true);
        QCOMPARE(errorTexts(s.ui), QStringList());
        QCOMPARE(s.games("Alpha"), 8);
    }

    void killedBetweenLogs_rescanCountsNoGameTwice()
    {
        Scan s;
        // The child kills itself at log 4's message: after logs 0 to 3, before anything of log 4.
        s.writeLog(4, faultyLog, baseTime);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TALLYVANE_TEST_KILL_ON_MESSAGE", "1");
        child.setProcessEnvironment(env);
        child.start(SCAN_ONCE_PATH, {s.inst.files().directory(), s.config.roguePath});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(s.games("Alpha"), 4);

        s.run(true);
        QCOMPARE(errorTexts(s.ui), QStringList{explained});
        QCOMPARE(s.games("Alpha"), 9);
        for (int i : {0, 1, 2, 3, 5, 9})
            QCOMPARE(s.games("Log" + QString::number(i)), 1);
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
