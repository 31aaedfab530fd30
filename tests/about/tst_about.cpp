#include "InMemoryRegistry.h"
#include "RecordingUserInterface.h"

#include "about/GetKeyValue.h"
#include "about/StartSysInfo.h"
#include "about/frmAbout.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void getKeyValue_readsByTheBufferAndTypeRules_data();
    void getKeyValue_readsByTheBufferAndTypeRules();
    void getKeyValue_missingKeyOrValue_emptiesOutput();

    void startSysInfo_startsWhatItFinds_data();
    void startSysInfo_startsWhatItFinds();

    void aboutDialog_showsIdentityAndCloses();

private:
    QByteArray m_path;
};

namespace {

const QByteArray msinfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray locationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QString unavailable = "System Information Is Unavailable At This Time";

InMemoryRegistry::Value text(const QByteArray& bytes)
{
    return {Registry::TypeString, bytes};
}

// An executable script that leaves a marker file behind when it runs.
QString writeTool(const QString& path, const QString& marker)
{
    QFile tool(path);
    if (!tool.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    tool.write("#!/bin/sh\necho started > '" + marker.toUtf8() + "'\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

void TestAbout::init()
{
    m_path = qgetenv("PATH");
}

void TestAbout::cleanup()
{
    qputenv("PATH", m_path);
}

void TestAbout::getKeyValue_readsByTheBufferAndTypeRules_data()
{
    QTest::addColumn<InMemoryRegistry::Value>("stored");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("value");

    QTest::newRow("string with its zero") << text(QByteArray("C:\\Tools\\msinfo32.exe", 21) + '\0')
                                          << true << "C:\\Tools\\msinfo32.exe";
    QTest::newRow("string without zero") << text("C:\\Tools") << true << "C:\\Tools";
    QTest::newRow("only the last zero goes")
        << text(QByteArray("ab\0\0", 4)) << true << QString::fromLatin1("ab\0", 3);
    QTest::newRow("empty string") << text(QByteArray(1, '\0')) << true << "";
    QTest::newRow("1024 bytes ending in zero")
        << text(QByteArray(1023, 'x') + '\0') << true << QString(1023, u'x');
    QTest::newRow("1024 bytes") << text(QByteArray(1024, 'x')) << true << QString(1024, u'x');
    QTest::newRow("1025 bytes") << text(QByteArray(1025, 'x')) << false << "";
    QTest::newRow("8-bit text") << text("C:\\Programme\\Zub\xe9h\xf6r\0") << true
                                << QString::fromUtf8("C:\\Programme\\Zubéhör");
    QTest::newRow("number with zero high byte")
        << InMemoryRegistry::Value{Registry::TypeDword, QByteArray("\x05\x00\x00\x00", 4)} << true
        << "5";
    QTest::newRow("number") << InMemoryRegistry::Value{Registry::TypeDword,
                                                       QByteArray("\x04\x03\x02\x81", 4)}
                            << true << "2164392708";
    QTest::newRow("binary leaves the output")
        << InMemoryRegistry::Value{3, QByteArray("\x01\x02", 2)} << true << "before";
}

void TestAbout::getKeyValue_readsByTheBufferAndTypeRules()
{
    QFETCH(InMemoryRegistry::Value, stored);
    InMemoryRegistry registry;
    registry.setValue(msinfoKey, "PATH", stored);
    QString value = "before";

    QTEST(GetKeyValue(registry, Registry::LocalMachine, msinfoKey, "PATH", value), "result");
    QTEST(value, "value");
    QCOMPARE(registry.accessMasks, QList<std::uint32_t>{0x20019});
    QCOMPARE(registry.openHandles(), 0);
}

void TestAbout::getKeyValue_missingKeyOrValue_emptiesOutput()
{
    InMemoryRegistry registry;
    registry.setValue(msinfoKey, "PATH", text("x"));
    QString value = "before";
    QVERIFY(!GetKeyValue(registry, Registry::LocalMachine, locationKey, "MSINFO", value));
    QCOMPARE(value, "");
    value = "before";
    QVERIFY(!GetKeyValue(registry, Registry::LocalMachine, msinfoKey, "OTHER", value));
    QCOMPARE(value, "");
    QCOMPARE(registry.openHandles(), 0);
}

void TestAbout::startSysInfo_startsWhatItFinds_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("started");
    // The setups: "path" names a tool by its full path; "location" names a directory with or
    // without MSINFO32.EXE in it; "search" puts a system-information program on the search path.
    QTest::newRow("full path") << "path" << true;
    QTest::newRow("full path, not startable") << "path-missing" << false;
    QTest::newRow("directory with the tool") << "location" << true;
    QTest::newRow("directory without the tool") << "location-empty" << false;
    QTest::newRow("program on the search path") << "search" << true;
    QTest::newRow("nothing anywhere") << "none" << false;
}

void TestAbout::startSysInfo_startsWhatItFinds()
{
    QFETCH(QString, setup);
    QFETCH(bool, started);
    QTemporaryDir dir;
    const QString marker = dir.filePath("marker");
    InMemoryRegistry registry;
    RecordingUserInterface ui;
    qputenv("PATH", QFile::encodeName(dir.filePath("bin")));
    QDir(dir.path()).mkdir("bin");

    if (setup == "path")
        registry.setValue(msinfoKey, "PATH",
                          text(writeTool(dir.filePath("info.sh"), marker).toUtf8() + '\0'));
    if (setup == "path-missing")
        registry.setValue(msinfoKey, "PATH", text(dir.filePath("absent.exe").toUtf8()));
    if (setup == "location") {
        writeTool(dir.filePath("MSINFO32.EXE"), marker);
        registry.setValue(locationKey, "MSINFO", text(dir.path().toUtf8()));
    }
    if (setup == "location-empty")
        registry.setValue(locationKey, "MSINFO", text(dir.path().toUtf8()));
    if (setup == "search")
        writeTool(dir.filePath("bin/gnome-system-monitor"), marker);

    StartSysInfo(registry, ui);

    if (started) {
        QVERIFY(ui.messages.empty());
        QTRY_VERIFY(QFile::exists(marker));
        return;
    }
    QCOMPARE(ui.messages.size(), size_t(1));
    QCOMPARE(ui.messages[0].text, unavailable);
    QCOMPARE(ui.messages[0].title, "Tallyvane");
    QCOMPARE(ui.messages[0].buttons, UserInterface::Buttons::Ok);
    QTest::qWait(100);
    QVERIFY(!QFile::exists(marker));
}

void TestAbout::aboutDialog_showsIdentityAndCloses()
{
    InMemoryRegistry registry;
    RecordingUserInterface ui;
    QTemporaryDir empty;
    qputenv("PATH", QFile::encodeName(empty.path()));
    frmAbout about(registry, ui);
    about.show();

    QCOMPARE(about.windowTitle(), "About Tallyvane");
    QCOMPARE(about.findChild<QLabel*>("lblTitle")->text(), "Tallyvane");
    QCOMPARE(about.findChild<QLabel*>("lblVersion")->text(), "Version 1.0.0");
    about.findChild<QPushButton*>("cmdSysInfo")->click();
    QCOMPARE(ui.messages.size(), size_t(1));
    QVERIFY(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Return);
    QVERIFY(!about.isVisible());
    about.show();
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
