// Times a statistics scan that finds ten new logs of 32 players each (320 merges) and imports
// them into a database file that already holds 10,000 players, against the floor: the same
// ten transactions, each a log's 32 lookups and statements with its stamp, written directly on
// the SQLite C API, each followed by the stamp file written durably with plain system calls. For comparison it also times the 320 merges as they were made before, each
// in a connection and transaction of its own. Then times a scan that finds nothing new, both
// within a run (the stamps in memory) and as the first scan of a run (the stamps read from
// their file).
// Everything lives in a temporary directory under the given directory (default: the current
// one), so that it is on the disk the program would use.
//
// Usage: bench_scan [directory] [rounds]   (default: the current directory, 5 rounds)
#include "config/Config.h"
#include "player/PlayerRecord.h"
#include "import/ScanDriver.h"
#include "platform/Failure.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "BenchSupport.h"

using namespace BenchSupport;

namespace {

constexpr int storedPlayers = 10000;
constexpr int logs = 10;
constexpr int playersPerLog = 32;

class SilentUserInterface : public UserInterface
{
public:
    int messages = 0;
    QString lastStatus;

protected:
    void displayStatus(const QString& text) override { lastStatus = text; }
    Answer displayMessage(const Message&) override
    {
        ++messages;
        return Answer::Ok;
    }
};

struct Line
{
    QString name;
    bool killed;
    int kills, hitPercent, averageRounds;
};

// Ten games: three quarters known players, a quarter newcomers with names of two words.
std::vector<std::vector<Line>> games()
{
    std::mt19937 random(11);
    std::vector<std::vector<Line>> all(logs);
    for (int log = 0; log < logs; ++log) {
        for (int p = 0; p < playersPerLog; ++p) {
            const QString name = p % 4 == 3
                                     ? QStringLiteral("New Comer%1").arg(log * playersPerLog + p)
                                     : QStringLiteral("Player%1").arg(random() % storedPlayers);
            all[log].push_back({name, random() % 2 == 0, int(random() % 30), int(random() % 101),
                                int(1 + random() % 10)});
        }
    }
    return all;
}

QByteArray logText(const std::vector<Line>& lines)
{
    QByteArray text = "Adversarial Team Survival,Embassy\r\nServer,Bench\r\n"
                      "Index Team Status Player Kills Hit% Rounds Shots\r\n";
    int index = 1;
    for (const Line& line : lines) {
        text += QStringLiteral("%1 Blue %2 %3 %4 %5 %6 100\r\n")
                    .arg(index++)
                    .arg(line.killed ? 3 : 0)
                    .arg(line.name)
                    .arg(line.kills)
                    .arg(line.hitPercent)
                    .arg(line.averageRounds)
                    .toLatin1();
    }
    return text;
}

PlayerRecord recordOf(const Line& line)
{
    PlayerRecord record;
    record.setPlayerName(line.name);
    record.setKilled(line.killed ? 1 : 0);
    record.setKills(line.kills);
    record.setHitPercent(std::int16_t(line.hitPercent));
    record.setAverageRounds(std::int16_t(line.averageRounds));
    record.setNumGames(1);
    record.setSkill();
    return record;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
          "cannot write a file");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QTemporaryDir dir(base + QStringLiteral("/bench_scan-XXXXXX"));
    try {
        check(dir.isValid(), "cannot create the temporary directory");
        const QString seed = dir.filePath(QStringLiteral("seed.mdb"));
        createSeed(seed, storedPlayers);
        const std::vector<std::vector<Line>> lines = games();
        std::vector<PlayerRecord> records;
        for (const std::vector<Line>& game : lines)
            for (const Line& line : game)
                records.push_back(recordOf(line));

        check(QDir(dir.path()).mkpath(QStringLiteral("game")), "cannot create the game directory");
        const QString gameDir = dir.filePath(QStringLiteral("game"));
        for (int log = 0; log < logs; ++log)
            writeFile(gameDir + QStringLiteral("/RSRESULTS%1.log").arg(log), logText(lines[log]));
        const ProgramFiles files(dir.path());
        writeFile(files.configuration(), "\r\n 300\r\n 20\r\n\r\n\r\n\r\n\r\n 21\r\n\r\n");
        Config config(files.configuration());
        config.roguePath = gameDir;
        const QString floorPath = dir.filePath(QStringLiteral("floor.mdb"));
        const QString alonePath = dir.filePath(QStringLiteral("alone.mdb"));
        const QString floorStamps = dir.filePath(QStringLiteral("floorStamps.txt"));
        const QByteArray floorNative = floorPath.toUtf8(), aloneNative = alonePath.toUtf8();
        QList<QByteArray> stamps;
        for (int log = 0; log < logs; ++log)
            stamps.append(StampCollection::formatStamp(
                QDateTime::fromSecsSinceEpoch(QFileInfo(gameDir + QStringLiteral("/RSRESULTS%1.log").arg(log))
                                                  .lastModified().toSecsSinceEpoch())).toLatin1());

        std::vector<double> scanTimes, floorTimes, ratios, aloneTimes, idleInRun, idleFirst;
        for (int round = 0; round < rounds; ++round) {
            copyToDisk(seed, files.database());
            copyToDisk(seed, floorPath);
            copyToDisk(seed, alonePath);
            writeFile(files.stamps(), {});
            SilentUserInterface ui;
            auto driver = std::make_unique<ScanDriver>(config, files, ui);

            // The two sides take turns at going first, so that both meet the same disk load.
            qint64 scanTime = 0;
            qint64 floorTime = 0;
            auto runScan = [&] {
                QElapsedTimer timer;
                timer.start();
                driver->scanStatFiles();
                scanTime = timer.nsecsElapsed();
            };
            auto runFloor = [&] {
                QElapsedTimer timer;
                timer.start();
                QByteArray stampFile;
                for (int log = 0; log < logs; ++log) {
                    floorLogMerge(floorNative.constData(), &records[0] + log * playersPerLog,
                                  &records[0] + (log + 1) * playersPerLog, log, stamps[log].constData());
                    stampFile += stamps[log] + "\r\n";
                    floorStampFile(floorStamps, stampFile + QByteArray("\r\n").repeated(logs - 1 - log));
                }
                floorTime = timer.nsecsElapsed();
            };
            if (round % 2 == 0) {
                runScan();
                runFloor();
            } else {
                runFloor();
                runScan();
            }
            check(ui.messages == 0 && ui.lastStatus.startsWith(u"Status scan successful"),
                  "the scan did not succeed");
            check(tableDump(files.database()) == tableDump(floorPath), "the two sides disagree");
            QElapsedTimer aloneTimer;
            aloneTimer.start();
            for (const PlayerRecord& record : records)
                floorMerge(aloneNative.constData(), record);
            aloneTimes.push_back(double(aloneTimer.nsecsElapsed()) / 1e6);
            check(tableDump(alonePath) == tableDump(floorPath), "the merges one by one disagree");
            scanTimes.push_back(double(scanTime) / 1e6);
            floorTimes.push_back(double(floorTime) / 1e6);
            ratios.push_back(double(scanTime) / double(floorTime));
            std::printf("round %d: scan %.1f ms, C API floor %.1f ms, ratio %.3f\n", round + 1,
                        scanTimes.back(), floorTimes.back(), ratios.back());

            // Nothing new: within the run, and as the first scan of a new run.
            for (int i = 0; i < 20; ++i) {
                QElapsedTimer timer;
                timer.start();
                driver->scanStatFiles();
                idleInRun.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
            driver.reset();
            for (int i = 0; i < 5; ++i) {
                ScanDriver fresh(config, files, ui);
                QElapsedTimer timer;
                timer.start();
                fresh.scanStatFiles();
                idleFirst.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
            check(tableDump(files.database()) == tableDump(floorPath), "a scan imported again");
        }
        std::printf("%d logs of %d players (%zu merges, a quarter of them new players) into %d "
                    "players, %d rounds, in %s\n",
                    logs, playersPerLog, records.size(), storedPlayers, rounds,
                    qPrintable(QDir::toNativeSeparators(dir.path())));
        std::printf("scan of ten new logs:   %.1f ms (median)\n", median(scanTimes));
        std::printf("C API floor:            %.1f ms (median)\n", median(floorTimes));
        std::printf("ratio:                  %.3f (median of the rounds' ratios; target <= 1.2)\n",
                    median(ratios));
        std::printf("before, one transaction per merge (C API): %.1f ms (median)\n",
                    median(aloneTimes));
        std::printf("scan with nothing new:  %.3f ms within a run, %.3f ms as a run's first scan "
                    "(medians; target <= 1 ms)\n",
                    median(idleInRun), median(idleFirst));
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "bench_scan: %s\n", failure.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_scan: %s\n", error.what());
    }
    return 1;
}
