#include "ConsoleUserInterface.h"

#include "app/ConsoleText.h"

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
    if (!ConsoleText::writeLine(stdout, m_status))
        m_outputLost = true;
}

UserInterface::Answer ConsoleUserInterface::displayMessage(const Message& message)
{
    // A question is no failure to report; what follows from its answer is.
    if (message.buttons != Buttons::YesNo)
        m_messages.append(message.text);
    ConsoleText::writeLine(stderr, message.title + QStringLiteral(": ") + message.text);
    QString answer;
    switch (message.buttons) {
    case Buttons::OkCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return ConsoleText::ask(QStringLiteral("[y/N] "), answer) &&
                       answer.startsWith(u'y', Qt::CaseInsensitive)
                   ? Answer::Yes
                   : Answer::No;
    case Buttons::Ok:
        break;
    }
    return Answer::Ok;
}
