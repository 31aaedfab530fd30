#include "DbTestSupport.h"
#include "support/RecordingUserInterface.h"
#include "support/TestInstallation.h"

#include "db/DatabaseClean.h"
#include "db/DbError.h"
#include "db/PlayerMerge.h"
#include "import/PlayerRecord.h"

#include <QFileInfo>
#include <QTest>

namespace {

const QString failedText = QStringLiteral("Database clean failed.");
const QString erasedText = QStringLiteral("Database successfully erased.");

void addPlayers(const QString& path, int count)
{
    runSql(path, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < %1) INSERT INTO tblPlayer "
                                "SELECT 'player ' || i, 100, 50, i, 1, 50, 4, 1 FROM n;")
                     .arg(count));
}

int playerCount(const QString& path)
{
    return int(
        queryRows(path, QStringLiteral("SELECT count(*) FROM tblPlayer"))[0][0].toLongLong());
}

} // namespace

class TestDatabaseClean : public QObject
{
    Q_OBJECT

private slots:
    void clean_erasesEveryPlayerAndShrinksTheFile_data();
    void clean_erasesEveryPlayerAndShrinksTheFile();
    void clean_staleTemporaryFile_emptiesTableThenFailsCompaction();
    void clean_withoutDatabase_failsWithFileNotFoundAndCreatesNothing();
};

void TestDatabaseClean::clean_erasesEveryPlayerAndShrinksTheFile_data()
{
    QTest::addColumn<int>("players");
    QTest::newRow("empty table") << 0;
    QTest::newRow("many players") << 5000;
}

void TestDatabaseClean::clean_erasesEveryPlayerAndShrinksTheFile()
{
    QFETCH(int, players);
    TestInstallation installation;
    installation.createDatabase();
    const QString database = installation.files().database();
    const qint64 emptySize = QFileInfo(database).size();
    addPlayers(database, players);

    RecordingUserInterface ui;
    cleanDatabase(installation.files(), ui);

    QCOMPARE(ui.statuses, (QStringList{failedText, erasedText}));
    QVERIFY(ui.messages.empty());
    QCOMPARE(playerCount(database), 0);
    QCOMPARE(QFileInfo(database).size(), emptySize);
    QVERIFY(!QFileInfo::exists(installation.files().compactedDatabase()));

    // The replaced file is the program's database: players can be merged into it again.
    PlayerRecord record;
    record.setPlayerName(QStringLiteral("Bob"));
    record.setNumGames(1);
    findPlayer(record, database);
    QCOMPARE(playerCount(database), 1);
}

void TestDatabaseClean::clean_staleTemporaryFile_emptiesTableThenFailsCompaction()
{
    TestInstallation installation;
    installation.createDatabase();
    addPlayers(installation.files().database(), 10);
    const QByteArray stale("left by an earlier clean");
    installation.writeFile(QStringLiteral("tempdb.mdb"), stale);

    RecordingUserInterface ui;
    cleanDatabase(installation.files(), ui);

    QCOMPARE(ui.status(), failedText);
    QCOMPARE(ui.messages.size(), std::size_t(1));
    const UserInterface::Message& message = ui.messages.front();
    QVERIFY2(message.text.startsWith(
                 QStringLiteral("Error db#: %1\nDescription: ").arg(int(DbError::DatabaseExists))),
             qPrintable(message.text));
    QCOMPARE(message.title, QStringLiteral("Error"));
    QCOMPARE(message.icon, UserInterface::Icon::Critical);
    QCOMPARE(message.buttons, UserInterface::Buttons::Ok);
    QCOMPARE(playerCount(installation.files().database()), 0);
    QCOMPARE(fileContent(installation.files().compactedDatabase()), stale);
}

void TestDatabaseClean::clean_withoutDatabase_failsWithFileNotFoundAndCreatesNothing()
{
    TestInstallation installation;
    RecordingUserInterface ui;
    cleanDatabase(installation.files(), ui);

    QCOMPARE(ui.statuses, QStringList{failedText});
    QCOMPARE(ui.messages.size(), std::size_t(1));
    QVERIFY2(ui.messages.front().text.startsWith(
                 QStringLiteral("Error db#: %1\nDescription: ").arg(int(DbError::FileNotFound))),
             qPrintable(ui.messages.front().text));
    QVERIFY(!QFileInfo::exists(installation.files().database()));
    QVERIFY(!QFileInfo::exists(installation.files().compactedDatabase()));
}

QTEST_GUILESS_MAIN(TestDatabaseClean)
#include "tst_databaseclean.moc"
