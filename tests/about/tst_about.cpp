#include "RecordingUserInterface.h"

#include "about/GetKeyValue.h"
#include "about/StartSysInfo.h"
#include "about/frmAbout.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

namespace {

using Value = std::pair<std::uint32_t, QByteArray>; // type and bytes

// A registry in memory that answers as advapi32 does: FileNotFound for a missing key or
// value, MoreData (with the size needed) for a value larger than the caller's buffer.
class FakeRegistry : public Registry
{
public:
    QMap<QByteArray, QMap<QByteArray, Value>> keys;
    QList<std::uint32_t> masks; // one for every openKey
    int openKeys = 0;

    long openKey(Handle root, const QByteArray& subKey, std::uint32_t access, Handle& key) override
    {
        masks << access;
        if (root != LocalMachine || !keys.contains(subKey))
            return FileNotFound;
        m_values = keys[subKey];
        key = ++openKeys;
        return Success;
    }
    long queryValue(Handle, const QByteArray& name, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& size) override
    {
        if (!m_values.contains(name))
            return FileNotFound;
        std::tie(type, m_bytes) = m_values[name];
        const std::uint32_t capacity = std::exchange(size, std::uint32_t(m_bytes.size()));
        if (size > capacity)
            return MoreData;
        std::memcpy(data, m_bytes.constData(), size);
        return Success;
    }
    long closeKey(Handle) override { return openKeys-- > 0 ? Success : 6; }

private:
    QMap<QByteArray, Value> m_values;
    QByteArray m_bytes;
};

const QByteArray pathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray locationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

Value text(const QByteArray& bytes)
{
    return {Registry::TypeString, bytes};
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void getKeyValue_followsBufferZeroAndTypeRules_data()
    {
        QTest::addColumn<Value>("stored");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("value");
        QTest::newRow("only the last zero dropped")
            << text(QByteArray("ab\0\0", 4)) << true << QString::fromLatin1("ab\0", 3);
        QTest::newRow("1024 bytes, zero last")
            << text(QByteArray(1023, 'x') + '\0') << true << QString(1023, u'x');
        QTest::newRow("1024 bytes") << text(QByteArray(1024, 'x')) << true << QString(1024, u'x');
        QTest::newRow("1025 bytes: emptied") << text(QByteArray(1025, 'x')) << false << "";
        QTest::newRow("Windows-1252") << text("Zub\xe9h\xf6r\x80") << true << u"Zubéhör€"_qs;
        QTest::newRow("DWORD") << Value{Registry::TypeDword, QByteArray("\x05\0\0\x80", 4)} << true
                               << "2147483653";
        QTest::newRow("binary: value kept") << Value{3, "\x01\x02"} << true << "before";
    }
    void getKeyValue_followsBufferZeroAndTypeRules()
    {
        QFETCH(Value, stored);
        FakeRegistry registry;
        registry.keys[pathKey]["PATH"] = stored;
        QString value = "before";
        QTEST(GetKeyValue(registry, Registry::LocalMachine, pathKey, "PATH", value), "result");
        QTEST(value, "value");
        QCOMPARE(registry.masks, QList<std::uint32_t>{0x20019}); // KEY_READ
        QCOMPARE(registry.openKeys, 0);
    }

    void aboutDialog_sysInfoStartsTheRegisteredToolOrSaysUnavailable_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<bool>("started");
        QTest::newRow("lookup 1") << QStringList{"path"} << true;
        QTest::newRow("lookup 1 names a missing file: lookup 2 not tried")
            << QStringList{"missing path", "location", "tool"} << false;
        QTest::newRow("lookup 2 with MSINFO32.EXE") << QStringList{"location", "tool"} << true;
        QTest::newRow("lookup 2 without MSINFO32.EXE") << QStringList{"location"} << false;
        QTest::newRow("program on the search path") << QStringList{"search"} << true;
        QTest::newRow("nothing") << QStringList{} << false;
    }
    void aboutDialog_sysInfoStartsTheRegisteredToolOrSaysUnavailable()
    {
        QFETCH(QStringList, setup);
        QFETCH(bool, started);
        QTemporaryDir dir;
        const QString marker = dir.filePath("marker");
        const auto tool = [&](const QString& path) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\necho started > '" + QFile::encodeName(marker) + "'\n");
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        FakeRegistry registry;
        qputenv("PATH", QFile::encodeName(dir.filePath("bin"))); // no other program found there
        QDir(dir.path()).mkdir("bin");
        if (setup.contains("path"))
            tool(dir.filePath("info.sh"));
        if (setup.contains("path") || setup.contains("missing path"))
            registry.keys[pathKey]["PATH"] = text(QFile::encodeName(dir.filePath("info.sh")));
        if (setup.contains("location"))
            registry.keys[locationKey]["MSINFO"] = text(QFile::encodeName(dir.path()) + '\0');
        if (setup.contains("tool"))
            tool(dir.filePath("MSINFO32.EXE"));
        if (setup.contains("search"))
            tool(dir.filePath("bin/gnome-system-monitor"));

        RecordingUserInterface ui;
        frmAbout about(registry, ui);
        about.show();
        QCOMPARE(about.windowTitle(), "About Tallyvane");
        QCOMPARE(about.findChild<QLabel*>("lblTitle")->text(), "Tallyvane");
        QCOMPARE(about.findChild<QLabel*>("lblVersion")->text(), "Version 1.0.0");
        about.findChild<QPushButton*>("cmdSysInfo")->click();
        QTest::keyClick(&about, Qt::Key_Return);
        QVERIFY(!about.isVisible());
        if (started) {
            QVERIFY(ui.messages.empty());
            QTRY_VERIFY(QFile::exists(marker));
            return;
        }
        QCOMPARE(ui.messages.size(), std::size_t(1));
        QCOMPARE(ui.messages[0].text, "System Information Is Unavailable At This Time");
        QCOMPARE(ui.messages[0].title, "Tallyvane");
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
