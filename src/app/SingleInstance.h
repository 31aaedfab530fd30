#pragma once

#include "platform/ProgramFiles.h"

#include <QLockFile>
#include <QObject>

class QLocalServer;

// Keeps one running program per installation. The running program holds a lock on a file in
// its program directory (a lock left by a program that died is taken over) and listens on a
// local channel named after that directory, through which a second start asks it to come to
// the front. Installations in different directories do not meet.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const ProgramFiles& files, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock; false when another running program holds it. On success the channel is
    // opened. Touches no file when it fails.
    bool acquire();
    // Asks the program that holds the lock to bring its window to the front. Answers whether
    // it received the request.
    bool activateRunningInstance() const;

signals:
    void activationRequested();

private:
    QString m_channelName;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};
