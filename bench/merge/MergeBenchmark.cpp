// Times 1,000 merges through findPlayer (half new players, half known ones, the known ones in
// varying letter case) into a database file that already holds 10,000 players, against the
// floor: the same open, lookup, statement and close written directly on the SQLite C API.
// The database lives in a temporary directory under the given directory (default: the current
// one), so that it is on the disk the program would use rather than in memory.
//
// Usage: bench_merge [directory] [rounds]   (default: the current directory, 3 rounds)
#include "db/PlayerMerge.h"
#include "import/PlayerRecord.h"
#include "platform/Failure.h"

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
constexpr int merges = 1000;

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(what);
}

void createSeed(const QString& path)
{
    QFile schemaFile(QStringLiteral(TALLYVANE_SCHEMA_FILE));
    check(schemaFile.open(QIODevice::ReadOnly), "cannot read the schema");
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK, "cannot create the seed");
    check(sqlite3_exec(db, schemaFile.readAll().constData(), nullptr, nullptr, nullptr) ==
              SQLITE_OK,
          "cannot lay out the seed");
    std::mt19937 random(7);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tblPlayer VALUES (?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert,
                       nullptr);
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
        sqlite3_bind_int(insert, 7, int(random() % 11));
        sqlite3_bind_int(insert, 8, 1 + int(random() % 50));
        check(sqlite3_step(insert) == SQLITE_DONE, "cannot fill the seed");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK,
          "cannot fill the seed");
    sqlite3_close(db);
}

std::vector<PlayerRecord> games()
{
    std::mt19937 random(11);
    std::vector<PlayerRecord> records;
    for (int i = 0; i < merges; ++i) {
        PlayerRecord record;
        if (i % 2 == 0) {
            QString name = QStringLiteral("Player%1").arg(random() % storedPlayers);
            record.setPlayerName(i % 4 == 0 ? name.toUpper() : name);
        } else {
            record.setPlayerName(QStringLiteral("Newcomer%1").arg(i));
        }
        record.setKills(std::int32_t(random() % 30));
        record.setKilled(std::int32_t(random() % 30));
        record.setHitPercent(std::int16_t(random() % 101));
        record.setAverageRounds(std::int16_t(random() % 11));
        record.setNumGames(1);
        record.setSkill();
        records.push_back(record);
    }
    return records;
}

// The floor: the merge of one record with nothing but the C API and plain text.
std::string quoted(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out;
}

int halfEven(double value)
{
    return int(std::nearbyint(value));
}

void floorMerge(const char* path, const PlayerRecord& record)
{
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK, "open");
    sqlite3_busy_timeout(db, 5000);
    const std::string name = quoted(record.playerName().toStdString());
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
                      skill, accuracy, kills, killed, hit, rounds, played,
                      quoted(storedName).c_str());
    } else {
        check(step == SQLITE_DONE, "lookup step");
        std::snprintf(
            statement, sizeof statement,
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

// Elapsed nanoseconds of the merges of records [first, last).
template <typename Merge>
qint64 timeMerges(const std::vector<PlayerRecord>& records, std::size_t first, std::size_t last,
                  Merge merge)
{
    QElapsedTimer timer;
    timer.start();
    for (std::size_t i = first; i < last; ++i)
        merge(records[i]);
    return timer.nsecsElapsed();
}

// Puts a copy of the seed on disk before it is timed, so that neither side pays for writing
// back the copy.
void copyToDisk(const QString& source, const QString& destination)
{
    check(QFile::copy(source, destination), "cannot copy the seed");
    QFile file(destination);
    check(file.open(QIODevice::ReadWrite) && ::fsync(file.handle()) == 0, "cannot flush the copy");
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
            dump +=
                QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(rows, column))) + '|';
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
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir dir(base + QStringLiteral("/bench_merge-XXXXXX"));
    try {
        check(dir.isValid(), "cannot create the temporary directory");
        const QString seed = dir.filePath(QStringLiteral("seed.mdb"));
        createSeed(seed);
        const std::vector<PlayerRecord> records = games();

        // Blocks of the two sides alternate, so that both meet the same load on a shared disk.
        constexpr std::size_t block = 50;
        std::vector<double> ours, floor, ratios;
        for (int round = 0; round < rounds; ++round) {
            const QString oursPath = dir.filePath(QStringLiteral("ours%1.mdb").arg(round));
            const QString floorPath = dir.filePath(QStringLiteral("floor%1.mdb").arg(round));
            copyToDisk(seed, oursPath);
            copyToDisk(seed, floorPath);
            const QByteArray floorNative = floorPath.toUtf8();
            qint64 oursTime = 0;
            qint64 floorTime = 0;
            for (std::size_t first = 0; first < records.size(); first += block) {
                const std::size_t last = std::min(first + block, records.size());
                auto runOurs = [&] {
                    oursTime += timeMerges(records, first, last,
                                           [&](const PlayerRecord& r) { findPlayer(r, oursPath); });
                };
                auto runFloor = [&] {
                    floorTime += timeMerges(records, first, last, [&](const PlayerRecord& r) {
                        floorMerge(floorNative.constData(), r);
                    });
                };
                if ((first / block) % 2 == 0) {
                    runOurs();
                    runFloor();
                } else {
                    runFloor();
                    runOurs();
                }
            }
            check(tableDump(oursPath) == tableDump(floorPath), "the two merges disagree");
            ours.push_back(double(oursTime) / 1000.0 / double(records.size()));
            floor.push_back(double(floorTime) / 1000.0 / double(records.size()));
            ratios.push_back(double(oursTime) / double(floorTime));
            std::printf("round %d: findPlayer %.1f us/merge, C API floor %.1f us/merge\n",
                        round + 1, ours.back(), floor.back());
        }
        std::printf("%d merges (half new, half known) into %d players, %d rounds, in %s\n", merges,
                    storedPlayers, rounds, qPrintable(QDir::toNativeSeparators(dir.path())));
        std::printf("findPlayer:   %.1f us per merge (median of rounds)\n", median(ours));
        std::printf("C API floor:  %.1f us per merge (median of rounds)\n", median(floor));
        std::printf("ratio:        %.3f (median of the rounds' ratios; target <= 1.15)\n",
                    median(ratios));
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "bench_merge: %s\n", failure.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_merge: %s\n", error.what());
    }
    return 1;
}
