#pragma once

#include <QString>
#include <QStringList>

// The rows of tblPlayer in insertion order, each as
// "name|kills|killed|hitPercent|averageRounds|gamesPlayed".
QStringList playerRows(const QString& databasePath);

// The games played of the named player, or -1 when there is no such row.
int gamesPlayed(const QString& databasePath, const QString& name);
