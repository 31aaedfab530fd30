#include "import/ScanFixture.h"

#include "db/DatabaseClean.h"
#include "db/PlayerMerge.h"
#include "db/Database.h"
#include "player/PlayerRecord.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

// The fault the clean under way is to meet, the tag of its row: the calls below play it, on
// tallyvane.mdb and tempdb.mdb alone, which no other case here renames or writes to disk.
static QByteArray fault;

// Take the place of the system's own in this program: a replace onto the database can be
// refused, and the compacted copy can fail to reach the disk, as on a failing drive.
extern "C" int rename(const char* from, const char* to) noexcept
{
    if (fault == "refused" && QFile::decodeName(to).endsWith("/tallyvane.mdb"))
        return errno = EACCES, -1;
    return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}
extern "C" int fsync(int fd)
{
    if (fault == "unflushed" &&
        QFile::symLinkTarget("/proc/self/fd/" + QString::number(fd)).endsWith("/tempdb.mdb"))
        return errno = EIO, -1;
    return int(::syscall(SYS_fsync, fd));
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
        // The row's name is the fault: a stale tempdb.mdb, a refused replace, no database, a
        // compacted copy that cannot be written to disk.
        QTest::addColumn<QString>("message");
        QTest::newRow("none") << QString();
        QTest::newRow("stale")
            << "Error db#: 3204\nDescription: Database already exists ('<dir>/tempdb.mdb').";
        QTest::newRow("refused") << "Error db#: 70\nDescription: Permission denied: Permission "
                                    "denied (<dir>/tallyvane.mdb).";
        QTest::newRow("gone")
            << "Error db#: 3024\nDescription: Could not find file '<dir>/tallyvane.mdb'.";
        QTest::newRow("unflushed") << "Error db#: 3000\nDescription: Could not write "
                                      "'<dir>/tempdb.mdb' to disk (Input/output error).";
    }
    void clean_erasesPlayersOrKeepsTheDatabaseAndSaysWhy()
    {
        GUARDED({
            QFETCH(QString, message);
            fault = QTest::currentDataTag();
            Scan s(0);
            const QString database = s.inst.files().database();
            const qint64 emptySize = QFileInfo(database).size();
            sql(database, "INSERT INTO tblPlayer SELECT 'p' || value, 1, 1, 1, 1, 1, 1, 1 "
                          "FROM generate_series(1, 5000)");
            if (fault == "gone")
                QFile::remove(database);
            if (fault == "stale")
                s.inst.writeFile("tempdb.mdb", "stale");
            cleanDatabase(s.inst.files(), s);
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
