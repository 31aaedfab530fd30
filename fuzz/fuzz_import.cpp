// Any results log imports without a crash, a hang or a failure escaping the import, into a real
// database.
#include "FuzzSupport.h"
#include "RecordingUserInterface.h"

#include "db/LogMerge.h"
#include "import/ImportLog.h"

#include <QFile>

#include <sqlite3.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int runs = 0;
    static QString database;
    if (runs++ % 5000 == 0) { // a fresh database keeps the table small and the runs fast
        database = writeInput(QStringLiteral("tallyvane.mdb"), nullptr, 0);
        QFile schema(QStringLiteral(TALLYVANE_SCHEMA_FILE));
        sqlite3* db = nullptr;
        if (!schema.open(QIODevice::ReadOnly) ||
            sqlite3_open(QFile::encodeName(database).constData(), &db) != SQLITE_OK ||
            sqlite3_exec(db, schema.readAll().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
        sqlite3_close(db);
    }
    RecordingUserInterface ui;
    LogMerge merge(database, 0, QStringLiteral("#2024-03-02 22:00:01#"));
    importLog(writeInput(QStringLiteral("RSRESULTS0.log"), data, size), merge, ui);
    return 0;
}
