#pragma once

#include "import/StampCollection.h"

#include "platform/ProgramFiles.h"

#include <functional>
#include <memory>

class Config;
class UserInterface;

// Performs statistics scans: looks at the ten results logs in number order and imports each
// one that is new or was rewritten since its last import. Owns the program's one stamp list,
// which comes into being at the first stamp lookup. A log's players and its stamp are
// committed to the database together, and then the stamp goes to the stamp file; a scan
// first takes into the file any stamp the database holds that is newer than the file's (a
// run that ended between the two), so that no log is counted twice.
class ScanDriver
{
public:
    ScanDriver(const Config& config, ProgramFiles files, UserInterface& ui);
    ~ScanDriver();

    // One scan; catches and reports all of its failures itself.
    void scanStatFiles();
    // True while a scan runs (a message box of an import may be open meanwhile).
    bool isScanning() const { return m_scanning; }
    // The file whose absence ended the last scan; empty when none did.
    const QString& missingFile() const { return m_missingFile; }
    // Called after each log's commit, before its stamp goes to the file (for tests that stop a
    // scan there).
    void setAfterCommit(std::function<void()> afterCommit) { m_afterCommit = std::move(afterCommit); }

private:
    StampCollection& stamps();
    void takeStampsOfTheDatabase();

    const Config& m_config;
    ProgramFiles m_files;
    UserInterface& m_ui;
    std::unique_ptr<StampCollection> m_stamps;
    bool m_scanning = false;
    QString m_missingFile;
    std::function<void()> m_afterCommit;
};
