#pragma once

class Config;
class Database;
class ProgramFiles;
class Recordset;
class ScanDriver;
class UserInterface;

// The ranking page, output/tallyvane.htm: built from the player table, ordered by skill and
// then kills, both highest first.
namespace GenerateHtml {

// Runs a statistics scan, then writes the page and reports the outcome on the status line.
void generateHtml(ScanDriver& scan, const Config& config, const ProgramFiles& files,
                  UserInterface& ui);

// Writes the page from the player table as it stands, without a scan. The page is written
// beside its final name and moved over it only when complete, so that a failure or an empty
// table leaves the previous page as it was.
void writeRankingPage(const Config& config, const ProgramFiles& files, UserInterface& ui);

// All players in ranking order.
Recordset queryRanking(Database& database);

} // namespace GenerateHtml
