#include "DbError.h"

#include <QDir>

#include <sqlite3.h>

namespace DbError {

bool isDatabaseFailure(int code)
{
    return code >= EngineError && code <= ObjectClosed;
}

namespace {

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

Failure fromEngine(int resultCode, const QString& message, const QString& path)
{
    switch (resultCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {
            Locked,
            QStringLiteral("Could not use '%1'; currently locked (%2)").arg(native(path), message)};
    case SQLITE_NOTADB:
        return {
            NotADatabase,
            QStringLiteral("Unrecognized database format '%1' (%2)").arg(native(path), message)};
    case SQLITE_CORRUPT:
        return {Corrupt,
                QStringLiteral("The database '%1' is damaged (%2)").arg(native(path), message)};
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return {CannotOpen, QStringLiteral("The database engine cannot open the file '%1' (%2)")
                                .arg(native(path), message)};
    case SQLITE_FULL:
        return {DiskFull, QStringLiteral("Not enough space on disk (%1)").arg(message)};
    case SQLITE_ERROR:
        if (message.startsWith(QLatin1String("no such column")) ||
            message.contains(QLatin1String(" has no column named ")))
            return {TooFewParameters,
                    QStringLiteral("Too few parameters. Expected 1 (%1)").arg(message)};
        if (message.startsWith(QLatin1String("no such table")))
            return {TableNotFound,
                    QStringLiteral("The database engine cannot find the input table (%1)")
                        .arg(message)};
        break;
    default:
        break;
    }
    return {EngineError, message};
}

Failure fileNotFound(const QString& path)
{
    return {FileNotFound, QStringLiteral("Could not find file '%1'").arg(native(path))};
}

Failure databaseExists(const QString& path)
{
    return {DatabaseExists, QStringLiteral("Database already exists ('%1')").arg(native(path))};
}

Failure noCurrentRecord()
{
    return {NoCurrentRecord, QStringLiteral("No current record")};
}

Failure itemNotFound(const QString& fieldName)
{
    return {ItemNotFound,
            QStringLiteral("Item not found in this collection ('%1')").arg(fieldName)};
}

Failure textAfterStatement()
{
    return {TextAfterStatement, QStringLiteral("Characters found after end of SQL statement")};
}

Failure tooFewParameters(int expected)
{
    return {TooFewParameters, QStringLiteral("Too few parameters. Expected %1").arg(expected)};
}

Failure objectClosed()
{
    return {ObjectClosed, QStringLiteral("Object invalid or no longer set")};
}

} // namespace DbError
