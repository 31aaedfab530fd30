#include "Guarded.h"
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
    QLabel* status() const { return window.findChild<QLabel*>("lblStatus"); }
    QLabel* menu(int i) const { return window.findChildren<QLabel*>("lblMenu").at(i); }
    QColor colour(int i, QPalette::ColorRole role) const { return menu(i)->palette().color(role); }
};

// Once the next modal dialog is open, types text into its box named box, then clicks Apply or,
// when apply is false, closes the dialog.
static void answerDialog(const char* box, const QString& text, bool apply = true)
{
    QTimer::singleShot(0, [=] {
        QWidget* dialog = QApplication::activeModalWidget();
        dialog->findChild<QLineEdit*>(box)->setText(text);
        if (!apply)
            dialog->close();
        else
            QTest::mouseClick(dialog->findChildren<QLabel*>("lblBottom")[1], Qt::LeftButton);
    });
}

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
            if (!firstRun.isEmpty()) // the first run's dialog, given the game directory
                answerDialog("txtPath", s.game, firstRun == "Apply");
            QCOMPARE(s.window.startup(), firstRun != "close");
            QTEST(s.status()->text().section(" at ", 0, 0), "status");
        });
    }

    // Under the pointer a command is painted red on white until the pointer reaches the
    // background. Clean Database answered Cancel does nothing. A tick scans only while the box is
    // ticked and no box or dialog is open; Apply arms the timer with the new interval.
    void started_hover_cleanDatabaseCancel_automaticScan()
    {
        GUARDED({
            Setup s(true);
            s.inst.createDatabase();
            QVERIFY(s.window.startup());
            s.window.show();
            QTest::mouseMove(s.menu(1), {2, 2});
            QTest::mouseMove(s.menu(2), {2, 2});
            QCOMPARE(s.colour(2, QPalette::Window), QColor(255, 0, 0));
            QCOMPARE(s.colour(2, QPalette::WindowText), QColor(255, 255, 255));
            QCOMPARE(s.colour(1, QPalette::Window), QColor(255, 255, 255));
            QTest::mouseMove(&s.window, {2, 2});
            QCOMPARE(s.colour(2, QPalette::Window), QColor(255, 255, 255));
            // The text goes back to the scheme's window text.
            QCOMPARE(s.colour(2, QPalette::WindowText), QColor(0, 0, 0));

            const QString started = s.status()->text();
            MessageBox::setNextAnswer(UserInterface::Answer::Cancel);
            QTest::mouseClick(s.menu(4), Qt::LeftButton);
            QCOMPARE(s.status()->text(), started);
            // Asked, not an error.
            QCOMPARE(MessageBox::lastAnswered().icon, UserInterface::Icon::None);
            MessageBox::setNextAnswer(UserInterface::Answer::Ok); // the Cancel was taken
            QTest::mouseClick(s.menu(4), Qt::LeftButton);
            QCOMPARE(s.status()->text(), "Database successfully erased.");

            auto* timer = s.window.findChild<QTimer*>("timScan");
            const auto scansWithin = [&](int milliseconds) {
                s.status()->setText("idle"), timer->start(10), QTest::qWait(milliseconds);
                return s.status()->text() != "idle";
            };
            QVERIFY(!scansWithin(100));
            s.window.findChild<QCheckBox*>("chkTurnOn")->setChecked(true);
            QVERIFY(scansWithin(200));
            QMessageBox box(QMessageBox::Information, "covering", "a box over the window");
            box.open();
            QVERIFY(!scansWithin(100));
            box.close();
            answerDialog("txtScan", "75"); // the configuration dialog: a scan interval of 75 s
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
            QCOMPARE(SingleInstance(inst.files()).acquire(), SingleInstance::Outcome::Acquired);
        });
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
