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

    enum class Outcome { Acquired, HeldByAnother, FolderNotWritable };

    // Takes the lock; on success the channel is opened. When it fails, no file of the
    // installation is changed. FolderNotWritable: no lock file can be made in the program
    // directory at all; folderNotWritable() then says so, with the system's reason.
    Outcome acquire();
    QString folderNotWritable() const;
    // Asks the program that holds the lock to bring its window to the front. Answers whether
    // it received the request.
    bool activateRunningInstance() const;

signals:
    void activationRequested();

private:
    QString m_channelName;
    QString m_directory;
    QString m_folderError;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};
