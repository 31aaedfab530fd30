#include "StartSysInfo.h"

#include "about/GetKeyValue.h"
#include "about/ProgramIdentity.h"

#include "platform/FileOperations.h"
#include "platform/UserInterface.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace {

// The tool named by the registry, or an empty text when the registry names none.
QString registeredTool(Registry& registry)
{
    QString value;
    if (GetKeyValue(registry, Registry::LocalMachine,
                    QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), value))
        return value;
    if (!GetKeyValue(registry, Registry::LocalMachine,
                     QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                     QStringLiteral("MSINFO"), value))
        return {};
    const QString tool = value + QDir::separator() + QStringLiteral("MSINFO32.EXE");
    return FileOperations::fileexists(tool) ? tool : QString();
}

// A system-information program on the search path, on platforms without the Windows tool.
QString toolOnPath()
{
#ifdef _WIN32
    return {};
#else
    for (const char* name : {"hardinfo", "gnome-system-monitor", "kinfocenter"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found;
    }
    return {};
#endif
}

} // namespace

void StartSysInfo(Registry& registry, UserInterface& ui)
{
    QString tool = registeredTool(registry);
    if (tool.isEmpty())
        tool = toolOnPath();
    if (!tool.isEmpty() && QProcess::startDetached(tool, {}))
        return;
    ui.showMessage({QStringLiteral("System Information Is Unavailable At This Time"),
                    ProgramIdentity::title(), UserInterface::Icon::None,
                    UserInterface::Buttons::Ok});
}
