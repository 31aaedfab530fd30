#pragma once

#include <QString>
#include <cstdint>

class UserInterface;

// Whether the dialog's values may be applied. Shows the message of the first check that
// fails (information icon, OK) and answers false; answers true without a message otherwise.
bool validateConfig(std::int16_t records, std::int16_t scanInterval, const QString& nickname,
                    const QString& gameDirectory, UserInterface& ui);
