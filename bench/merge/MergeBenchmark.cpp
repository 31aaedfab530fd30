// Times 1,000 merges (half new players, half known ones, the known ones in varying letter case)
// into a database file that already holds 10,000 players, 32 to a transaction as the import of
// a log makes them (LogMerge, with the log's stamp), against the floor: the same transactions
// written directly on the SQLite C API. For comparison it also times the merges as they were
// made before, each in a connection and transaction of its own, on the C API.
// The database lives in a temporary directory under the given directory (default: the current
// one), so that it is on the disk the program would use rather than in memory.
//
// Usage: bench_merge [directory] [rounds]   (default: the current directory, 3 rounds)
#include "db/LogMerge.h"
#include "player/PlayerRecord.h"
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

#include "BenchSupport.h"

using namespace BenchSupport;

namespace {

constexpr int storedPlayers = 10000;
constexpr int merges = 1000;

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
        createSeed(seed, storedPlayers);
        const std::vector<PlayerRecord> records = games();

        // Blocks of the two sides alternate, so that both meet the same load on a shared disk.
        constexpr std::size_t block = 32;
        std::vector<double> ours, floor, ratios, alone;
        for (int round = 0; round < rounds; ++round) {
            const QString oursPath = dir.filePath(QStringLiteral("ours%1.mdb").arg(round));
            const QString floorPath = dir.filePath(QStringLiteral("floor%1.mdb").arg(round));
            const QString alonePath = dir.filePath(QStringLiteral("alone%1.mdb").arg(round));
            for (const QString& path : {oursPath, floorPath, alonePath})
                copyToDisk(seed, path);
            const QByteArray floorNative = floorPath.toUtf8(), aloneNative = alonePath.toUtf8();
            qint64 oursTime = 0, floorTime = 0, aloneTime = 0;
            for (std::size_t first = 0; first < records.size(); first += block) {
                const std::size_t last = std::min(first + block, records.size());
                const int log = int(first / block % 10);
                const QString stamp = QStringLiteral("#2024-03-02 22:%1:00#").arg(first / block % 60, 2, 10, QLatin1Char('0'));
                const QByteArray stampText = stamp.toLatin1();
                auto runOurs = [&] {
                    QElapsedTimer timer;
                    timer.start();
                    LogMerge merge(oursPath, log, stamp);
                    for (std::size_t i = first; i < last; ++i)
                        merge.merge(records[i]);
                    merge.commit();
                    oursTime += timer.nsecsElapsed();
                };
                auto runFloor = [&] {
                    QElapsedTimer timer;
                    timer.start();
                    floorLogMerge(floorNative.constData(), &records[first], &records[0] + last, log,
                                  stampText.constData());
                    floorTime += timer.nsecsElapsed();
                };
                if ((first / block) % 2 == 0) {
                    runOurs();
                    runFloor();
                } else {
                    runFloor();
                    runOurs();
                }
                aloneTime += timeMerges(records, first, last, [&](const PlayerRecord& r) {
                    floorMerge(aloneNative.constData(), r);
                });
            }
            check(tableDump(oursPath) == tableDump(floorPath), "the two merges disagree");
            check(tableDump(oursPath) == tableDump(alonePath), "the merges one by one disagree");
            ours.push_back(double(oursTime) / 1000.0 / double(records.size()));
            floor.push_back(double(floorTime) / 1000.0 / double(records.size()));
            alone.push_back(double(aloneTime) / 1000.0 / double(records.size()));
            ratios.push_back(double(oursTime) / double(floorTime));
            std::printf("round %d: LogMerge %.1f us/merge, C API floor %.1f us/merge, one "
                        "transaction per merge %.1f us/merge\n",
                        round + 1, ours.back(), floor.back(), alone.back());
        }
        std::printf("%d merges (half new, half known), %zu to a transaction, into %d players, "
                    "%d rounds, in %s\n",
                    merges, block, storedPlayers, rounds, qPrintable(QDir::toNativeSeparators(dir.path())));
        std::printf("LogMerge:     %.1f us per merge (median of rounds)\n", median(ours));
        std::printf("C API floor:  %.1f us per merge (median of rounds)\n", median(floor));
        std::printf("ratio:        %.3f (median of the rounds' ratios; target <= 1.15)\n",
                    median(ratios));
        std::printf("before, one transaction per merge (C API): %.1f us per merge (median)\n",
                    median(alone));
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "bench_merge: %s\n", failure.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_merge: %s\n", error.what());
    }
    return 1;
}
