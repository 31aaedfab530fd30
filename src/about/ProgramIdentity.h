#pragma once

#include <QString>

// The program's own name and version, as the windows show them.
namespace ProgramIdentity {

QString title(); // "Tallyvane"
int majorVersion();
int minorVersion();
int revision();
QString versionText(); // "Version 1.0.0"

} // namespace ProgramIdentity
