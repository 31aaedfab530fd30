#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "config/ConfigValidation.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

// The nine settings in file order joined by '|', the numbers in decimal.
QString fields(const Config& c)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
        .arg(c.roguePath, QString::number(c.scanInterval), QString::number(c.records), c.nickname,
             c.ftpAddress, c.ftpLogin, c.ftpPassword, QString::number(c.ftpPort), c.ftpFile);
}

// A statConf.txt with the three number lines given.
QByteArray file(const char* interval, const char* records, const char* port,
                const char* end = "f\r\n")
{
    return QByteArray("/g\r\n") + interval + "\r\n" + records + "\r\nn\r\nh\r\nu\r\np\r\n" + port +
           "\r\n" + end;
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void load_readsOrFailsLeavingFileIntact_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("loaded");   // the nine values joined by '|', or the error code
        QTest::addColumn<QByteArray>("after"); // the file once the object is gone
        auto row = [](const char* name, const QByteArray& content, const QString& loaded,
                      const QByteArray& after) {
            QTest::newRow(name) << content << loaded << after;
        };
        auto same = [&](const char* name, const QByteArray& content, const QString& loaded) {
            row(name, content, loaded, content);
        };
        same("empty strings", "\r\n 0\r\n 0\r\n\r\n\r\n\r\n\r\n 0\r\n\r\n", "|0|0|||||0|");
        same("surrounding blanks",
             "  /g  \r\n 300\r\n 20\r\n n \r\n h \r\n u\r\np \r\n 21\r\n f \r\n",
             "  /g  |300|20| n | h | u|p |21| f ");
        same("negative numbers, 8-bit text",
             "/j\xe9\r\n-5\r\n-32768\r\nZo\xeb\r\nh\r\nu\r\np\r\n-1\r\nf\r\n",
             "/jé|-5|-32768|Zoë|h|u|p|-1|f");
        row("numbers without blanks, no last line end", file("300", "7", "300", "f"),
            "/g|300|7|n|h|u|p|300|f", file(" 300", " 7", " 300"));
        row("numbers with blanks", file(" 300  ", " 7", "  300 "), "/g|300|7|n|h|u|p|300|f",
            file(" 300", " 7", " 300"));
        row("20.5: interval down, port half to even", file("20.5", "5", "20.5"),
            "/g|20|5|n|h|u|p|20|f", file(" 20", " 5", " 20"));
        row("21.5: interval down, port half to even", file("21.5", "5", "21.5"),
            "/g|21|5|n|h|u|p|22|f", file(" 21", " 5", " 22"));
        row("extra lines dropped", file(" 60", " 5", " 21", "f\r\nextra\r\nmore\r\n"),
            "/g|60|5|n|h|u|p|21|f", file(" 60", " 5", " 21"));
        auto fails = [&](const char* name, const QByteArray& content, int code) {
            same(name, content, QString::number(code));
        };
        fails("eight lines", file(" 60", " 5", " 21", ""), InputPastEndOfFile);
        fails("empty file", "", InputPastEndOfFile);
        fails("interval not a number", file("abc", " 5", " 21"), TypeMismatch);
        fails("records empty", file(" 60", "", " 21"), TypeMismatch);
        fails("port past 16 bits", file(" 60", " 5", " 40000"), Overflow);
        fails("records past 16 bits", file(" 60", " 32768", " 21"), Overflow);
    }
    void load_readsOrFailsLeavingFileIntact()
    {
        QFETCH(QByteArray, content);
        TestInstallation inst;
        inst.writeFile("statConf.txt", content);
        QString loaded;
        try {
            loaded = fields(Config(inst.files().configuration()));
        } catch (const Failure& failure) {
            loaded = QString::number(failure.code());
        }
        QTEST(loaded, "loaded");
        QTEST(inst.readFile("statConf.txt"), "after");
    }

    void save_isOwnerOnlyAndLeavesNoTemporaryFile()
    {
        TestInstallation inst;
        const QString path = inst.files().configuration();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::ReadOther);
        Config(path).diskConfig();
        QVERIFY(!(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther)));
        QCOMPARE(QDir(inst.files().directory()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"dateStamps.txt", "statConf.txt"}));
    }

    void validate_checksInOrderWithInclusiveBounds_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("nickname");
        QTest::addColumn<QString>("game");    // what RogueSpear.exe is in the game directory
        QTest::addColumn<QString>("message"); // title: text, or empty when accepted
        const QString interval =
            "Invalid Interval: Enter a scan interval of between 60 and 600 seconds.";
        const QString records =
            "Invalid Interval: Number of records to display must be between 5 and 40.";
        const QString noGame = "Invalid Directory: Rogue Spear does not exist in the specified "
                               "directory.";
        auto row = [](const char* name, int records, int interval, const char* nickname,
                      const char* game, const QString& message) {
            QTest::newRow(name) << records << interval << nickname << game << message;
        };
        row("interval 59", 20, 59, "n", "file", interval);
        row("interval 60", 20, 60, "n", "file", "");
        row("interval 600", 20, 600, "n", "file", "");
        row("interval 601", 20, 601, "n", "file", interval);
        row("records 4", 4, 300, "n", "file", records);
        row("records 5", 5, 300, "n", "file", "");
        row("records 40", 40, 300, "n", "file", "");
        row("records 41", 41, 300, "n", "file", records);
        row("both wrong: interval only", 41, 59, "", "none", interval);
        row("empty nickname", 20, 300, "", "none", "Invalid Nickname: Enter a valid nickname.");
        row("blank nickname", 20, 300, " ", "file", "");
        row("no game", 20, 300, "n", "none", noGame);
        row("game is a directory", 20, 300, "n", "directory", noGame);
    }
    void validate_checksInOrderWithInclusiveBounds()
    {
        QFETCH(int, records);
        QFETCH(int, interval);
        QFETCH(QString, nickname);
        QFETCH(QString, game);
        QFETCH(QString, message);
        TestInstallation inst;
        if (game == "file")
            inst.writeFile("RogueSpear.exe", "game");
        if (game == "directory")
            QDir(inst.files().directory()).mkdir("RogueSpear.exe");
        RecordingUserInterface ui;
        // The directory is looked in with its surrounding blanks trimmed.
        QCOMPARE(validateConfig(std::int16_t(records), std::int16_t(interval), nickname,
                                "  " + inst.files().directory() + "  ", ui),
                 message.isEmpty());
        QStringList shown;
        for (const auto& m : ui.messages) {
            QCOMPARE(m.icon, UserInterface::Icon::Information);
            QCOMPARE(m.buttons, UserInterface::Buttons::Ok);
            shown << m.title + ": " + m.text;
        }
        QCOMPARE(shown, message.isEmpty() ? QStringList() : QStringList{message});
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
