#pragma once

#include <QString>

#include <cstdio>

// Text for the person at a terminal or a console. A Windows console shows its own (OEM) code
// page, not the ANSI one the program's bytes are in, so there text goes to the console as
// UTF-16; redirected output, and every output on Linux, gets the system's 8-bit text.
namespace ConsoleText {

// Writes the text and a line end; false when the output is gone (a closed pipe).
bool writeLine(std::FILE* stream, const QString& text);
// Writes the prompt and reads one line typed in answer: from standard input where that is a
// terminal, on Windows from the console the program was started from; nothing when nobody can
// answer (a scheduler, input from a file).
bool ask(const QString& prompt, QString& answer);

} // namespace ConsoleText
