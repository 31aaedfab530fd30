#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "config/ConfigValidation.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void saveThenLoad_keepsEveryValue_data();
    void saveThenLoad_keepsEveryValue();
    void load_readsNumbersWithAndWithoutBlanks_data();
    void load_readsNumbersWithAndWithoutBlanks();
    void load_dropsLinesAfterTheNinth();
    void loadBrokenFile_failsAndWritesNothing_data();
    void loadBrokenFile_failsAndWritesNothing();
    void seedFile_takesTheFirstRunPath();
    void save_isOwnerOnlyAndLeavesNoTemporaryFile();
    void saveIntoReadOnlyDirectory_keepsTheOldFile();

    void validate_checksInOrderWithInclusiveBounds_data();
    void validate_checksInOrderWithInclusiveBounds();
    void validate_gameDirectoryIsTrimmedAndMustHoldAFile();
};

namespace {

struct Values
{
    QString roguePath, nickname, ftpAddress, ftpLogin, ftpPassword, ftpFile;
    int scanInterval, records, ftpPort;
};

} // namespace
Q_DECLARE_METATYPE(Values)

void TestConfig::saveThenLoad_keepsEveryValue_data()
{
    QTest::addColumn<Values>("values");
    QTest::newRow("empty strings") << Values{"", "", "", "", "", "", 0, 0, 0};
    QTest::newRow("surrounding blanks")
        << Values{"  /games/rs  ", " nick ", " host ", " user", "pw ", " /a b.htm ", 300, 20, 21};
    QTest::newRow("negative numbers") << Values{"/g", "n", "h", "u", "p", "f", -5, -32768, -1};
    QTest::newRow("8-bit text") << Values{"/jeux/é", "Zoë", "h", "u", "pässwörd", "f", 60, 5, 32767};
}

void TestConfig::saveThenLoad_keepsEveryValue()
{
    QFETCH(Values, values);
    TestInstallation inst;
    {
        Config config(inst.files().configuration());
        config.roguePath = values.roguePath;
        config.scanInterval = std::int16_t(values.scanInterval);
        config.records = std::int16_t(values.records);
        config.nickname = values.nickname;
        config.ftpAddress = values.ftpAddress;
        config.ftpLogin = values.ftpLogin;
        config.ftpPassword = values.ftpPassword;
        config.ftpPort = std::int16_t(values.ftpPort);
        config.ftpFile = values.ftpFile;
    }
    Config loaded(inst.files().configuration());
    QCOMPARE(loaded.roguePath, values.roguePath);
    QCOMPARE(loaded.scanInterval, values.scanInterval);
    QCOMPARE(loaded.records, values.records);
    QCOMPARE(loaded.nickname, values.nickname);
    QCOMPARE(loaded.ftpAddress, values.ftpAddress);
    QCOMPARE(loaded.ftpLogin, values.ftpLogin);
    QCOMPARE(loaded.ftpPassword, values.ftpPassword);
    QCOMPARE(loaded.ftpPort, values.ftpPort);
    QCOMPARE(loaded.ftpFile, values.ftpFile);
}

void TestConfig::load_readsNumbersWithAndWithoutBlanks_data()
{
    QTest::addColumn<QByteArray>("numberLine");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("port");
    QTest::newRow("no blank") << QByteArray("300") << 300 << 300;
    QTest::newRow("trailing blanks") << QByteArray(" 300  ") << 300 << 300;
    QTest::newRow("fraction: interval down, port to even") << QByteArray("20.5") << 20 << 20;
    QTest::newRow("fraction above half") << QByteArray("21.5") << 21 << 22;
}

void TestConfig::load_readsNumbersWithAndWithoutBlanks()
{
    QFETCH(QByteArray, numberLine);
    QFETCH(int, interval);
    QFETCH(int, port);
    TestInstallation inst;
    inst.writeFile("statConf.txt", "/g\r\n" + numberLine + "\r\n 7\r\nn\r\nh\r\nu\r\np\r\n" +
                                       numberLine + "\nf");
    Config config(inst.files().configuration());
    QCOMPARE(config.scanInterval, interval);
    QCOMPARE(config.records, 7);
    QCOMPARE(config.ftpPort, port);
    QCOMPARE(config.ftpFile, QStringLiteral("f"));
}

void TestConfig::load_dropsLinesAfterTheNinth()
{
    TestInstallation inst;
    inst.writeFile("statConf.txt", "/g\r\n 60\r\n 5\r\nn\r\nh\r\nu\r\np\r\n 21\r\nf\r\nextra\r\nmore\r\n");
    { Config config(inst.files().configuration()); }
    QCOMPARE(inst.readFile("statConf.txt"), QByteArray("/g\r\n 60\r\n 5\r\nn\r\nh\r\nu\r\np\r\n 21\r\nf\r\n"));
}

void TestConfig::loadBrokenFile_failsAndWritesNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("code");
    QTest::newRow("eight lines") << QByteArray("/g\r\n 60\r\n 5\r\nn\r\nh\r\nu\r\np\r\n 21\r\n")
                                 << int(InputPastEndOfFile);
    QTest::newRow("empty file") << QByteArray() << int(InputPastEndOfFile);
    QTest::newRow("interval not a number")
        << QByteArray("/g\r\nabc\r\n 5\r\nn\r\nh\r\nu\r\np\r\n 21\r\nf\r\n") << int(TypeMismatch);
    QTest::newRow("records empty")
        << QByteArray("/g\r\n 60\r\n\r\nn\r\nh\r\nu\r\np\r\n 21\r\nf\r\n") << int(TypeMismatch);
    QTest::newRow("port out of range")
        << QByteArray("/g\r\n 60\r\n 5\r\nn\r\nh\r\nu\r\np\r\n 40000\r\nf\r\n") << int(Overflow);
    QTest::newRow("records out of range")
        << QByteArray("/g\r\n 60\r\n 32768\r\nn\r\nh\r\nu\r\np\r\n 21\r\nf\r\n") << int(Overflow);
}

void TestConfig::loadBrokenFile_failsAndWritesNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(int, code);
    TestInstallation inst;
    inst.writeFile("statConf.txt", content);
    try {
        Config config(inst.files().configuration());
        QFAIL("loading succeeded");
    } catch (const Failure& failure) {
        QCOMPARE(failure.code(), code);
    }
    QCOMPARE(inst.readFile("statConf.txt"), content);
}

void TestConfig::seedFile_takesTheFirstRunPath()
{
    TestInstallation inst;
    Config config(inst.files().configuration());
    QVERIFY(config.roguePath.isEmpty());
    QVERIFY(!config.ftpAddress.isEmpty());
    QVERIFY(config.scanInterval >= 60 && config.scanInterval <= 600);
}

void TestConfig::save_isOwnerOnlyAndLeavesNoTemporaryFile()
{
    TestInstallation inst;
    QFile::setPermissions(inst.files().configuration(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    {
        Config config(inst.files().configuration());
        config.ftpPassword = "secret";
    }
    const auto perms = QFile::permissions(inst.files().configuration());
    QVERIFY(!(perms & (QFileDevice::ReadOther | QFileDevice::ReadGroup)));
    const QStringList entries =
        QDir(inst.files().directory()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(entries, (QStringList{"dateStamps.txt", "statConf.txt"}));
}

void TestConfig::saveIntoReadOnlyDirectory_keepsTheOldFile()
{
    if (geteuid() == 0)
        QSKIP("root writes into read-only directories");
    TestInstallation inst;
    const QByteArray before = inst.readFile("statConf.txt");
    auto config = std::make_unique<Config>(inst.files().configuration());
    config->nickname = "changed";
    QFile::setPermissions(inst.files().directory(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bool failed = false;
    try {
        config->diskConfig();
    } catch (const Failure&) {
        failed = true;
    }
    config.reset(); // the destructor logs the failure instead of throwing
    QFile::setPermissions(inst.files().directory(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(failed);
    QCOMPARE(inst.readFile("statConf.txt"), before);
}

void TestConfig::validate_checksInOrderWithInclusiveBounds_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    const QString intervalText = "Enter a scan interval of between 60 and 600 seconds.";
    const QString recordsText = "Number of records to display must be between 5 and 40.";
    QTest::newRow("interval 59") << 20 << 59 << "n" << intervalText << "Invalid Interval";
    QTest::newRow("interval 601") << 20 << 601 << "n" << intervalText << "Invalid Interval";
    QTest::newRow("interval 60 passes") << 20 << 60 << "n" << "" << "";
    QTest::newRow("interval 600 passes") << 20 << 600 << "n" << "" << "";
    QTest::newRow("records 4") << 4 << 300 << "n" << recordsText << "Invalid Interval";
    QTest::newRow("records 41") << 41 << 300 << "n" << recordsText << "Invalid Interval";
    QTest::newRow("records 5 passes") << 5 << 300 << "n" << "" << "";
    QTest::newRow("records 40 passes") << 40 << 300 << "n" << "" << "";
    QTest::newRow("both wrong: interval first") << 41 << 59 << "" << intervalText
                                                << "Invalid Interval";
    QTest::newRow("empty nickname") << 20 << 300 << "" << "Enter a valid nickname."
                                    << "Invalid Nickname";
    QTest::newRow("blank nickname passes") << 20 << 300 << " " << "" << "";
}

void TestConfig::validate_checksInOrderWithInclusiveBounds()
{
    QFETCH(int, records);
    QFETCH(int, interval);
    QFETCH(QString, nickname);
    QFETCH(QString, text);
    QFETCH(QString, title);
    TestInstallation inst;
    inst.writeFile("RogueSpear.exe", "game");
    RecordingUserInterface ui;
    const bool ok = validateConfig(std::int16_t(records), std::int16_t(interval), nickname,
                                   inst.files().directory(), ui);
    QCOMPARE(ok, text.isEmpty());
    if (text.isEmpty()) {
        QVERIFY(ui.messages.empty());
        return;
    }
    QCOMPARE(ui.messages.size(), size_t(1));
    QCOMPARE(ui.messages[0].text, text);
    QCOMPARE(ui.messages[0].title, title);
    QCOMPARE(ui.messages[0].icon, UserInterface::Icon::Information);
    QCOMPARE(ui.messages[0].buttons, UserInterface::Buttons::Ok);
}

void TestConfig::validate_gameDirectoryIsTrimmedAndMustHoldAFile()
{
    TestInstallation game;
    RecordingUserInterface ui;
    const QString dir = game.files().directory();
    QVERIFY(!validateConfig(20, 300, "n", dir, ui));
    QCOMPARE(ui.messages.back().text,
             QStringLiteral("Rogue Spear does not exist in the specified directory."));
    QCOMPARE(ui.messages.back().title, QStringLiteral("Invalid Directory"));

    QDir(dir).mkdir("RogueSpear.exe");
    QVERIFY(!validateConfig(20, 300, "n", dir, ui));

    TestInstallation other;
    other.writeFile("RogueSpear.exe", "game");
    ui.clear();
    QVERIFY(validateConfig(20, 300, "n", "  " + other.files().directory() + "  ", ui));
    QVERIFY(ui.messages.empty());
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
