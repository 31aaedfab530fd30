#include "ConsoleUserInterface.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

bool answeredYesOnTerminal()
{
    if (!isatty(fileno(stdin)))
        return false;
    std::fprintf(stderr, "[y/N] ");
    std::fflush(stderr);
    char line[256] = {};
    return std::fgets(line, sizeof line, stdin) && (line[0] == 'y' || line[0] == 'Y');
}

} // namespace

QStringList ConsoleUserInterface::takeMessages()
{
    return std::exchange(m_messages, {});
}

void ConsoleUserInterface::displayStatus(const QString& text)
{
    m_status = text;
}

void ConsoleUserInterface::printStatus()
{
    if (std::fprintf(stdout, "%s\n", m_status.toLocal8Bit().constData()) < 0 ||
        std::fflush(stdout) != 0)
        m_outputLost = true;
}

UserInterface::Answer ConsoleUserInterface::displayMessage(const Message& message)
{
    // A question is no failure to report; what follows from its answer is.
    if (message.buttons != Buttons::YesNo)
        m_messages.append(message.text);
    std::fprintf(stderr, "%s: %s\n", message.title.toLocal8Bit().constData(),
                 message.text.toLocal8Bit().constData());
    std::fflush(stderr);
    switch (message.buttons) {
    case Buttons::OkCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return answeredYesOnTerminal() ? Answer::Yes : Answer::No;
    case Buttons::Ok:
        break;
    }
    return Answer::Ok;
}
