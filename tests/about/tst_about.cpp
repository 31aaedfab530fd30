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
            // The stand-in leaves a mark, so that the tool is seen to have started.
            QFile standIn(dir.filePath(program));
            QVERIFY(standIn.open(QIODevice::WriteOnly) &&
                    standIn.write("#!/bin/sh\necho started >\"$0.ran\"\n") > 0);
            standIn.close();
            QVERIFY(standIn.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
            StartSysInfo(registry, ui);
            QFETCH(QString, shown);
            QTEST(ui.messages.empty() ? "" : ui.messages[0].title + ": " + ui.messages[0].text,
                  "shown");
            QTRY_COMPARE_WITH_TIMEOUT(QFile::exists(standIn.fileName() + ".ran"), shown.isEmpty(), 5000);
            QTest::qWait(shown.isEmpty() ? 0 : 300); // a program started all the same would have marked by now
            QCOMPARE(QFile::exists(standIn.fileName() + ".ran"), shown.isEmpty());
        });
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
