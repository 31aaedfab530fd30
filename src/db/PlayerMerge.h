#pragma once

#include <QString>

class Database;
class PlayerRecord;
class Recordset;

// Brings one game's figures into the player's row of tblPlayer: inserts a new player, or adds
// the game to the stored totals and recomputes the ratings, with one lookup and one statement
// on the open database (see LogMerge for the transaction around them). Every failure goes on
// to the caller; the record is not changed.
void findPlayer(const PlayerRecord& record, Database& database);

// The insert statement for a player seen for the first time.
QString insertPlayer(const PlayerRecord& record);

// The update statement for a known player, from the game and the row the record set is on.
QString updatePlayer(const PlayerRecord& record, const Recordset& stored);
