// Times a statistics scan that finds ten new logs of 32 players each (320 merges) and imports
// them into a database file that already holds 10,000 players, against the floor: the same 320
// merges, each an open, a lookup, one statement and a close written directly on the SQLite C
// API. Then times a scan that finds nothing new, both within a run (the stamps in memory) and
// as the first scan of a run (the stamps read from their file).
// Everything lives in a temporary directory under the given directory (default: the current
// one), so that it is on the disk the program would use.
//
// Usage: bench_scan [directory] [rounds]   (default: the current directory, 5 rounds)
#include "config/Config.h"
#include "import/PlayerRecord.h"
#include "import/ScanDriver.h"
#include "platform/Failure.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

namespace {

constexpr int storedPlayers = 10000;
constexpr int logs = 10;
constexpr int playersPerLog = 32;

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(what);
}

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

void createSeed(const QString& path)
{
    QFile schemaFile(QStringLiteral(TALLYVANE_SCHEMA_FILE));
    check(schemaFile.open(QIODevice::ReadOnly), "cannot read the schema");
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK, "cannot create the seed");
    check(sqlite3_exec(db, schemaFile.readAll().constData(), nullptr, nullptr, nullptr) == SQLITE_OK,
          "cannot lay out the seed");
    std::mt19937 random(7);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tblPlayer VALUES (?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
    for (int i = 0; i < storedPlayers; ++i) {
        const std::string name = "Player" + std::to_string(i);
        const int kills = int(random() % 200);
        const int killed = 1 + int(random() % 200);
        const int hit = int(random() % 101);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 2, int(std::nearbyint(100.0 * kills / killed)));
        sqlite3_bind_int(insert, 3, int(std::nearbyint(double(hit) * kills / killed)));
        sqlite3_bind_int(insert, 4, kills);
        sqlite3_bind_int(insert, 5, killed);
        sqlite3_bind_int(insert, 6, hit);
        sqlite3_bind_int(insert, 7, 1 + int(random() % 10));
        sqlite3_bind_int(insert, 8, 1 + int(random() % 50));
        check(sqlite3_step(insert) == SQLITE_DONE, "cannot fill the seed");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK, "cannot fill the seed");
    sqlite3_close(db);
}

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

int halfEven(double value) { return int(std::nearbyint(value)); }

// The floor: the merge of one record with nothing but the C API and plain text (the names here
// hold no quote).
void floorMerge(const char* path, const PlayerRecord& record)
{
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK, "open");
    sqlite3_busy_timeout(db, 5000);
    const std::string name = record.playerName().toStdString();
    const std::string lookup = " SELECT * FROM tblPlayer WHERE fldName = '" + name + "'";
    sqlite3_stmt* found = nullptr;
    check(sqlite3_prepare_v2(db, lookup.c_str(), int(lookup.size()), &found, nullptr) == SQLITE_OK,
          "lookup");
    char statement[512];
    const int step = sqlite3_step(found);
    if (step == SQLITE_ROW) {
        const std::string storedName = reinterpret_cast<const char*>(sqlite3_column_text(found, 0));
        const long long kills = sqlite3_column_int64(found, 3) + record.kills();
        const long long killed = sqlite3_column_int64(found, 4) + record.killed();
        int hit = sqlite3_column_int(found, 5);
        int rounds = sqlite3_column_int(found, 6);
        const long long played = sqlite3_column_int64(found, 7) + 1;
        if (record.averageRounds() > 0) {
            hit = halfEven((hit + record.hitPercent()) / 2.0);
            rounds = halfEven((rounds + record.averageRounds()) / 2.0);
        }
        int skill = 0, accuracy = 0;
        if (kills != 0 && killed == 0) {
            skill = int(kills * 100);
            accuracy = int(kills * hit);
        } else if (kills != 0) {
            skill = halfEven(double(kills) / double(killed) * 100.0);
            accuracy = halfEven(double(kills) / double(killed) * hit);
        }
        std::snprintf(statement, sizeof statement,
                      " UPDATE tblPlayer  SET fldSkill = %d, fldAccuracy = %d, fldKills = %lld, "
                      "fldKilled = %lld, fldHitPercent = %d, fldAverageRounds = %d, "
                      "fldGamesPlayed = %lld WHERE fldName = '%s'",
                      skill, accuracy, kills, killed, hit, rounds, played, storedName.c_str());
    } else {
        check(step == SQLITE_DONE, "lookup step");
        std::snprintf(statement, sizeof statement,
                      " INSERT INTO tblPlayer  (fldName, fldSkill, fldAccuracy, fldKills, fldKilled, "
                      "fldHitPercent, fldAverageRounds, fldGamesPlayed) VALUES ('%s',%d,%d,%d,%d,%d,%d,%d)",
                      name.c_str(), int(record.readSkill()), int(record.accuracy()), int(record.kills()),
                      int(record.killed()), int(record.hitPercent()), int(record.averageRounds()),
                      int(record.numGames()));
    }
    sqlite3_finalize(found);
    check(sqlite3_exec(db, statement, nullptr, nullptr, nullptr) == SQLITE_OK, "statement");
    sqlite3_close(db);
}

void copyToDisk(const QString& source, const QString& destination)
{
    QFile::remove(destination);
    check(QFile::copy(source, destination), "cannot copy the seed");
    QFile file(destination);
    check(file.open(QIODevice::ReadWrite) && ::fsync(file.handle()) == 0, "cannot flush the copy");
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
          "cannot write a file");
}

QByteArray tableDump(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM tblPlayer ORDER BY rowid", -1, &rows, nullptr);
    QByteArray dump;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        for (int column = 0; column < 8; ++column)
            dump += QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(rows, column))) + '|';
        dump += '\n';
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return dump;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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
        createSeed(seed);
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
        const QByteArray floorNative = floorPath.toUtf8();

        std::vector<double> scanTimes, floorTimes, ratios, idleInRun, idleFirst;
        for (int round = 0; round < rounds; ++round) {
            copyToDisk(seed, files.database());
            copyToDisk(seed, floorPath);
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
                for (const PlayerRecord& record : records)
                    floorMerge(floorNative.constData(), record);
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
