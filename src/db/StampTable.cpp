#include "StampTable.h"

#include "db/Database.h"
#include "db/Recordset.h"
#include "db/SqlText.h"
#include "platform/Numbers.h"

namespace StampTable {
namespace {

bool exists(Database& database)
{
    return database
               .openRecordset(QStringLiteral(
                   "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'tblStamp'"))
               .recordCount() > 0;
}

} // namespace

QMap<int, QString> read(Database& database)
{
    QMap<int, QString> stamps;
    if (!exists(database))
        return stamps;
    Recordset found = database.openRecordset(QStringLiteral("SELECT fldLog, fldStamp FROM tblStamp"));
    for (; !found.eof(); found.moveNext())
        stamps.insert(found.field(QStringLiteral("fldLog")).toInt(),
                      found.field(QStringLiteral("fldStamp")).toString());
    return stamps;
}

QString stampOf(Database& database, int log)
{
    if (!exists(database))
        return {};
    const Recordset found = database.openRecordset(
        QStringLiteral("SELECT fldStamp FROM tblStamp WHERE fldLog = ") + Numbers::formatPlain(log));
    return found.recordCount() ? found.field(QStringLiteral("fldStamp")).toString() : QString();
}

void record(Database& database, int log, const QString& stamp)
{
    database.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS tblStamp (fldLog INTEGER PRIMARY "
                                    "KEY, fldStamp TEXT NOT NULL)"));
    database.execute(QStringLiteral("INSERT OR REPLACE INTO tblStamp (fldLog, fldStamp) VALUES (") +
                     Numbers::formatPlain(log) + QStringLiteral(", '") + sqlText(stamp) +
                     QStringLiteral("')"));
}

void clear(Database& database)
{
    if (exists(database))
        database.execute(QStringLiteral("DELETE FROM tblStamp"));
}

} // namespace StampTable
