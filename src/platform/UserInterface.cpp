#include "UserInterface.h"

Q_LOGGING_CATEGORY(lcUserInterface, "tallyvane.ui", QtWarningMsg)

namespace {

const char* answerName(UserInterface::Answer answer)
{
    switch (answer) {
    case UserInterface::Answer::Ok:
        return "OK";
    case UserInterface::Answer::Cancel:
        return "Cancel";
    case UserInterface::Answer::Yes:
        return "Yes";
    case UserInterface::Answer::No:
        break;
    }
    return "No";
}

} // namespace

void UserInterface::setStatus(const QString& text)
{
    qCInfo(lcUserInterface).noquote() << "status:" << text;
    displayStatus(text);
}

UserInterface::Answer UserInterface::showMessage(const Message& message)
{
    qCInfo(lcUserInterface).noquote()
        << "message:" << message.title << "|" << QString(message.text).replace(u'\n', u'|');
    const Answer answer = displayMessage(message);
    qCInfo(lcUserInterface).noquote()
        << "answer:" << answerName(answer);
    return answer;
}

void UserInterface::showError(const QString& tag, int code, const QString& description)
{
    showMessage({tag + QString::number(code) + QLatin1Char('\n') + QStringLiteral("Description: ") +
                     description + QLatin1Char('.'),
                 QStringLiteral("Error"), Icon::Critical, Buttons::Ok});
}
