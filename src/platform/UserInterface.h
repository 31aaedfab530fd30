#pragma once

#include <QLoggingCategory>
#include <QString>

// What the program's core shows the user and asks of them: the status line and message
// boxes. The main window implements it; tests record what was shown and answer it.
// Every status text and message box is also logged through the category
// "tallyvane.ui" (off by default; QT_LOGGING_RULES="tallyvane.ui=true" switches it on).
Q_DECLARE_LOGGING_CATEGORY(lcUserInterface)

class UserInterface
{
public:
    enum class Icon { None, Information, Question, Critical };
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Answer { Ok, Cancel, Yes, No };

    struct Message
    {
        QString text;
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
    };

    virtual ~UserInterface() = default;

    // Replaces the whole status line.
    void setStatus(const QString& text);
    // Shows a modal message box and returns the button that closed it; closing the box
    // by other means answers Cancel, or No, or Ok when the box has only that button.
    Answer showMessage(const Message& message);

    // "Error" boxes with the critical icon and an OK button: tag, code, LF, "Description: ",
    // description and ".".
    void showError(const QString& tag, int code, const QString& description);

protected:
    virtual void displayStatus(const QString& text) = 0;
    virtual Answer displayMessage(const Message& message) = 0;
};
