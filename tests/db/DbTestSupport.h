#pragma once

#include "platform/Failure.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <sqlite3.h>
#include <stdexcept>

// Direct access to a test's database file, beside the code under test.

// The code of the failure the action raises, 0 when it raises none.
inline int failureCode(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Failure& failure) {
        return failure.code();
    }
    return 0;
}

inline void runSql(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    const bool ok =
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK &&
        sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    const std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    if (!ok)
        throw std::runtime_error("runSql: " + message);
}

// Every row of the query, each as its values; integers as qlonglong, texts as QString.
inline QList<QVariantList> queryRows(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    QList<QVariantList> rows;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK ||
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("queryRows: cannot run the query");
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        QVariantList row;
        for (int column = 0; column < sqlite3_column_count(statement); ++column) {
            switch (sqlite3_column_type(statement, column)) {
            case SQLITE_INTEGER:
                row.append(qlonglong(sqlite3_column_int64(statement, column)));
                break;
            case SQLITE_NULL:
                row.append(QVariant());
                break;
            default:
                row.append(QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, column))));
            }
        }
        rows.append(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

inline QList<QVariantList> allPlayers(const QString& path)
{
    return queryRows(path,
                     QStringLiteral("SELECT fldName, fldSkill, fldAccuracy, fldKills, fldKilled, "
                                    "fldHitPercent, fldAverageRounds, fldGamesPlayed "
                                    "FROM tblPlayer ORDER BY rowid"));
}

inline QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
