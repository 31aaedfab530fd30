#include "PointerMove.h"
#include "TestInstallation.h"

#include "app/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// The main window, recording its statuses and answering its message boxes itself.
class Window : public frmMain
{
public:
    using frmMain::frmMain;
    QStringList statuses;
    std::vector<Message> messages;
    Answer answer = Answer::Ok;
    std::function<void()> onMessage;

protected:
    void displayStatus(const QString& text) override
    {
        statuses << text;
        frmMain::displayStatus(text);
    }
    Answer displayMessage(const Message& message) override
    {
        messages.push_back(message);
        if (onMessage)
            onMessage();
        return answer;
    }
};

// An installation whose statConf.txt names a game directory (numbers without their blank, as
// a hand-edited file may have them, so that a rewrite shows) and its main window.
struct Setup
{
    TestInstallation inst; // also the game directory
    Window window{inst.files()};
    explicit Setup(bool configured = true, int scanInterval = 300)
    {
        inst.writeFile("RogueSpear.exe", "game");
        inst.writeFile("statConf.txt",
                       (configured ? gamePath().toUtf8() : "") + "\r\n" +
                           QByteArray::number(scanInterval) +
                           "\r\n20\r\nHost\r\nftp.example.com\r\n\r\n\r\n21\r\n\r\n");
    }
    QString gamePath() const { return QDir::toNativeSeparators(inst.files().directory()); }
};

QByteArray writtenConfig(const QString& roguePath)
{
    return roguePath.toUtf8() + "\r\n 300\r\n 20\r\nHost\r\nftp.example.com\r\n\r\n\r\n 21\r\n\r\n";
}

template <typename T = QWidget> T* child(QWidget& parent, const char* name, int index = -1)
{
    for (T* widget : parent.findChildren<T*>(QString::fromLatin1(name)))
        if (index < 0 || widget->property("index").toInt() == index)
            return widget;
    qFatal("no control %s %d", name, index);
}

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Runs action on the next modal window once it is open.
void whenModal(std::function<void(QWidget*)> action)
{
    QTimer::singleShot(10, [action] {
        if (QWidget* modal = QApplication::activeModalWidget())
            action(modal);
        else
            whenModal(action);
    });
}

} // namespace

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void startup_followsTheConfiguration_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("apply"); // the first run's dialog: Apply, or its close box
        QTest::addColumn<QString>("status");
        QTest::newRow("configured: scans, Quit") << true << false << "Status scan ";
        QTest::newRow("first run applied, close box") << false << true << "Tallyvane configured.";
        QTest::newRow("first run closed")
            << false << false << "Tallyvane won't work unless configured!";
    }
    void startup_followsTheConfiguration()
    {
        QFETCH(bool, configured);
        QFETCH(bool, apply);
        QFETCH(QString, status);
        Setup s(configured);
        const QByteArray before = s.inst.readFile("statConf.txt");
        if (!configured)
            whenModal([&](QWidget* dialog) {
                if (!apply)
                    return void(dialog->close());
                child<QLineEdit>(*dialog, "txtPath")->setText(s.gamePath());
                click(child(*dialog, "lblBottom", 1));
            });
        QCOMPARE(s.window.startup(), configured || apply);
        QVERIFY(!s.window.isVisible());
        QCOMPARE(s.window.exitStatus(), 0);
        QCOMPARE(s.window.statuses.size(), 2);
        QCOMPARE(s.window.statuses[0], "Initializing...");
        const QString last = s.window.statuses[1];
        QVERIFY2(last == status || (configured && last.startsWith(status)), qPrintable(last));
        QCOMPARE(child<QLabel>(s.window, "lblStatus")->text(), last);
        // Closed, the program ends and writes the file back; else it waits for the end: Quit
        // or the close box.
        QCOMPARE(s.inst.readFile("statConf.txt"), configured || apply ? before : writtenConfig(""));
        if (!configured && !apply)
            return;
        s.window.show();
        configured ? click(child(s.window, "lblQuit")) : void(s.window.close());
        QVERIFY(!s.window.isVisible());
        QCOMPARE(s.inst.readFile("statConf.txt"), writtenConfig(s.gamePath()));
    }

    void startup_unloadableConfiguration_failsAndKeepsFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<QString>("code");
        QTest::newRow("missing") << QByteArray() << "53";
        QTest::newRow("eight lines")
            << QByteArray("\r\n 300\r\n 20\r\n\r\n\r\n\r\n\r\n 21\r\n") << "62";
    }
    void startup_unloadableConfiguration_failsAndKeepsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, code);
        Setup s;
        QFile::remove(s.inst.files().configuration());
        if (!content.isEmpty())
            s.inst.writeFile("statConf.txt", content);
        QVERIFY(!s.window.startup());
        QVERIFY(s.window.exitStatus() != 0);
        QCOMPARE(s.window.messages.size(), size_t(1));
        const QString shown = s.window.messages[0].text;
        QVERIFY2(shown.contains(QDir::toNativeSeparators(s.inst.files().configuration())) &&
                     shown.contains(code),
                 qPrintable(shown));
        QCOMPARE(QFile::exists(s.inst.files().configuration()), !content.isEmpty());
        QCOMPARE(s.inst.readFile("statConf.txt"), content);
    }

    void hover_followsThePointer()
    {
        Setup s;
        Window& window = s.window;
        window.show();
        const QColor text = window.palette().color(QPalette::WindowText);
        // Letters w(hite), r(ed), t(ext): each command's background and text, then About's and
        // Quit's text.
        auto colours = [&] {
            QString all;
            auto add = [&](const char* name, int index, QPalette::ColorRole role) {
                const auto i = QList<QColor>{Qt::white, Qt::red, text}.indexOf(
                    child(window, name, index)->palette().color(role));
                all += QLatin1Char("wrt?"[i < 0 ? 3 : i]);
            };
            for (int i = 0; i < 5; ++i, all += ' ') {
                add("lblMenu", i, QPalette::Window);
                add("lblMenu", i, QPalette::WindowText);
            }
            add("lblAbout", -1, QPalette::WindowText);
            add("lblQuit", -1, QPalette::WindowText);
            return all;
        };
        moveOver(child(window, "lblMenu", 2));
        QCOMPARE(colours(), "wt wt rw wt wt tt");
        moveOver(child(window, "lblAbout"));
        QCOMPARE(colours(), "wt wt rw wt wt wt");
        moveOver(child(window, "lblMenu", 4)); // straight from About: About stays white
        QCOMPARE(colours(), "wt wt wt wt rw wt");
        moveOver(child(window, "lblQuit"));
        QCOMPARE(colours(), "wt wt wt wt rw ww");
        moveOver(&window);
        QCOMPARE(colours(), "wt wt wt wt wt tt");
    }

    void cleanDatabase_cancel_doesNothing()
    {
        Setup s;
        s.window.show();
        s.window.setStatus("before");
        s.window.answer = UserInterface::Answer::Cancel;
        click(child(s.window, "lblMenu", 4));
        QCOMPARE(s.window.messages.size(), size_t(1));
        QCOMPARE(s.window.statuses, QStringList{"before"}); // a clean starts with a status
    }

    void scanTimer_clampsScanInterval_data()
    {
        QTest::addColumn<int>("scanInterval");
        QTest::addColumn<int>("period");
        QTest::newRow("300 s") << 300 << 300000;
        QTest::newRow("below the range") << 30 << 60000;
        QTest::newRow("above the range") << 1000 << 600000;
    }
    void scanTimer_clampsScanInterval()
    {
        QFETCH(int, scanInterval);
        Setup s(true, scanInterval);
        QVERIFY(s.window.startup());
        auto* timer = s.window.findChild<QTimer*>("timScan");
        QVERIFY(timer->isActive());
        QTEST(timer->interval(), "period");
        // An Apply re-arms the timer with the new interval.
        whenModal([](QWidget* dialog) {
            child<QLineEdit>(*dialog, "txtScan")->setText("120");
            click(child(*dialog, "lblBottom", 1));
        });
        click(child(s.window, "lblMenu", 0));
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 120000);
    }

    void tick_scansOnlyWhenTickedAndNothingElseRuns_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("during"); // what is open when the tick arrives
        QTest::addColumn<bool>("scans");
        QTest::newRow("unticked") << false << "" << false;
        QTest::newRow("ticked") << true << "" << true;
        QTest::newRow("ticked, dialog open") << true << "dialog" << false;
        QTest::newRow("ticked, scan's message box") << true << "scan" << false;
    }
    void tick_scansOnlyWhenTickedAndNothingElseRuns()
    {
        QFETCH(bool, ticked);
        QFETCH(QString, during);
        Setup s;
        QVERIFY(s.window.startup());
        s.window.show();
        child<QCheckBox>(s.window, "chkTurnOn")->setChecked(ticked);
        QStringList fromTick;
        auto tick = [&] {
            const qsizetype before = s.window.statuses.size();
            QMetaObject::invokeMethod(s.window.findChild<QTimer*>("timScan"), "timeout");
            fromTick = s.window.statuses.mid(before);
        };
        if (during == "dialog") {
            whenModal([&](QWidget* dialog) {
                tick();
                dialog->close();
            });
            click(child(s.window, "lblMenu", 0));
        } else if (during == "scan") {
            // A log that ends before its player table: the import reports it in a message box.
            s.inst.writeFile("RSRESULTS0.log", "Adversarial\r\n");
            s.window.onMessage = [&] {
                if (s.window.messages.size() == 1)
                    tick();
            };
            click(child(s.window, "lblMenu", 1));
            QCOMPARE(s.window.messages.size(), size_t(1));
        } else {
            tick();
        }
        QTEST(!fromTick.isEmpty(), "scans");
        QVERIFY(fromTick.isEmpty() || fromTick.last().startsWith("Status scan "));
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
