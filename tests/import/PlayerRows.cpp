#include "PlayerRows.h"

#include <QFile>

#include <sqlite3.h>
#include <stdexcept>

QStringList playerRows(const QString& databasePath)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    const char* sql = "SELECT fldName, fldKills, fldKilled, fldHitPercent, fldAverageRounds, "
                      "fldGamesPlayed FROM tblPlayer ORDER BY rowid";
    if (sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot read tblPlayer");
    }
    QStringList rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        QStringList fields;
        for (int i = 0; i < 6; ++i)
            fields.append(QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(statement, i))));
        rows.append(fields.join(u'|'));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

int gamesPlayed(const QString& databasePath, const QString& name)
{
    for (const QString& row : playerRows(databasePath)) {
        if (row.section(u'|', 0, 0) == name)
            return row.section(u'|', -1).toInt();
    }
    return -1;
}
