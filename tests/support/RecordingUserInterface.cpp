#include "RecordingUserInterface.h"

#include <QEventLoop>
#include <QTimer>

void RecordingUserInterface::displayStatus(const QString& text) { statuses.append(text); }

UserInterface::Answer RecordingUserInterface::displayMessage(const Message& message)
{
    messages.push_back(message);
    if (answerDelay > 0) { // events go on meanwhile, as in a box the user reads
        QEventLoop reading;
        QTimer::singleShot(answerDelay, &reading, &QEventLoop::quit);
        reading.exec();
    }
    if (m_answers.empty())
        return Answer::Ok;
    const Answer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}
