#include "LogMerge.h"

#include "db/PlayerMerge.h"
#include "db/StampTable.h"

LogMerge::LogMerge(QString databasePath, int log, QString stamp)
    : m_databasePath(std::move(databasePath)), m_log(log), m_stamp(std::move(stamp))
{
}

void LogMerge::merge(const PlayerRecord& record)
{
    if (!m_database) {
        Database database = Database::open(m_databasePath);
        // The write lock at once, so that a database another program holds fails here.
        database.execute(QStringLiteral("BEGIN IMMEDIATE"));
        m_mergedBefore = StampTable::stampOf(database, m_log) == m_stamp;
        m_database = std::move(database);
    }
    if (!m_mergedBefore)
        findPlayer(record, *m_database);
}

void LogMerge::commit()
{
    if (!m_database)
        return;
    if (!m_mergedBefore)
        StampTable::record(*m_database, m_log, m_stamp);
    m_database->execute(QStringLiteral("COMMIT"));
    m_database->close();
    m_database.reset();
}
