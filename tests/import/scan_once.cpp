// Runs one statistics scan on an installation, as the program would, for tests that need a
// scan in a separate process. Usage: scan_once INSTALLATION_DIR GAME_DIR
// With TALLYVANE_TEST_KILL_ON_MESSAGE set, the process kills itself (SIGKILL) when the scan
// shows its first message box, leaving no chance to save anything.

#include "config/Config.h"
#include "import/ScanDriver.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>

namespace {

class ConsoleUserInterface : public UserInterface
{
protected:
    void displayStatus(const QString& text) override { QTextStream(stdout) << text << '\n'; }
    Answer displayMessage(const Message& message) override
    {
        if (qEnvironmentVariableIsSet("TALLYVANE_TEST_KILL_ON_MESSAGE"))
            std::raise(SIGKILL);
        QTextStream(stdout) << message.text << '\n';
        return Answer::Ok;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const ProgramFiles files(QString::fromLocal8Bit(argv[1]));
    Config config(files.configuration());
    config.roguePath = QString::fromLocal8Bit(argv[2]);
    ConsoleUserInterface ui;
    ScanDriver driver(config, files, ui);
    driver.scanStatFiles();
    return 0;
}
