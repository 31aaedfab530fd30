#include "DatabaseClean.h"

#include "db/Database.h"
#include "db/StampTable.h"
#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

#include <QFile>

void cleanDatabase(const ProgramFiles& files, UserInterface& ui)
{
    ui.setStatus(QStringLiteral("Database clean failed."));
    try {
        Database database = Database::open(files.database());
        database.execute(QStringLiteral(" DELETE FROM tblPlayer"));
        // The stamps of the games counted go with them; dateStamps.txt keeps its own, so the
        // games already imported are not imported again.
        StampTable::clear(database);
        database.close();
        // A temporary file left by an earlier clean makes the compaction fail; it is not removed.
        Database::compactDatabase(files.database(), files.compactedDatabase());
        // The compacted copy takes the database's place in one step, so that no failure can
        // leave the installation without a database.
        QFile::setPermissions(files.compactedDatabase(), QFile::permissions(files.database()));
        try {
            FileOperations::replacefile(files.compactedDatabase(), files.database());
        } catch (const Failure&) {
            // Left behind, the copy would make every later clean fail.
            QFile::remove(files.compactedDatabase());
            throw;
        }
        ui.setStatus(QStringLiteral("Database successfully erased."));
    } catch (const Failure& failure) {
        ui.showError(QStringLiteral("Error db#: "), failure.code(), failure.description());
    }
}
