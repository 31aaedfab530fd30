#include "ConsoleText.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace ConsoleText {

#ifdef _WIN32

namespace {

// The console behind the stream, or nothing when it goes to a file or a pipe.
HANDLE consoleOf(std::FILE* stream)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

bool writeTo(HANDLE console, const QString& text)
{
    DWORD written = 0;
    return WriteConsoleW(console, text.utf16(), DWORD(text.size()), &written, nullptr) != 0;
}

} // namespace

bool writeLine(std::FILE* stream, const QString& text)
{
    if (HANDLE console = consoleOf(stream)) {
        std::fflush(stream);
        return writeTo(console, text + u'\n');
    }
    return std::fprintf(stream, "%s\n", text.toLocal8Bit().constData()) >= 0 && std::fflush(stream) == 0;
}

bool ask(const QString& prompt, QString& answer)
{
    // A program built for its window has no standard input of its own; the console that
    // started it is there all the same.
    HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return false;
    HANDLE output = consoleOf(stderr);
    if (output)
        writeTo(output, prompt);
    wchar_t line[256] = {};
    DWORD read = 0;
    const bool ok = ReadConsoleW(input, line, 255, &read, nullptr) != 0;
    CloseHandle(input);
    answer = QString::fromWCharArray(line, int(read)).trimmed();
    return ok;
}

#else

bool writeLine(std::FILE* stream, const QString& text)
{
    return std::fprintf(stream, "%s\n", text.toLocal8Bit().constData()) >= 0 && std::fflush(stream) == 0;
}

bool ask(const QString& prompt, QString& answer)
{
    if (!isatty(fileno(stdin)))
        return false;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    char line[256] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return false;
    answer = QString::fromLocal8Bit(line).trimmed();
    return true;
}

#endif

} // namespace ConsoleText
