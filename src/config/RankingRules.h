#pragma once

#include <QString>
#include <QStringList>

// Who the ranking page lists: players with at least a minimum of games, and none of the names
// never ranked. Their games are imported and merged all the same; only the page leaves them
// out. Kept in ranking.txt beside statConf.txt, a file of the host's own that reads at a glance,
// in the system's text encoding:
//
//     # Who is ranked on the page: ...
//     minimum games: 5
//     never ranked: [BOT] Alpha
//
// Blank lines and lines starting with # are notes; "minimum games" (1 to 1000) appears at most
// once, "never ranked" once for each name. A missing file means the defaults, which list
// everyone (minimum 1, no names).
class RankingRules
{
public:
    static constexpr int leastMinimum = 1;
    static constexpr int mostMinimum = 1000;

    int minimumGames = leastMinimum;
    QStringList neverRanked;

    // Reads the file; a missing one gives the defaults. A file that cannot be read, or a line
    // it cannot take, fails with a description that names the file and the line.
    static RankingRules load(const QString& path);
    // Writes the file in one step.
    void save(const QString& path) const;

    // Whether these are the defaults, under which the page lists everyone.
    bool listsEveryone() const { return minimumGames <= leastMinimum && neverRanked.isEmpty(); }

    // A name as it is compared with the player table's (which ignores letter case): every
    // character other than the letters A to Z and digits a blank, as the import stores it, and
    // blanks at either end dropped, since the page does not show them. "[BOT] Alpha" is the
    // player imported from that name.
    static QString asStored(const QString& name);

private:
    // The rules the file's bytes give; path names the file in a failure.
    static RankingRules parse(const QString& path, const QByteArray& content);
};
