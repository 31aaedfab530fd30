#include "RecordingUserInterface.h"

#include <QTest>

void RecordingUserInterface::displayStatus(const QString& text) { statuses.append(text); }

UserInterface::Answer RecordingUserInterface::displayMessage(const Message& message)
{
    messages.push_back(message);
    if (answerDelay > 0)
        QTest::qWait(answerDelay);
    if (m_answers.empty())
        return Answer::Ok;
    const Answer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}
