#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

std::deque<UserInterface::Answer> MessageBox::s_answers;
int MessageBox::s_openBoxes = 0;

namespace {

QMessageBox::Icon iconOf(UserInterface::Icon icon)
{
    switch (icon) {
    case UserInterface::Icon::Information:
        return QMessageBox::Information;
    case UserInterface::Icon::Critical:
        return QMessageBox::Critical;
    case UserInterface::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

UserInterface::Answer MessageBox::show(QWidget* parent, const UserInterface::Message& message)
{
    if (!s_answers.empty()) {
        const UserInterface::Answer answer = s_answers.front();
        s_answers.pop_front();
        return answer;
    }

    if (QWidget* modal = QApplication::activeModalWidget())
        parent = modal;
    const bool withCancel = message.buttons == UserInterface::Buttons::OkCancel;
    QMessageBox box(iconOf(message.icon), message.title, message.text,
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    parent && parent->isVisible() ? parent : nullptr);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::Ok);

    ++s_openBoxes;
    const int result = box.exec();
    --s_openBoxes;
    return result == QMessageBox::Ok || !withCancel ? UserInterface::Answer::Ok
                                                    : UserInterface::Answer::Cancel;
}

void MessageBox::setNextAnswer(UserInterface::Answer answer)
{
    s_answers.push_back(answer);
}
