#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "import/ScanDriver.h"
#include "platform/SystemFormats.h"
#include "report/GenerateHtml.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace {

using Row = QVariantList; // name, skill, accuracy, kills, killed, hit %, average rounds, games

void runSql(const QString& databasePath, const QString& sql)
{
    sqlite3* db = nullptr;
    const bool ok =
        sqlite3_open(QFile::encodeName(databasePath).constData(), &db) == SQLITE_OK &&
        sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!ok)
        throw std::runtime_error("SQL failed: " + sql.toStdString());
}

QString sqlValue(const QVariant& value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    if (value.typeId() == QMetaType::QString)
        return QLatin1Char('\'') + value.toString().replace(u'\'', QStringLiteral("''")) +
               QLatin1Char('\'');
    return value.toString();
}

void insertRows(const QString& databasePath, const QList<Row>& rows)
{
    QString sql;
    for (const Row& row : rows) {
        QStringList values;
        for (const QVariant& value : row)
            values.append(sqlValue(value));
        sql += QStringLiteral("INSERT INTO tblPlayer VALUES (%1);").arg(values.join(u','));
    }
    runSql(databasePath, sql);
}

Row player(const QString& name, int skill, int kills)
{
    return {name, skill, 50, kills, 10, 30, 4, 2};
}

// The names in the page's ranking rows, top first.
QStringList rankedNames(const QByteArray& page)
{
    const QByteArray cell = R"(      <td width="129"><font size="2" face="Arial">)";
    QStringList names;
    for (const QByteArray& line : page.split('\n')) {
        if (line.startsWith(cell))
            names.append(QString::fromLatin1(line.mid(cell.size()).chopped(strlen("</font></td>\r"))));
    }
    return names;
}

QByteArray crlfLines(const QList<QByteArray>& lines)
{
    QByteArray bytes;
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// An installation with its player database, configuration and scan driver, and what the
// user saw.
struct Installation
{
    TestInstallation dir;
    std::unique_ptr<Config> config;
    RecordingUserInterface ui;
    std::unique_ptr<ScanDriver> scan;

    Installation()
    {
        dir.createDatabase();
        QDir().mkdir(dir.path(QStringLiteral("game")));
        config = std::make_unique<Config>(dir.files().configuration());
        config->roguePath = dir.path(QStringLiteral("game"));
        config->records = 20;
        config->nickname = QStringLiteral("Host");
        scan = std::make_unique<ScanDriver>(*config, dir.files(), ui);
    }

    void generate() { GenerateHtml::generateHtml(*scan, *config, dir.files(), ui); }
    QByteArray page() const { return dir.readFile(QStringLiteral("output/tallyvane.htm")); }
    QStringList outputFiles() const
    {
        return QDir(dir.files().outputDirectory()).entryList(QDir::Files | QDir::Hidden);
    }
};

} // namespace

class GenerateHtmlTest : public QObject
{
    Q_OBJECT

private slots:
    void smallTable_writesThePageLineForLine()
    {
        Installation in;
        in.config->nickname = QStringLiteral("Zo\u00eb\u20ac\u2603 ");
        insertRows(in.dir.files().database(),
                   {{QStringLiteral("Bravo"), 120, 44, 300, 150, 27, 6, 12},
                    {QStringLiteral("Alpha"), -5, QVariant(), 7, 40000, 0, 3, 1}});

        // Twice: the second page replaces the first instead of growing it.
        in.generate();
        const QDateTime before = QDateTime::currentDateTime();
        in.generate();
        const QDateTime after = QDateTime::currentDateTime();

        const QByteArray stampEnd = R"(</font><font color="#3399FF">&nbsp;</font></font></p>)";
        QList<QByteArray> page = in.page().split('\n');
        QCOMPARE(page.size(), 65); // 64 lines and what follows the last line end
        const QByteArray stampLine = page[17];
        QVERIFY2(stampLine == SystemFormats::generalDate(before).toLatin1() + stampEnd + '\r' ||
                     stampLine == SystemFormats::generalDate(after).toLatin1() + stampEnd + '\r',
                 stampLine.constData());
        const QByteArray expected = crlfLines({
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
            "Zo\xeb\x80? 's server</font><br>",
            R"(<font color="#3399FF">last update: </font><font color="#33CCFF">)",
            stampLine.chopped(1),
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
        });
        QCOMPARE(in.page(), expected);
        // The scan runs first; its status is then replaced.
        QVERIFY(in.ui.statuses.size() == 4 && in.ui.statuses[2].startsWith("Status scan"));
        QCOMPARE(in.ui.status(), QStringLiteral("HTML generation successful."));
        QCOMPARE(in.outputFiles(), QStringList{"tallyvane.htm"});
    }

    void rowCount_isTheSmallerOfPlayersAndRecords_data()
    {
        QTest::addColumn<int>("players");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("rows");
        QTest::newRow("fewer players than records") << 3 << 5 << 3;
        QTest::newRow("more players than records") << 7 << 5 << 5;
        QTest::newRow("as many players as records") << 5 << 5 << 5;
        QTest::newRow("records 0") << 4 << 0 << 0;
        QTest::newRow("records negative") << 4 << -3 << 0;
    }

    void rowCount_isTheSmallerOfPlayersAndRecords()
    {
        QFETCH(int, players);
        QFETCH(int, records);
        QFETCH(int, rows);
        Installation in;
        in.config->records = std::int16_t(records);
        QList<Row> table;
        QStringList ranking;
        for (int i = 0; i < players; ++i) // stored lowest first, ranked highest first
            table.append(player(QStringLiteral("P%1").arg(i), 10 * i, 1));
        for (int i = players - 1; i >= 0; --i)
            ranking.append(QStringLiteral("P%1").arg(i));
        insertRows(in.dir.files().database(), table);

        in.generate();

        QCOMPARE(rankedNames(in.page()), ranking.mid(0, rows));
        QVERIFY(in.page().endsWith("    </tr>\r\n  </table>\r\n</div>\r\n</body>\r\n</html>\r\n"));
        QCOMPARE(in.ui.status(), QStringLiteral("HTML generation successful."));
    }

    void equalSkill_rankedByKills()
    {
        Installation in;
        insertRows(in.dir.files().database(),
                   {player(QStringLiteral("Few"), 50, 3), player(QStringLiteral("Top"), 90, 1),
                    player(QStringLiteral("Many"), 50, 200), player(QStringLiteral("Some"), 50, 20),
                    player(QStringLiteral("Last"), -10, 999)});

        in.generate();

        QCOMPARE(rankedNames(in.page()),
                 (QStringList{"Top", "Many", "Some", "Few", "Last"}));
    }

    void emptyTable_leavesThePreviousPageByteForByte()
    {
        Installation in;
        const QByteArray previous("<html>earlier page\xe9\r\nno final line end", 37);
        in.dir.writeFile(QStringLiteral("output/tallyvane.htm"), previous);

        in.generate();

        QCOMPARE(in.page(), previous);
        QCOMPARE(in.ui.statuses.size(), 2);
        QVERIFY(in.ui.statuses[0].startsWith(QStringLiteral("Status scan")));
        QCOMPARE(in.ui.status(), QStringLiteral("HTML generation failed. Database is empty."));
        QCOMPARE(in.outputFiles(), QStringList{"tallyvane.htm"});
    }

    void emptyNickname_startsLine16WithApostropheS()
    {
        Installation in;
        in.config->nickname.clear();
        insertRows(in.dir.files().database(), {player(QStringLiteral("Solo"), 1, 1)});

        in.generate();

        QCOMPARE(in.page().split('\n').value(15), QByteArray("'s server</font><br>\r"));
    }

    void markupInName_isEscapedInItsCell()
    {
        Installation in;
        insertRows(in.dir.files().database(),
                   {player(QStringLiteral(R"(<script>"A&B"</script>)"), 1, 1)});

        in.generate();

        QCOMPARE(rankedNames(in.page()),
                 QStringList{"&lt;script&gt;&quot;A&amp;B&quot;&lt;/script&gt;"});
    }

    void failurePartWay_keepsThePreviousPage_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("field missing from the table") << QStringLiteral("field");
        QTest::newRow("database missing") << QStringLiteral("database");
        QTest::newRow("output directory missing") << QStringLiteral("output");
    }

    void failurePartWay_keepsThePreviousPage()
    {
        QFETCH(QString, fault);
        Installation in;
        const QByteArray previous = "<html>earlier</html>\r\n";
        in.dir.writeFile(QStringLiteral("output/tallyvane.htm"), previous);
        const QString database = in.dir.files().database();
        if (fault == QLatin1String("field")) {
            // Ranking works; reading the row's accuracy fails after the head is written.
            QFile::remove(database);
            runSql(database, QStringLiteral("CREATE TABLE tblPlayer (fldName TEXT, fldSkill "
                                            "INTEGER, fldKills INTEGER);"
                                            "INSERT INTO tblPlayer VALUES ('Odd', 5, 5);"));
        } else if (fault == QLatin1String("database")) {
            QFile::remove(database);
        } else {
            insertRows(database, {player(QStringLiteral("Solo"), 1, 1)});
            QDir(in.dir.files().outputDirectory()).removeRecursively();
        }

        in.generate();

        const QString prefix = QStringLiteral("HTML generation failed. ");
        QVERIFY2(in.ui.status().startsWith(prefix) && in.ui.status().size() > prefix.size() &&
                     !in.ui.status().contains(QStringLiteral("empty")),
                 qPrintable(in.ui.status()));
        if (fault == QLatin1String("output")) {
            QVERIFY(!QFileInfo::exists(in.dir.files().outputDirectory()));
        } else {
            QCOMPARE(in.page(), previous);
            QCOMPARE(in.outputFiles(), QStringList{"tallyvane.htm"});
        }
    }
};

QTEST_GUILESS_MAIN(GenerateHtmlTest)
#include "GenerateHtmlTest.moc"
