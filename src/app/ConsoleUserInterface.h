#pragma once

#include "platform/UserInterface.h"

#include <QStringList>

// The status line and message boxes of the program run without its window: the status a step
// ends with is one line on standard output, each message its title and text on standard error. A box
// with OK and Cancel is answered Cancel, so nothing is destroyed. A yes-or-no question is
// put to the user when standard input is a terminal, and answered No otherwise (a timer or a
// service has no one to ask).
class ConsoleUserInterface : public UserInterface
{
public:
    // Every message shown since the last call (questions aside), then none.
    QStringList takeMessages();
    QString status() const { return m_status; }
    // Writes the status as it stands, one line on standard output.
    void printStatus();
    // Whether a write to standard output failed: its reader has gone.
    bool outputLost() const { return m_outputLost; }

protected:
    void displayStatus(const QString& text) override;
    Answer displayMessage(const Message& message) override;

private:
    QString m_status;
    QStringList m_messages;
    bool m_outputLost = false;
};
