#pragma once

#include "platform/UserInterface.h"

#include <QByteArray>
#include <QString>

// Answers every message box with OK and shows nothing.
class SilentUserInterface : public UserInterface
{
protected:
    void displayStatus(const QString&) override {}
    Answer displayMessage(const Message&) override { return Answer::Ok; }
};

// A scratch directory for one fuzzing process, on a memory file system where there is one.
QString scratchDirectory();
void writeWholeFile(const QString& path, const QByteArray& content);
