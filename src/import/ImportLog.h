#pragma once

#include <QString>

class LogMerge;
class UserInterface;

// Reads one results log and merges every player line of an adversarial game in one merge.
// Handles every failure itself (a message box, or nothing for a statement naming an unknown
// field) and answers whether the log's stamp may be set: yes once its players are committed,
// also after the log proved faulty part-way (the players above the faulty line count); no when
// the database failed, which leaves the log as if it had not been read.
bool importLog(const QString& logPath, LogMerge& merge, UserInterface& ui);
