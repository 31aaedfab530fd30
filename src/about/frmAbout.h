#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class Registry;
class UserInterface;

// The about dialog: the program's title, version, credits, and a launcher for the
// system-information tool. Shown modally; OK, Enter, Esc or the close box dismiss it.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    frmAbout(Registry& registry, UserInterface& ui, QWidget* parent = nullptr);

private:
    void cmdSysInfo_Click();

    Registry& m_registry;
    UserInterface& m_ui;
    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* Label1;
    QPlainTextEdit* Text1;
    QPlainTextEdit* Text2;
    QFrame* Line1;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;
};
