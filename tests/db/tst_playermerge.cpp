#include "DbTestSupport.h"
#include "support/TestInstallation.h"

#include "db/Database.h"
#include "db/DbError.h"
#include "db/PlayerMerge.h"
#include "db/Recordset.h"
#include "import/PlayerRecord.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>

#include <cmath>
#include <thread>

namespace {

PlayerRecord game(const QString& name, int kills, int killed, int hitPercent, int averageRounds)
{
    PlayerRecord record;
    record.setPlayerName(name);
    record.setKills(kills);
    record.setKilled(killed);
    record.setHitPercent(std::int16_t(hitPercent));
    record.setAverageRounds(std::int16_t(averageRounds));
    record.setNumGames(1);
    record.setSkill();
    return record;
}

QVariantList row(const QString& name, int skill, int accuracy, int kills, int killed,
                 int hitPercent, int averageRounds, int games)
{
    return {name,
            qlonglong(skill),
            qlonglong(accuracy),
            qlonglong(kills),
            qlonglong(killed),
            qlonglong(hitPercent),
            qlonglong(averageRounds),
            qlonglong(games)};
}

// Holds the database file locked for writing and reading through a second connection.
class ExclusiveLock
{
public:
    explicit ExclusiveLock(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) !=
                SQLITE_OK ||
            sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot lock the database");
    }
    ~ExclusiveLock() { release(); }
    void release()
    {
        if (m_db)
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
};

} // namespace

class TestPlayerMerge : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void statements_matchTheExamplesCharacterForCharacter();
    void findPlayer_firstThenSecondGame_insertsThenAddsTotals();
    void findPlayer_averages_halvedSumHalfToEvenOnlyWithRounds_data();
    void findPlayer_averages_halvedSumHalfToEvenOnlyWithRounds();
    void findPlayer_nameDifferingInCase_mergesIntoFirstSpelling();
    void findPlayer_nameWithQuotes_matchedAndStoredUnchanged_data();
    void findPlayer_nameWithQuotes_matchedAndStoredUnchanged();
    void findPlayer_failure_leavesRowAsItWas_data();
    void findPlayer_failure_leavesRowAsItWas();

    void findPlayer_missingDatabase_failsAndCreatesNoFile();
    void findPlayer_garbageFile_failsAndLeavesFileAsItWas();
    void findPlayer_briefLockByAnotherConnection_waitsAndMerges();
    void findPlayer_lockHeldBeyondTimeout_failsAsLocked();

private:
    std::unique_ptr<TestInstallation> m_installation;
    QString m_path;
};

void TestPlayerMerge::init()
{
    m_installation = std::make_unique<TestInstallation>();
    m_installation->createDatabase();
    m_path = m_installation->files().database();
}

void TestPlayerMerge::statements_matchTheExamplesCharacterForCharacter()
{
    const PlayerRecord bob = game(QStringLiteral("Bob"), 3, 1, 50, 4);
    QCOMPARE(insertPlayer(bob),
             QStringLiteral(" INSERT INTO tblPlayer  (fldName, fldSkill, fldAccuracy, fldKills, "
                            "fldKilled, fldHitPercent, fldAverageRounds, fldGamesPlayed) VALUES "
                            "('Bob',300,150,3,1,50,4,1)"));

    const Recordset stored({QStringLiteral("fldName"), QStringLiteral("fldSkill"),
                            QStringLiteral("fldAccuracy"), QStringLiteral("fldKills"),
                            QStringLiteral("fldKilled"), QStringLiteral("fldHitPercent"),
                            QStringLiteral("fldAverageRounds"), QStringLiteral("fldGamesPlayed")},
                           {{QStringLiteral("Bob"), 167LL, 67LL, 10LL, 6LL, 40LL, 6LL, 4LL}});
    QCOMPARE(
        updatePlayer(bob, stored),
        QStringLiteral(" UPDATE tblPlayer  SET fldSkill = 186, fldAccuracy = 84, fldKills = 13, "
                       "fldKilled = 7, fldHitPercent = 45, fldAverageRounds = 5, "
                       "fldGamesPlayed = 5 WHERE fldName = 'Bob'"));

    PlayerRecord negative = bob;
    negative.setKills(-40000);
    negative.setAccuracy(-5);
    QVERIFY(
        insertPlayer(negative).endsWith(QStringLiteral("VALUES ('Bob',300,-5,-40000,1,50,4,1)")));
}

void TestPlayerMerge::findPlayer_firstThenSecondGame_insertsThenAddsTotals()
{
    findPlayer(game(QStringLiteral("Bob"), 10, 6, 40, 6), m_path);
    QCOMPARE(allPlayers(m_path),
             QList<QVariantList>{row(QStringLiteral("Bob"), 167, 67, 10, 6, 40, 6, 1)});
    runSql(m_path, QStringLiteral("UPDATE tblPlayer SET fldGamesPlayed = 4"));
    findPlayer(game(QStringLiteral("Bob"), 3, 1, 50, 4), m_path);
    QCOMPARE(allPlayers(m_path),
             QList<QVariantList>{row(QStringLiteral("Bob"), 186, 84, 13, 7, 45, 5, 5)});
}

void TestPlayerMerge::findPlayer_averages_halvedSumHalfToEvenOnlyWithRounds_data()
{
    QTest::addColumn<int>("storedHit");
    QTest::addColumn<int>("newHit");
    QTest::addColumn<int>("storedRounds");
    QTest::addColumn<int>("newRounds");
    QTest::addColumn<int>("hit");
    QTest::addColumn<int>("rounds");
    QTest::newRow("77.5 -> 78") << 75 << 80 << 75 << 80 << 78 << 78;
    QTest::newRow("78.5 -> 78") << 76 << 81 << 76 << 81 << 78 << 78;
    QTest::newRow("50.5 -> 50") << 50 << 51 << 50 << 51 << 50 << 50;
    QTest::newRow("0.5 -> 0") << 0 << 1 << 0 << 1 << 0 << 0;
    QTest::newRow("not weighted by games") << 10 << 90 << 2 << 8 << 50 << 5;
    QTest::newRow("new game without rounds: averages kept") << 60 << 90 << 7 << 0 << 60 << 7;
    QTest::newRow("negative rounds: averages kept") << 60 << 90 << 7 << -3 << 60 << 7;
}

void TestPlayerMerge::findPlayer_averages_halvedSumHalfToEvenOnlyWithRounds()
{
    QFETCH(int, storedHit);
    QFETCH(int, newHit);
    QFETCH(int, storedRounds);
    QFETCH(int, newRounds);
    QFETCH(int, hit);
    QFETCH(int, rounds);
    runSql(m_path, QStringLiteral("INSERT INTO tblPlayer VALUES ('Ann', 0, 0, 4, 2, %1, %2, 9)")
                       .arg(storedHit)
                       .arg(storedRounds));
    findPlayer(game(QStringLiteral("Ann"), 2, 2, newHit, newRounds), m_path);
    // Kills, deaths and games are merged and the ratings recomputed either way.
    const int accuracy = int(std::nearbyint(1.5 * hit));
    QCOMPARE(allPlayers(m_path),
             QList<QVariantList>{row(QStringLiteral("Ann"), 150, accuracy, 6, 4, hit, rounds, 10)});
}

void TestPlayerMerge::findPlayer_nameDifferingInCase_mergesIntoFirstSpelling()
{
    findPlayer(game(QStringLiteral("Bob"), 3, 1, 50, 4), m_path);
    findPlayer(game(QStringLiteral("BOB"), 3, 1, 50, 4), m_path);
    findPlayer(game(QStringLiteral("bob"), 3, 1, 50, 4), m_path);
    QCOMPARE(allPlayers(m_path),
             QList<QVariantList>{row(QStringLiteral("Bob"), 300, 150, 9, 3, 50, 4, 3)});
}

void TestPlayerMerge::findPlayer_nameWithQuotes_matchedAndStoredUnchanged_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("apostrophe") << QStringLiteral("O'Brien");
    QTest::newRow("lone quote") << QStringLiteral("'");
    QTest::newRow("doubled quote") << QStringLiteral("''");
    QTest::newRow("condition for every row") << QStringLiteral("x' OR fldName LIKE '%");
    QTest::newRow("second statement") << QStringLiteral("x'); DELETE FROM tblPlayer; --");
}

void TestPlayerMerge::findPlayer_nameWithQuotes_matchedAndStoredUnchanged()
{
    QFETCH(QString, name);
    findPlayer(game(QStringLiteral("Other"), 1, 1, 10, 1), m_path);
    findPlayer(game(name, 3, 1, 50, 4), m_path);
    findPlayer(game(name, 3, 1, 50, 4), m_path);
    QCOMPARE(allPlayers(m_path),
             (QList<QVariantList>{row(QStringLiteral("Other"), 100, 10, 1, 1, 10, 1, 1),
                                  row(name, 300, 150, 6, 2, 50, 4, 2)}));
}

void TestPlayerMerge::findPlayer_failure_leavesRowAsItWas_data()
{
    QTest::addColumn<QString>("storedValues");
    QTest::addColumn<int>("kills");
    QTest::addColumn<int>("killed");
    QTest::addColumn<int>("hitPercent");
    QTest::addColumn<int>("code");
    QTest::newRow("kills pass 32 bits")
        << QStringLiteral("0, 0, 2147483647, 1, 10, 5, 3") << 1 << 0 << 10 << 6;
    QTest::newRow("deaths pass 32 bits")
        << QStringLiteral("0, 0, 1, 2147483600, 10, 5, 3") << 0 << 100 << 10 << 6;
    QTest::newRow("games pass 32 bits")
        << QStringLiteral("0, 0, 1, 1, 10, 5, 2147483647") << 0 << 0 << 10 << 6;
    QTest::newRow("hit percentages' sum passes 16 bits")
        << QStringLiteral("0, 0, 1, 1, 32767, 5, 3") << 0 << 0 << 1 << 6;
    QTest::newRow("stored hit percentage passes 16 bits")
        << QStringLiteral("0, 0, 1, 1, 40000, 5, 3") << 0 << 0 << 1 << 6;
    QTest::newRow("skill of the totals passes 16 bits")
        << QStringLiteral("0, 0, 300, 0, 10, 5, 3") << 28 << 0 << 10 << 6;
    QTest::newRow("stored kills null")
        << QStringLiteral("0, 0, NULL, 1, 10, 5, 3") << 1 << 0 << 10 << 94;
    QTest::newRow("stored kills not a number")
        << QStringLiteral("0, 0, 'many', 1, 10, 5, 3") << 1 << 0 << 10 << 13;
}

void TestPlayerMerge::findPlayer_failure_leavesRowAsItWas()
{
    QFETCH(QString, storedValues);
    QFETCH(int, kills);
    QFETCH(int, killed);
    QFETCH(int, hitPercent);
    QFETCH(int, code);
    runSql(m_path, QStringLiteral("INSERT INTO tblPlayer VALUES ('Cat', %1)").arg(storedValues));
    const auto before = allPlayers(m_path);
    QCOMPARE(failureCode([&] {
                 findPlayer(game(QStringLiteral("Cat"), kills, killed, hitPercent, 5), m_path);
             }),
             code);
    QCOMPARE(allPlayers(m_path), before);
}

void TestPlayerMerge::findPlayer_missingDatabase_failsAndCreatesNoFile()
{
    QFile::remove(m_path);
    QCOMPARE(failureCode([&] { findPlayer(game(QStringLiteral("Bob"), 3, 1, 50, 4), m_path); }),
             DbError::FileNotFound);
    QVERIFY(!QFileInfo::exists(m_path));
}

void TestPlayerMerge::findPlayer_garbageFile_failsAndLeavesFileAsItWas()
{
    const QByteArray garbage(4096, '\x5a');
    m_installation->writeFile(QStringLiteral("tallyvane.mdb"), garbage);
    QCOMPARE(failureCode([&] { findPlayer(game(QStringLiteral("Bob"), 3, 1, 50, 4), m_path); }),
             DbError::NotADatabase);
    QCOMPARE(fileContent(m_path), garbage);
}

void TestPlayerMerge::findPlayer_briefLockByAnotherConnection_waitsAndMerges()
{
    ExclusiveLock lock(m_path);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        lock.release();
    });
    const int code =
        failureCode([&] { findPlayer(game(QStringLiteral("Bob"), 3, 1, 50, 4), m_path); });
    releaser.join();
    QCOMPARE(code, 0);
    QCOMPARE(allPlayers(m_path).size(), 1);
}

void TestPlayerMerge::findPlayer_lockHeldBeyondTimeout_failsAsLocked()
{
    findPlayer(game(QStringLiteral("Bob"), 3, 1, 50, 4), m_path);
    const auto before = allPlayers(m_path);
    {
        ExclusiveLock lock(m_path);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(failureCode([&] { findPlayer(game(QStringLiteral("Bob"), 3, 1, 50, 4), m_path); }),
                 DbError::Locked);
        QVERIFY(timer.elapsed() >= Database::busyTimeoutMilliseconds - 100);
    }
    QCOMPARE(allPlayers(m_path), before);
}

QTEST_GUILESS_MAIN(TestPlayerMerge)
#include "tst_playermerge.moc"
