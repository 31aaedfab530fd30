#pragma once

#include "db/Database.h"

#include <QString>

#include <optional>

class PlayerRecord;

// Merges the players of one results log into the database in one transaction, which also
// records the log's new stamp (StampTable): the log is counted with its stamp, or not at all.
// The database is opened, and the transaction begun, when the first player comes, so that a
// log without players needs no database. A log whose stamp the database holds already was
// merged by a run that ended before it wrote the stamp file: its players are not merged again.
// A merge that is not committed is rolled back when the object goes.
class LogMerge
{
public:
    LogMerge(QString databasePath, int log, QString stamp);

    // Merges one player (findPlayer); every failure goes on to the caller.
    void merge(const PlayerRecord& record);
    // Records the stamp and commits what was merged; without any player, writes nothing.
    void commit();

private:
    QString m_databasePath;
    int m_log;
    QString m_stamp;
    std::optional<Database> m_database;
    bool m_mergedBefore = false;
};
