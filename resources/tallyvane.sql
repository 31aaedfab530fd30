-- The player database: one row per player name, holding the running totals and ratings.
-- Names compare without regard to letter case; whole numbers are stored as integers so
-- that the ranking sorts by value.
CREATE TABLE tblPlayer (
    fldName          TEXT COLLATE NOCASE,
    fldSkill         INTEGER,
    fldAccuracy      INTEGER,
    fldKills         INTEGER,
    fldKilled        INTEGER,
    fldHitPercent    INTEGER,
    fldAverageRounds INTEGER,
    fldGamesPlayed   INTEGER
);
CREATE INDEX idxPlayerName ON tblPlayer (fldName);
-- The ranking order, highest skill first and then most kills; players alike in both keep the
-- order in which they were added.
CREATE INDEX idxPlayerRanking ON tblPlayer (fldSkill DESC, fldKills DESC);
