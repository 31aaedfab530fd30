// Imports of results logs and scans of the game directory, also when the storage they rely on
// fails: a database another program holds locked, storage that cannot be written, a scan killed
// part-way (SIGKILL at random points, or an exit between a log's commit and its stamp file).

#include "ScanFixture.h"

#include "db/LogMerge.h"
#include "import/ImportLog.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QThread>

#include <csignal>
#include <thread>
#include <ctime>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

static const QString explained = "Error #: 13\nDescription: Type mismatch.\n"
                                 "Plain english: Log imports will fail if a player has\n"
                                 "two names, seperated by numbers (such\n"
                                 "as \"mp5 10SD\"). This log will be skipped.\n"
                                 "Click on Force Statistics Scan to import remaining logs.";
static const QString overflow = "Error imp#: 6\nDescription: Overflow.";
// A scan that counts every game of the ten logs once: Alpha's ten, each log's own player's one.
static const QStringList countedOnce{
    "Status scan successful",
    "Alpha10 Log01 Log11 Log21 Log31 Log41 Log51 Log61 Log71 Log81 Log91"};

static void row(const char* name, const QByteArray& log, const QStringList& rowsThenBoxes,
                const QString& setup = {})
{
    QTest::newRow(name) << log << rowsThenBoxes << setup;
}

// A game merged into stored totals; without `after` it overflows, and they stay as they were.
static void merged(const char* name, const QByteArray& player, const QString& before,
                   const QString& after = {})
{
    row(name, head + player, after.isNull() ? QStringList{before, overflow} : QStringList{after},
        "INSERT INTO tblPlayer VALUES ('" + QString(before).replace(u'|', "','") + "')");
}

class TestImport : public QObject
{
    Q_OBJECT

private slots:
    // The scans compare stamps in New York's local time (see the stamps' case).
    void initTestCase() { qputenv("TZ", "America/New_York"), tzset(); }

    void importLog_mergesWhatTheColumnsHold_data()
    {
        QTest::addColumn<QByteArray>("log"); // null: the log went before its import
        QTest::addColumn<QStringList>("rowsThenBoxes"); // the box texts after the players' rows
        QTest::addColumn<QString>("setup"); // statements run on the database first
        const QString bob = "Bob|1200|540|12|1|45|7|1";
        // Amy's status 2 is not killed: status 3 alone is.
        const QStringList both{bob, "Amy|300|150|3|0|50|4|1"};
        const QByteArray two = "1 2 3 Bob 12 45 7\r\n2 1 2 Amy 3 50 4";
        // 200 characters; the cut after 150 leaves "67" of the rounds figure "6789".
        const QByteArray longLine =
            "1 2 0 " + QByteArray(136, 'X') + " 4 50 6789" + QByteArray(" 1").repeated(24);

        row("empty column, clan tag, accent, quote, exponent",
            head + "1 2 0  [TAG]Zo\xeb's 2e4 5 40 3\r\n", {"  TAG Zo  s 2e4|500|200|5|0|40|3|1"});
        row("200 characters", head + longLine, {QString(136, u'X') + "|400|200|4|0|50|67|1"});
        row("numeric part in a name",
            head + "1 2 3 Bob 12 45 7\r\n2 1 0 mp5 10 SD 3 50 4\r\n" + two, {bob, explained});
        row("kills beyond 32 bits", head + "1 2 0 Amy 4294967296 50 4", {overflow});
        row("hit % beyond 16 bits", head + "1 2 0 Amy 0 32768 4\r\n", {overflow});
        row("accuracy at 16 bits", head + "1 2 0 Amy 1 32767 4\r\n",
            {"Amy|100|32767|1|0|32767|4|1"});
        row("no field starting Index", "Adversarial\r\nindex,My Index\r\n1 2 3 Bob 12 45 7\r\n",
            {"Error imp#: 62\nDescription: Input past end of file."});
        row("adversarial in small letters", "adversarial\r\nIndex\r\n" + two, {});
        row("heading ending at a comma", "Adversarial\r\nIndex," + two, both);
        row("lone CR", "Adversarial\rIndex\r1 2 3 Bob 12 45 7\r2 1 2 Amy 3 50 4\r", both);
        row("log gone", QByteArray(),
            {"Error imp#: 53\nDescription: File not found (<dir>/game/RSRESULTS0.log)."});
        row("unknown field: quiet", head + two, {},
            "ALTER TABLE tblPlayer DROP COLUMN fldAccuracy");
        // The ratings and the halved sums of the running hit % and rounds round half to even;
        // only a game with rounds changes those two, and stored games do not weigh. The stored
        // ratings are worked out again from the totals; the name is found in other letters,
        // and keeps its stored ones.
        merged("12.5, 3.5, 27.5, 28.5, name in other letters", "1 2 3 a 1 28 29",
               "A|167|67|0|7|27|28|9", "A|12|4|1|8|28|28|10");
        merged("no rounds", "1 2 3 A 2 0 0", "A|0|0|4|3|60|60|9", "A|150|90|6|4|60|60|10");
        merged("kills total beyond 32 bits", "1 2 3 C 327 10 5",
               "C|0|0|2147483647|99999999|10|5|3");
        merged("hit % total beyond 16 bits", "1 2 3 C 0 1 5", "C|0|0|1|1|32767|5|3");
        merged("skill of totals beyond 16 bits", "1 2 0 C 28 10 5", "C|0|0|300|0|10|5|3");
    }
    void importLog_mergesWhatTheColumnsHold()
    {
        GUARDED({
            QFETCH(QByteArray, log);
            QFETCH(QString, setup);
            Scan s(0);
            if (!log.isNull())
                s.inst.writeFile("game/RSRESULTS0.log", log);
            sql(s.inst.files().database(), setup);
            LogMerge merge(s.inst.files().database(), 0, "#2024-03-02 22:00:01#");
            importLog(s.inst.path("game/RSRESULTS0.log"), merge, s);
            QTEST(s.rows() + s.texts, "rowsThenBoxes");
        });
    }

    void scan_importsLogsNewerThanTheirStampsOnTheClock_data()
    {
        QTest::addColumn<QByteArray>("stamps"); // null: no stamp file
        QTest::addColumn<QByteArray>("after");  // null: as it was
        QTest::addColumn<QStringList>("shown"); // then the games, NULL for none
        const QByteArray none;
        const QString fail = "Status scan failed"; // there is no log 3
        QTest::newRow("rewritten in the hour clocks go back, same second, older")
            << QByteArray("#2026-11-01 01:30:00#\r\n#2026-11-01 01:41:00#\r\n#2026-11-02#")
            << "#2026-11-01 01:40:00#\r\n#2026-11-01 01:41:00#\r\n#2026-11-02#\r\n" +
                   QByteArray("\r\n").repeated(7)
            << QStringList{fail, "Alpha1 Log01"};
        QTest::newRow("eleven fields")
            << QByteArray(",,,,,,,,,,\r\n") << none
            << QStringList{"Error date#: 9\nDescription: Subscript out of range.", fail, "NULL"};
        const QStringList mismatch{"Error date#: 13\nDescription: Type mismatch.", fail, "NULL"};
        QTest::newRow("stamp without its marks") // never an empty slot, whose log would count twice
            << QByteArray("2026-11-01 01:30:00\r\n") << none << mismatch;
        QTest::newRow("damaged stamp")
            << QByteArray("#2024-02-30 10:00:00#\r\n") << none << mismatch;
        QTest::newRow("no stamp file") << none << none << QStringList{fail, "NULL"};
    }
    void scan_importsLogsNewerThanTheirStampsOnTheClock()
    {
        // On 2026-11-01 New York's clocks go back from 02:00 EDT (UTC-4) to 01:00 EST (UTC-5);
        // the logs are written at 01:40, 01:41 and 01:42 EDT, from 05:40:00.700 UTC on. The
        // program runs in New York's time from its start.
        GUARDED({
            QFETCH(QByteArray, stamps);
            QFETCH(QByteArray, after);
            Scan s(3, QDateTime::fromMSecsSinceEpoch(1793511600700, Qt::UTC));
            QFile::remove(s.inst.files().stamps());
            if (!stamps.isNull())
                s.inst.writeFile("dateStamps.txt", stamps);
            for (int scan = 0; scan < 2; ++scan) { // the second after a restart: nothing new
                QTEST(s.run() << s.games(), "shown");
                s.restart();
                QCOMPARE(s.inst.readFile("dateStamps.txt"), after.isNull() ? stamps : after);
            }
        });
    }

    void databaseLocked_importsNothingUntilReleased()
    {
        GUARDED({
            Scan s(2);
            sqlite3* lock = nullptr;
            const auto unlock = qScopeGuard([&] { sqlite3_close(lock); });
            sqlite3_open(QFile::encodeName(s.inst.files().database()), &lock);
            sqlite3_exec(lock, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
            const QDeadlineTimer generous(4000); // for the whole scan: no import waits long
            const QString locked = "Error imp#: 3260\nDescription: Could not use "
                                   "'<dir>/tallyvane.mdb'; currently locked (database is locked).";
            QCOMPARE(s.run(), QStringList(2, locked) << "Status scan failed"); // no log 2
            QVERIFY(!generous.hasExpired());
            // Released about 100 ms into the next scan: it waits for the lock, and counts each
            // game once. The thread is joined when the case ends.
            const std::jthread release([lock] {
                QThread::msleep(100), sqlite3_exec(lock, "ROLLBACK", nullptr, nullptr, nullptr);
            });
            const QStringList counted{"Status scan failed", "Alpha2 Log01 Log11"}; // no log 2
            QCOMPARE(s.run() << s.games(), counted);
            // The stamps the database holds reach a stamp file that lost them before any log is
            // read again, also while another program writes.
            s.inst.writeFile("dateStamps.txt", "");
            s.restart();
            sqlite3_exec(lock, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            QCOMPARE(s.run() << s.games(), counted);
            sqlite3_exec(lock, "ROLLBACK", nullptr, nullptr, nullptr);
        });
    }

    void storageThatCannotBeWritten_losesAndDoublesNoGame_data()
    {
        QTest::addColumn<QStringList>("readOnly"); // in the installation, "" itself
        QTest::addColumn<QStringList>("shown");    // by the scan that meets it, then the games
        // The database cannot write its journal beside itself: no log is counted or stamped.
        QTest::newRow("folder") << QStringList{""}
            << (QStringList(10, "Error imp#: 3051\nDescription: The database engine cannot open "
                                "the file '<dir>/tallyvane.mdb' (attempt to write a readonly "
                                "database).") << "Status scan successful" << "NULL");
        // Log 0 is counted, with its stamp in the database; the stamp file refuses it.
        QTest::newRow("stamp file") << QStringList{"dateStamps.txt"}
            << QStringList{"Error date#: 70\nDescription: Permission denied: Existing file "
                           "<dir>/dateStamps.txt is not writable (<dir>/dateStamps.txt).",
                           "Status scan failed", "Alpha1 Log01"};
    }
    void storageThatCannotBeWritten_losesAndDoublesNoGame()
    {
        GUARDED({
            QFETCH(QStringList, readOnly);
            Scan s;
            readOnly.replaceInStrings(QRegularExpression("^"), s.inst.path(""));
            {
                // The process works as the files' owner, an ordinary user, when the suite runs
                // as root; also as the real user, which access checks ask about.
                const bool root = ::geteuid() == 0;
                const auto back = qScopeGuard([&] {
                    QProcess::execute("chmod", QStringList{"u+w"} + readOnly);
                    if (root && (::setresuid(0, 0, 0) || ::setresgid(0, 0, 0)))
                        qFatal("cannot work as root again");
                });
                QVERIFY(!root ||
                        (!QProcess::execute("chown", {"-R", "65534:65534", s.inst.path("")}) &&
                         !::setresgid(65534, 65534, 0) && !::setresuid(65534, 65534, 0)));
                QProcess::execute("chmod", QStringList{"u-w"} + readOnly);
                QTEST(s.run() << s.games(), "shown");
                s.restart(); // the program ends, and starts again when it can save the stamps
            }
            QCOMPARE(s.run() << s.games(), countedOnce);
        });
    }

    void scanKilledAnywhere_rescanCountsEveryGameOnce()
    {
        GUARDED({
            QRandomGenerator random(20240301);
            Scan reference;
            const qint64 start = QDeadlineTimer::current().deadlineNSecs();
            reference.run();
            const quint64 scanUs = (QDeadlineTimer::current().deadlineNSecs() - start) / 1000;
            for (int kill = 0; kill < 200; ++kill) {
                Scan s;
                // Every fourth scan ends right after a log's commit, before its stamp is written.
                const int afterCommit = kill % 4 == 0 ? int(random.bounded(10)) : -1;
                const pid_t child = ::fork(); // scans in a copy of this process
                if (child == 0) {
                    int committed = 0;
                    s.driver->setAfterCommit([&] { if (committed++ == afterCommit) ::_exit(0); });
                    s.driver->scanStatFiles(), ::_exit(0); // leaving the files to the parent
                }
                QVERIFY(child > 0);
                const quint64 delay = random.bounded(scanUs);
                if (afterCommit < 0)
                    QThread::usleep(delay), ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
                // The kill goes with both lists, so that a failure shows which one it was: its
                // delay, and the commit after which the scan exits (-1: none).
                const auto at = u"kill %1: %2 us, exit %3"_qs.arg(kill).arg(delay).arg(afterCommit);
                QCOMPARE(s.run() << s.games() << at, QStringList(countedOnce) << at);
            }
        });
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
