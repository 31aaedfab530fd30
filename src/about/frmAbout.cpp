#include "frmAbout.h"

#include "about/ProgramIdentity.h"
#include "about/StartSysInfo.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {

template <typename T>
T* control(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    T* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QPlainTextEdit* textBlock(QWidget* parent, const char* name, const QString& text, int left, int top,
                          int width, int height)
{
    auto* block = control<QPlainTextEdit>(parent, name, left, top, width, height);
    block->setPlainText(text);
    block->setReadOnly(true);
    block->setTabChangesFocus(true);
    return block;
}

} // namespace

frmAbout::frmAbout(Registry& registry, UserInterface& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_registry(registry), m_ui(ui)
{
    setObjectName(QStringLiteral("frmAbout"));
    setFixedSize(420, 300);

    picIcon = control<QLabel>(this, "picIcon", 12, 12, 48, 48);
    picIcon->setPixmap(QIcon(QStringLiteral(":/tallyvane.png")).pixmap(48, 48));

    lblTitle = control<QLabel>(this, "lblTitle", 72, 12, 336, 26);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = control<QLabel>(this, "lblVersion", 72, 40, 336, 18);
    lblVersion->setText(QStringLiteral("Version"));

    Label1 = control<QLabel>(this, "Label1", 72, 62, 336, 18);
    Label1->setText(QStringLiteral("Copyright \u00A9 the Tallyvane project"));

    Text1 = textBlock(
        this, "Text1",
        QStringLiteral("Tallyvane is freeware for use together with the game Rogue Spear. "
                       "The Tallyvane project is not affiliated with the maker of the game. "
                       "No warranties of any kind are given for this program or for the "
                       "game; you use them at your own risk."),
        72, 86, 336, 96);

    Line1 = control<QFrame>(this, "Line1", 12, 192, 396, 2);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);

    Text2 = textBlock(this, "Text2",
                      QStringLiteral("E-mail: tallyvane@example.org\n"
                                     "Home page: https://tallyvane.example.org/\n"
                                     "Chat: irc.example.net, nickname tallyvane"),
                      12, 204, 276, 84);

    cmdOK = control<QPushButton>(this, "cmdOK", 300, 204, 108, 26);
    cmdOK->setText(QStringLiteral("OK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    cmdSysInfo = control<QPushButton>(this, "cmdSysInfo", 300, 238, 108, 26);
    cmdSysInfo->setText(QStringLiteral("&System Info..."));
    cmdSysInfo->setAutoDefault(false);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    // Form load.
    setWindowTitle(QStringLiteral("About ") + ProgramIdentity::title());
    lblVersion->setText(ProgramIdentity::versionText());
    lblTitle->setText(ProgramIdentity::title());
    cmdOK->setFocus();

    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    move(screen->availableGeometry().center() - rect().center());
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo(m_registry, m_ui);
}
