#pragma once

// What the tests of imports, scans and the database share: statements run on a database file
// by the database engine's own shell, results logs, and an installation with a scan driver.

#include "Guarded.h"
#include "RecordingUserInterface.h"
#include "TestInstallation.h"

#include "config/Config.h"
#include "import/ScanDriver.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <memory>
#include <stdexcept>
#include <utility>

// The rows a statement yields, each its values joined by '|'.
inline QStringList sql(const QString& database, const QString& statement)
{
    QProcess shell;
    shell.start("sqlite3", {"-bail", "-nullvalue", "NULL", database, statement});
    if (!shell.waitForFinished() || shell.exitStatus() != QProcess::NormalExit || shell.exitCode())
        throw std::runtime_error("cannot run " + statement.toStdString());
    return QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// The lines of a results log above its players.
inline const QByteArray head =
    "Adversarial Game,Map\r\nServer,Home\r\nIndex Team Status Player Kills\r\n";

// An installation whose game directory (stored with blanks around it, which are no part of
// it) holds the first `logs` logs, written a minute apart from `first` on: Alpha plays in
// each, and one player of its own, "Log" and its number. Its stamp file starts empty. It is
// the user interface of its scans.
struct Scan : RecordingUserInterface
{
    // Memory-backed files keep the scans short, and the shared memory folder is open to every
    // user, as the tests that work as an ordinary user need.
    const bool inMemory = QFileInfo("/dev/shm").isWritable() && qputenv("TMPDIR", "/dev/shm");
    TestInstallation inst;
    Config config{inst.files().configuration()};
    std::unique_ptr<ScanDriver> driver;

    explicit Scan(int logs = 10, const QDateTime& first = QDateTime::currentDateTime())
    {
        inst.createDatabase();
        QDir(inst.files().directory()).mkdir("game");
        config.roguePath = "  " + inst.path("game") + " ";
        for (int i = 0; i < logs; ++i) {
            QFile log(inst.path("game/RSRESULTS%1.log").arg(i));
            const QByteArray players = "1 2 0 Alpha 1 50 5\r\n2 1 3 Log" + QByteArray::number(i);
            if (!log.open(QIODevice::WriteOnly) || log.write(head + players + " 2 40 4") < 0 ||
                !log.flush() ||
                !log.setFileTime(first.addSecs(60 * i), QFile::FileModificationTime))
                throw std::runtime_error("cannot write a log");
        }
        restart();
    }
    // The next run of the program: a new driver, which reads the stamps back from the file.
    void restart() { driver = std::make_unique<ScanDriver>(config, inst.files(), *this); }
    // The players' rows, or of each the given columns' values.
    QStringList rows(const QString& columns = "*") const
    {
        return sql(inst.files().database(), "SELECT " + columns + " FROM tblPlayer");
    }
    // Each player's name and games, in the order they came: "Alpha2 Log01 Log11".
    QString games() const { return rows("group_concat(fldName || fldGamesPlayed, ' ')")[0]; }
    // One scan: the texts of its boxes, then its last status line up to the time, which is the
    // time of day alone.
    QStringList run()
    {
        texts.clear();
        reenter = true;
        driver->scanStatFiles();
        reenter = false;
        const QRegularExpression time(R"( at \d\d:\d\d:\d\d\.$)");
        return QStringList(texts) << status().remove(time);
    }
    // The texts of the boxes shown, each marked when it is not an error box with OK, with the
    // installation's directory as <dir>.
    QStringList texts;
    // While the first box of a run() is open, a timer tick asks for another scan: it is dropped.
    bool reenter = false;
    Answer displayMessage(const Message& m) override
    {
        if (std::exchange(reenter, false))
            driver->scanStatFiles();
        const bool error =
            m.title == u"Error" && m.icon == Icon::Critical && m.buttons == Buttons::Ok;
        texts << (error ? "" : "(not an error box) ") + m.text;
        texts.last().replace(inst.path(""), "<dir>/");
        return RecordingUserInterface::displayMessage(m);
    }
};
