#include "support/FailureCode.h"
#include "support/RecordingUserInterface.h"
#include "support/TestInstallation.h"

#include "db/Database.h"
#include "db/DatabaseClean.h"
#include "db/DbError.h"
#include "db/PlayerMerge.h"
#include "import/PlayerRecord.h"
#include "platform/Failure.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <functional>
#include <sqlite3.h>
#include <stdexcept>

namespace {

// Runs statements on the file directly; answers the rows, each as its values joined by '|'.
QStringList sql(const QString& path, const QString& statements)
{
    const auto collect = [](void* out, int count, char** values, char**) {
        QStringList row;
        for (int i = 0; i < count; ++i)
            row << (values[i] ? QString::fromUtf8(values[i]) : QStringLiteral("NULL"));
        static_cast<QStringList*>(out)->append(row.join(u'|'));
        return 0;
    };
    sqlite3* db = nullptr;
    QStringList rows;
    const bool ok =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK &&
        sqlite3_exec(db, statements.toUtf8().constData(), collect, &rows, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!ok)
        throw std::runtime_error("cannot run " + statements.toStdString());
    return rows;
}

QStringList players(const QString& path)
{
    return sql(path, "SELECT * FROM tblPlayer ORDER BY rowid");
}

void addPlayers(const QString& path, int count)
{
    sql(path, QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
                      " INSERT INTO tblPlayer SELECT 'player ' || i, 100, 50, i, 1, 50, 4, 1"
                      " FROM n WHERE i <= %1")
                  .arg(count));
}

PlayerRecord game(const QString& name = "Bob", int kills = 3, int killed = 1, int hitPercent = 50,
                  int rounds = 4)
{
    PlayerRecord record;
    record.setPlayerName(name);
    record.setKills(kills);
    record.setKilled(killed);
    record.setHitPercent(std::int16_t(hitPercent));
    record.setAverageRounds(std::int16_t(rounds));
    record.setNumGames(1);
    record.setSkill();
    return record;
}

int createdb(const QString& schema, const QString& database)
{
    QProcess tool;
    tool.start(TALLYVANE_CREATEDB, {schema, database});
    return tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit
               ? tool.exitCode()
               : -1;
}

void intColumns(std::initializer_list<const char*> names)
{
    for (const char* name : names)
        QTest::addColumn<int>(name);
}

} // namespace

class TestDb : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestInstallation> m_installation;
    QString m_path;

private slots:
    void init()
    {
        m_installation = std::make_unique<TestInstallation>();
        m_installation->createDatabase();
        m_path = m_installation->files().database();
    }

    void setSkill_roundsHalfToEvenAndOverflowKeepsAccuracy_data()
    {
        intColumns({"kills", "killed", "hitPercent", "skill", "accuracy", "code"});
        // The record holds skill 11 and accuracy 22 beforehand, so a rating not written shows.
        QTest::newRow("no kills") << 0 << 5 << 40 << 0 << 0 << 0;
        QTest::newRow("never killed") << 3 << 0 << 50 << 300 << 150 << 0;
        QTest::newRow("ratio") << 3 << 2 << 50 << 150 << 75 << 0;
        QTest::newRow("185.71, 83.57") << 13 << 7 << 45 << 186 << 84 << 0;
        QTest::newRow("12.5 to even, 3.75") << 1 << 8 << 30 << 12 << 4 << 0;
        QTest::newRow("37.5 to even") << 3 << 8 << 0 << 38 << 0 << 0;
        QTest::newRow("327 never killed") << 327 << 0 << 100 << 32700 << 32700 << 0;
        QTest::newRow("328 never killed") << 328 << 0 << 10 << 11 << 22 << 6;
        QTest::newRow("skill overflows") << 400 << 1 << 10 << 11 << 22 << 6;
        QTest::newRow("32-bit product") << 2147483647 << 0 << 1 << 11 << 22 << 6;
        QTest::newRow("accuracy overflows") << 1000 << 10 << 400 << 10000 << 22 << 6;
    }
    void setSkill_roundsHalfToEvenAndOverflowKeepsAccuracy()
    {
        QFETCH(int, kills);
        QFETCH(int, killed);
        QFETCH(int, hitPercent);
        PlayerRecord record;
        record.storeSkill(11);
        record.setAccuracy(22);
        record.setKills(kills);
        record.setKilled(killed);
        record.setHitPercent(std::int16_t(hitPercent));
        QTEST(failureCode([&] { record.setSkill(); }), "code");
        QTEST(int(record.getSkill()), "skill");
        QTEST(int(record.accuracy()), "accuracy");
    }

    void statements_matchTheExamplesForBob()
    {
        const PlayerRecord bob = game();
        QCOMPARE(insertPlayer(bob),
                 " INSERT INTO tblPlayer  (fldName, fldSkill, fldAccuracy, fldKills, "
                 "fldKilled, fldHitPercent, fldAverageRounds, fldGamesPlayed) "
                 "VALUES ('Bob',300,150,3,1,50,4,1)");
        sql(m_path, "INSERT INTO tblPlayer VALUES ('Bob', 167, 67, 10, 6, 40, 6, 4)");
        Database database = Database::open(m_path);
        QCOMPARE(updatePlayer(bob, database.openRecordset(" SELECT * FROM tblPlayer ")),
                 " UPDATE tblPlayer  SET fldSkill = 186, fldAccuracy = 84, fldKills = 13, "
                 "fldKilled = 7, fldHitPercent = 45, fldAverageRounds = 5, fldGamesPlayed = 5 "
                 "WHERE fldName = 'Bob'");
        database.close();
        findPlayer(bob, m_path);
        QCOMPARE(players(m_path), QStringList{"Bob|186|84|13|7|45|5|5"});
    }

    void findPlayer_averagesHalvedToEvenOnlyWithRounds_data()
    {
        // Hit percentage and rounds take the same value, stored and in the incoming game.
        intColumns({"stored", "incoming"});
        QTest::addColumn<QString>("average");
        QTest::newRow("77.5") << 75 << 80 << "78|78";
        QTest::newRow("78.5") << 76 << 81 << "78|78";
        QTest::newRow("50.5") << 50 << 51 << "50|50";
        QTest::newRow("not weighted by games") << 10 << 90 << "50|50";
        QTest::newRow("no rounds: kept") << 60 << 0 << "60|60";
        QTest::newRow("negative rounds: kept") << 60 << -3 << "60|60";
    }
    void findPlayer_averagesHalvedToEvenOnlyWithRounds()
    {
        QFETCH(int, stored);
        QFETCH(int, incoming);
        sql(m_path,
            QString("INSERT INTO tblPlayer VALUES ('Ann', 0, 0, 4, 2, %1, %1, 9)").arg(stored));
        findPlayer(game("Ann", 2, 2, incoming, incoming), m_path);
        QTEST(sql(m_path, "SELECT fldHitPercent, fldAverageRounds FROM tblPlayer").join(u'/'),
              "average");
    }

    void findPlayer_nameDifferingInCase_mergesIntoFirstSpelling()
    {
        for (const char* name : {"Bob", "BOB", "bob"})
            findPlayer(game(name, 3, 1, 50, 4), m_path);
        QCOMPARE(players(m_path), QStringList{"Bob|300|150|9|3|50|4|3"});
    }

    void findPlayer_nameWithQuotes_storedAndMatchedUnchanged_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("apostrophe") << "O'Brien";
        QTest::newRow("lone quote") << "'";
        QTest::newRow("doubled quote") << "''";
        QTest::newRow("condition for every row") << "x' OR fldName LIKE '%";
        QTest::newRow("second statement") << "x'); DELETE FROM tblPlayer; --";
    }
    void findPlayer_nameWithQuotes_storedAndMatchedUnchanged()
    {
        QFETCH(QString, name);
        findPlayer(game("Other", 1, 1, 10, 1), m_path);
        findPlayer(game(name, 3, 1, 50, 4), m_path);
        findPlayer(game(name, 3, 1, 50, 4), m_path);
        QCOMPARE(players(m_path),
                 (QStringList{"Other|100|10|1|1|10|1|1", name + "|300|150|6|2|50|4|2"}));
    }

    void findPlayer_badTotal_failsAndLeavesRow_data()
    {
        QTest::addColumn<QString>("stored");
        intColumns({"kills", "killed", "hitPercent", "code"});
        QTest::newRow("kills pass 32 bits") << "0, 0, 2147483647, 1, 10, 5, 3" << 1 << 0 << 10 << 6;
        QTest::newRow("games pass 32 bits") << "0, 0, 1, 1, 10, 5, 2147483647" << 0 << 0 << 10 << 6;
        QTest::newRow("hit sum passes 16 bits") << "0, 0, 1, 1, 32767, 5, 3" << 0 << 0 << 1 << 6;
        QTest::newRow("skill of totals") << "0, 0, 300, 0, 10, 5, 3" << 28 << 0 << 10 << 6;
        QTest::newRow("kills null") << "0, 0, NULL, 1, 10, 5, 3" << 1 << 0 << 10 << 94;
        QTest::newRow("kills not a number") << "0, 0, 'many', 1, 10, 5, 3" << 1 << 0 << 10 << 13;
    }
    void findPlayer_badTotal_failsAndLeavesRow()
    {
        QFETCH(QString, stored);
        QFETCH(int, kills);
        QFETCH(int, killed);
        QFETCH(int, hitPercent);
        sql(m_path, QString("INSERT INTO tblPlayer VALUES ('Cat', %1)").arg(stored));
        const QStringList before = players(m_path);
        QTEST(failureCode([&] { findPlayer(game("Cat", kills, killed, hitPercent, 5), m_path); }),
              "code");
        QCOMPARE(players(m_path), before);
    }

    void findPlayer_missingOrGarbageFile_failsAndLeavesItAsItWas_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("code");
        QTest::newRow("missing: none appears") << QByteArray() << int(DbError::FileNotFound);
        QTest::newRow("garbage") << QByteArray("No database.\r\n").repeated(300)
                                 << int(DbError::NotADatabase);
    }
    void findPlayer_missingOrGarbageFile_failsAndLeavesItAsItWas()
    {
        QFETCH(QByteArray, content);
        QFile::remove(m_path);
        if (!content.isEmpty())
            m_installation->writeFile("tallyvane.mdb", content);
        QTEST(failureCode([&] { findPlayer(game(), m_path); }), "code");
        QCOMPARE(QFileInfo::exists(m_path), !content.isEmpty());
        QCOMPARE(m_installation->readFile("tallyvane.mdb"), content);
    }

    void findPlayer_lockHeldBeyondTimeout_failsAsLocked()
    {
        findPlayer(game(), m_path);
        const QStringList before = players(m_path);
        sqlite3* lock = nullptr;
        sqlite3_open(QFile::encodeName(m_path).constData(), &lock);
        QCOMPARE(sqlite3_exec(lock, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        QElapsedTimer timer;
        timer.start();
        const int code = failureCode([&] { findPlayer(game(), m_path); });
        const qint64 waited = timer.elapsed();
        sqlite3_close(lock);
        QCOMPARE(code, int(DbError::Locked));
        QVERIFY(waited >= Database::busyTimeoutMilliseconds - 100);
        QCOMPARE(players(m_path), before);
    }

    void statement_rejected_failsWithItsNumberAndChangesNothing_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("code");
        QTest::newRow("unknown field") << " UPDATE tblPlayer  SET fldScore = 1 WHERE fldName = 'a'"
                                       << int(DbError::TooFewParameters);
        QTest::newRow("unknown table") << " DELETE FROM tblPlayers" << int(DbError::TableNotFound);
        QTest::newRow("second statement")
            << " UPDATE tblPlayer  SET fldKills = 2; DELETE FROM tblPlayer"
            << int(DbError::TextAfterStatement);
    }
    void statement_rejected_failsWithItsNumberAndChangesNothing()
    {
        QFETCH(QString, statement);
        sql(m_path, "INSERT INTO tblPlayer (fldName, fldKills) VALUES ('a', 1)");
        const QStringList before = players(m_path);
        Database database = Database::open(m_path);
        QTEST(failureCode([&] { database.execute(statement); }), "code");
        QTEST(failureCode([&] { database.openRecordset(statement); }), "code");
        database.close();
        QCOMPARE(players(m_path), before);
    }

    void clean_erasesPlayersOrShowsWhyAndKeepsFiles_data()
    {
        QTest::addColumn<int>("count"); // players in the database; -1: no database file
        QTest::addColumn<QByteArray>("stale");
        QTest::addColumn<int>("code");
        QTest::newRow("empty table") << 0 << QByteArray() << 0;
        QTest::newRow("5000 players") << 5000 << QByteArray() << 0;
        QTest::newRow("stale tempdb.mdb")
            << 10 << QByteArray("left by an earlier clean") << int(DbError::DatabaseExists);
        QTest::newRow("no database file") << -1 << QByteArray() << int(DbError::FileNotFound);
    }
    void clean_erasesPlayersOrShowsWhyAndKeepsFiles()
    {
        QFETCH(int, count);
        QFETCH(QByteArray, stale);
        QFETCH(int, code);
        const qint64 emptySize = QFileInfo(m_path).size();
        if (count < 0)
            QFile::remove(m_path);
        else
            addPlayers(m_path, count);
        if (!stale.isEmpty())
            m_installation->writeFile("tempdb.mdb", stale);
        RecordingUserInterface ui;
        cleanDatabase(m_installation->files(), ui);
        QCOMPARE(QFileInfo::exists(m_path), count >= 0);
        QCOMPARE(m_installation->readFile("tempdb.mdb"), stale);
        QCOMPARE(QFileInfo::exists(m_installation->files().compactedDatabase()), !stale.isEmpty());
        if (count >= 0) // emptied, even when the compaction then fails
            QCOMPARE(players(m_path), QStringList());
        if (code) {
            QCOMPARE(ui.statuses, QStringList{"Database clean failed."});
            QCOMPARE(ui.messages.size(), std::size_t(1));
            const QString text = ui.messages.front().text;
            QVERIFY2(text.startsWith(QString("Error db#: %1\nDescription: ").arg(code)),
                     qPrintable(text));
            return;
        }
        QCOMPARE(ui.statuses,
                 (QStringList{"Database clean failed.", "Database successfully erased."}));
        QVERIFY(ui.messages.empty());
        QCOMPARE(QFileInfo(m_path).size(), emptySize);
        findPlayer(game(), m_path); // still the program's database
        QCOMPARE(players(m_path).size(), 1);
    }

    void createdb_createsOnceAndLeavesNothingOnFailure()
    {
        const QString schema = TALLYVANE_SCHEMA_FILE;
        const QString fresh = m_installation->path("new.mdb");
        QCOMPARE(createdb(schema, fresh), 0);
        QCOMPARE(players(fresh), QStringList());
        QVERIFY(!QFileInfo::exists(fresh + ".part"));

        m_installation->writeFile("season.mdb", "the players of a season");
        QCOMPARE(createdb(schema, m_installation->path("season.mdb")), 0);
        QCOMPARE(m_installation->readFile("season.mdb"), QByteArray("the players of a season"));

        m_installation->writeFile("broken.sql",
                                  "CREATE TABLE tblPlayer (fldName TEXT);\nCREATE NONSENSE;");
        const QString broken = m_installation->path("broken.mdb");
        QVERIFY(createdb(m_installation->path("broken.sql"), broken) != 0);
        QVERIFY(!QFileInfo::exists(broken) && !QFileInfo::exists(broken + ".part"));
    }
};

QTEST_GUILESS_MAIN(TestDb)
#include "tst_db.moc"
