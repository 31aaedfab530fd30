#pragma once

#include "import/StampCollection.h"

#include "platform/ProgramFiles.h"

#include <memory>

class Config;
class UserInterface;

// Performs statistics scans: looks at the ten results logs in number order and imports each
// one that is new or was rewritten since its last import. Owns the program's one stamp list,
// which comes into being at the first stamp lookup and is written when the driver goes.
class ScanDriver
{
public:
    ScanDriver(const Config& config, ProgramFiles files, UserInterface& ui);
    ~ScanDriver();

    // One scan; catches and reports all of its failures itself.
    void scanStatFiles();
    // True while a scan runs (a message box of an import may be open meanwhile).
    bool isScanning() const { return m_scanning; }

private:
    StampCollection& stamps();

    const Config& m_config;
    ProgramFiles m_files;
    UserInterface& m_ui;
    std::unique_ptr<StampCollection> m_stamps;
    bool m_scanning = false;
};
