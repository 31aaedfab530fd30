#include "GenerateHtml.h"

#include "ReportWriter.h"

#include "config/Config.h"
#include "config/RankingRules.h"
#include "db/Database.h"
#include "db/Recordset.h"
#include "db/SqlText.h"
#include "import/ScanDriver.h"
#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

#include <QFile>
#include <QSet>

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
    RankingRules rules;
    try {
        rules = RankingRules::load(files.rankingRules());
    } catch (const Failure& failure) {
        ui.showMessage({QStringLiteral("The ranking settings cannot be read: %1.\n\nCorrect the "
                                       "line, or choose the settings again on the Ranking tab of "
                                       "the configuration. The page was not written.")
                            .arg(failure.description()),
                        QStringLiteral("Tallyvane"), UserInterface::Icon::Critical,
                        UserInterface::Buttons::Ok});
        ui.setStatus(QStringLiteral("HTML generation failed. ") + failure.description());
        return;
    }
    try {
        Database database = Database::openForQuery(files.database());
        addRankingIndex(database);
        Recordset ranking = queryRanking(database, config.records, rules);
        // No player at all, not no player that the rules let through.
        if (ranking.recordCount() < 1 && (rules.listsEveryone() || database.openRecordset(
                QStringLiteral("SELECT 1 FROM tblPlayer LIMIT 1")).recordCount() < 1)) {
            ui.setStatus(QStringLiteral("HTML generation failed. Database is empty."));
            return;
        }
        ReportWriter writer(partialPage);
        writer.writeHead(config.nickname);
        writer.writeTableHeader();
        writer.writeRows(ranking, config.records);
        writer.writeFooter();
        writer.save();
        database.close();
        FileOperations::replacefile(partialPage, files.report());
        ui.setStatus(QStringLiteral("HTML generation successful."));
    } catch (const Failure& failure) {
        QFile::remove(partialPage);
        ui.setStatus(QStringLiteral("HTML generation failed. ") + failure.description());
    }
}

Recordset queryRanking(Database& database, int records, const RankingRules& rules)
{
    // The rules filter the walk of the ranking index; the defaults add nothing to the query.
    QStringList conditions;
    if (rules.minimumGames > RankingRules::leastMinimum)
        conditions.append(QStringLiteral("fldGamesPlayed >= ") + QString::number(rules.minimumGames));
    if (!rules.neverRanked.isEmpty()) {
        QStringList names;
        for (const QString& name : rules.neverRanked)
            names.append(QLatin1Char('\'') + sqlText(RankingRules::asStored(name)) + QLatin1Char('\''));
        conditions.append(QStringLiteral("trim(fldName) COLLATE NOCASE NOT IN (") +
                          names.join(QLatin1String(", ")) + QLatin1Char(')'));
    }
    const QString filter = conditions.isEmpty()
                               ? QString()
                               : QStringLiteral(" WHERE ") + conditions.join(QLatin1String(" AND "));
    return database.openRecordset(QStringLiteral(" SELECT * FROM tblPlayer ") + filter +
                                  QStringLiteral(" ORDER BY fldSkill desc, fldKills desc, rowid") +
                                  QStringLiteral(" LIMIT ") + QString::number(std::max(records, 1)) +
                                  QLatin1Char(';'));
}

void addRankingIndex(Database& database)
{
    // Once a run for each database: a page written again and again asks no more.
    static QSet<QString> indexed;
    if (indexed.contains(database.path()))
        return;
    try {
        database.execute(QStringLiteral("CREATE INDEX IF NOT EXISTS idxPlayerRanking ON tblPlayer "
                                        "(fldSkill DESC, fldKills DESC)"));
        indexed.insert(database.path());
    } catch (const Failure&) {
    }
}

} // namespace GenerateHtml
