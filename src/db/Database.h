#pragma once

#include "db/Recordset.h"

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// One open handle on the player database file. Opening never creates the file; the handle
// is closed when the object goes (or by close()). Every failure is a Failure carrying one
// of the numbers of DbError.h.
class Database
{
public:
    // How long a statement waits for a lock that another connection holds before it fails:
    // long enough to ride out another program's short write, short enough that a database
    // held for good never stalls the window.
    static constexpr int busyTimeoutMilliseconds = 250;

    // Opens an existing database for reading and writing, with the busy time-out above. A
    // missing file fails (and no file appears); a file that is not a database fails at once.
    static Database open(const QString& path);
    // The same, but the file is first read by the first statement, where a file that is not a
    // database, or one that is locked, fails: one transaction less for a single query.
    static Database openForQuery(const QString& path);

    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    ~Database();

    // The rows a query yields, positioned on the first of them.
    Recordset openRecordset(const QString& sql);
    // Runs one insert, update or delete statement.
    void execute(const QString& sql);
    void close();
    // The file the handle is open on, as it was named.
    const QString& path() const { return m_path; }

    // Writes a compacted copy of the closed database at source as a new file at destination,
    // flushed to disk; fails when destination exists, and then leaves it untouched. A failed
    // compaction leaves no file at destination.
    static void compactDatabase(const QString& source, const QString& destination);

private:
    Database(sqlite3* handle, QString path);
    sqlite3_stmt* prepare(const QString& sql);
    [[noreturn]] void failWith(int resultCode) const;

    sqlite3* m_handle = nullptr;
    QString m_path;
};
