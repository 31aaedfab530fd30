#include "Database.h"

#include "db/DbError.h"
#include "db/SqlText.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

struct Finalize
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

bool onlyBlanksAndSemicolons(const char* text, const char* end)
{
    for (; text < end; ++text) {
        if (*text != ';' && *text != ' ' && *text != '\t' && *text != '\r' && *text != '\n')
            return false;
    }
    return true;
}

// Appends the field's value to a record set's values; text and blobs go to bytes.
void appendValue(sqlite3_stmt* statement, int column, std::vector<Recordset::Value>& values,
                 QByteArray& bytes)
{
    using Kind = Recordset::Value::Kind;
    Recordset::Value value;
    const int type = sqlite3_column_type(statement, column);
    switch (type) {
    case SQLITE_INTEGER:
        value.kind = Kind::Integer;
        value.integer = sqlite3_column_int64(statement, column);
        break;
    case SQLITE_FLOAT:
        value.kind = Kind::Real;
        value.real = sqlite3_column_double(statement, column);
        break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        const bool text = type == SQLITE_TEXT;
        // The pointer first, then the size, as the engine asks.
        const void* data = text ? static_cast<const void*>(sqlite3_column_text(statement, column))
                                : sqlite3_column_blob(statement, column);
        value.kind = text ? Kind::Text : Kind::Blob;
        value.offset = bytes.size();
        value.size = sqlite3_column_bytes(statement, column);
        bytes.append(static_cast<const char*>(data), value.size);
        break;
    }
    default:
        break;
    }
    values.push_back(value);
}

// Makes a newly written file durable before it takes the place of another one.
void flushToDisk(const QString& path)
{
    QFile file(path);
    bool flushed = file.open(QIODevice::ReadWrite);
#ifdef _WIN32
    flushed = flushed && _commit(file.handle()) == 0;
#else
    flushed = flushed && ::fsync(file.handle()) == 0;
#endif
    if (!flushed)
        throw Failure(DbError::EngineError,
                      QStringLiteral("Could not write '%1' to disk (%2)")
                          .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

// The path as the engine is to read it: absolute, so that no name is taken for a URI
// ("file:...") by an engine built to accept those.
QString enginePath(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

Database::Database(sqlite3* handle, QString path) : m_handle(handle), m_path(std::move(path)) {}

Database::Database(Database&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_path(std::move(other.m_path))
{
}

Database& Database::operator=(Database&& other) noexcept
{
    if (this != &other) {
        sqlite3_close_v2(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
        m_path = std::move(other.m_path);
    }
    return *this;
}

Database::~Database()
{
    sqlite3_close_v2(m_handle);
}

Database Database::open(const QString& path)
{
    Database database = openForQuery(path);
    // The engine reads the file only at the first statement; run one so that a file that is
    // not a database, or one that is locked, fails here.
    database.execute(QStringLiteral("PRAGMA schema_version"));
    return database;
}

Database Database::openForQuery(const QString& path)
{
    sqlite3* handle = nullptr;
    // A handle lives inside one operation on one thread, so the engine need not lock it.
    const int result = sqlite3_open_v2(enginePath(path).toUtf8().constData(), &handle,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database database(handle, path); // owns the handle also when opening failed
    if (result != SQLITE_OK) {
        if (!QFileInfo(path).exists())
            throw DbError::fileNotFound(path);
        if (!handle)
            throw DbError::fromEngine(result, QString::fromUtf8(sqlite3_errstr(result)), path);
        database.failWith(result);
    }
    sqlite3_busy_timeout(handle, busyTimeoutMilliseconds);
    if (sqlite3_db_readonly(handle, "main") == 1)
        throw DbError::fromEngine(SQLITE_READONLY, QStringLiteral("the file is read-only"), path);
    return database;
}

sqlite3_stmt* Database::prepare(const QString& sql)
{
    if (!m_handle)
        throw DbError::objectClosed();
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int result =
        sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &raw, &tail);
    Statement statement(raw);
    if (result != SQLITE_OK)
        failWith(result);
    if (!statement)
        throw Failure(DbError::EngineError, QStringLiteral("Invalid SQL statement"));
    // One statement only: a second one after it would otherwise be ignored silently.
    if (!onlyBlanksAndSemicolons(tail, text.constData() + text.size()))
        throw DbError::textAfterStatement();
    if (const int parameters = sqlite3_bind_parameter_count(raw); parameters > 0)
        throw DbError::tooFewParameters(parameters);
    return statement.release();
}

Recordset Database::openRecordset(const QString& sql)
{
    const Statement statement(prepare(sql));
    QStringList fieldNames;
    const int columns = sqlite3_column_count(statement.get());
    for (int column = 0; column < columns; ++column)
        fieldNames.append(QString::fromUtf8(sqlite3_column_name(statement.get(), column)));
    std::vector<Recordset::Value> values;
    QByteArray bytes;
    int result;
    while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
        for (int column = 0; column < columns; ++column)
            appendValue(statement.get(), column, values, bytes);
    }
    if (result != SQLITE_DONE)
        failWith(result);
    return Recordset(std::move(fieldNames), std::move(values), std::move(bytes));
}

void Database::execute(const QString& sql)
{
    const Statement statement(prepare(sql));
    int result;
    while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    }
    if (result != SQLITE_DONE)
        failWith(result);
}

void Database::close()
{
    if (!m_handle)
        throw DbError::objectClosed();
    const int result = sqlite3_close(m_handle);
    if (result != SQLITE_OK)
        failWith(result);
    m_handle = nullptr;
}

void Database::failWith(int resultCode) const
{
    throw DbError::fromEngine(resultCode, QString::fromUtf8(sqlite3_errmsg(m_handle)), m_path);
}

void Database::compactDatabase(const QString& source, const QString& destination)
{
    // The engine would write into an existing empty file; the destination must be new.
    const QFileInfo target(destination);
    if (target.exists() || target.isSymLink())
        throw DbError::databaseExists(destination);
    Database database = open(source);
    try {
        database.execute(QStringLiteral("VACUUM INTO '") + sqlText(enginePath(destination)) +
                         QLatin1Char('\''));
        database.close();
        flushToDisk(destination);
    } catch (...) {
        QFile::remove(destination);
        throw;
    }
}
