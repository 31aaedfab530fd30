#include "ConfigValidation.h"

#include "platform/Blanks.h"
#include "platform/FileOperations.h"
#include "platform/UserInterface.h"

namespace {

bool refuse(UserInterface& ui, const QString& text, const QString& title)
{
    ui.showMessage({text, title, UserInterface::Icon::Information, UserInterface::Buttons::Ok});
    return false;
}

} // namespace

bool validateConfig(std::int16_t records, std::int16_t scanInterval, const QString& nickname,
                    const QString& gameDirectory, UserInterface& ui)
{
    if (scanInterval < 60 || scanInterval > 600)
        return refuse(ui, QStringLiteral("Enter a scan interval of between 60 and 600 seconds."),
                      QStringLiteral("Invalid Interval"));
    if (records < 5 || records > 40)
        return refuse(ui, QStringLiteral("Number of records to display must be between 5 and 40."),
                      QStringLiteral("Invalid Interval"));
    if (nickname.isEmpty())
        return refuse(ui, QStringLiteral("Enter a valid nickname."),
                      QStringLiteral("Invalid Nickname"));
    if (!FileOperations::fileexists(trimBlanks(gameDirectory).toString() +
                                    QStringLiteral("/RogueSpear.exe")))
        return refuse(ui, QStringLiteral("Rogue Spear does not exist in the specified directory."),
                      QStringLiteral("Invalid Directory"));
    return true;
}
