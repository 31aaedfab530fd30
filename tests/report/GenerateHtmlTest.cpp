#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "import/ScanDriver.h"
#include "platform/SystemFormats.h"
#include "report/GenerateHtml.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <sqlite3.h>

namespace {

// A row of tblPlayer: name, skill, accuracy, kills, killed, hit %, average rounds, games.
QString player(const QString& name, int skill, int kills = 1)
{
    return QString("('%1',%2,50,%3,10,30,4,2)").arg(name).arg(skill).arg(kills);
}

// The names in the page's ranking rows, top first.
QStringList rankedNames(const QByteArray& page)
{
    QStringList names;
    static const QRegularExpression cell(
        R"(\n {6}<td width="129"><font size="2" face="Arial">(.*)</font></td>\r)");
    for (const QRegularExpressionMatch& match : cell.globalMatch(QString::fromLatin1(page)))
        names.append(match.captured(1));
    return names;
}

struct Installation
{
    TestInstallation dir;
    Config config{dir.files().configuration()};
    RecordingUserInterface ui;
    ScanDriver scan{config, dir.files(), ui};

    Installation()
    {
        dir.createDatabase();
        config.roguePath = dir.path("game"); // no logs: the scan finds nothing
        config.records = 20;
    }
    void sql(const QString& statements)
    {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(dir.files().database()).constData(), &db);
        const int result = sqlite3_exec(db, qPrintable(statements), nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QVERIFY2(result == SQLITE_OK, qPrintable(statements));
    }
    void insert(const QStringList& rows) { sql("INSERT INTO tblPlayer VALUES " + rows.join(',')); }
    void generate() { GenerateHtml::generateHtml(scan, config, dir.files(), ui); }
    QByteArray page() const { return dir.readFile("output/tallyvane.htm"); }
    QStringList outputFiles() const
    {
        return QDir(dir.path("output")).entryList(QDir::Files | QDir::Hidden);
    }
};

QByteArray expectedPage(const QByteArray& nickname, const QDateTime& lastUpdate)
{
    const QList<QByteArray> lines = {
        R"(<html>)",
        R"( )",
        R"(<head>)",
        R"(<meta http-equiv="Content-Language" content="en-us">)",
        R"(<meta http-equiv="Content-Type" content="text/html; charset=windows-1252">)",
        R"(<meta name="GENERATOR" content="Tallyvane v1.0">)",
        R"-(<meta name="Author" content="the Tallyvane project (tallyvane@example.org)">)-",
        R"(<title>Rogue Spear Statistics</title>)",
        R"(</head>)",
        R"( )",
        R"(<body bgcolor="#000000" text="#FFFFFF" link="#FFFFFF" vlink="#FFFFFF" alink="#00FFFF">)",
        R"( )",
        R"(<p align="left"><img border="0" src="tv-stat.jpg"></p>)",
        R"( )",
        R"(<p align="left"><font size="2"><font color="#3399FF">statistics gathered from:</font><font color="#33CCFF">)",
        nickname + "'s server</font><br>",
        R"(<font color="#3399FF">last update: </font><font color="#33CCFF">)",
        SystemFormats::generalDate(lastUpdate).toLatin1() + R"(</font><font color="#3399FF">&nbsp;</font></font></p>)",
        R"(<div align="left">)",
        R"(  <table border="6" cellpadding="2" cellspacing="0" bordercolor="#000000" bordercolorlight="#000000" bordercolordark="#000000">)",
        R"(    <tr>)",
        R"(      <td width="200" bgcolor="#000080"><font face="Arial" size="1"><b>Name</b></font></td>)",
        R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Skill</b></font></td>)",
        R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Accuracy</b></font></td>)",
        R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Kills</b></font></td>)",
        R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Killed</b></font></td>)",
        R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Hit)",
        R"(        Percentage</b></font></td>)",
        R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Average)",
        R"(        Rounds</b></font></td>)",
        R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Games)",
        R"(        Played</b></font></td>)",
        R"(    </tr>)",
        R"(    <tr>)",
        R"(      <td width="129"><font size="2" face="Arial">Bravo</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">120</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">44</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">300</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">150</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">27</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">6</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">12</font></td>)",
        R"(    </tr>)",
        R"(    <tr>)",
        R"(      <td width="129"><font size="2" face="Arial">Alpha</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">-5</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial"></font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">7</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">40000</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">0</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">3</font></td>)",
        R"(      <td width="65"><font size="2" face="Arial">1</font></td>)",
        R"(    </tr>)",
        R"(    <tr>)",
        R"(      <td width="584" colspan="8">&nbsp;</td>)",
        R"(    </tr>)",
        R"(    <tr>)",
        R"(      <td width="584" colspan="8" bgcolor="#000080"><font face="Times New Roman" size="2" color="#3399FF">Tallyvane - coded by)",
        R"(      <a href = "mailto:tallyvane@example.org">the Tallyvane project</a> - <a href="https://tallyvane.example.org/">https://tallyvane.example.org/</a></font>)",
        R"(    </tr>)",
        R"(  </table>)",
        R"(</div>)",
        R"(</body>)",
        R"(</html>)",
    };
    return lines.join("\r\n") + "\r\n";
}

} // namespace

class GenerateHtmlTest : public QObject
{
    Q_OBJECT

private slots:
    void smallTable_writesThePageLineForLine()
    {
        Installation in;
        in.insert({"('Bravo',120,44,300,150,27,6,12)", "('Alpha',-5,NULL,7,40000,0,3,1)"});
        in.config.nickname.clear();
        in.generate();
        QCOMPARE(in.page().split('\n').value(15), QByteArray("'s server</font><br>\r"));

        // The second page replaces the first; the name is written in Windows-1252.
        in.config.nickname = "Zo\u00eb\u20ac\u2603 ";
        const QDateTime before = QDateTime::currentDateTime();
        in.generate();
        const QDateTime after = QDateTime::currentDateTime();
        const QByteArray page = in.page(), nickname = "Zo\xeb\x80? ";
        // The clock may have ticked over during the generation.
        QCOMPARE(page, page == expectedPage(nickname, after) ? expectedPage(nickname, after)
                                                             : expectedPage(nickname, before));
        QVERIFY(in.ui.statuses.size() == 4 && in.ui.statuses[2].startsWith("Status scan"));
        QCOMPARE(in.ui.status(), QString("HTML generation successful."));
        QCOMPARE(in.outputFiles(), QStringList{"tallyvane.htm"});
    }

    void ranking_bySkillThenKillsUpToRecords_data()
    {
        QTest::addColumn<QStringList>("players");
        QTest::addColumn<int>("records");
        QTest::addColumn<QStringList>("ranking");
        const QStringList five{player("C", 30), player("A", 50), player("E", 10), player("B", 40),
                               player("D", 20)};
        QTest::newRow("fewer players than records") << five << 6
                                                    << QStringList{"A", "B", "C", "D", "E"};
        QTest::newRow("more players than records") << five << 3 << QStringList{"A", "B", "C"};
        QTest::newRow("records 0") << five << 0 << QStringList();
        QTest::newRow("records negative") << five << -3 << QStringList();
        QTest::newRow("ties by kills")
            << QStringList{player("Few", 50, 3), player("Top", 90), player("Many", 50, 200),
                           player("Some", 50, 20), player("Last", -10, 999)}
            << 20 << QStringList{"Top", "Many", "Some", "Few", "Last"};
        QTest::newRow("markup in a name")
            << QStringList{player(R"(<script>"A&B"</script>)", 1)} << 20
            << QStringList{"&lt;script&gt;&quot;A&amp;B&quot;&lt;/script&gt;"};
    }

    void ranking_bySkillThenKillsUpToRecords()
    {
        QFETCH(QStringList, players);
        QFETCH(int, records);
        QFETCH(QStringList, ranking);
        Installation in;
        in.config.records = std::int16_t(records);
        in.insert(players);

        in.generate();

        QCOMPARE(rankedNames(in.page()), ranking);
        QVERIFY(in.page().endsWith("    </tr>\r\n  </table>\r\n</div>\r\n</body>\r\n</html>\r\n"));
        QCOMPARE(in.ui.status(), QString("HTML generation successful."));
    }

    void failure_leavesThePreviousPageByteForByte_data()
    {
        QTest::addColumn<QString>("sql"); // run on a fresh database file instead of the schema
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty table") << QString() << "Database is empty.";
        QTest::newRow("no database") << "" << "tallyvane.mdb";
        // Ranking works; reading a row's accuracy fails after the head is written.
        QTest::newRow("field missing")
            << "CREATE TABLE tblPlayer (fldName TEXT, fldSkill INTEGER, fldKills INTEGER);"
               "INSERT INTO tblPlayer VALUES ('Odd', 5, 5)"
            << "fldAccuracy";
    }

    void failure_leavesThePreviousPageByteForByte()
    {
        QFETCH(QString, sql);
        QFETCH(QString, reason);
        Installation in;
        const QByteArray previous("<html>earlier page\xe9\r\nno final line end", 37);
        in.dir.writeFile("output/tallyvane.htm", previous);
        if (!sql.isNull())
            QFile::remove(in.dir.files().database());
        if (!sql.isEmpty())
            in.sql(sql);

        in.generate();

        QCOMPARE(in.page(), previous);
        QCOMPARE(in.outputFiles(), QStringList{"tallyvane.htm"});
        QCOMPARE(in.ui.statuses.size(), 2);
        const QString status = in.ui.status();
        QVERIFY2(status.startsWith("HTML generation failed. ") && status.contains(reason),
                 qPrintable(status));
    }
};

QTEST_GUILESS_MAIN(GenerateHtmlTest)
#include "GenerateHtmlTest.moc"
