#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "config/frmDirectory.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

class TestFrmDirectory : public QObject
{
    Q_OBJECT

private slots:
    void open_fillsBoxesInTheirForms();
    void apply_convertsAndValidatesInOrder_data();
    void apply_convertsAndValidatesInOrder();
    void apply_storesAllNineButWritesNothing();
    void cancel_beforeAnyApply_refusesAndStaysOpen();
    void cancel_afterApply_writesTheAppliedValues();
    void closeBox_changesAndWritesNothing();
    void driveChange_putsTheVolumeInThePathBox();
    void hover_whitensLabelAndBackgroundRestores();
    void layout_focusOrderAndPlaces();
};

namespace {

// A game directory holding the game's executable.
struct GameDirectory
{
    QTemporaryDir dir;
    GameDirectory() { QFile(dir.filePath("RogueSpear.exe")).open(QIODevice::WriteOnly); }
    QString path() const { return QDir::toNativeSeparators(dir.path()); }
    QString canonical() const { return QDir(dir.path()).canonicalPath(); }
};

template <typename T = QWidget> T* child(QWidget& parent, const char* name, int index = -1)
{
    for (T* widget : parent.findChildren<T*>(QString::fromLatin1(name)))
        if (index < 0 || widget->property("index").toInt() == index)
            return widget;
    qFatal("no control %s %d", name, index);
}

QLineEdit* box(QWidget& dialog, const char* name)
{
    return child<QLineEdit>(dialog, name);
}

void clickBottom(QWidget& dialog, int index)
{
    QWidget* label = child(dialog, "lblBottom", index);
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
}

void moveOver(QWidget* widget, QPoint position)
{
    QMouseEvent move(QEvent::MouseMove, position, widget->mapToGlobal(position), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

QString dirListPath(QWidget& dialog)
{
    auto* dirList = child<QTreeView>(dialog, "dirList");
    return static_cast<QFileSystemModel*>(dirList->model())->filePath(dirList->currentIndex());
}

void fillValid(frmDirectory& dialog, const QString& gameDirectory)
{
    const char* names[] = {"txtPath",        "txtScan",       "txtRecords",
                           "txtNickname",    "txtFTPaddress", "txtFTPport",
                           "txtFTPusername", "txtFTPpw",      "txtFTPfile"};
    const QString values[] = {gameDirectory, "120",  "25",     "Host",           "ftp.example.org",
                              "2121",        "user", "secret", "/user/stats.htm"};
    for (int i = 0; i < 9; ++i)
        box(dialog, names[i])->setText(values[i]);
}

} // namespace

void TestFrmDirectory::open_fillsBoxesInTheirForms()
{
    TestInstallation inst;
    GameDirectory game;
    Config config(inst.files().configuration());
    config.roguePath = game.path();
    config.scanInterval = 300;
    config.ftpPort = -30000; // port 35536 kept in 16 bits
    config.ftpPassword = "secret";
    RecordingUserInterface ui;
    frmDirectory dialog(config, ui);

    QCOMPARE(box(dialog, "txtScan")->text(), " 300");
    QCOMPARE(box(dialog, "txtRecords")->text(), " 20");
    QCOMPARE(box(dialog, "txtFTPport")->text(), "35536");
    QCOMPARE(box(dialog, "txtFTPpw")->echoMode(), QLineEdit::Password);
    QCOMPARE(box(dialog, "txtPath")->text(), game.path());
    QCOMPARE(dirListPath(dialog), game.canonical());

    // A configured directory that no longer exists is skipped; the dialog still opens.
    config.roguePath = game.path() + "/gone";
    frmDirectory again(config, ui);
    QCOMPARE(box(again, "txtFTPpw")->text(), "secret");
    QVERIFY(ui.messages.empty());
}

void TestFrmDirectory::apply_convertsAndValidatesInOrder_data()
{
    QTest::addColumn<QStringList>("scanRecordsPort");
    QTest::addColumn<QString>("outcome"); // the message refusing it, or what was stored

    const QString scan = "Invalid Interval: Enter a scan interval of between 60 and 600 seconds.";
    const QString records =
        "Invalid Interval: Number of records to display must be between 5 and 40.";
    const QString port = "Invalid Port: Enter a port number between 1 and 65535.";
    auto row = [](const char* name, const QStringList& input, const QString& outcome) {
        QTest::newRow(name) << input << outcome;
    };
    row("scan 59", {"59", "20", "21"}, scan);
    row("scan 60", {"60", "20", "21"}, "60 20 21");
    row("scan 600", {"600", "20", "21"}, "600 20 21");
    row("scan 601", {"601", "20", "21"}, scan);
    row("records 4", {"300", "4", "21"}, records);
    row("records 5", {"300", "5", "21"}, "300 5 21");
    row("records 40", {"300", "40", "21"}, "300 40 21");
    row("records 41", {"300", "41", "21"}, records);
    row("both wrong", {"59", "41", "21"}, scan);
    row("fraction and blanks", {"99.9", " 20 ", "21"}, "99 20 21");
    row("scan empty", {"", "20", "21"}, scan);
    row("scan past 16 bits", {"40000", "20", "21"}, scan);
    row("records not a number", {"300", "ten", "21"}, records);
    row("port 0", {"300", "20", "0"}, port);
    row("port 65536", {"300", "20", "65536"}, port);
    row("port not a number", {"300", "20", "ftp"}, port);
    row("port 65535", {"300", "20", "65535"}, "300 20 -1");
    row("port 35536", {"300", "20", " 35536 "}, "300 20 -30000");
}

void TestFrmDirectory::apply_convertsAndValidatesInOrder()
{
    QFETCH(QStringList, scanRecordsPort);
    QFETCH(QString, outcome);
    TestInstallation inst;
    GameDirectory game;
    Config config(inst.files().configuration());
    RecordingUserInterface ui;
    frmDirectory dialog(config, ui);
    dialog.show();
    fillValid(dialog, game.path());
    box(dialog, "txtScan")->setText(scanRecordsPort[0]);
    box(dialog, "txtRecords")->setText(scanRecordsPort[1]);
    box(dialog, "txtFTPport")->setText(scanRecordsPort[2]);

    clickBottom(dialog, 1);

    if (ui.messages.empty()) {
        QVERIFY(!dialog.isVisible());
        QCOMPARE(QStringLiteral("%1 %2 %3")
                     .arg(config.scanInterval)
                     .arg(config.records)
                     .arg(config.ftpPort),
                 outcome);
        return;
    }
    QCOMPARE(ui.messages.size(), size_t(1));
    QCOMPARE(ui.messages[0].title + ": " + ui.messages[0].text, outcome);
    QCOMPARE(ui.messages[0].icon, UserInterface::Icon::Information);
    QVERIFY(dialog.isVisible());
    QCOMPARE(box(dialog, "txtScan")->text(), scanRecordsPort[0]);
    QVERIFY(config.roguePath.isEmpty());
}

void TestFrmDirectory::apply_storesAllNineButWritesNothing()
{
    TestInstallation inst;
    GameDirectory game;
    const QByteArray before = inst.readFile("statConf.txt");
    Config config(inst.files().configuration());
    RecordingUserInterface ui;
    bool applied = false;
    frmDirectory dialog(config, ui);
    QObject::connect(&dialog, &frmDirectory::applied, [&] { applied = true; });
    dialog.show();
    fillValid(dialog, " " + game.path() + " ");

    clickBottom(dialog, 1);

    QVERIFY(ui.messages.empty());
    QVERIFY(applied && !dialog.isVisible());
    const QStringList stored = {config.roguePath,
                                QString::number(config.scanInterval),
                                QString::number(config.records),
                                config.nickname,
                                config.ftpAddress,
                                config.ftpLogin,
                                config.ftpPassword,
                                QString::number(config.ftpPort),
                                config.ftpFile};
    QCOMPARE(stored, QStringList({" " + game.path() + " ", "120", "25", "Host", "ftp.example.org",
                                  "user", "secret", "2121", "/user/stats.htm"}));
    QCOMPARE(inst.readFile("statConf.txt"), before);
}

void TestFrmDirectory::cancel_beforeAnyApply_refusesAndStaysOpen()
{
    TestInstallation inst;
    const QByteArray before = inst.readFile("statConf.txt");
    Config config(inst.files().configuration());
    RecordingUserInterface ui;
    frmDirectory dialog(config, ui);
    dialog.show();
    box(dialog, "txtNickname")->setText("typed");

    clickBottom(dialog, 0);

    QCOMPARE(ui.messages.size(), size_t(1));
    QCOMPARE(ui.messages[0].text, "You must apply a configuration at least once!");
    QCOMPARE(ui.messages[0].title, "Tallyvane");
    QCOMPARE(ui.messages[0].icon, UserInterface::Icon::None);
    QVERIFY(dialog.isVisible());
    QCOMPARE(box(dialog, "txtNickname")->text(), "typed");
    QCOMPARE(inst.readFile("statConf.txt"), before);
}

void TestFrmDirectory::cancel_afterApply_writesTheAppliedValues()
{
    TestInstallation inst;
    GameDirectory game;
    Config config(inst.files().configuration());
    RecordingUserInterface ui;
    {
        frmDirectory dialog(config, ui);
        dialog.show();
        fillValid(dialog, game.path());
        clickBottom(dialog, 1);
    }
    frmDirectory dialog(config, ui);
    dialog.show();
    box(dialog, "txtNickname")->setText("discarded");

    clickBottom(dialog, 0);

    QVERIFY(ui.messages.empty());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(inst.readFile("statConf.txt"),
             game.path().toUtf8() + "\r\n 120\r\n 25\r\nHost\r\nftp.example.org\r\nuser\r\n"
                                    "secret\r\n 2121\r\n/user/stats.htm\r\n");
}

void TestFrmDirectory::closeBox_changesAndWritesNothing()
{
    TestInstallation inst;
    GameDirectory game;
    const QByteArray before = inst.readFile("statConf.txt");
    Config config(inst.files().configuration());
    config.roguePath = game.path();
    RecordingUserInterface ui;
    frmDirectory dialog(config, ui);
    dialog.show();
    fillValid(dialog, "/elsewhere");

    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible()); // no cancel button: Esc does not close
    dialog.close();

    QVERIFY(!dialog.isVisible());
    QCOMPARE(config.roguePath, game.path());
    QCOMPARE(config.nickname, "");
    QCOMPARE(inst.readFile("statConf.txt"), before);
}

void TestFrmDirectory::driveChange_putsTheVolumeInThePathBox()
{
    TestInstallation inst;
    GameDirectory game;
    Config config(inst.files().configuration());
    config.roguePath = game.path();
    RecordingUserInterface ui;
    frmDirectory dialog(config, ui);
    auto* drvList = child<QComboBox>(dialog, "drvList");
    auto* txtPath = box(dialog, "txtPath");
    const int gameVolume = drvList->currentIndex();
    QVERIFY(gameVolume >= 0);
    if (drvList->count() < 2)
        QSKIP("only one volume is mounted");
    auto withSeparator = [](QString root) {
        return root.endsWith(QDir::separator()) ? root : root + QDir::separator();
    };

    drvList->setCurrentIndex(gameVolume == 0 ? 1 : 0);
    QCOMPARE(txtPath->text(), withSeparator(drvList->currentText()));

    // Back on the game's volume the list returns to where it stood there.
    drvList->setCurrentIndex(gameVolume);
    QCOMPARE(dirListPath(dialog), game.canonical());
    QCOMPARE(txtPath->text(), withSeparator(drvList->currentText()));

    // Choosing a directory replaces the volume with the full path.
    auto* dirList = child<QTreeView>(dialog, "dirList");
    const QString parent = QFileInfo(game.canonical()).path();
    dirList->setCurrentIndex(static_cast<QFileSystemModel*>(dirList->model())->index(parent));
    QCOMPARE(txtPath->text(), QDir::toNativeSeparators(parent));
}

void TestFrmDirectory::hover_whitensLabelAndBackgroundRestores()
{
    TestInstallation inst;
    Config config(inst.files().configuration());
    RecordingUserInterface ui;
    frmDirectory dialog(config, ui);
    dialog.show();
    auto colour = [&](int i) {
        return child(dialog, "lblBottom", i)->palette().color(QPalette::WindowText);
    };
    const QColor text = dialog.palette().color(QPalette::WindowText);
    const QColor white(255, 255, 255);

    moveOver(child(dialog, "lblBottom", 1), {2, 2});
    QCOMPARE(colour(1), white);
    QCOMPARE(colour(0), text);
    moveOver(child(dialog, "lblBottom", 0), {2, 2});
    QCOMPARE(colour(0), white);
    // Over the tab control nothing changes; over the dialog's margin both labels return.
    moveOver(&dialog, child(dialog, "SSTab1")->geometry().center());
    QCOMPARE(colour(1), white);
    moveOver(&dialog, {2, dialog.height() - 2});
    QCOMPARE(colour(1), text);
    QCOMPARE(colour(0), text);
}

void TestFrmDirectory::layout_focusOrderAndPlaces()
{
    TestInstallation inst;
    Config config(inst.files().configuration());
    RecordingUserInterface ui;
    frmDirectory dialog(config, ui);
    dialog.show();

    const QStringList order = {"drvList",     "dirList",       "txtScan",    "txtRecords",
                               "txtNickname", "txtFTPaddress", "txtFTPport", "txtFTPusername",
                               "txtFTPpw",    "txtFTPfile",    "txtPath"};
    QStringList chain;
    QWidget* widget = child(dialog, "drvList");
    do {
        if (order.contains(widget->objectName()) && !chain.contains(widget->objectName()))
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != child(dialog, "drvList"));
    QCOMPARE(chain, order);

    // Twips at 15 to a pixel; controls on a tab are placed relative to the tab control.
    auto* tabs = child<QTabWidget>(dialog, "SSTab1");
    QCOMPARE(dialog.size(), QSize(313, 362));
    QCOMPARE(tabs->geometry(), QRect(8, 16, 297, 305));
    QCOMPARE(QStringList({tabs->tabText(0), tabs->tabText(1)}),
             QStringList({"General", "FTP Settings"}));
    auto* path = box(dialog, "txtPath");
    QCOMPARE(QRect(path->mapTo(tabs, QPoint()), path->size()), QRect(16, 48, 265, 20));
    auto* file = box(dialog, "txtFTPfile");
    QCOMPARE(QRect(file->mapTo(tabs, QPoint()), file->size()), QRect(16, 256, 265, 19));
    QCOMPARE(child(dialog, "lblBottom", 1)->geometry(), QRect(208, 336, 41, 17));
}

QTEST_MAIN(TestFrmDirectory)
#include "tst_frmdirectory.moc"
