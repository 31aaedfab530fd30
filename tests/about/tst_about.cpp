#include "Guarded.h"
#include "RecordingUserInterface.h"

#include "about/StartSysInfo.h"
#include "about/SystemRegistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    // This platform's registry has no entry for the tool: a program on the search path stands in.
    void sysInfo_startsAProgramOnTheSearchPath_elseSaysUnavailable_data()
    {
        QTest::addColumn<QString>("program"); // the one program on the search path
        QTest::addColumn<QString>("shown");
        QTest::newRow("hardinfo") << u"hardinfo"_qs << "";
        QTest::newRow("another") << u"msinfo32"_qs
                                 << "Tallyvane: System Information Is Unavailable At This Time";
    }
    void sysInfo_startsAProgramOnTheSearchPath_elseSaysUnavailable()
    {
        QFETCH(QString, program);
        QTemporaryDir dir;
        qputenv("PATH", QFile::encodeName(dir.path()));
        RecordingUserInterface ui;
        GUARDED({
            SystemRegistry registry;
            QVERIFY(QFile::link("/bin/true", dir.filePath(program)));
            StartSysInfo(registry, ui);
            QTEST(ui.messages.empty() ? "" : ui.messages[0].title + ": " + ui.messages[0].text,
                  "shown");
        });
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
