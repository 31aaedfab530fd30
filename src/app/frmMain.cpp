#include "frmMain.h"

#include "app/MessageBox.h"

#include "about/ProgramIdentity.h"
#include "about/SystemRegistry.h"
#include "about/frmAbout.h"
#include "config/Config.h"
#include "config/frmDirectory.h"
#include "db/DatabaseClean.h"
#include "import/ScanDriver.h"
#include "platform/Failure.h"
#include "platform/Twips.h"
#include "publish/FtpTransfer.h"
#include "publish/FtpUpload.h"
#include "report/GenerateHtml.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {

QFont arial(double points)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(points);
    return font;
}

QFont arialBlack(double points)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(points);
    font.setWeight(QFont::Black);
    return font;
}

void setColours(QLabel* label, const QColor& background, const QColor& text)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    label->setPalette(palette);
}

void setTextColour(QLabel* label, const QColor& text)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, text);
    label->setPalette(palette);
}

const QSize clientSize = twips(0, 0, 3960, 2676).size();
const QColor white(255, 255, 255);
const QColor red(255, 0, 0);
constexpr int minimumScanSeconds = 60;
constexpr int maximumScanSeconds = 600;

} // namespace

frmMain::frmMain(ProgramFiles files, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_files(std::move(files))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ProgramIdentity::title());
    setFont(arial(9));
    setFixedSize(clientSize);
    setMouseTracking(true);

    const QString captions[] = {QStringLiteral("Configuration"), QStringLiteral("Statistics Scan"),
                                QStringLiteral("Generate HTML"), QStringLiteral("Upload HTML"),
                                QStringLiteral("Clean Database")};
    const QRect places[] = {twips(2280, 240, 1572, 252), twips(120, 240, 1572, 252),
                            twips(120, 600, 1572, 252), twips(120, 960, 1572, 252),
                            twips(2280, 600, 1572, 252)};
    for (int i = 0; i < 5; ++i) {
        QLabel* label = new QLabel(captions[i], this);
        label->setObjectName(QStringLiteral("lblMenu"));
        label->setProperty("index", i);
        label->setGeometry(places[i]);
        label->setAutoFillBackground(true);
        label->setMouseTracking(true);
        label->installEventFilter(this);
        setColours(label, palette().color(QPalette::HighlightedText),
                   palette().color(QPalette::WindowText));
        lblMenu[i] = label;
    }

    chkTurnOn = new QCheckBox(QStringLiteral("Turn on Scanning"), this);
    chkTurnOn->setObjectName(QStringLiteral("chkTurnOn"));
    chkTurnOn->setGeometry(twips(120, 1848, 1812, 204));
    chkTurnOn->setChecked(false);

    lblAbout = new QLabel(QStringLiteral("About"), this);
    lblAbout->setObjectName(QStringLiteral("lblAbout"));
    lblAbout->setGeometry(twips(3120, 1440, 732, 252));
    lblQuit = new QLabel(QStringLiteral("Quit"), this);
    lblQuit->setObjectName(QStringLiteral("lblQuit"));
    lblQuit->setGeometry(twips(3360, 1800, 492, 252));
    for (QLabel* label : {lblAbout, lblQuit}) {
        label->setFont(arialBlack(9));
        label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        label->setMouseTracking(true);
        label->installEventFilter(this);
    }

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(twips(120, 2280, 3732, 252));
    lblStatus->setFont(arial(7.8));
    lblStatus->setAutoFillBackground(true);
    lblStatus->setTextFormat(Qt::PlainText);
    setColours(lblStatus, palette().color(QPalette::Shadow),
               palette().color(QPalette::HighlightedText));

    timScan = new QTimer(this);
    timScan->setObjectName(QStringLiteral("timScan"));
    connect(timScan, &QTimer::timeout, this, &frmMain::timScan_Timer);

    InetHTML = new FtpTransfer(this);
    InetHTML->setObjectName(QStringLiteral("InetHTML"));
    connect(InetHTML, &FtpTransfer::stateChanged, this,
            [this](int state) { FtpUpload::handleStateChange(state, *InetHTML, m_files, *this); });

    const QScreen* screen = QGuiApplication::primaryScreen();
    move(screen->availableGeometry().center() - rect().center());
}

frmMain::~frmMain()
{
    unload();
}

bool frmMain::startup()
{
    setStatus(QStringLiteral("Initializing..."));
    armScanTimer();

    try {
        tallyvaneconfig = std::make_unique<Config>(m_files.configuration());
    } catch (const Failure& failure) {
        showMessage({QStringLiteral("The configuration file %1 could not be loaded.\n"
                                    "Error %2: %3.")
                         .arg(QDir::toNativeSeparators(m_files.configuration()))
                         .arg(failure.code())
                         .arg(failure.description()),
                     ProgramIdentity::title(), Icon::Critical, Buttons::Ok});
        m_exitStatus = 1;
        unload();
        return false;
    }
    m_scanner = std::make_unique<ScanDriver>(*tallyvaneconfig, m_files, *this);
    armScanTimer();

    if (!tallyvaneconfig->roguePath.isEmpty()) {
        m_scanner->scanStatFiles();
        return true;
    }

    showConfiguration();
    if (!tallyvaneconfig->roguePath.isEmpty()) {
        setStatus(QStringLiteral("Tallyvane configured."));
        return true;
    }
    setStatus(QStringLiteral("Tallyvane won't work unless configured!"));
    unload();
    return false;
}

void frmMain::displayStatus(const QString& text)
{
    lblStatus->setText(text);
}

UserInterface::Answer frmMain::displayMessage(const Message& message)
{
    return MessageBox::show(this, message);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    auto* label = qobject_cast<QLabel*>(watched);
    if (!label ||
        (event->type() != QEvent::MouseMove && event->type() != QEvent::MouseButtonRelease))
        return QWidget::eventFilter(watched, event);

    const int index = std::find(lblMenu.begin(), lblMenu.end(), label) - lblMenu.begin();
    if (event->type() == QEvent::MouseMove) {
        if (index < 5)
            lblMenu_MouseMove(index);
        else
            setTextColour(label, white);
        return true;
    }

    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || !label->rect().contains(mouse->position().toPoint()))
        return true;
    if (index < 5) {
        lblMenu_Click(index);
    } else if (label == lblAbout) {
        SystemRegistry registry;
        frmAbout about(registry, *this, this);
        about.exec();
    } else if (label == lblQuit) {
        close();
    }
    return true;
}

void frmMain::mouseMoveEvent(QMouseEvent* event)
{
    if (!childAt(event->position().toPoint()))
        Form_MouseMove();
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (isMinimized())
        return;
    if (size() != clientSize)
        resize(clientSize);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}

void frmMain::lblMenu_Click(int index)
{
    switch (index) {
    case 0:
        showConfiguration();
        break;
    case 1:
        m_scanner->scanStatFiles();
        break;
    case 2:
        generateHtml();
        break;
    case 3:
        uploadHtml();
        break;
    case 4:
        cleanDatabaseConfirmed();
        break;
    }
}

void frmMain::lblMenu_MouseMove(int index)
{
    for (QLabel* label : lblMenu)
        setColours(label, white, palette().color(QPalette::WindowText));
    setColours(lblMenu[index], red, white);
}

void frmMain::Form_MouseMove()
{
    const QColor text = palette().color(QPalette::WindowText);
    for (QLabel* label : lblMenu)
        setColours(label, white, text);
    setTextColour(lblAbout, text);
    setTextColour(lblQuit, text);
}

void frmMain::timScan_Timer()
{
    if (!chkTurnOn->isChecked() || !m_scanner)
        return;
    // Ticks also arrive inside the event loop of a modal window, a scan's own message boxes
    // included: a scan must never start on top of another or behind a dialog.
    if (m_scanner->isScanning() || QApplication::activeModalWidget() || MessageBox::isOpen())
        return;
    m_scanner->scanStatFiles();
}

void frmMain::showConfiguration()
{
    frmDirectory dialog(*tallyvaneconfig, *this, this);
    connect(&dialog, &frmDirectory::applied, this, &frmMain::armScanTimer);
    dialog.exec();
}

void frmMain::armScanTimer()
{
    const int seconds = tallyvaneconfig ? std::clamp<int>(tallyvaneconfig->scanInterval,
                                                          minimumScanSeconds, maximumScanSeconds)
                                        : minimumScanSeconds;
    timScan->start(seconds * 1000);
}

void frmMain::cleanDatabaseConfirmed()
{
    const Answer answer = showMessage(
        {QStringLiteral("This will delete all player records in the database. Proceed?"),
         QStringLiteral("Clean Database"), Icon::None, Buttons::OkCancel});
    if (answer == Answer::Ok)
        cleanDatabase(m_files, *this);
}

void frmMain::generateHtml()
{
    GenerateHtml::generateHtml(*m_scanner, *tallyvaneconfig, m_files, *this);
}

void frmMain::uploadHtml() { FtpUpload::uploadHtml(*tallyvaneconfig, *InetHTML, m_files, *this); }

void frmMain::unload()
{
    timScan->stop();
    m_scanner.reset();
    tallyvaneconfig.reset();
}
