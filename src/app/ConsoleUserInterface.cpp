#include "ConsoleUserInterface.h"

#include <cstdio>

QStringList ConsoleUserInterface::takeMessages()
{
    return std::exchange(m_messages, {});
}

void ConsoleUserInterface::displayStatus(const QString& text)
{
    m_status = text;
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

UserInterface::Answer ConsoleUserInterface::displayMessage(const Message& message)
{
    m_messages.append(message.text);
    std::fprintf(stderr, "%s: %s\n", message.title.toLocal8Bit().constData(),
                 message.text.toLocal8Bit().constData());
    std::fflush(stderr);
    return message.buttons == Buttons::OkCancel ? Answer::Cancel : Answer::Ok;
}
