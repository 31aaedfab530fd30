#include "GenerateHtml.h"

#include "ReportWriter.h"

#include "config/Config.h"
#include "db/Database.h"
#include "db/Recordset.h"
#include "import/ScanDriver.h"
#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

#include <QFile>

#include <algorithm>

namespace GenerateHtml {

void generateHtml(ScanDriver& scan, const Config& config, const ProgramFiles& files,
                  UserInterface& ui)
{
    // The scan reports its own outcome; the page is written whatever it found.
    scan.scanStatFiles();
    writeRankingPage(config, files, ui);
}

void writeRankingPage(const Config& config, const ProgramFiles& files, UserInterface& ui)
{
    const QString partialPage = files.report() + QStringLiteral(".tmp");
    try {
        Database database = Database::open(files.database());
        addRankingIndex(database);
        Recordset ranking = queryRanking(database, config.records);
        if (ranking.recordCount() < 1) {
            ui.setStatus(QStringLiteral("HTML generation failed. Database is empty."));
            return;
        }
        ReportWriter writer(partialPage);
        writer.writeHead(config.nickname);
        writer.writeTableHeader();
        writer.writeRows(ranking, config.records);
        writer.writeFooter();
        database.close();
        FileOperations::replacefile(partialPage, files.report());
        ui.setStatus(QStringLiteral("HTML generation successful."));
    } catch (const Failure& failure) {
        QFile::remove(partialPage);
        ui.setStatus(QStringLiteral("HTML generation failed. ") + failure.description());
    }
}

Recordset queryRanking(Database& database, int records)
{
    return database.openRecordset(QStringLiteral(" SELECT * FROM tblPlayer ") +
                                  QStringLiteral(" ORDER BY fldSkill desc, fldKills desc, rowid") +
                                  QStringLiteral(" LIMIT ") + QString::number(std::max(records, 1)) +
                                  QLatin1Char(';'));
}

void addRankingIndex(Database& database)
{
    try {
        database.execute(QStringLiteral("CREATE INDEX IF NOT EXISTS idxPlayerRanking ON tblPlayer "
                                        "(fldSkill DESC, fldKills DESC)"));
    } catch (const Failure&) {
    }
}

} // namespace GenerateHtml
