#include "Guarded.h"
#include "PointerMove.h"
#include "TestInstallation.h"

#include "app/MessageBox.h"
#include "app/frmMain.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

// An installation that is also the game directory, and its main window.
struct Setup
{
    TestInstallation inst;
    const QString game = QDir::toNativeSeparators(inst.files().directory());
    frmMain window{inst.files()};

    explicit Setup(bool configured)
    {
        inst.writeFile("RogueSpear.exe", "game");
        inst.writeFile("statConf.txt", (configured ? game.toUtf8() : "") +
                                           "\r\n 300\r\n 20\r\nn\r\nh\r\nu\r\np\r\n 21\r\nf\r\n");
    }
    QString status() const { return window.findChild<QLabel*>("lblStatus")->text(); }
    QLabel* menu(int i) const { return window.findChildren<QLabel*>("lblMenu").at(i); }
    QColor colour(int i, QPalette::ColorRole role) const { return menu(i)->palette().color(role); }
};

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void startup_scansBeforeShowing_orOpensTheConfigurationFirst_data()
    {
        QTest::addColumn<QString>("firstRun"); // how the first run's dialog ends, if there is one
        QTest::addColumn<QString>("status");   // the last, without the time of the scan
        QTest::newRow("configured") << u""_qs << "Status scan failed"; // there are no logs
        QTest::newRow("applied") << u"Apply"_qs << "Tallyvane configured.";
        QTest::newRow("closed") << u"close"_qs << "Tallyvane won't work unless configured!";
    }
    void startup_scansBeforeShowing_orOpensTheConfigurationFirst()
    {
        QFETCH(QString, firstRun);
        GUARDED({
            Setup s(firstRun.isEmpty());
            QTimer::singleShot(0, &s.window, [&] { // runs in the first run's dialog
                if (QWidget* dialog = QApplication::activeModalWidget()) {
                    dialog->findChild<QLineEdit*>("txtPath")->setText(s.game);
                    if (firstRun == "close")
                        dialog->close();
                    else
                        QTest::mouseClick(dialog->findChildren<QLabel*>("lblBottom")[1],
                                          Qt::LeftButton);
                }
            });
            QCOMPARE(s.window.startup(), firstRun != "close");
            QTEST(s.status().section(" at ", 0, 0), "status");
        });
    }

    void hover_paintsTheCommandRedOnWhite_untilThePointerReachesTheBackground()
    {
        GUARDED({
            Setup s(true);
            s.window.show();
            moveOver(s.menu(1));
            moveOver(s.menu(2));
            QCOMPARE(s.colour(2, QPalette::Window), QColor(255, 0, 0));
            QCOMPARE(s.colour(2, QPalette::WindowText), QColor(255, 255, 255));
            QCOMPARE(s.colour(1, QPalette::Window), QColor(255, 255, 255));
            moveOver(&s.window);
            QCOMPARE(s.colour(2, QPalette::Window), QColor(255, 255, 255));
            QCOMPARE(s.colour(2, QPalette::WindowText),
                     s.window.palette().color(QPalette::WindowText));
        });
    }

    void cleanDatabase_answeredCancel_doesNothing()
    {
        GUARDED({
            Setup s(true);
            s.inst.createDatabase();
            MessageBox::setNextAnswer(UserInterface::Answer::Cancel);
            QTest::mouseClick(s.menu(4), Qt::LeftButton);
            QCOMPARE(s.status(), "");
            MessageBox::setNextAnswer(UserInterface::Answer::Ok); // the Cancel was taken
            QTest::mouseClick(s.menu(4), Qt::LeftButton);
            QCOMPARE(s.status(), "Database successfully erased.");
        });
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
