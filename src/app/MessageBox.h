#pragma once

#include "platform/UserInterface.h"

#include <deque>

class QWidget;

// Shows the program's message boxes with QMessageBox, modal over the window that is active.
// Tests queue answers with setNextAnswer: a queued answer closes the next box without
// showing it.
class MessageBox
{
public:
    static UserInterface::Answer show(QWidget* parent, const UserInterface::Message& message);

    static void setNextAnswer(UserInterface::Answer answer);
    // The last box that a queued answer closed, as it would have been shown.
    static const UserInterface::Message& lastAnswered() { return s_lastAnswered; }
    // True while a box is shown; timer ticks that arrive in its event loop are held off.
    static bool isOpen() { return s_openBoxes > 0; }

private:
    static std::deque<UserInterface::Answer> s_answers;
    static UserInterface::Message s_lastAnswered;
    static int s_openBoxes;
};
