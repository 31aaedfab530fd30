#pragma once

#include <QMap>
#include <QString>

class Database;

// The stamp of each log as the database recorded it when the log's players were merged, in a
// table of its own (tblStamp: fldLog, the log's number, and fldStamp, the stamp's text as the
// stamp list writes it). It is written in the same transaction as the players, so that the
// database and this table never disagree about which games were counted. A database that has
// never recorded a stamp has no such table.
namespace StampTable {

// Every stamp recorded: the log's number to the stamp's text.
QMap<int, QString> read(Database& database);
// The stamp recorded for one log; empty when none is.
QString stampOf(Database& database, int log);
// Records the log's stamp, creating the table where it is missing.
void record(Database& database, int log, const QString& stamp);
// Forgets every stamp.
void clear(Database& database);

} // namespace StampTable
