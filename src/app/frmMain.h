#pragma once

#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"

#include <QWidget>

#include <array>
#include <memory>

class Config;
class FtpTransfer;
class QCheckBox;
class QLabel;
class QTimer;
class ScanDriver;

// The main window: the program's commands as clickable labels, the automatic-scanning check
// box and timer, and the status line through which every operation reports. It owns the one
// configuration object; the program ends when the window is unloaded (Quit or its close box),
// which writes the configuration file.
class frmMain : public QWidget, public UserInterface
{
    Q_OBJECT

public:
    explicit frmMain(ProgramFiles files, QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs the start-up steps before the window is shown: answers whether the window is to be
    // shown. When it is not, the program ends with exitStatus().
    bool startup();
    int exitStatus() const { return m_exitStatus; }

protected:
    void displayStatus(const QString& text) override;
    Answer displayMessage(const Message& message) override;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void lblMenu_Click(int index);
    void lblMenu_MouseMove(int index);
    void Form_MouseMove();
    void timScan_Timer();

    void showConfiguration();
    void armScanTimer();
    void cleanDatabaseConfirmed();
    void generateHtml();
    void uploadHtml();
    // Ends the window's life: the scan state and then the configuration are destroyed and
    // write their files. Runs once, at whichever of close and destruction comes first.
    void unload();

    ProgramFiles m_files;
    std::unique_ptr<Config> tallyvaneconfig;
    std::unique_ptr<ScanDriver> m_scanner;
    int m_exitStatus = 0;

    std::array<QLabel*, 5> lblMenu{};
    QCheckBox* chkTurnOn;
    QLabel* lblAbout;
    QLabel* lblQuit;
    QLabel* lblStatus;
    QTimer* timScan;
    FtpTransfer* InetHTML;
};
