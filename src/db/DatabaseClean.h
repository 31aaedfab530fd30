#pragma once

class ProgramFiles;
class UserInterface;

// Erases every player and compacts the database file. Reports on the status line and, on
// failure, with an "Error db#: " message; nothing goes back to the caller.
void cleanDatabase(const ProgramFiles& files, UserInterface& ui);
