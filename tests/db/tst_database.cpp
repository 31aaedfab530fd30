#include "DbTestSupport.h"
#include "support/TestInstallation.h"

#include "db/Database.h"
#include "db/DbError.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void open_missingFile_failsWithFileNotFoundAndCreatesNothing_data();
    void open_missingFile_failsWithFileNotFoundAndCreatesNothing();
    void open_garbageFile_failsAtOnceAndLeavesFileAsItWas();

    void recordset_nullDistinctFromZeroAndEmptyText();
    void recordset_movesInQueryOrderAndFailsWithoutRowOrField();

    void statement_rejected_failsWithItsNumberAndChangesNothing_data();
    void statement_rejected_failsWithItsNumberAndChangesNothing();

    void compact_writesCompactedCopyWithTheSameRows();
    void compact_existingDestination_failsAndLeavesItUntouched_data();
    void compact_existingDestination_failsAndLeavesItUntouched();
    void compact_missingSource_failsAndCreatesNothing();

private:
    std::unique_ptr<TestInstallation> m_installation;
    QString m_path;
};

void TestDatabase::init()
{
    m_installation = std::make_unique<TestInstallation>();
    m_installation->createDatabase();
    m_path = m_installation->files().database();
}

void TestDatabase::open_missingFile_failsWithFileNotFoundAndCreatesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << QStringLiteral("absent.mdb");
    QTest::newRow("missing directory") << QStringLiteral("absent/tallyvane.mdb");
}

void TestDatabase::open_missingFile_failsWithFileNotFoundAndCreatesNothing()
{
    QFETCH(QString, name);
    const QString path = m_installation->path(name);
    QCOMPARE(failureCode([&] { Database::open(path); }), DbError::FileNotFound);
    QVERIFY(!QFileInfo::exists(path));
}

void TestDatabase::open_garbageFile_failsAtOnceAndLeavesFileAsItWas()
{
    const QByteArray garbage = QByteArray("This is no database at all.\r\n").repeated(100);
    m_installation->writeFile(QStringLiteral("tallyvane.mdb"), garbage);
    QCOMPARE(failureCode([&] { Database::open(m_path); }), DbError::NotADatabase);
    QCOMPARE(fileContent(m_path), garbage);
}

void TestDatabase::recordset_nullDistinctFromZeroAndEmptyText()
{
    runSql(m_path, QStringLiteral("INSERT INTO tblPlayer (fldName, fldKills) VALUES (NULL, NULL);"
                                  "INSERT INTO tblPlayer (fldName, fldKills) VALUES ('', 0);"));
    Database database = Database::open(m_path);
    Recordset rows =
        database.openRecordset(QStringLiteral("SELECT * FROM tblPlayer ORDER BY rowid"));
    QCOMPARE(rows.recordCount(), 2);
    QVERIFY(rows.field(QStringLiteral("fldName")).isNull());
    QVERIFY(rows.field(QStringLiteral("fldKills")).isNull());
    rows.moveNext();
    const QVariant name = rows.field(QStringLiteral("fldName"));
    const QVariant kills = rows.field(QStringLiteral("fldKills"));
    QVERIFY(!name.isNull());
    QCOMPARE(name.typeId(), QMetaType::QString);
    QCOMPARE(name.toString(), QString());
    QVERIFY(!kills.isNull());
    QCOMPARE(kills.typeId(), QMetaType::LongLong);
    QCOMPARE(kills.toLongLong(), 0);
}

void TestDatabase::recordset_movesInQueryOrderAndFailsWithoutRowOrField()
{
    runSql(m_path, QStringLiteral("INSERT INTO tblPlayer (fldName, fldKills) VALUES ('a', 1), "
                                  "('b', 3), ('c', 2);"));
    Database database = Database::open(m_path);
    Recordset empty =
        database.openRecordset(QStringLiteral("SELECT * FROM tblPlayer WHERE fldName = 'nobody'"));
    QCOMPARE(empty.recordCount(), 0);
    QCOMPARE(failureCode([&] { empty.field(QStringLiteral("fldName")); }),
             DbError::NoCurrentRecord);
    QCOMPARE(failureCode([&] { empty.moveFirst(); }), DbError::NoCurrentRecord);
    QCOMPARE(failureCode([&] { empty.moveLast(); }), DbError::NoCurrentRecord);

    Recordset rows =
        database.openRecordset(QStringLiteral("SELECT * FROM tblPlayer ORDER BY fldKills DESC"));
    QCOMPARE(rows.recordCount(), 3);
    QCOMPARE(rows.field(QStringLiteral("fldName")).toString(), QStringLiteral("b"));
    rows.moveLast();
    QCOMPARE(rows.field(QStringLiteral("fldName")).toString(), QStringLiteral("a"));
    rows.moveFirst();
    rows.moveNext();
    QCOMPARE(rows.field(QStringLiteral("FLDNAME")).toString(), QStringLiteral("c"));
    QCOMPARE(failureCode([&] { rows.field(QStringLiteral("fldScore")); }), DbError::ItemNotFound);
    rows.moveNext();
    rows.moveNext();
    QVERIFY(rows.eof());
    QCOMPARE(failureCode([&] { rows.field(QStringLiteral("fldName")); }), DbError::NoCurrentRecord);
    QCOMPARE(failureCode([&] { rows.moveNext(); }), DbError::NoCurrentRecord);
}

void TestDatabase::statement_rejected_failsWithItsNumberAndChangesNothing_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("code");
    QTest::newRow("unknown field")
        << QStringLiteral(" UPDATE tblPlayer  SET fldScore = 1 WHERE fldName = 'a'")
        << int(DbError::TooFewParameters);
    QTest::newRow("unknown field to insert")
        << QStringLiteral(" INSERT INTO tblPlayer  (fldName, fldScore) VALUES ('b',1)")
        << int(DbError::TooFewParameters);
    QTest::newRow("unbound parameter")
        << QStringLiteral(" UPDATE tblPlayer  SET fldKills = ? WHERE fldName = 'a'")
        << int(DbError::TooFewParameters);
    QTest::newRow("unknown table")
        << QStringLiteral(" DELETE FROM tblPlayers") << int(DbError::TableNotFound);
    QTest::newRow("second statement after the first")
        << QStringLiteral(" UPDATE tblPlayer  SET fldKills = 2; DELETE FROM tblPlayer")
        << int(DbError::TextAfterStatement);
    QTest::newRow("syntax error") << QStringLiteral(" DELETE * FROM tblPlayer")
                                  << int(DbError::EngineError);
}

void TestDatabase::statement_rejected_failsWithItsNumberAndChangesNothing()
{
    QFETCH(QString, sql);
    QFETCH(int, code);
    runSql(m_path, QStringLiteral("INSERT INTO tblPlayer (fldName, fldKills) VALUES ('a', 1);"));
    const auto before = allPlayers(m_path);
    Database database = Database::open(m_path);
    QCOMPARE(failureCode([&] { database.execute(sql); }), code);
    QCOMPARE(failureCode([&] { database.openRecordset(sql); }), code);
    database.close();
    QCOMPARE(allPlayers(m_path), before);
}

void TestDatabase::compact_writesCompactedCopyWithTheSameRows()
{
    runSql(m_path, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                  "WHERE i < 3000) INSERT INTO tblPlayer (fldName, fldKills) "
                                  "SELECT 'player number ' || i, i FROM n;"
                                  "DELETE FROM tblPlayer WHERE fldKills > 2;"));
    const QString destination = m_installation->files().compactedDatabase();
    Database::compactDatabase(m_path, destination);
    QVERIFY(QFileInfo(destination).size() < QFileInfo(m_path).size());
    QCOMPARE(allPlayers(destination), allPlayers(m_path));
    // The copy is a database the program can open and write.
    Database copy = Database::open(destination);
    copy.execute(QStringLiteral(" DELETE FROM tblPlayer"));
}

void TestDatabase::compact_existingDestination_failsAndLeavesItUntouched_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("earlier copy") << QByteArray("left by an earlier clean");
}

void TestDatabase::compact_existingDestination_failsAndLeavesItUntouched()
{
    QFETCH(QByteArray, content);
    m_installation->writeFile(QStringLiteral("tempdb.mdb"), content);
    const QString destination = m_installation->files().compactedDatabase();
    QCOMPARE(failureCode([&] { Database::compactDatabase(m_path, destination); }),
             DbError::DatabaseExists);
    QCOMPARE(fileContent(destination), content);
}

void TestDatabase::compact_missingSource_failsAndCreatesNothing()
{
    const QString destination = m_installation->files().compactedDatabase();
    QCOMPARE(failureCode([&] {
                 Database::compactDatabase(m_installation->path(QStringLiteral("absent.mdb")),
                                           destination);
             }),
             DbError::FileNotFound);
    QVERIFY(!QFileInfo::exists(destination));
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
