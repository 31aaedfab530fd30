// Faults of the files an installation keeps: another program holding the database locked, a
// program directory that cannot be written, a log that goes away while a scan looks at it.
// Each case checks that what is stored survives and that the user is told what went wrong.

#include "PlayerRows.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "import/ImportLog.h"
#include "import/ScanDriver.h"
#include "platform/Failure.h"
#include "report/GenerateHtml.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <sqlite3.h>
#include <unistd.h>

#include <memory>

namespace {

const QDateTime baseTime(QDate(2024, 3, 1), QTime(20, 0, 0), Qt::LocalTime);

QByteArray adversarialLog(int i, const QByteArray& extraPlayer = {})
{
    QByteArray log = "Adversarial\r\nIndex\r\n1 2 0 Alpha 1 50 5\r\n2 1 3 Log" +
                     QByteArray::number(i) + " 2 40 4\r\n";
    if (!extraPlayer.isEmpty())
        log += "3 1 0 " + extraPlayer + " 4 60 5\r\n";
    return log;
}

// An installation with its database, a game directory and a scan driver.
struct Installation
{
    TestInstallation inst;
    std::unique_ptr<Config> config;
    RecordingUserInterface ui;
    std::unique_ptr<ScanDriver> driver;

    Installation()
    {
        inst.createDatabase();
        QDir(inst.files().directory()).mkdir("game");
        config = std::make_unique<Config>(inst.files().configuration());
        config->roguePath = inst.path("game");
        config->records = 40;
        driver = std::make_unique<ScanDriver>(*config, inst.files(), ui);
    }

    QString logPath(int i) const
    {
        return inst.path("game/RSRESULTS" + QString::number(i) + ".log");
    }

    void writeLog(int i, const QByteArray& content, const QDateTime& time) const
    {
        QFile file(logPath(i));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
        QVERIFY(file.flush());
        QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
    }

    // Ten logs imported by a first scan: Alpha with ten games, Log0 to Log9 with one each.
    void storeTenLogs()
    {
        for (int i = 0; i < 10; ++i)
            writeLog(i, adversarialLog(i), baseTime.addSecs(60 * i));
        driver->scanStatFiles();
        QVERIFY2(ui.status().startsWith("Status scan successful at "), qPrintable(ui.status()));
        QCOMPARE(gamesPlayed(inst.files().database(), "Alpha"), 10);
        ui.clear();
    }

    QStringList rows() const { return playerRows(inst.files().database()); }
};

// A second connection holding the whole database locked, as another program would.
class ExclusiveLock
{
public:
    explicit ExclusiveLock(const QString& path)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) != SQLITE_OK ||
            sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
    }
    ~ExclusiveLock()
    {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    bool isHeld() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

private:
    sqlite3* m_db = nullptr;
    QString m_error;
};

// While it lives, the process works as an unprivileged user when it runs as root, so that
// file permissions apply to it as they do to a user's program. The real user stays root, so
// the privileges come back when it goes.
class UnprivilegedSection
{
public:
    static constexpr uid_t nobody = 65534;

    UnprivilegedSection()
    {
        if (::geteuid() == 0)
            m_dropped = ::setegid(nobody) == 0 && ::seteuid(nobody) == 0;
    }
    ~UnprivilegedSection()
    {
        if (m_dropped) {
            [[maybe_unused]] const int user = ::seteuid(0);
            [[maybe_unused]] const int group = ::setegid(0);
        }
    }
    UnprivilegedSection(const UnprivilegedSection&) = delete;
    UnprivilegedSection& operator=(const UnprivilegedSection&) = delete;

private:
    bool m_dropped = false;
};

const auto readOnlyDirectory = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                               QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                               QFileDevice::ReadOther | QFileDevice::ExeOther;
const auto readOnlyFile = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
const auto writableFile = readOnlyFile | QFileDevice::WriteOwner | QFileDevice::WriteGroup |
                          QFileDevice::WriteOther;
const auto writableDirectory = readOnlyDirectory | QFileDevice::WriteOwner;

bool canCreateFileIn(const QString& directory)
{
    QFile probe(directory + "/probe.txt");
    const bool created = probe.open(QIODevice::WriteOnly);
    if (created)
        probe.remove();
    return created;
}

void verifyErrorBox(const UserInterface::Message& message, const QString& tag, int code,
                    const QString& mentions)
{
    const QString prefix = tag + QString::number(code) + "\nDescription: ";
    QVERIFY2(message.text.startsWith(prefix), qPrintable(message.text));
    QVERIFY2(message.text.contains(mentions), qPrintable(message.text));
    QVERIFY(message.text.endsWith(u'.'));
    QCOMPARE(message.title, QStringLiteral("Error"));
    QCOMPARE(message.icon, UserInterface::Icon::Critical);
}

// A write the file system refuses. The platform reports code 70 when the directory refuses
// the new file, and 57 when the file itself is read-only to its owner; either way the text
// names the file and the cause.
void verifyRefusedWrite(int code, const QString& text, const QString& path)
{
    QVERIFY2(code == PermissionDenied || code == DeviceIOError, qPrintable(QString::number(code)));
    QVERIFY2(text.contains(QDir::toNativeSeparators(path)), qPrintable(text));
    QVERIFY2(text.contains("Permission denied") || text.contains("not writable"), qPrintable(text));
}

} // namespace

class TestStorageFaults : public QObject
{
    Q_OBJECT

private slots:
    void databaseLockedDuringScan_reportsEachLogAndKeepsStoredRows();
    void readOnlyProgramDirectory_keepsEveryFileAndSaysWhy_data();
    void readOnlyProgramDirectory_keepsEveryFileAndSaysWhy();
    void logVanishedBeforeImport_reports53AndKeepsStoredRows();
};

void TestStorageFaults::databaseLockedDuringScan_reportsEachLogAndKeepsStoredRows()
{
    Installation s;
    s.storeTenLogs();
    const QStringList stored = s.rows();
    // The game rewrites logs 3 and 7 while another program holds the database.
    const QDateTime rewritten = baseTime.addSecs(3600);
    s.writeLog(3, adversarialLog(3, "Late3"), rewritten);
    s.writeLog(7, adversarialLog(7, "Late7"), rewritten);

    QElapsedTimer clock;
    {
        ExclusiveLock lock(s.inst.files().database());
        QVERIFY2(lock.isHeld(), qPrintable(lock.error()));
        clock.start();
        s.driver->scanStatFiles();
    }
    const qint64 elapsed = clock.elapsed();

    // Each locked import waited for the busy time-out, then told the user and moved on.
    QVERIFY2(elapsed >= 2 * Database::busyTimeoutMilliseconds - 500,
             qPrintable(QString::number(elapsed)));
    QCOMPARE(s.ui.messages.size(), std::size_t(2));
    for (const UserInterface::Message& message : s.ui.messages) {
        verifyErrorBox(message, "Error imp#: ", DbError::Locked,
                       QDir::toNativeSeparators(s.inst.files().database()));
        QVERIFY2(message.text.contains("locked"), qPrintable(message.text));
    }
    QVERIFY2(s.ui.status().startsWith("Status scan successful at "), qPrintable(s.ui.status()));
    QCOMPARE(s.rows(), stored);

    // Once the lock is gone the stamps of the locked logs are already set (a failed import is
    // stamped too), so their games wait until the game writes the logs again.
    s.ui.clear();
    s.driver->scanStatFiles();
    QVERIFY(s.ui.messages.empty());
    QCOMPARE(s.rows(), stored);

    s.writeLog(3, adversarialLog(3, "Late3"), rewritten.addSecs(60));
    s.driver->scanStatFiles();
    QVERIFY(s.ui.messages.empty());
    QCOMPARE(gamesPlayed(s.inst.files().database(), "Alpha"), 11);
    QCOMPARE(gamesPlayed(s.inst.files().database(), "Late3"), 1);
    QCOMPARE(gamesPlayed(s.inst.files().database(), "Late7"), -1);
}

void TestStorageFaults::readOnlyProgramDirectory_keepsEveryFileAndSaysWhy_data()
{
    QTest::addColumn<bool>("databaseWritable");
    // An installation that lets the user write the database file only, so that the page
    // write is the first write that fails; and one that is read-only throughout.
    QTest::newRow("database file writable") << true;
    QTest::newRow("everything read-only") << false;
}

void TestStorageFaults::readOnlyProgramDirectory_keepsEveryFileAndSaysWhy()
{
    QFETCH(bool, databaseWritable);
    Installation s;
    s.storeTenLogs();
    GenerateHtml::writeRankingPage(*s.config, s.inst.files(), s.ui);
    QCOMPARE(s.ui.status(), QStringLiteral("HTML generation successful."));
    s.config->diskConfig();
    // Log 2 is rewritten as a game that merges nothing: storing its stamp is the scan's first write.
    s.writeLog(2, "Cooperative\r\nIndex\r\n1 2 0 Alpha 1 50 5\r\n", baseTime.addSecs(3600));

    const ProgramFiles& files = s.inst.files();
    const QStringList storedRows = s.rows();
    const QByteArray storedConfig = s.inst.readFile("statConf.txt");
    const QByteArray storedStamps = s.inst.readFile("dateStamps.txt");
    const QByteArray storedPage = s.inst.readFile("output/tallyvane.htm");
    QVERIFY(!storedConfig.isEmpty() && !storedStamps.isEmpty() && !storedPage.isEmpty());

    for (const QString& name : {files.configuration(), files.stamps(), files.report()})
        QVERIFY(QFile::setPermissions(name, readOnlyFile));
    QVERIFY(QFile::setPermissions(files.database(), databaseWritable ? writableFile : readOnlyFile));
    // Writable again on every way out, so that the temporary directory can be removed.
    struct WritableAgain
    {
        QStringList directories;
        ~WritableAgain()
        {
            for (const QString& name : directories)
                QFile::setPermissions(name, writableDirectory);
        }
    } writableAgain{{files.directory(), files.outputDirectory()}};
    for (const QString& name : writableAgain.directories)
        QVERIFY(QFile::setPermissions(name, readOnlyDirectory));

    int configCode = 0;
    QString configFailure;
    {
        UnprivilegedSection unprivileged;
        QVERIFY2(!canCreateFileIn(files.directory()),
                 "the program directory is still writable: permissions do not apply here");

        // The configuration: saving fails with the file's name and why.
        try {
            s.config->diskConfig();
        } catch (const Failure& failure) {
            configCode = failure.code();
            configFailure = failure.description();
        }
        verifyRefusedWrite(configCode, configFailure, files.configuration());

        // The stamps: log 2 merges nothing, and storing its stamp ends the scan with a message.
        s.driver->scanStatFiles();
        QCOMPARE(s.ui.messages.size(), std::size_t(1));
        const UserInterface::Message& stampFailure = s.ui.messages[0];
        const QString tag = QStringLiteral("Error date#: ");
        const int stampCode = stampFailure.text.section(u'\n', 0, 0).mid(tag.size()).toInt();
        verifyErrorBox(stampFailure, tag, stampCode, QDir::toNativeSeparators(files.stamps()));
        verifyRefusedWrite(stampCode, stampFailure.text, files.stamps());
        QVERIFY2(s.ui.status().startsWith("Status scan failed at "), qPrintable(s.ui.status()));

        // The page: the previous one stays and the status line says why.
        s.ui.clear();
        GenerateHtml::writeRankingPage(*s.config, files, s.ui);
        QVERIFY2(s.ui.status().startsWith("HTML generation failed. "), qPrintable(s.ui.status()));
        const QString cause = databaseWritable ? files.report() : files.database();
        QVERIFY2(s.ui.status().contains(QDir::toNativeSeparators(cause)), qPrintable(s.ui.status()));
        QVERIFY2(s.ui.status().contains("Permission denied") ||
                     s.ui.status().contains("read-only"),
                 qPrintable(s.ui.status()));

        // Program end: the configuration and the stamps cannot be saved; nothing breaks.
        s.driver.reset();
        s.config.reset();
    }

    QCOMPARE(s.inst.readFile("statConf.txt"), storedConfig);
    QCOMPARE(s.inst.readFile("dateStamps.txt"), storedStamps);
    QCOMPARE(s.inst.readFile("output/tallyvane.htm"), storedPage);
    QCOMPARE(s.rows(), storedRows);
    QCOMPARE(QDir(files.directory()).entryList(QDir::Files).size(), 3);
    QCOMPARE(QDir(files.outputDirectory()).entryList(QDir::Files).size(), 1);
}

void TestStorageFaults::logVanishedBeforeImport_reports53AndKeepsStoredRows()
{
    Installation s;
    s.storeTenLogs();
    const QStringList stored = s.rows();
    // The scan saw the log's time; the game removes the log before the import opens it.
    QVERIFY(QFile::remove(s.logPath(4)));

    importLog(s.logPath(4), s.inst.files().database(), s.ui);

    QCOMPARE(s.ui.messages.size(), std::size_t(1));
    verifyErrorBox(s.ui.messages[0], "Error imp#: ", FileNotFound,
                   QDir::toNativeSeparators(s.logPath(4)));
    QCOMPARE(s.rows(), stored);
}

QTEST_GUILESS_MAIN(TestStorageFaults)
#include "tst_storagefaults.moc"
