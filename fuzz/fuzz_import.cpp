// Any results log imports without a crash, a hang or a failure escaping the import, into a real
// database that stays usable.
#include "FuzzSupport.h"

#include "db/Database.h"
#include "import/ImportLog.h"

#include <QFile>

#include <cstdlib>
#include <sqlite3.h>

namespace {

QString freshDatabase(const QString& dir)
{
    const QString path = dir + QStringLiteral("/tallyvane.mdb");
    QFile::remove(path);
    QFile schemaFile(QStringLiteral(TALLYVANE_SCHEMA_FILE));
    if (!schemaFile.open(QIODevice::ReadOnly))
        std::abort();
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK ||
        sqlite3_exec(db, schemaFile.readAll().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        std::abort();
    sqlite3_close(db);
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString dir = scratchDirectory();
    static const QString logPath = dir + QStringLiteral("/RSRESULTS0.log");
    static QString databasePath = freshDatabase(dir);
    static int runs = 0;
    if (++runs % 5000 == 0)
        databasePath = freshDatabase(dir); // keeps the table small and the runs fast

    writeWholeFile(logPath, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    SilentUserInterface ui;
    importLog(logPath, databasePath, ui);

    // The database must still open and answer after whatever the logs held.
    if (runs % 64 == 0) {
        Database db = Database::open(databasePath);
        db.openRecordset(QStringLiteral("SELECT * FROM tblPlayer"));
    }
    return 0;
}
