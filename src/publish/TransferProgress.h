#pragma once

#include <QFile>

#include <atomic>
#include <functional>

typedef void CURL;

// Follows one upload through libcurl's callbacks and reports the transfer's numbered states
// (1 looking up the host to 8 response received), each once and only forwards: callbacks that
// fire again for the data connection, for a second connection, or a step that libcurl skips,
// never send the status back. It reads the file it uploads, and stops the transfer once it is
// abandoned. Runs on the thread that performs the transfer.
struct TransferProgress
{
    std::function<void(int)> report;
    const std::atomic<bool>* abandon = nullptr;
    QFile* file = nullptr;
    qint64 size = 0;
    qint64 sent = 0;
    int last = 0;
    bool loggedIn = false;  // the user name went out

    // Sets the handle's callbacks to this object, which must outlive its transfers.
    void follow(CURL* curl);

    void reach(int state)
    {
        if (state > last) {
            last = state;
            report(state);
        }
    }

    // Before each attempt: the file from its start.
    void rewind()
    {
        file->seek(0);
        sent = 0;
    }
};
