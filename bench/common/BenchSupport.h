#pragma once

#include "player/PlayerRecord.h"

#include <QByteArray>
#include <QString>

#include <vector>

struct sqlite3;

// What the benchmarks share: the seeded player table, the floors the merges are set against
// (the same work written directly on the SQLite C API), and figures.
namespace BenchSupport {

// Throws with the text when ok is false.
void check(bool ok, const char* what);
// A database of players named Player0, Player1, ... with figures of a fixed random sequence.
void createSeed(const QString& path, int players);
// The merge of one record, a lookup and a statement, with nothing but the C API and plain text.
void floorMergeInto(sqlite3* db, const PlayerRecord& record);
// One merge in a connection and transaction of its own, as each merge was made before a log's
// players shared one.
void floorMerge(const char* path, const PlayerRecord& record);
// The floor of a log's import: the records of [first, last) and the log's stamp in one
// transaction, with the stamp lookup that comes before.
void floorLogMerge(const char* path, const PlayerRecord* first, const PlayerRecord* last, int log,
                   const char* stamp);
// Copies the seed to the destination and flushes it to disk, so that no timing pays for that.
void copyToDisk(const QString& source, const QString& destination);
// Every row of the player table, for checking that two runs left the same table.
QByteArray tableDump(const QString& path);
// The stamp file written as a scan writes it after each log: replaced whole and made durable,
// with plain system calls.
void floorStampFile(const QString& path, const QByteArray& content);
double median(std::vector<double> values);

} // namespace BenchSupport
