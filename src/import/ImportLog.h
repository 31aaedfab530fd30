#pragma once

#include <QString>

class UserInterface;

// Reads one results log and merges every player line of an adversarial game into the
// database at databasePath. Handles every failure itself (a message box, or nothing for a
// statement naming an unknown field) and always returns normally.
void importLog(const QString& logPath, const QString& databasePath, UserInterface& ui);
