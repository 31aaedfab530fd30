#include "Guarded.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "about/StartSysInfo.h"
#include "about/SystemRegistry.h"

#include <QDir>
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
        QFETCH(QString, shown);
        RecordingUserInterface ui;
        GUARDED({
            TestInstallation dir;
            qputenv("PATH", QFile::encodeName(dir.path("")));
            SystemRegistry registry;
            // The stand-in leaves a mark, so that the tool is seen to have started.
            dir.writeFile(program, "#!/bin/sh\necho started >\"$0.ran\"\n");
            QVERIFY(QFile::setPermissions(dir.path(program), QFile::ReadOwner | QFile::ExeOwner));
            StartSysInfo(registry, ui);
            QTEST(ui.messages.empty() ? "" : ui.messages[0].title + ": " + ui.messages[0].text,
                  "shown");
            // Refused, a program started all the same would have left its mark within 300 ms.
            QTest::qWait(shown.isEmpty() ? 0 : 300);
            QTRY_COMPARE(QFile::exists(dir.path(program + ".ran")), shown.isEmpty());
        });
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
