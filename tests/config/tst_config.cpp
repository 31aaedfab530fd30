#include "Guarded.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "config/RankingRules.h"
#include "platform/Failure.h"
#include "config/frmDirectory.h"

#include <QDir>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>

// An installation with the seed configuration, also the game directory, and the dialog on it.
struct Setup
{
    TestInstallation inst;
    Config config{inst.files().configuration()};
    RecordingUserInterface ui;
    std::unique_ptr<frmDirectory> dialog;
    const QByteArray seed = inst.readFile("statConf.txt");

    Setup() { inst.writeFile("RogueSpear.exe", "game"); }
    QString game() const { return QDir::toNativeSeparators(inst.files().directory()); }
    QLineEdit* box(const char* name) const { return dialog->findChild<QLineEdit*>(name); }
    QComboBox* protocol() const { return dialog->findChild<QComboBox*>("cboFTPprotocol"); }
    void open() { (dialog = std::make_unique<frmDirectory>(config, ui))->show(); }
    QLabel* bottom(int i) const { return dialog->findChildren<QLabel*>("lblBottom")[i]; }
    void click(int bottomIndex) const { QTest::mouseClick(bottom(bottomIndex), Qt::LeftButton); }
};

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void load_readsNineLinesAndSavesUtf8_orFailsLeavingTheFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("code");         // the failure, 0 when the file loads
        QTest::addColumn<QByteArray>("after"); // the file once the object is gone
        // Lines are separated by '|'; without after, the file stays as it was.
        auto row = [](const char* name, QByteArray content, int code, QByteArray after = {}) {
            content.replace('|', "\r\n");
            QTest::newRow(name) << content << code
                                << (after.isEmpty() ? content : after.replace('|', "\r\n"));
        };
        row("bare numbers, floored", "/g|60.9|7.9|n|h|u|p|20.5|f|", 0, "/g| 60| 7|n|h|u|p| 20|f|");
        row("UTF-8 beyond Windows-1252", "/home/k/игра| 600| 5| Zbył |h|u|hasło| 1|f|", 0);
        row("negative floored", "/g|-5.5|32767|n||||21.5|f|", 0, "/g|-6| 32767|n|||| 22|f|");
        row("eight lines", "/g| 60| 5|n|h|u|p| 21|", 62);
        row("interval not a number", "/g|abc| 5|n|h|u|p| 21|f|", 13);
        row("port past 16 bits", "/g| 60| 5|n|h|u|p|32767.5|f|", 6);
        row("protocol on a tenth line", "/g| 60| 5|n|h|u|p| 22|f|FTPS|", 0);
        row("sftp by hand", "/g| 60| 5|n|h|u|p| 22|f| sftp |", 0, "/g| 60| 5|n|h|u|p| 22|f|SFTP|");
        row("protocol unknown, kept", "/g| 60| 5|n|h|u|p| 21|f|FTPES|", 0);
    }
    void load_readsNineLinesAndSavesUtf8_orFailsLeavingTheFile()
    {
        QFETCH(QByteArray, content);
        TestInstallation inst;
        GUARDED({
            inst.writeFile("statConf.txt", content);
            // Readable by all beforehand, so that only the program can have restricted it.
            QFile::setPermissions(inst.path("statConf.txt"), QFile::Permissions(0x6644));
            int code = 0;
            try {
                Config{inst.files().configuration()};
            } catch (const Failure& f) {
                code = f.code();
            }
            QTEST(code, "code");
            QTEST(inst.readFile("statConf.txt"), "after");
            // Written again, it holds the password for its owner's eyes alone.
            const auto access = QFile::permissions(inst.path("statConf.txt")) & 0x70FF;
            QVERIFY(code || access == (QFile::ReadOwner | QFile::WriteOwner));
        });
    }

    // ranking.txt: missing means the defaults; what the program saves reads back the same; a
    // line it cannot take is named with its number.
    void rankingRules_readBack_orNameTheDamagedLine_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QString>("read");       // minimum|names..., or the failure
        QTest::newRow("missing") << QByteArray() << "1";
        QTest::newRow("notes, blanks, letter case") << QByteArray("# n\r\n\r\n  Minimum Games: 7 \r\nnever ranked:  Zo\xc3\xab \r\n") << "7|Zoë";
        QTest::newRow("minimum 0") << QByteArray("\nminimum games: 0") << "<dir>/ranking.txt, line 2: the minimum of games must be a whole number from 1 to 1000";
        QTest::newRow("two minimums") << QByteArray("minimum games: 2\nminimum games: 2") << "<dir>/ranking.txt, line 2: a second minimum of games";
        QTest::newRow("empty name") << QByteArray("never ranked: []") << "<dir>/ranking.txt, line 1: a name never ranked that is empty";
        QTest::newRow("unknown line") << QByteArray("minimum: 3") << "<dir>/ranking.txt, line 1: \"minimum: 3\" is neither \"minimum games:\" nor \"never ranked:\"";
    }
    void rankingRules_readBack_orNameTheDamagedLine()
    {
        QFETCH(QByteArray, content);
        TestInstallation inst;
        GUARDED({
            const QString path = inst.files().rankingRules();
            if (!content.isNull())
                inst.writeFile("ranking.txt", content);
            const auto text = [](const RankingRules& r) {
                return (QStringList{QString::number(r.minimumGames)} + r.neverRanked).join('|');
            };
            QString read;
            try {
                read = text(RankingRules::load(path));
                RankingRules::load(path).save(path); // and what is saved reads back the same
                QCOMPARE(text(RankingRules::load(path)), read);
            } catch (const Failure& f) {
                read = f.description();
            }
            QTEST(read.replace(QDir::toNativeSeparators(inst.path("")), "<dir>/"), "read");
        });
    }

    void apply_checksInOrderWithInclusiveBounds_thenStoresAllNine_data()
    {
        // The nine boxes in file order; the path is typed after the game directory's.
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("outcome"); // the refusal, or the file lines stored
        const QString interval =
            "Invalid Interval: Enter a scan interval of between 60 and 600 seconds.";
        const QString records =
            "Invalid Interval: Number of records to display must be between 5 and 40.";
        const QString port = "Invalid Port: Enter a port number between 1 and 65535.";
        const QString minimum = "Invalid Minimum: Enter a minimum of between 1 and 1000 games.";
        // The nine boxes, the protocol, then the Ranking tab's minimum of games.
        const auto row = [](const char* name, const QString& typed, const QString& outcome) {
            QTest::newRow(name) << typed << outcome;
        };
        // Accepted at the bounds; a fraction is dropped, a port above 32767 is kept in 16 bits, and
        // what Windows-1252 lacks is saved all the same.
        row("60.9, 40, 65535", "| 60.9 | 40 |n|h|u|p| 65535 |f", "| 60| 40|n|h|u|p|-1|f|");
        row("600, 5, 1", "|600|5|Zbył|h|u|hasło|1|ł", "| 600| 5|Zbył|h|u|hasło| 1|ł|");
        // Choosing a protocol moves the port to its usual one, unless the user typed another.
        row("SFTP, usual port", "|300|20|n|h|u|p|21|f|SFTP", "| 300| 20|n|h|u|p| 22|f|SFTP|");
        row("SFTP, empty port", "|300|20|n|h|u|p||f|SFTP", "| 300| 20|n|h|u|p| 22|f|SFTP|");
        row("SFTP, own port", "|300|20|n|h|u|p|2121|f|SFTP", "| 300| 20|n|h|u|p| 2121|f|SFTP|");
        row("interval 59", "|59|20|n|h|u|p|21|f", interval);
        row("interval 601", "|601|20|n|h|u|p|21|f", interval);
        row("records 4", "|300|4|n|h|u|p|21|f", records);
        row("records 41", "|300|41|n|h|u|p|21|f", records);
        row("records not a number", "|300|abc|n|h|u|p|21|f", records);
        row("interval, not records", "|30|abc|n|h|u|p|21|f", interval);
        row("nickname first", "|300|20||h|u|p|0|f", "Invalid Nickname: Enter a valid nickname.");
        row("directory first", "/absent|300|20|n|h|u|p|0|f",
            "Invalid Directory: Rogue Spear does not exist in the specified directory.");
        row("port 0", "|300|20|n|h|u|p|0|f", port);
        row("port 65536", "|300|20|n|h|u|p|65536|f", port);
        row("minimum of games 0", "|300|20|n|h|u|p|21|f||0", minimum);
        row("minimum of games 1001", "|300|20|n|h|u|p|21|f||1001", minimum);
        row("lone surrogate", "|300|20|n|h|u|p" + QString(QChar(0xD800)) + "w|21|f",
            "Invalid Characters: The Password box holds a character that the configuration file "
            "cannot store.");
    }
    void apply_checksInOrderWithInclusiveBounds_thenStoresAllNine()
    {
        QFETCH(QString, typed);
        GUARDED({
            Setup s;
            s.open();
            const char* const boxes[] = {"txtPath",     "txtScan",       "txtRecords",
                                         "txtNickname", "txtFTPaddress", "txtFTPusername",
                                         "txtFTPpw",    "txtFTPport",    "txtFTPfile"};
            const QStringList field = typed.split('|');
            for (int i = 0; i < 9; ++i)
                s.box(boxes[i])->setText((i ? "" : s.game()) + field[i]);
            s.protocol()->setCurrentIndex(qMax(0, s.protocol()->findText(field.value(9))));
            if (!field.value(10).isEmpty())
                s.box("txtMinGames")->setText(field[10]);
            s.click(1);
            s.config.diskConfig(); // what Apply stored
            const auto& shown = s.ui.messages;
            QString file = QString::fromUtf8(s.inst.readFile("statConf.txt")).mid(s.game().size());
            QTEST(shown.empty() ? file.replace("\r\n", "|") : shown[0].title + ": " + shown[0].text,
                  "outcome");
            // A refusal stores nothing.
            QVERIFY(shown.empty() || s.inst.readFile("statConf.txt") == s.seed);
        });
    }

    void dialog_cancelWantsAnApply_applyOnlyStores_cancelWrites()
    {
        GUARDED({
            Setup s;
            s.config.ftpPort = 0; // the upload reads it as 21, and so does Apply
            // Shown as no protocol, so that Apply keeps the line.
            s.config.ftpProtocol = FtpProtocol::Unknown, s.config.ftpProtocolLine = "FTPES";
            s.open();
            s.click(0);
            QCOMPARE(s.ui.messages.at(0).text, "You must apply a configuration at least once!");
            s.box("txtPath")->setText(s.game());
            s.box("txtNickname")->setText("n");
            s.click(1); // accepted, or the Cancel below would write nothing
            QCOMPARE(s.inst.readFile("statConf.txt"), s.seed);
            s.open();
            s.click(0);
            QCOMPARE(s.inst.readFile("statConf.txt"),
                     s.game().toUtf8() +
                         "\r\n 300\r\n 20\r\nn\r\nftp.example.com\r\n\r\n\r\n 21\r\n\r\nFTPES\r\n");
        });
    }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
