#pragma once

#include "platform/UserInterface.h"

#include <QStringList>
#include <deque>
#include <vector>

// Records every status text and message box, and answers the boxes with the answers queued
// by setNextAnswer (OK when none is queued).
class RecordingUserInterface : public UserInterface
{
public:
    QStringList statuses;
    std::vector<Message> messages;
    int answerDelay = 0; // milliseconds each box stays open, events processed meanwhile

    QString status() const { return statuses.isEmpty() ? QString() : statuses.last(); }
    void setNextAnswer(Answer answer) { m_answers.push_back(answer); }
    void clear()
    {
        statuses.clear();
        messages.clear();
    }

protected:
    void displayStatus(const QString& text) override;
    Answer displayMessage(const Message& message) override;

private:
    std::deque<Answer> m_answers;
};
