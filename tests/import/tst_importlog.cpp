#include "PlayerRows.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "import/ImportLog.h"

#include <QTest>

#include <sqlite3.h>

class TestImportLog : public QObject
{
    Q_OBJECT

private slots:
    void importLog_mergesWhatTheColumnsHold_data();
    void importLog_mergesWhatTheColumnsHold();
    void typeMismatch_showsTheExplanatoryMessage();
    void otherFailure_showsTheGeneralMessage_data();
    void otherFailure_showsTheGeneralMessage();
    void mergeNamingUnknownField_isPassedOverQuietly();
};

namespace {

QStringList firstLines(const std::vector<UserInterface::Message>& messages)
{
    QStringList lines;
    for (const UserInterface::Message& message : messages)
        lines.append(message.text.section(u'\n', 0, 0));
    return lines;
}

QByteArray table(const QByteArray& playerLines)
{
    return "Adversarial Game,Map\r\nServer,Home\r\nIndex Team Status Player Kills\r\n" +
           playerLines;
}

// A line of exactly 200 characters whose rounds figure straddles position 150.
QByteArray longLine()
{
    QByteArray line = "1 2 0 " + QByteArray(136, 'X') + " 4 50 6789";
    while (line.size() < 200)
        line += " 1";
    return line.left(200);
}

} // namespace

void TestImportLog::importLog_mergesWhatTheColumnsHold_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    const QStringList bob{"Bob|12|1|45|7|1"};
    const QStringList bobAndAmy{"Bob|12|1|45|7|1", "Amy|3|0|50|4|1"};

    QTest::newRow("killed, then not killed")
        << table("1 2 3 Bob 12 45 7\r\n1 2 0 Big Bad Bob 3 50 4\r\n")
        << QStringList{"Bob|12|1|45|7|1", "Big Bad Bob|3|0|50|4|1"} << none;
    QTest::newRow("two blanks leave an empty column 4")
        << table("1 2 3  Bob 12 45 7\r\n") << QStringList{" Bob|12|1|45|7|1"} << none;
    QTest::newRow("clan tag in brackets")
        << table("1 2 0 [TAG]Name 5 40 3\r\n") << QStringList{" TAG Name|5|0|40|3|1"} << none;
    QTest::newRow("accented letter and quote become blanks")
        << table("1 2 0 Zo\xeb's 5 40 3\r\n") << QStringList{"Zo  s|5|0|40|3|1"} << none;
    QTest::newRow("all-digit name part ends the name")
        << table("1 2 0 Agent 47 10 20 5\r\n") << QStringList{"Agent|47|0|10|20|1"} << none;
    QTest::newRow("digits with an exponent letter are a name part")
        << table("1 2 0 Sniper 2e4 5 40 3\r\n") << QStringList{"Sniper 2e4|5|0|40|3|1"} << none;
    QTest::newRow("tab joins two digit runs into one name part")
        << table("1 2 0 Tom 1\t2 5 6 7\r\n") << QStringList{"Tom 1 2|5|0|6|7|1"} << none;
    QTest::newRow("200-character line is cut after 150")
        << table(longLine() + "\r\n") << QStringList{QString(136, u'X') + "|4|0|50|67|1"} << none;
    QTest::newRow("figures after column 19 are not reached")
        << table("1 2 0 a b c d e f g h i j k l m n o 1 2 3\r\n") << none
        << QStringList{"Error #: 13"};
    QTest::newRow("no numeric column up to slot 20")
        << table("1 2 0 a b c d e f g h i j k l m n o p q r\r\n") << none
        << QStringList{"Error imp#: 9"};
    QTest::newRow("blank line at the end")
        << table("1 2 3 Bob 12 45 7\r\n2 1 0 Amy 3 50 4\r\n\r\n") << bobAndAmy
        << QStringList{"Error #: 13"};
    QTest::newRow("numeric part inside a name stops the log")
        << table("1 2 3 Bob 12 45 7\r\n2 1 0 mp5 10 SD 3 50 4\r\n2 1 0 Amy 3 50 4\r\n") << bob
        << QStringList{"Error #: 13"};
    QTest::newRow("kills beyond 32 bits")
        << table("1 2 3 Bob 12 45 7\r\n1 2 0 Amy 2147483648 50 4\r\n") << bob
        << QStringList{"Error imp#: 6"};
    QTest::newRow("hit percentage beyond 16 bits")
        << table("1 2 0 Amy 3 32768 4\r\n") << none << QStringList{"Error imp#: 6"};
    QTest::newRow("no Index field") << QByteArray("Adversarial\r\nServer,Home\r\n1 2 3 Bob 12 45 7\r\n")
                                    << none << QStringList{"Error imp#: 62"};
    QTest::newRow("empty file") << QByteArray() << none << QStringList{"Error imp#: 62"};
    QTest::newRow("index in small letters is no heading")
        << QByteArray("Adversarial\r\nindex\r\n1 2 3 Bob 12 45 7\r\n") << none
        << QStringList{"Error imp#: 62"};
    QTest::newRow("adversarial in small letters is skipped")
        << QByteArray("adversarial\r\nIndex\r\n1 2 3 Bob 12 45 7\r\n") << none << none;
    QTest::newRow("shorter first field is skipped")
        << QByteArray("Adversaria\r\nIndex\r\n1 2 3 Bob 12 45 7\r\n") << none << none;
    QTest::newRow("heading ending at a comma")
        << QByteArray("Adversarial\r\nIndex,1 2 3 Bob 12 45 7\r\n2 1 0 Amy 3 50 4\r\n") << bobAndAmy
        << none;
    QTest::newRow("quoted first field with a comma")
        << QByteArray("\"Adversarial, ranked\",Map\r\nIndex\r\n1 2 3 Bob 12 45 7\r\n") << bob << none;
    QTest::newRow("blanks before the first field")
        << QByteArray("   Adversarial\r\nIndex\r\n1 2 3 Bob 12 45 7\r\n") << bob << none;
    QTest::newRow("heading found across several preamble lines")
        << QByteArray("Adversarial,a,b\r\nc\r\nd,e,Index Team\r\n1 2 3 Bob 12 45 7\r\n") << bob << none;
    QTest::newRow("lone CR") << QByteArray("Adversarial\rIndex\r1 2 3 Bob 12 45 7\r2 1 0 Amy 3 50 4\r")
                             << bobAndAmy << none;
    QTest::newRow("lone LF") << QByteArray("Adversarial\nIndex\n1 2 3 Bob 12 45 7\n2 1 0 Amy 3 50 4\n")
                             << bobAndAmy << none;
    QTest::newRow("last line without line end")
        << QByteArray("Adversarial\r\nIndex\r\n1 2 3 Bob 12 45 7\r\n2 1 0 Amy 3 50 4") << bobAndAmy
        << none;
    QTest::newRow("same player twice is merged twice")
        << table("1 2 3 Bob 12 45 7\r\n1 2 0 Bob 2 45 7\r\n") << QStringList{"Bob|14|1|45|7|2"}
        << none;
}

void TestImportLog::importLog_mergesWhatTheColumnsHold()
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
    QCOMPARE(firstLines(ui.messages), messages);
    QVERIFY(ui.statuses.isEmpty());
}

void TestImportLog::typeMismatch_showsTheExplanatoryMessage()
{
    TestInstallation inst;
    inst.createDatabase();
    inst.writeFile("RSRESULTS0.log", table("1 2 x Bob 12 45 7\r\n"));
    RecordingUserInterface ui;

    importLog(inst.path("RSRESULTS0.log"), inst.files().database(), ui);

    QCOMPARE(ui.messages.size(), std::size_t(1));
    QCOMPARE(ui.messages[0].text,
             QString("Error #: 13\nDescription: Type mismatch.\n"
                     "Plain english: Log imports will fail if a player has\n"
                     "two names, seperated by numbers (such\n"
                     "as \"mp5 10SD\"). This log will be skipped.\n"
                     "Click on Force Statistics Scan to import remaining logs."));
    QCOMPARE(ui.messages[0].title, QString("Error"));
    QCOMPARE(ui.messages[0].icon, UserInterface::Icon::Critical);
    QCOMPARE(ui.messages[0].buttons, UserInterface::Buttons::Ok);
}

void TestImportLog::otherFailure_showsTheGeneralMessage_data()
{
    QTest::addColumn<bool>("logExists");
    QTest::addColumn<bool>("databaseExists");
    QTest::addColumn<QString>("start");
    QTest::newRow("missing log") << false << true << "Error imp#: 53\nDescription: File not found";
    QTest::newRow("missing database") << true << false << "Error imp#: 3024\nDescription: ";
}

void TestImportLog::otherFailure_showsTheGeneralMessage()
{
    QFETCH(bool, logExists);
    QFETCH(bool, databaseExists);
    QFETCH(QString, start);
    TestInstallation inst;
    if (databaseExists)
        inst.createDatabase();
    if (logExists)
        inst.writeFile("RSRESULTS0.log", table("1 2 3 Bob 12 45 7\r\n"));
    RecordingUserInterface ui;

    importLog(inst.path("RSRESULTS0.log"), inst.files().database(), ui);

    QCOMPARE(ui.messages.size(), std::size_t(1));
    QVERIFY2(ui.messages[0].text.startsWith(start), qPrintable(ui.messages[0].text));
    QVERIFY(ui.messages[0].text.endsWith(u'.'));
    QCOMPARE(ui.messages[0].text.count(u'\n'), 1);
    QCOMPARE(ui.messages[0].title, QString("Error"));
    QCOMPARE(ui.messages[0].icon, UserInterface::Icon::Critical);
    QCOMPARE(ui.messages[0].buttons, UserInterface::Buttons::Ok);
}

void TestImportLog::mergeNamingUnknownField_isPassedOverQuietly()
{
    // A table without fldAccuracy: the update of a known player names a field it lacks.
    TestInstallation inst;
    sqlite3* db = nullptr;
    sqlite3_open(inst.files().database().toUtf8().constData(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE tblPlayer (fldName TEXT, fldSkill INTEGER, fldKills INTEGER, "
                 "fldKilled INTEGER, fldHitPercent INTEGER, fldAverageRounds INTEGER, "
                 "fldGamesPlayed INTEGER);"
                 "INSERT INTO tblPlayer VALUES ('Bob', 100, 1, 1, 40, 5, 1)",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    inst.writeFile("RSRESULTS0.log", table("1 2 3 Bob 12 45 7\r\n2 1 0 Amy 3 50 4\r\n"));
    RecordingUserInterface ui;

    importLog(inst.path("RSRESULTS0.log"), inst.files().database(), ui);

    QVERIFY2(ui.messages.empty(), ui.messages.empty() ? "" : qPrintable(ui.messages[0].text));
    QCOMPARE(playerRows(inst.files().database()), QStringList{"Bob|1|1|40|5|1"});
}

QTEST_GUILESS_MAIN(TestImportLog)
#include "tst_importlog.moc"
