#pragma once

class Config;
class Database;
class ProgramFiles;
class RankingRules;
class Recordset;
class ScanDriver;
class UserInterface;

// The ranking page, output/tallyvane.htm: built from the player table, ordered by skill and
// then kills, both highest first.
namespace GenerateHtml {

// Runs a statistics scan, then writes the page and reports the outcome on the status line.
void generateHtml(ScanDriver& scan, const Config& config, const ProgramFiles& files,
                  UserInterface& ui);

// Writes the page from the player table as it stands, without a scan, listing the players the
// ranking rules (ranking.txt) let through. The page is written beside its final name and moved
// over it only when complete, so that a failure, an empty table or damaged rules (a box names
// the line) leave the previous page as it was. Rules that nobody passes give a page without rows.
void writeRankingPage(const Config& config, const ProgramFiles& files, UserInterface& ui);

// The first players in ranking order that the rules let through, as many as the page lists
// (at least one). Ties keep the order of the ranking index, which is the order in which the
// players were added.
Recordset queryRanking(Database& database, int records, const RankingRules& rules);

// Gives a database made before the ranking index that index, so that the ranking is read from
// it rather than by sorting every player. A failure changes nothing: the query then sorts.
void addRankingIndex(Database& database);

} // namespace GenerateHtml
