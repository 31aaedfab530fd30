#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/frmMain.h"

#include "about/ProgramIdentity.h"
#include "platform/ProgramFiles.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <curl/curl.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    // With options the program runs without a window, and needs no display.
    if (CommandLine::requested(argc, argv)) {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            std::fputs("Tallyvane: the network library could not be initialised.\n", stderr);
            return CommandLine::StepFailed;
        }
        const int status = CommandLine::run(argc, argv);
        curl_global_cleanup();
        return status;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(ProgramIdentity::title());
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(ProgramIdentity::majorVersion())
                                            .arg(ProgramIdentity::minorVersion())
                                            .arg(ProgramIdentity::revision()));
    QGuiApplication::setDesktopFileName(QStringLiteral("tallyvane"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tallyvane.png")));

    // Once per process, before any transfer and while no other thread runs.
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::fputs("Tallyvane: the network library could not be initialised.\n", stderr);
        return 1;
    }

    int status = 0;
    {
        // The window owns the configuration; leaving this scope destroys it on every path,
        // and that writes the configuration file.
        const ProgramFiles files = ProgramFiles::ofRunningProgram();
        // Declared before the window, so that the lock is released only after the window has
        // written the configuration and the stamps.
        SingleInstance instance(files);
        frmMain window(files);
        // Before the configuration is loaded: a second copy of the same installation would
        // import the same logs again and overwrite the first one's files when it ends.
        const SingleInstance::Outcome lock = instance.acquire();
        if (lock == SingleInstance::Outcome::FolderNotWritable) {
            window.showMessage({instance.folderNotWritable(), ProgramIdentity::title(),
                                UserInterface::Icon::Critical,
                                UserInterface::Buttons::Ok});
            curl_global_cleanup();
            return 1;
        }
        if (lock == SingleInstance::Outcome::HeldByAnother) {
            instance.activateRunningInstance();
            window.showMessage(
                {QStringLiteral("Tallyvane is already running from %1.\nOnly one Tallyvane can "
                                "run from an installation folder at a time.")
                     .arg(QDir::toNativeSeparators(files.directory())),
                 ProgramIdentity::title(), UserInterface::Icon::Information,
                 UserInterface::Buttons::Ok});
            curl_global_cleanup();
            return 2;
        }
        QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] {
            // During start-up the first-run dialog is what the user has to see.
            QWidget* front = QApplication::activeModalWidget();
            if (!front && window.isVisible())
                front = &window;
            if (!front)
                return;
            if (front->isMinimized())
                front->showNormal();
            front->raise();
            front->activateWindow();
        });
        if (window.startup()) {
            window.show();
            status = QApplication::exec();
        } else {
            status = window.exitStatus();
        }
    }
    curl_global_cleanup();
    return status;
}
