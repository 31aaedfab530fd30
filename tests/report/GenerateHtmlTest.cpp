#include "Guarded.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "db/Database.h"
#include "import/ScanDriver.h"
#include "report/GenerateHtml.h"

#include <QDir>
#include <QTest>

static const QByteArray earlierPage = "<html>earlier page\xe9\r\nno final line end";

// Generate HTML over an earlier page, after the statements of sql have filled the player table;
// the game directory holds no logs for the scan before the page.
struct Generated
{
    TestInstallation dir;
    RecordingUserInterface ui;

    Generated(const QString& sql, const QByteArray& rules = {}, int records = 20,
              const QString& nickname = {})
    {
        dir.createDatabase();
        dir.writeFile("output/tallyvane.htm", earlierPage);
        if (!rules.isNull())
            dir.writeFile("ranking.txt", rules);
        for (const QString& statement : sql.split(';', Qt::SkipEmptyParts))
            Database::open(dir.files().database()).execute(statement);
        Config config(dir.files().configuration());
        config.roguePath = dir.path("game");
        config.records = std::int16_t(records);
        config.nickname = nickname;
        ScanDriver scan(config, dir.files(), ui);
        GenerateHtml::generateHtml(scan, config, dir.files(), ui);
    }
};

// The date is the system's general format, strftime's "%x %X": "MM/dd/yy HH:mm:ss" in the C locale.
static QByteArray expectedPage(const QDateTime& at)
{
    // A table row: the cells, separated by '|', each between open and close; the first cell
    // wide wide, the others 65.
    const auto row = [](const char* wide, QByteArray open, const char* close, QByteArray cells) {
        const QByteArray td = "\r\n      <td width=\"";
        return "    <tr>" + td + wide + open + cells.split('|').join(close + td + "65" + open) +
               close + "\r\n    </tr>";
    };
    const QByteArray th = R"(" bgcolor="#000080"><font face="Arial" size="1"><b>)",
                     td = R"("><font size="2" face="Arial">)", br = "\r\n        ";
    return QByteArrayList{"<html>", " ", "<head>",
        R"(<meta http-equiv="Content-Language" content="en-us">)",
        R"(<meta http-equiv="Content-Type" content="text/html; charset=windows-1252">)",
        R"(<meta name="GENERATOR" content="Tallyvane v1.0">)",
        R"-(<meta name="Author" content="the Tallyvane project (tallyvane@example.org)">)-",
        "<title>Rogue Spear Statistics</title>", "</head>", " ",
        R"(<body bgcolor="#000000" text="#FFFFFF" link="#FFFFFF" vlink="#FFFFFF" alink="#00FFFF">)",
        " ", R"(<p align="left"><img border="0" src="tv-stat.jpg"></p>)", " ",
        R"(<p align="left"><font size="2"><font color="#3399FF">statistics gathered from:</font>)"
        R"(<font color="#33CCFF">)", "Zo\xeb\x80 Zby&#322;'s server</font><br>",
        R"(<font color="#3399FF">last update: </font><font color="#33CCFF">)",
        at.toString("MM/dd/yy HH:mm:ss").toLatin1() +
            R"(</font><font color="#3399FF">&nbsp;</font></font></p>)", R"(<div align="left">)",
        R"(  <table border="6" cellpadding="2" cellspacing="0" bordercolor="#000000")"
        R"( bordercolorlight="#000000" bordercolordark="#000000">)",
        row("200", th, "</b></font></td>", "Name|Skill|Accuracy|Kills|Killed|Hit" + br +
            "Percentage|Average" + br + "Rounds|Games" + br + "Played"),
        row("129", td, "</font></td>", "Z\xeb" "d|120|44|301|150|27|6|12"),
        row("129", td, "</font></td>", "Bravo|120|5|300|1|9|2|3"),
        row("129", td, "</font></td>", "&lt;A&amp;&quot;B&quot;&gt;|-5||999|40000|0|3|1"),
        row("584", R"(" colspan="8">&nbsp;)", "</td>", ""), "    <tr>",
        R"(      <td width="584" colspan="8" bgcolor="#000080"><font face="Times New Roman")"
        R"( size="2" color="#3399FF">Tallyvane - coded by)",
        R"(      <a href = "mailto:tallyvane@example.org">the Tallyvane project</a> - <a href=")"
        R"(https://tallyvane.example.org/">https://tallyvane.example.org/</a></font>)",
        "    </tr>", "  </table>", "</div>", "</body>", "</html>", ""}.join("\r\n");
}

class GenerateHtmlTest : public QObject
{
    Q_OBJECT

private slots:
    // Ranked by skill, then kills, both highest first; markup in a name escaped; a nickname
    // character outside Windows-1252 written as a numeric reference.
    void page_lineForLineRankedEscapedInWindows1252()
    {
        const QDateTime before = QDateTime::currentDateTime();
        GUARDED(Generated g("INSERT INTO tblPlayer VALUES ('Bravo',120,5,300,1,9,2,3),"
                            "('<A&\"B\">',-5,NULL,999,40000,0,3,1),"
                            "('Z\u00ebd',120,44,301,150,27,6,12),('Last',-6,0,0,0,0,0,0)",
                            {}, 3, "Zo\u00eb\u20ac Zby\u0142");
                const QByteArrayList page = g.dir.readFile("output/tallyvane.htm").split('\n');
                QByteArrayList expected; // the stamp: a second from the start until now
                QDateTime at = before.addMSecs(-before.time().msec());
                for (; expected != page && at <= QDateTime::currentDateTime(); at = at.addSecs(1))
                    expected = expectedPage(at).split('\n');
                QCOMPARE(page, expected);
                QCOMPARE(g.ui.statuses.filter("Status scan").size(), 1); // the scan runs first
                QCOMPARE(g.ui.status(), QString("HTML generation successful.")););
    }

    // Players alike in skill and kills keep the order in which they were added; a database made
    // before the ranking index gets it. The ranking rules leave players out, never the page's
    // size: it lists as many as records asks of those who pass.
    void ranking_ordersAndListsWhomTheRulesLetThrough_data()
    {
        QTest::addColumn<QByteArray>("rules"); // ranking.txt; null: none
        QTest::addColumn<QByteArray>("names"); // the page's, in order
        const auto row = [](const char* name, const char* rules, const char* names) {
            QTest::newRow(name) << QByteArray(rules) << QByteArray(names);
        };
        row("ties, no rules", nullptr, "z y b a");
        row("the defaults written out", "# a note\r\nminimum games: 1\r\n\r\n", "z y b a");
        row("minimum, one player just at it", "minimum games:  3", "y c  BOT  Alpha");
        row("name in other letters", "never ranked: B", "z y a c");
        row("would be first; a clan tag", "Never Ranked: Z\nnever ranked: [bot]alpha", "y b a c");
        row("nobody passes", "minimum games: 1000", "");
    }
    void ranking_ordersAndListsWhomTheRulesLetThrough()
    {
        QFETCH(QByteArray, rules);
        GUARDED(Generated g("DROP INDEX idxPlayerRanking;INSERT INTO tblPlayer (fldName, fldSkill,"
                            " fldKills, fldGamesPlayed) VALUES ('b',1,1,1),('a',1,1,2),('z',2,0,1),"
                            "('c',1,1,3),('y',1,2,9),(' BOT  Alpha',0,0,3)", rules, 4);
                QByteArrayList names;
                for (const QByteArray& line : g.dir.readFile("output/tallyvane.htm").split('\n'))
                    if (line.startsWith(R"(      <td width="129"><font size="2" face="Arial">)"))
                        names << line.mid(50).split('<').first();
                QTEST(names.join(' '), "names");
                QCOMPARE(g.ui.status(), QString("HTML generation successful."));
                QCOMPARE(Database::open(g.dir.files().database()).openRecordset("SELECT name FROM "
                             "sqlite_master WHERE name = 'idxPlayerRanking'").recordCount(), 1););
    }

    void failure_leavesThePreviousPage_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("status");
        QTest::newRow("empty table") << "" << "HTML generation failed. Database is empty.";
        // The ranking works; reading a row's accuracy fails after the head is written.
        QTest::newRow("field missing") << "DROP TABLE tblPlayer; CREATE TABLE tblPlayer (fldName, "
            "fldSkill, fldKills);INSERT INTO tblPlayer VALUES ('Odd',5,5)"
            << "HTML generation failed. Item not found in this collection ('fldAccuracy')";
        QTest::newRow("ranking rules damaged") << "INSERT INTO tblPlayer (fldName) VALUES ('Odd')"
            << "HTML generation failed. <dir>/ranking.txt, line 2: the minimum of games must be a "
               "whole number from 1 to 1000";
    }

    void failure_leavesThePreviousPage()
    {
        QFETCH(QString, sql);
        QFETCH(QString, status);
        const bool damaged = status.contains("ranking.txt"); // the rules
        GUARDED(Generated g(sql, damaged ? "never ranked: x\nminimum games: 1001" : QByteArray());
                QCOMPARE(g.dir.readFile("output/tallyvane.htm"), earlierPage);
                QCOMPARE(QDir(g.dir.path("output")).entryList(QDir::Files), {"tallyvane.htm"});
                const QString dir = QDir::toNativeSeparators(g.dir.path(""));
                QCOMPARE(g.ui.status().replace(dir, "<dir>/"), status);
                QCOMPARE(g.ui.messages.size(), size_t(damaged));); // a box names the line
    }
};

QTEST_GUILESS_MAIN(GenerateHtmlTest)
#include "GenerateHtmlTest.moc"
