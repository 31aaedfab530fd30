#include "import/ScanFixture.h"

#include "db/DatabaseClean.h"
#include "db/PlayerMerge.h"
#include "db/Database.h"
#include "player/PlayerRecord.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>

// While set, renaming a file onto this path fails, as a file system that refuses it would.
static QString refusedRenameTo;

// Takes the place of the system's rename in this program, so that a replace can be refused.
extern "C" int rename(const char* from, const char* to) noexcept
{
    if (!refusedRenameTo.isEmpty() && QFile::decodeName(to) == refusedRenameTo)
        return errno = EACCES, -1;
    return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}

class TestDb : public QObject
{
    Q_OBJECT

private slots:
    void findPlayer_nameWithQuotes_storedAndFoundUnchanged()
    {
        GUARDED({
            Scan s(0);
            const QString name = "x' OR fldName LIKE '%";
            sql(s.inst.files().database(), "INSERT INTO tblPlayer VALUES ('B',1,1,1,1,1,1,1)");
            PlayerRecord record;
            record.setPlayerName(name);
            record.setKills(3);
            record.setNumGames(1);
            Database database = Database::open(s.inst.files().database());
            findPlayer(record, database); // a new player
            findPlayer(record, database); // a known one
            QCOMPARE(s.rows(), (QStringList{"B|1|1|1|1|1|1|1", name + "|600|0|6|0|0|0|2"}));
        });
    }

    void clean_erasesPlayersOrKeepsTheDatabaseAndSaysWhy_data()
    {
        // The row's name is the fault: a stale tempdb.mdb, a refused replace, no database.
        QTest::addColumn<QString>("message");
        QTest::newRow("none") << QString();
        QTest::newRow("stale")
            << "Error db#: 3204\nDescription: Database already exists ('<dir>/tempdb.mdb').";
        QTest::newRow("refused") << "Error db#: 70\nDescription: Permission denied: Permission "
                                    "denied (<dir>/tallyvane.mdb).";
        QTest::newRow("gone")
            << "Error db#: 3024\nDescription: Could not find file '<dir>/tallyvane.mdb'.";
    }
    void clean_erasesPlayersOrKeepsTheDatabaseAndSaysWhy()
    {
        GUARDED({
            QFETCH(QString, message);
            const QByteArray fault = QTest::currentDataTag();
            Scan s(0);
            const QString database = s.inst.files().database();
            const qint64 emptySize = QFileInfo(database).size();
            sql(database, "INSERT INTO tblPlayer SELECT 'p' || value, 1, 1, 1, 1, 1, 1, 1 "
                          "FROM generate_series(1, 5000)");
            if (fault == "gone")
                QFile::remove(database);
            if (fault == "stale")
                s.inst.writeFile("tempdb.mdb", "stale");
            refusedRenameTo = fault == "refused" ? database : "";
            cleanDatabase(s.inst.files(), s);
            refusedRenameTo.clear();
            QCOMPARE(s.texts.join(u'\n'), message);
            QCOMPARE(s.status(), message.isEmpty() ? "Database successfully erased."
                                                   : "Database clean failed.");
            QCOMPARE(QFileInfo::exists(database), fault != "gone");
            if (fault != "gone") // emptied, even when it cannot then be compacted
                QCOMPARE(s.rows(), QStringList());
            QVERIFY(fault != "none" || QFileInfo(database).size() == emptySize); // compacted
            // The copy took its place, or went: none is left to make the next clean fail.
            QVERIFY(fault == "stale" || !QFileInfo::exists(s.inst.path("tempdb.mdb")));
            QCOMPARE(s.inst.readFile("tempdb.mdb") == "stale", fault == "stale"); // left as it was
        });
    }
};

QTEST_GUILESS_MAIN(TestDb)
#include "tst_db.moc"
