#include "ProgramIdentity.h"

namespace ProgramIdentity {

QString title()
{
    return QStringLiteral("Tallyvane");
}

int majorVersion()
{
    return TALLYVANE_VERSION_MAJOR;
}

int minorVersion()
{
    return TALLYVANE_VERSION_MINOR;
}

int revision()
{
    return TALLYVANE_VERSION_PATCH;
}

QString versionText()
{
    return QStringLiteral("Version ") + QString::number(majorVersion()) + QLatin1Char('.') +
           QString::number(minorVersion()) + QLatin1Char('.') + QString::number(revision());
}

} // namespace ProgramIdentity
