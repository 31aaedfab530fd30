#include "ProgramFiles.h"

#include <QCoreApplication>

ProgramFiles::ProgramFiles(QString directory) : m_directory(std::move(directory)) {}

ProgramFiles ProgramFiles::ofRunningProgram()
{
    return ProgramFiles(QCoreApplication::applicationDirPath());
}
