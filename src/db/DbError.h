#pragma once

#include "platform/Failure.h"

#include <QString>

// The numbers of the player database's failures, in one place. Handlers branch on them (the
// import passes over TooFewParameters without a message); messages show the number and the
// description. Every description names the file or the engine's own message where that helps.
namespace DbError {

enum Code : int
{
    // Anything else the engine reports; the description is the engine's message.
    EngineError = 3000,
    // A field is read while the record set has no current row (empty, or moved past the end).
    NoCurrentRecord = 3021,
    // The database file (or the source of a compaction) does not exist.
    FileNotFound = 3024,
    DiskFull = 3026,
    // The file is a database whose content is damaged.
    Corrupt = 3049,
    // The file exists but cannot be opened for reading and writing (permissions, a directory,
    // a read-only file or medium).
    CannotOpen = 3051,
    // A statement names a field that the table does not have (to read, set or insert), or
    // leaves a parameter unbound.
    TooFewParameters = 3061,
    // A statement names a table that the database does not hold.
    TableNotFound = 3078,
    // Text follows the one statement that was asked for; nothing is run.
    TextAfterStatement = 3142,
    // The destination of a compaction exists already; it is left untouched.
    DatabaseExists = 3204,
    // Another connection holds the file locked for longer than the busy time-out.
    Locked = 3260,
    // A field name that the record set does not have.
    ItemNotFound = 3265,
    // The file is not a database at all.
    NotADatabase = 3343,
    // An operation on a database handle that has been closed.
    ObjectClosed = 3420,
};

// Whether a failure is one of the database's (as against the data's or the log's).
bool isDatabaseFailure(int code);

// The failure for an engine result code (SQLITE_*) with the engine's message, about the
// database file at path.
Failure fromEngine(int resultCode, const QString& message, const QString& path);

Failure fileNotFound(const QString& path);
Failure databaseExists(const QString& path);
Failure noCurrentRecord();
Failure itemNotFound(const QString& fieldName);
Failure textAfterStatement();
Failure tooFewParameters(int expected);
Failure objectClosed();

} // namespace DbError
