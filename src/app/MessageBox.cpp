#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include <span>

std::deque<UserInterface::Answer> MessageBox::s_answers;
int MessageBox::s_openBoxes = 0;
UserInterface::Message MessageBox::s_lastAnswered;

namespace {

QMessageBox::Icon iconOf(UserInterface::Icon icon)
{
    switch (icon) {
    case UserInterface::Icon::Information:
        return QMessageBox::Information;
    case UserInterface::Icon::Question:
        return QMessageBox::Question;
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
        s_lastAnswered = message;
        return answer;
    }

    if (QWidget* modal = QApplication::activeModalWidget())
        parent = modal;
    QMessageBox box(iconOf(message.icon), message.title, message.text, QMessageBox::NoButton,
                    parent && parent->isVisible() ? parent : nullptr);
    // The last button answers Esc and the close box.
    const std::pair<QMessageBox::StandardButton, UserInterface::Answer> okOnly[] = {
        {QMessageBox::Ok, UserInterface::Answer::Ok}};
    const std::pair<QMessageBox::StandardButton, UserInterface::Answer> okCancel[] = {
        {QMessageBox::Ok, UserInterface::Answer::Ok},
        {QMessageBox::Cancel, UserInterface::Answer::Cancel}};
    const std::pair<QMessageBox::StandardButton, UserInterface::Answer> yesNo[] = {
        {QMessageBox::Yes, UserInterface::Answer::Yes}, {QMessageBox::No, UserInterface::Answer::No}};
    std::span<const std::pair<QMessageBox::StandardButton, UserInterface::Answer>> buttons = okOnly;
    if (message.buttons == UserInterface::Buttons::OkCancel)
        buttons = okCancel;
    else if (message.buttons == UserInterface::Buttons::YesNo)
        buttons = yesNo;
    for (const auto& [button, answer] : buttons)
        box.addButton(button);
    // A question defaults to its cautious answer.
    box.setDefaultButton(message.buttons == UserInterface::Buttons::YesNo ? QMessageBox::No
                                                                          : buttons.front().first);
    box.setEscapeButton(buttons.back().first);

    ++s_openBoxes;
    const int result = box.exec();
    --s_openBoxes;
    for (const auto& [button, answer] : buttons) {
        if (result == button)
            return answer;
    }
    return buttons.back().second;
}

void MessageBox::setNextAnswer(UserInterface::Answer answer)
{
    s_answers.push_back(answer);
}
