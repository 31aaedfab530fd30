#include "TestInstallation.h"

#include "app/MessageBox.h"
#include "app/frmMain.h"
#include "config/frmDirectory.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <functional>

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void startup_configured_scansBeforeShowing();
    void startup_firstRunApplied_showsConfiguredWithoutScan();
    void startup_firstRunClosed_endsAndWritesConfiguration();
    void startup_unloadableConfiguration_reportsAndFails_data();
    void startup_unloadableConfiguration_reportsAndFails();
    void unload_writesConfiguration_data();
    void unload_writesConfiguration();
    void hover_followsThePointer();
    void layout_matchesTheDesign();
    void cleanDatabase_onlyOkErases_data();
    void cleanDatabase_onlyOkErases();
    void scanTimer_followsScanInterval_data();
    void scanTimer_followsScanInterval();
    void tick_scansOnlyWhenTickedAndNothingModal_data();
    void tick_scansOnlyWhenTickedAndNothingModal();
    void tick_duringAScanMessage_startsNoSecondScan();
};

namespace {

// Collects the status texts that the program logs.
class StatusLog
{
public:
    StatusLog()
    {
        s_current = this;
        QLoggingCategory::setFilterRules(QStringLiteral("tallyvane.ui.info=true"));
        m_previous = qInstallMessageHandler(&StatusLog::handle);
    }
    ~StatusLog()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QString());
        s_current = nullptr;
    }

    QStringList statuses;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (qstrcmp(context.category, "tallyvane.ui") != 0) {
            s_current->m_previous(type, context, text);
            return;
        }
        if (text.startsWith(QLatin1String("status: ")))
            s_current->statuses << text.mid(8);
    }

    static StatusLog* s_current;
    QtMessageHandler m_previous;
};
StatusLog* StatusLog::s_current = nullptr;

struct GameDirectory
{
    QTemporaryDir dir;
    GameDirectory() { QFile(dir.filePath("RogueSpear.exe")).open(QIODevice::WriteOnly); }
    QString path() const { return QDir::toNativeSeparators(dir.path()); }
};

// statConf.txt with the game directory and scan interval given; numbers without their blank,
// as a hand-edited file may have them, so that a rewrite by the program shows.
void writeConfig(const TestInstallation& inst, const QString& roguePath, int scanInterval = 300)
{
    inst.writeFile("statConf.txt", roguePath.toUtf8() + "\r\n" + QByteArray::number(scanInterval) +
                                       "\r\n20\r\nHost\r\nftp.example.com\r\n\r\n\r\n21\r\n\r\n");
}

QByteArray writtenConfig(const QString& roguePath, int scanInterval = 300)
{
    return roguePath.toUtf8() + "\r\n " + QByteArray::number(scanInterval) +
           "\r\n 20\r\nHost\r\nftp.example.com\r\n\r\n\r\n 21\r\n\r\n";
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

void moveOver(QWidget* widget, QPoint position = {2, 2})
{
    QMouseEvent move(QEvent::MouseMove, position, widget->mapToGlobal(position), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
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

void clickBoxButton(QWidget* modal, QMessageBox::StandardButton button)
{
    qobject_cast<QMessageBox*>(modal)->button(button)->click();
}

void tick(frmMain& window)
{
    QMetaObject::invokeMethod(window.findChild<QTimer*>("timScan"), "timeout");
}

int playerCount(const QString& database)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(database).constData(), &db);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM tblPlayer", -1, &statement, nullptr);
    const int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

void addPlayer(const QString& database)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(database).constData(), &db);
    sqlite3_exec(db, "INSERT INTO tblPlayer (fldName) VALUES ('Alpha')", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

} // namespace

void TestFrmMain::startup_configured_scansBeforeShowing()
{
    TestInstallation inst;
    GameDirectory game;
    writeConfig(inst, game.path());
    StatusLog log;
    frmMain window(inst.files());

    QVERIFY(window.startup());

    QVERIFY(!window.isVisible());
    QCOMPARE(log.statuses.size(), 2);
    QCOMPARE(log.statuses[0], "Initializing...");
    QVERIFY2(log.statuses[1].startsWith("Status scan "), qPrintable(log.statuses[1]));
    QCOMPARE(child<QLabel>(window, "lblStatus")->text(), log.statuses[1]);
    QVERIFY(!child<QCheckBox>(window, "chkTurnOn")->isChecked());
}

void TestFrmMain::startup_firstRunApplied_showsConfiguredWithoutScan()
{
    TestInstallation inst;
    GameDirectory game;
    StatusLog log;
    {
        frmMain window(inst.files());
        whenModal([&](QWidget* dialog) {
            QVERIFY(qobject_cast<frmDirectory*>(dialog));
            child<QLineEdit>(*dialog, "txtPath")->setText(game.path());
            child<QLineEdit>(*dialog, "txtNickname")->setText("Host");
            click(child(*dialog, "lblBottom", 1));
        });

        QVERIFY(window.startup());
        QCOMPARE(log.statuses, QStringList({"Initializing...", "Tallyvane configured."}));
        QCOMPARE(child<QLabel>(window, "lblStatus")->text(), "Tallyvane configured.");
    }
    QVERIFY(inst.readFile("statConf.txt").startsWith(game.path().toUtf8() + "\r\n 300\r\n"));
}

void TestFrmMain::startup_firstRunClosed_endsAndWritesConfiguration()
{
    TestInstallation inst;
    writeConfig(inst, "");
    frmMain window(inst.files());
    whenModal([](QWidget* dialog) { dialog->close(); });

    QVERIFY(!window.startup());

    QCOMPARE(window.exitStatus(), 0);
    QCOMPARE(child<QLabel>(window, "lblStatus")->text(), "Tallyvane won't work unless configured!");
    QCOMPARE(inst.readFile("statConf.txt"), writtenConfig(""));
}

void TestFrmMain::startup_unloadableConfiguration_reportsAndFails_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("code");
    QTest::newRow("missing") << QByteArray() << "53";
    QTest::newRow("eight lines") << QByteArray("\r\n 300\r\n 20\r\n\r\n\r\n\r\n\r\n 21\r\n")
                                 << "62";
}

void TestFrmMain::startup_unloadableConfiguration_reportsAndFails()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, code);
    TestInstallation inst;
    if (content.isEmpty())
        QFile::remove(inst.files().configuration());
    else
        inst.writeFile("statConf.txt", content);
    QString shown;
    {
        frmMain window(inst.files());
        whenModal([&](QWidget* box) {
            shown = qobject_cast<QMessageBox*>(box)->text();
            clickBoxButton(box, QMessageBox::Ok);
        });

        QVERIFY(!window.startup());
        QVERIFY(window.exitStatus() != 0);
    }
    QVERIFY2(shown.contains(QDir::toNativeSeparators(inst.files().configuration())),
             qPrintable(shown));
    QVERIFY2(shown.contains(code), qPrintable(shown));
    QCOMPARE(QFile::exists(inst.files().configuration()), !content.isEmpty());
    QCOMPARE(inst.readFile("statConf.txt"), content);
}

void TestFrmMain::unload_writesConfiguration_data()
{
    QTest::addColumn<bool>("byQuit");
    QTest::newRow("Quit") << true;
    QTest::newRow("close box") << false;
}

void TestFrmMain::unload_writesConfiguration()
{
    QFETCH(bool, byQuit);
    TestInstallation inst;
    GameDirectory game;
    writeConfig(inst, game.path());
    frmMain window(inst.files());
    QVERIFY(window.startup());
    window.show();

    if (byQuit)
        click(child(window, "lblQuit"));
    else
        window.close();

    QVERIFY(!window.isVisible());
    QCOMPARE(inst.readFile("statConf.txt"), writtenConfig(game.path()));
}

void TestFrmMain::hover_followsThePointer()
{
    TestInstallation inst;
    frmMain window(inst.files());
    window.show();
    const QColor white(255, 255, 255), red(255, 0, 0);
    const QColor text = window.palette().color(QPalette::WindowText);
    // The five commands' background and text colours, then About's and Quit's text colour.
    auto colours = [&] {
        QList<QColor> all;
        for (int i = 0; i < 5; ++i)
            all << child(window, "lblMenu", i)->palette().color(QPalette::Window)
                << child(window, "lblMenu", i)->palette().color(QPalette::WindowText);
        return all << child(window, "lblAbout")->palette().color(QPalette::WindowText)
                   << child(window, "lblQuit")->palette().color(QPalette::WindowText);
    };
    auto expected = [&](int command, const QColor& about, const QColor& quit) {
        QList<QColor> all;
        for (int i = 0; i < 5; ++i)
            all << (i == command ? red : white) << (i == command ? white : text);
        return all << about << quit;
    };

    moveOver(child(window, "lblMenu", 2));
    QCOMPARE(colours(), expected(2, text, text));
    moveOver(child(window, "lblAbout"));
    QCOMPARE(colours(), expected(2, white, text));
    // Straight from About onto a command: About stays white.
    moveOver(child(window, "lblMenu", 4));
    QCOMPARE(colours(), expected(4, white, text));
    moveOver(child(window, "lblQuit"));
    QCOMPARE(colours(), expected(4, white, white));
    // The status line is no part of the background.
    moveOver(&window, child(window, "lblStatus")->geometry().center());
    QCOMPARE(colours(), expected(4, white, white));
    moveOver(&window);
    QCOMPARE(colours(), expected(-1, text, text));
}

void TestFrmMain::layout_matchesTheDesign()
{
    TestInstallation inst;
    frmMain window(inst.files());
    window.show();

    QCOMPARE(window.windowTitle(), "Tallyvane");
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    window.resize(400, 300);
    QCOMPARE(window.size(), QSize(264, 178));
    // Twips at 15 to a pixel.
    QCOMPARE(child(window, "lblMenu", 0)->geometry(), QRect(152, 16, 105, 17));
    QCOMPARE(child(window, "lblMenu", 3)->geometry(), QRect(8, 64, 105, 17));
    QCOMPARE(child(window, "chkTurnOn")->geometry(), QRect(8, 123, 121, 14));
    QCOMPARE(child(window, "lblQuit")->geometry(), QRect(224, 120, 33, 17));
    QCOMPARE(child(window, "lblStatus")->geometry(), QRect(8, 152, 249, 17));
    QCOMPARE(child<QLabel>(window, "lblMenu", 4)->text(), "Clean Database");

    QCOMPARE(child(window, "lblMenu", 1)->font().family(), "Arial");
    QCOMPARE(child(window, "lblQuit")->font().family(), "Arial Black");
    auto* status = child<QLabel>(window, "lblStatus");
    QCOMPARE(status->font().pointSizeF(), 7.8);
    QCOMPARE(status->palette().color(QPalette::Window), window.palette().color(QPalette::Shadow));
}

void TestFrmMain::cleanDatabase_onlyOkErases_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("Cancel") << false;
    QTest::newRow("OK") << true;
}

void TestFrmMain::cleanDatabase_onlyOkErases()
{
    QFETCH(bool, ok);
    TestInstallation inst;
    inst.createDatabase();
    addPlayer(inst.files().database());
    QCOMPARE(playerCount(inst.files().database()), 1);
    frmMain window(inst.files());
    window.show();
    window.setStatus("before");
    QString text, title;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        text = box->text();
        title = box->windowTitle();
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
        clickBoxButton(box, ok ? QMessageBox::Ok : QMessageBox::Cancel);
    });

    click(child(window, "lblMenu", 4));

    QCOMPARE(text, "This will delete all player records in the database. Proceed?");
    QCOMPARE(title, "Clean Database");
    QCOMPARE(playerCount(inst.files().database()), ok ? 0 : 1);
    if (!ok)
        QCOMPARE(child<QLabel>(window, "lblStatus")->text(), "before");
}

void TestFrmMain::scanTimer_followsScanInterval_data()
{
    QTest::addColumn<int>("scanInterval");
    QTest::addColumn<int>("period");
    QTest::newRow("300 s") << 300 << 300000;
    QTest::newRow("below the range") << 30 << 60000;
    QTest::newRow("above the range") << 1000 << 600000;
}

void TestFrmMain::scanTimer_followsScanInterval()
{
    QFETCH(int, scanInterval);
    TestInstallation inst;
    GameDirectory game;
    writeConfig(inst, game.path(), scanInterval);
    frmMain window(inst.files());
    QVERIFY(window.startup());
    window.show();
    auto* timer = window.findChild<QTimer*>("timScan");
    QVERIFY(timer->isActive());
    QTEST(timer->interval(), "period");

    whenModal([](QWidget* dialog) {
        child<QLineEdit>(*dialog, "txtScan")->setText("120");
        click(child(*dialog, "lblBottom", 1));
    });
    click(child(window, "lblMenu", 0));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 120000);
}

void TestFrmMain::tick_scansOnlyWhenTickedAndNothingModal_data()
{
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("dialogOpen");
    QTest::addColumn<bool>("scans");
    QTest::newRow("box clear") << false << false << false;
    QTest::newRow("box ticked") << true << false << true;
    QTest::newRow("ticked, dialog open") << true << true << false;
}

void TestFrmMain::tick_scansOnlyWhenTickedAndNothingModal()
{
    QFETCH(bool, ticked);
    QFETCH(bool, dialogOpen);
    TestInstallation inst;
    GameDirectory game;
    writeConfig(inst, game.path());
    frmMain window(inst.files());
    QVERIFY(window.startup());
    window.show();
    child<QCheckBox>(window, "chkTurnOn")->setChecked(ticked);
    StatusLog log;

    if (dialogOpen) {
        whenModal([&](QWidget* dialog) {
            tick(window);
            dialog->close();
        });
        click(child(window, "lblMenu", 0));
    } else {
        tick(window);
    }

    QTEST(!log.statuses.isEmpty(), "scans");
    if (!log.statuses.isEmpty())
        QVERIFY(log.statuses.first().startsWith("Status scan "));
}

void TestFrmMain::tick_duringAScanMessage_startsNoSecondScan()
{
    TestInstallation inst;
    GameDirectory game;
    // A log that ends before its player table: the import reports it in a message box.
    QFile log0(game.dir.filePath("RSRESULTS0.log"));
    QVERIFY(log0.open(QIODevice::WriteOnly));
    log0.write("Adversarial\r\n");
    log0.close();
    writeConfig(inst, QDir::toNativeSeparators(game.dir.path() + "/missing"));
    frmMain window(inst.files());
    QVERIFY(window.startup());
    window.show();
    child<QCheckBox>(window, "chkTurnOn")->setChecked(true);

    // Point the configuration at the game through the dialog, then scan by hand.
    whenModal([&](QWidget* dialog) {
        child<QLineEdit>(*dialog, "txtPath")->setText(game.path());
        click(child(*dialog, "lblBottom", 1));
    });
    click(child(window, "lblMenu", 0));

    StatusLog statuses;
    int boxes = 0;
    qsizetype statusesDuringBox = -1;
    whenModal([&](QWidget* box) {
        ++boxes;
        const qsizetype before = statuses.statuses.size();
        tick(window);
        statusesDuringBox = statuses.statuses.size() - before;
        clickBoxButton(box, QMessageBox::Ok);
    });
    click(child(window, "lblMenu", 1));

    QCOMPARE(boxes, 1);
    QCOMPARE(statusesDuringBox, 0);
    QVERIFY(!statuses.statuses.isEmpty());
    QVERIFY(!MessageBox::isOpen());
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
