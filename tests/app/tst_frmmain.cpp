#include "Guarded.h"
#include "PointerMove.h"
#include "TestInstallation.h"

#include "app/MessageBox.h"
#include "app/SingleInstance.h"
#include "app/frmMain.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QCheckBox>
#include <QMessageBox>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

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
            QCOMPARE(s.colour(2, QPalette::WindowText), QColor(0, 0, 0)); // the scheme's window text
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
            QCOMPARE(MessageBox::lastAnswered().icon, UserInterface::Icon::None); // asked, not an error
            MessageBox::setNextAnswer(UserInterface::Answer::Ok); // the Cancel was taken
            QTest::mouseClick(s.menu(4), Qt::LeftButton);
            QCOMPARE(s.status(), "Database successfully erased.");
        });
    }

    // A tick scans only while the box is ticked and no box or dialog is open; Apply arms the
    // timer with the new interval.
    void automaticScan_onlyTickedAndUncovered_andApplyRearms()
    {
        GUARDED({
            Setup s(true);
            QVERIFY(s.window.startup());
            auto* timer = s.window.findChild<QTimer*>("timScan");
            auto* status = s.window.findChild<QLabel*>("lblStatus");
            const auto scansWithin = [&](int milliseconds) {
                status->setText("idle"), timer->start(10), QTest::qWait(milliseconds);
                return status->text() != "idle";
            };
            QVERIFY(!scansWithin(100));
            s.window.findChild<QCheckBox*>("chkTurnOn")->setChecked(true);
            QVERIFY(scansWithin(200));
            bool coveredScan = true;
            QTimer::singleShot(0, [&] { coveredScan = scansWithin(100), QApplication::activeModalWidget()->close(); });
            QMessageBox::information(&s.window, "covering", "a box over the window");
            QVERIFY(!coveredScan);
            QTimer::singleShot(0, [&] { // the configuration dialog, a scan interval of 75 s applied
                QWidget* dialog = QApplication::activeModalWidget();
                dialog->findChild<QLineEdit*>("txtScan")->setText("75");
                QTest::mouseClick(dialog->findChildren<QLabel*>("lblBottom")[1], Qt::LeftButton);
            });
            QTest::mouseClick(s.menu(0), Qt::LeftButton);
            QCOMPARE(timer->interval(), 75000);
        });
    }

    // A lock left by a program that was killed is taken over at the next start.
    void lockOfAKilledProgram_isTakenOver()
    {
        GUARDED({
            TestInstallation inst;
            const pid_t child = ::fork(); // takes the lock and dies with it
            if (child == 0) {
                SingleInstance held(inst.files());
                held.acquire();
                ::_exit(0);
            }
            ::waitpid(child, nullptr, 0);
            QVERIFY(QFile::exists(inst.files().lock()));
            SingleInstance next(inst.files());
            QCOMPARE(next.acquire(), SingleInstance::Outcome::Acquired);
        });
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
