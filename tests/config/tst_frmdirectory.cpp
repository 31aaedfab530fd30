#include "PointerMove.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "config/frmDirectory.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

namespace {

// An installation, which is also the game directory, its configuration and the dialog on it.
struct Setup
{
    TestInstallation inst;
    Config config{inst.files().configuration()};
    RecordingUserInterface ui;
    std::unique_ptr<frmDirectory> dialog;
    const QByteArray before = inst.readFile("statConf.txt");

    Setup() { inst.writeFile("RogueSpear.exe", "game"); }
    QString game() const { return QDir::toNativeSeparators(inst.files().directory()); }
    void open()
    {
        dialog = std::make_unique<frmDirectory>(config, ui);
        dialog->show();
    }
    QLineEdit* box(const char* name) const { return dialog->findChild<QLineEdit*>(name); }
    // Types the nine settings, given in file order and separated by '|'.
    void fill(const QString& values) const
    {
        const char* names[] = {"txtPath",     "txtScan",       "txtRecords",
                               "txtNickname", "txtFTPaddress", "txtFTPusername",
                               "txtFTPpw",    "txtFTPport",    "txtFTPfile"};
        for (int i = 0; i < 9; ++i)
            box(names[i])->setText(values.section('|', i, i));
    }
    void click(int bottom) const // 0 Cancel, 1 Apply
    {
        QLabel* label = dialog->findChildren<QLabel*>("lblBottom").at(bottom);
        QVERIFY(label->property("index") == bottom);
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    }
    QString messages() const
    {
        QStringList all;
        for (const auto& m : ui.messages)
            all << m.title + ": " + m.text;
        return all.join('\n');
    }
};

} // namespace

class TestFrmDirectory : public QObject
{
    Q_OBJECT

private slots:
    void apply_convertsAndValidates_data()
    {
        QTest::addColumn<QString>("numbers"); // scan interval, records and port as typed
        QTest::addColumn<QString>("outcome"); // the message refusing them, or what was stored
        const QString scan =
            "Invalid Interval: Enter a scan interval of between 60 and 600 seconds.";
        const QString records =
            "Invalid Interval: Number of records to display must be between 5 and 40.";
        const QString port = "Invalid Port: Enter a port number between 1 and 65535.";
        auto row = [](const char* name, const char* numbers, const QString& outcome) {
            QTest::newRow(name) << numbers << outcome;
        };
        row("fraction and blanks", "99.9| 20 |21", "99 20 21");
        row("scan empty", "|20|21", scan);
        row("scan past 16 bits", "40000|20|21", scan);
        row("scan 59", "59|20|21", scan);
        row("records not a number", "300|ten|21", records);
        row("port 0", "300|20|0", port);
        row("port 1", "300|20|1", "300 20 1");
        row("port 65535", "300|20|65535", "300 20 -1");
        row("port 65536", "300|20|65536", port);
        row("port not a number", "300|20|ftp", port);
        row("port 35536 with blanks", "300|20| 35536 ", "300 20 -30000");
    }
    void apply_convertsAndValidates()
    {
        QFETCH(QString, numbers);
        QFETCH(QString, outcome);
        Setup s;
        s.open();
        const QStringList n = numbers.split('|');
        s.fill(QStringList{s.game(), n[0], n[1], "Host", "h", "u", "p", n[2], "f"}.join('|'));
        s.click(1);
        if (s.ui.messages.empty()) {
            QVERIFY(!s.dialog->isVisible());
            QCOMPARE(QString::asprintf("%d %d %d", s.config.scanInterval, s.config.records,
                                       s.config.ftpPort),
                     outcome);
            return;
        }
        QCOMPARE(s.messages(), outcome);
        QCOMPARE(s.ui.messages[0].icon, UserInterface::Icon::Information);
        QVERIFY(s.dialog->isVisible());
        QVERIFY(s.config.roguePath.isEmpty());
    }

    void apply_storesOnly_thenCancelWrites()
    {
        Setup s;
        s.open();
        s.fill(" " + s.game() + " |120|25|Host|ftp.example.org|user|secret|35536|/user/stats.htm");
        s.click(1);
        QCOMPARE(s.messages(), "");
        QVERIFY(!s.dialog->isVisible());
        QCOMPARE(s.inst.readFile("statConf.txt"), s.before);
        s.open(); // numbers shown with the blank of their sign, the port without one
        QCOMPARE((QStringList{s.box("txtScan")->text(), s.box("txtRecords")->text(),
                              s.box("txtFTPport")->text()}),
                 (QStringList{" 120", " 25", "35536"}));
        s.box("txtNickname")->setText("discarded");
        s.click(0);
        QVERIFY(!s.dialog->isVisible());
        QCOMPARE(s.inst.readFile("statConf.txt"),
                 " " + s.game().toUtf8() +
                     " \r\n 120\r\n 25\r\nHost\r\nftp.example.org\r\nuser\r\nsecret\r\n-30000\r\n"
                     "/user/stats.htm\r\n");
    }

    void cancelBeforeApplyOrCloseBox_writesNothing_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("message"); // Cancel's refusal; none for the close box
        QTest::newRow("Cancel before any Apply")
            << false << "Tallyvane: You must apply a configuration at least once!";
        QTest::newRow("close box") << true << "";
    }
    void cancelBeforeApplyOrCloseBox_writesNothing()
    {
        QFETCH(bool, configured);
        QFETCH(QString, message);
        Setup s;
        s.config.roguePath = configured ? s.game() : "";
        s.open();
        s.fill("/elsewhere|120|25|typed|h|u|p|21|f");
        QTest::keyClick(s.dialog.get(), Qt::Key_Escape);
        QVERIFY(s.dialog->isVisible()); // no cancel button: Esc does not close
        configured ? void(s.dialog->close()) : s.click(0);
        QCOMPARE(s.messages(), message);
        QVERIFY(message.isEmpty() || s.ui.messages[0].icon == UserInterface::Icon::None);
        QCOMPARE(s.dialog->isVisible(), !configured); // refused, the dialog stays as it was
        QCOMPARE(s.box("txtNickname")->text(), "typed");
        QCOMPARE(s.config.roguePath, configured ? s.game() : "");
        QCOMPARE(s.inst.readFile("statConf.txt"), s.before);
    }

    void hover_whitensEachCommand_untilThePointerReachesTheBackground()
    {
        Setup s;
        s.open();
        const QColor text = s.dialog->palette().color(QPalette::WindowText);
        const auto labels = s.dialog->findChildren<QLabel*>("lblBottom"); // Cancel, Apply
        QLabel *cancel = labels.at(0), *apply = labels.at(1);
        // One letter per command, Cancel then Apply: w(hite), t(ext colour) or ? (anything else).
        auto colours = [&] {
            QString all;
            for (QLabel* label : labels) {
                const QColor c = label->palette().color(QPalette::WindowText);
                all += c == Qt::white ? 'w' : c == text ? 't' : '?';
            }
            return all;
        };
        QCOMPARE(colours(), "tt");
        moveOver(apply);
        QCOMPARE(colours(), "tw");
        moveOver(cancel); // leaving Apply for Cancel does not restore Apply
        QCOMPARE(colours(), "ww");
        // The strip beside the commands is background.
        const QPoint strip(apply->x() - 10, apply->y() + apply->height() / 2);
        QVERIFY(!s.dialog->childAt(strip));
        moveOver(s.dialog.get(), strip);
        QCOMPARE(colours(), "tt");
    }

    // Each volume remembers the directory last chosen on it, like a drive's current directory.
    void driveChange_showsTheVolume_andReturnsToItsDirectory()
    {
        Setup s;
        s.config.roguePath = s.game();
        s.open();
        auto* drvList = s.dialog->findChild<QComboBox*>("drvList");
        auto* dirList = s.dialog->findChild<QTreeView*>("dirList");
        auto* model = static_cast<QFileSystemModel*>(dirList->model());
        auto shown = [&] { return model->filePath(dirList->currentIndex()); };
        const int home = drvList->currentIndex();
        QCOMPARE(shown(), s.inst.files().directory());
        int other = drvList->findData("/dev/shm");
        for (int i = 0; other < 0 && i < drvList->count(); ++i)
            if (i != home && QStorageInfo(drvList->itemData(i).toString()).isReady() &&
                QDir(drvList->itemData(i).toString()).isReadable())
                other = i;
        if (other < 0)
            QSKIP("this machine has a single readable volume");
        drvList->setCurrentIndex(other);
        QCOMPARE(shown(), drvList->itemData(other).toString());
        QCOMPARE(s.box("txtPath")->text(), drvList->itemText(other) + QDir::separator());
        drvList->setCurrentIndex(home);
        QCOMPARE(shown(), s.inst.files().directory());
        const QString root = drvList->itemText(home); // a root may already end in the separator
        QCOMPARE(s.box("txtPath")->text(),
                 root.endsWith(QDir::separator()) ? root : root + QDir::separator());
    }

    // The directory list sorts its rows after they arrive, which used to scroll the configured
    // directory out of view.
    void open_deepDirectoryAmongManySiblings_isCurrentAndInView()
    {
        QTemporaryDir tree;
        const QString top = QDir(tree.path()).canonicalPath(), target = top + "/d41/d52/d17";
        for (int i = 0; i < 60; ++i) // three levels of 60, created out of name order
            for (const QString& dir : {top, top + "/d41", top + "/d41/d52"})
                QDir().mkpath(dir + QStringLiteral("/d%1").arg(i * 37 % 60, 2, 10, QChar('0')));
        Setup s;
        s.config.roguePath = target;
        s.open();
        auto* dirList = s.dialog->findChild<QTreeView*>("dirList");
        auto* model = static_cast<QFileSystemModel*>(dirList->model());
        auto inView = [&] {
            return dirList->viewport()->rect().contains(
                dirList->visualRect(dirList->currentIndex()));
        };
        int sorts = 0, lost = 0;
        connect(model, &QAbstractItemModel::layoutChanged, s.dialog.get(),
                [&] { ++sorts, lost += !inView(); });
        auto sorted = [&](const QString& dir) {
            const QModelIndex parent = model->index(dir);
            return model->rowCount(parent) == 60 && model->index(0, 0, parent).data() == "d00" &&
                   model->index(59, 0, parent).data() == "d59";
        };
        QTRY_VERIFY(sorted(top) && sorted(top + "/d41") && sorted(top + "/d41/d52"));
        QVERIFY(sorts > 0);
        QCOMPARE(lost, 0);
        QCOMPARE(model->filePath(dirList->currentIndex()), target);
        QVERIFY(dirList->selectionModel()->isSelected(dirList->currentIndex()));
        QVERIFY(inView());
    }
};

QTEST_MAIN(TestFrmDirectory)
#include "tst_frmdirectory.moc"
