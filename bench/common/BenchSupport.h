#pragma once

#include "import/PlayerRecord.h"

#include <QByteArray>
#include <QString>

#include <vector>

// What the benchmarks share: the seeded player table, the floor every merge is set against (the
// same open, lookup, statement and close written directly on the SQLite C API), and figures.
namespace BenchSupport {

// Throws with the text when ok is false.
void check(bool ok, const char* what);
// A database of players named Player0, Player1, ... with figures of a fixed random sequence.
void createSeed(const QString& path, int players);
// The floor: the merge of one record with nothing but the C API and plain text.
void floorMerge(const char* path, const PlayerRecord& record);
// Copies the seed to the destination and flushes it to disk, so that no timing pays for that.
void copyToDisk(const QString& source, const QString& destination);
// Every row of the player table, for checking that two runs left the same table.
QByteArray tableDump(const QString& path);
double median(std::vector<double> values);

} // namespace BenchSupport
