#include "DbTestSupport.h"

#include "db/Database.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

int runTool(const QString& schema, const QString& database)
{
    QProcess tool;
    tool.start(QStringLiteral(TALLYVANE_CREATEDB), {schema, database});
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit)
        return -1;
    return tool.exitCode();
}

} // namespace

class TestCreateDatabase : public QObject
{
    Q_OBJECT

private slots:
    void createdb_newFile_holdsTheEmptyPlayerTable();
    void createdb_existingFile_isLeftUntouched();
    void createdb_unusableSchema_failsAndLeavesNoFile();

private:
    QTemporaryDir m_dir;
};

void TestCreateDatabase::createdb_newFile_holdsTheEmptyPlayerTable()
{
    const QString path = m_dir.filePath(QStringLiteral("new.mdb"));
    QCOMPARE(runTool(QStringLiteral(TALLYVANE_SCHEMA_FILE), path), 0);
    Database database = Database::open(path);
    QCOMPARE(database.openRecordset(QStringLiteral("SELECT * FROM tblPlayer")).recordCount(), 0);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("new.mdb")});
}

void TestCreateDatabase::createdb_existingFile_isLeftUntouched()
{
    const QString path = m_dir.filePath(QStringLiteral("existing.mdb"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("the players of a season");
    file.close();
    QCOMPARE(runTool(QStringLiteral(TALLYVANE_SCHEMA_FILE), path), 0);
    QCOMPARE(fileContent(path), QByteArray("the players of a season"));
}

void TestCreateDatabase::createdb_unusableSchema_failsAndLeavesNoFile()
{
    const QString schema = m_dir.filePath(QStringLiteral("broken.sql"));
    QFile file(schema);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("CREATE TABLE tblPlayer (fldName TEXT);\nCREATE NONSENSE;\n");
    file.close();
    const QString path = m_dir.filePath(QStringLiteral("broken.mdb"));
    QVERIFY(runTool(schema, path) != 0);
    QVERIFY(runTool(m_dir.filePath(QStringLiteral("absent.sql")), path) != 0);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".part")));
}

QTEST_GUILESS_MAIN(TestCreateDatabase)
#include "tst_createdatabase.moc"
