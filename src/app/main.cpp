#include "app/frmMain.h"

#include "about/ProgramIdentity.h"
#include "platform/ProgramFiles.h"

#include <QApplication>
#include <QIcon>

#include <curl/curl.h>

#include <cstdio>

int main(int argc, char* argv[])
{
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
        frmMain window(ProgramFiles::ofRunningProgram());
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
