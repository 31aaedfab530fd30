#include "frmDirectory.h"

#include "config/Config.h"
#include "config/ConfigValidation.h"
#include "platform/Failure.h"
#include "platform/ProgramFiles.h"
#include "platform/Twips.h"
#include "platform/Numbers.h"
#include "platform/SystemText.h"
#include "platform/UserInterface.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QMouseEvent>
#include <QScreen>
#include <QStorageInfo>
#include <QTabWidget>
#include <QTreeView>

#include <cmath>

namespace {

QFont fontOf(const QStringList& families, double points, QFont::Weight weight)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QString withSeparator(const QString& path)
{
    return path.endsWith(QDir::separator()) ? path : path + QDir::separator();
}

// The root of the volume that holds path, or of the nearest existing directory above it.
QString volumeRootOf(const QString& path)
{
    QFileInfo info(path);
    while (!info.exists() && !info.isRoot() && info.absolutePath() != info.absoluteFilePath())
        info.setFile(info.absolutePath());
    const QStorageInfo storage(info.absoluteFilePath());
    return storage.isValid() ? storage.rootPath() : QString();
}

// A box that does not hold a number in the 16-bit range reads as 0, which fails that box's own
// range check, in the order the checks run.
std::int16_t readNumber(const QLineEdit* box)
{
    try {
        return Numbers::floorToInt16(Numbers::parse(box->text()));
    } catch (const Failure&) {
        return 0;
    }
}

// A port is a whole number from 1 to 65535; it is kept in 16 bits, so that ports above 32767
// are stored as negative numbers with the same bits.
bool readPort(const QLineEdit* box, std::int16_t& value)
{
    double number = 0;
    try {
        number = std::floor(Numbers::parse(box->text()));
    } catch (const Failure&) {
        return false;
    }
    if (!(number >= 1 && number <= 65535))
        return false;
    value = static_cast<std::int16_t>(static_cast<std::uint16_t>(number));
    return true;
}

} // namespace

frmDirectory::frmDirectory(Config& config, UserInterface& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_config(config), m_ui(ui)
{
    setObjectName(QStringLiteral("frmDirectory"));
    setWindowTitle(QStringLiteral("Tallyvane Configuration"));
    setFixedSize(twips(0, 0, 4692, 5424).size());
    setMouseTracking(true);
    // The layout is designed for the 8-point dialog font of the platform it comes from.
    setFont(fontOf({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Liberation Sans")},
                   8, QFont::Normal));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setGeometry(twips(120, 240, 4452, 4572));
    auto* general = new QWidget;
    auto* ftp = new QWidget;
    auto* ranking = new QWidget;
    SSTab1->addTab(general, QStringLiteral("General"));
    SSTab1->addTab(ftp, QStringLiteral("FTP Settings"));
    SSTab1->addTab(ranking, QStringLiteral("Ranking"));

    auto place = [this](QWidget* widget, const char* name, const QRect& where) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(where);
        m_tabPlaces.emplace_back(widget, where);
    };
    auto label = [&](QWidget* page, const char* name, int index, const QString& caption,
                     const QRect& where) {
        auto* widget = new QLabel(caption, page);
        place(widget, name, where);
        if (index >= 0)
            widget->setProperty("index", index);
        return widget;
    };
    auto textBox = [&](QWidget* page, const char* name, const QRect& where) {
        auto* box = new QLineEdit(page);
        place(box, name, where);
        return box;
    };

    // General
    label(general, "lblLabels", 0, QStringLiteral("Rogue Spear Directory:"),
          twips(240, 480, 2172, 252));
    txtPath = textBox(general, "txtPath", twips(240, 720, 3972, 300));
    drvList = new QComboBox(general);
    place(drvList, "drvList", twips(240, 1080, 3972, 288));
    dirList = new QTreeView(general);
    place(dirList, "dirList", twips(240, 1440, 3972, 1584));
    dirList->setFont(
        fontOf({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")}, 7.8, QFont::Normal));
    auto* line = new QFrame(general);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    place(line, "Line1",
          QRect(twips(360, 3240, 0, 0).topLeft() - QPoint(0, 1),
                QSize(twips(0, 0, 4320 - 360, 0).width(), 3)));
    label(general, "lblLabels", 1, QStringLiteral("Scan interval (in seconds):"),
          twips(240, 3396, 2172, 252));
    txtScan = textBox(general, "txtScan", twips(3240, 3360, 972, 288));
    label(general, "lblLabels", 2, QStringLiteral("Number of records to display:"),
          twips(240, 3756, 2172, 252));
    txtRecords = textBox(general, "txtRecords", twips(3240, 3720, 972, 288));
    label(general, "lblNickname", -1, QStringLiteral("Your nickname:"),
          twips(240, 4116, 1452, 252));
    txtNickname = textBox(general, "txtNickname", twips(1440, 4080, 2772, 288));

    // FTP Settings
    const QFont bold = fontOf({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")},
                              7.8, QFont::Bold);
    label(ftp, "lblFTP", 0, QStringLiteral("Server Address"), twips(240, 600, 2052, 252))
        ->setFont(bold);
    label(ftp, "lblFTP", 1, QStringLiteral("FTP://"), twips(240, 876, 612, 252))
        ->setAlignment(Qt::AlignRight | Qt::AlignTop);
    txtFTPaddress = textBox(ftp, "txtFTPaddress", twips(960, 840, 3252, 288));
    label(ftp, "lblFTP", 5, QStringLiteral("Port:"), twips(240, 1356, 612, 252))
        ->setAlignment(Qt::AlignRight | Qt::AlignTop);
    txtFTPport = textBox(ftp, "txtFTPport", twips(960, 1320, 972, 288));
    label(ftp, "lblFTP", 8, QStringLiteral("Protocol:"), twips(1950, 1356, 660, 252))
        ->setAlignment(Qt::AlignRight | Qt::AlignTop);
    cboFTPprotocol = new QComboBox(ftp);
    place(cboFTPprotocol, "cboFTPprotocol", twips(2655, 1320, 1557, 288));
    for (const FtpProtocol protocol : {FtpProtocol::Ftp, FtpProtocol::FtpOverTls, FtpProtocol::Sftp})
        cboFTPprotocol->addItem(FtpProtocols::displayName(protocol), int(protocol));
    label(ftp, "lblFTP", 2, QStringLiteral("User Information"), twips(240, 1800, 2052, 252))
        ->setFont(bold);
    label(ftp, "lblFTP", 3, QStringLiteral("Username:"), twips(360, 2076, 852, 252))
        ->setAlignment(Qt::AlignRight | Qt::AlignTop);
    txtFTPusername = textBox(ftp, "txtFTPusername", twips(1320, 2040, 2892, 288));
    label(ftp, "lblFTP", 4, QStringLiteral("Password:"), twips(360, 2556, 852, 252))
        ->setAlignment(Qt::AlignRight | Qt::AlignTop);
    txtFTPpw = textBox(ftp, "txtFTPpw", twips(1320, 2520, 2892, 288));
    txtFTPpw->setEchoMode(QLineEdit::Password);
    txtFTPpw->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    label(ftp, "lblFTP", 6, QStringLiteral("Remote HTML filename and full path"),
          twips(240, 3000, 3012, 252))
        ->setFont(bold);
    label(ftp, "lblFTP", 7,
          QStringLiteral("The path is important, so if your home directory is /username, you "
                         "must enter /username/filename.htm"),
          twips(240, 3360, 3972, 492))
        ->setWordWrap(true);
    txtFTPfile = textBox(ftp, "txtFTPfile", twips(240, 3840, 3972, 288));

    // Ranking
    label(ranking, "lblRanking", 0, QStringLiteral("Minimum games to be ranked:"),
          twips(240, 600, 2652, 252));
    txtMinGames = textBox(ranking, "txtMinGames", twips(3240, 564, 972, 288));
    label(ranking, "lblRanking", 1, QStringLiteral("Names never ranked:"), twips(240, 1080, 2652, 252))
        ->setFont(bold);
    lstNeverRanked = new QListWidget(ranking);
    place(lstNeverRanked, "lstNeverRanked", twips(240, 1320, 3972, 1980));
    txtNeverRanked = textBox(ranking, "txtNeverRanked", twips(240, 3420, 2292, 288));
    cmdAdd = new QPushButton(QStringLiteral("Add"), ranking);
    place(cmdAdd, "cmdAdd", twips(2640, 3396, 720, 336));
    cmdRemove = new QPushButton(QStringLiteral("Remove"), ranking);
    place(cmdRemove, "cmdRemove", twips(3432, 3396, 780, 336));
    label(ranking, "lblRanking", 2,
          QStringLiteral("The games of the players left out are still counted; the page only "
                         "leaves them out."),
          twips(240, 3840, 3972, 492))
        ->setWordWrap(true);
    connect(cmdAdd, &QPushButton::clicked, this, &frmDirectory::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmDirectory::cmdRemove_Click);
    connect(txtNeverRanked, &QLineEdit::returnPressed, this, &frmDirectory::cmdAdd_Click);

    // Apply and Cancel, below the tabs.
    const QFont black = fontOf({QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans")},
                               7.8, QFont::Black);
    const QRect bottomPlaces[] = {twips(3960, 5040, 612, 252), twips(3120, 5040, 612, 252)};
    const QString bottomCaptions[] = {QStringLiteral("Cancel"), QStringLiteral("Apply")};
    for (int i = 0; i < 2; ++i) {
        auto* bottom = new QLabel(bottomCaptions[i], this);
        bottom->setObjectName(QStringLiteral("lblBottom"));
        bottom->setProperty("index", i);
        bottom->setGeometry(bottomPlaces[i]);
        bottom->setFont(black);
        bottom->setMouseTracking(true);
        bottom->installEventFilter(this);
        lblBottom[i] = bottom;
    }

    // The drive list holds the mounted volumes that are directories, by their root path.
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (volume.isValid() && QFileInfo(root).isDir() && drvList->findData(root) < 0)
            drvList->addItem(QDir::toNativeSeparators(root), root);
    }
    m_directories = new QFileSystemModel(this);
    m_directories->setFilter(QDir::AllDirs | QDir::Drives | QDir::Hidden | QDir::NoDotAndDotDot);
    m_directories->setRootPath(QString());
    dirList->setModel(m_directories);
    dirList->setHeaderHidden(true);
    for (int column = 1; column < m_directories->columnCount(); ++column)
        dirList->hideColumn(column);
    // Both lists start where the program stands, like a drive's current directory.
    setDirListPath(QDir::currentPath());
    m_volumeDirectories.insert(volumeRootOf(dirListPath()), dirListPath());
    drvList->setCurrentIndex(volumeItemOf(QDir::currentPath()));
    connect(drvList, &QComboBox::currentIndexChanged, this, &frmDirectory::drvList_Change);
    connect(cboFTPprotocol, &QComboBox::currentIndexChanged, this,
            &frmDirectory::cboFTPprotocol_Change);
    connect(dirList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &frmDirectory::dirList_Change);
    // Directories are read in the background; keep the chosen one in view as they arrive and
    // after the model has sorted them, which happens later and moves the rows.
    const auto keepCurrentInView = [this] { dirList->scrollTo(dirList->currentIndex()); };
    connect(m_directories, &QFileSystemModel::directoryLoaded, this, keepCurrentInView);
    connect(m_directories, &QAbstractItemModel::layoutChanged, this, keepCurrentInView);

    QWidget::setTabOrder(drvList, dirList);
    QWidget::setTabOrder(dirList, txtScan);
    QWidget::setTabOrder(txtScan, txtRecords);
    QWidget::setTabOrder(txtRecords, txtNickname);
    QWidget::setTabOrder(txtNickname, txtFTPaddress);
    QWidget::setTabOrder(txtFTPaddress, txtFTPport);
    QWidget::setTabOrder(txtFTPport, cboFTPprotocol);
    QWidget::setTabOrder(cboFTPprotocol, txtFTPusername);
    QWidget::setTabOrder(txtFTPusername, txtFTPpw);
    QWidget::setTabOrder(txtFTPpw, txtFTPfile);
    QWidget::setTabOrder(txtFTPfile, txtMinGames);
    QWidget::setTabOrder(txtMinGames, lstNeverRanked);
    QWidget::setTabOrder(lstNeverRanked, txtNeverRanked);
    QWidget::setTabOrder(txtNeverRanked, cmdAdd);
    QWidget::setTabOrder(cmdAdd, cmdRemove);
    QWidget::setTabOrder(cmdRemove, txtPath);
    drvList->setFocus();

    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    move(screen->availableGeometry().center() - rect().center());

    Form_Load();
}

void frmDirectory::Form_Load()
{
    txtScan->setText(Numbers::formatWithSign(m_config.scanInterval));
    txtRecords->setText(Numbers::formatWithSign(m_config.records));
    if (!m_config.roguePath.isEmpty()) {
        const int drive = volumeItemOf(m_config.roguePath);
        if (drive >= 0)
            drvList->setCurrentIndex(drive);
    }
    setDirListPath(m_config.roguePath);
    txtNickname->setText(m_config.nickname);
    txtFTPaddress->setText(m_config.ftpAddress);
    txtFTPusername->setText(m_config.ftpLogin);
    txtFTPpw->setText(m_config.ftpPassword);
    // An unknown protocol line shows no protocol, until the user chooses one.
    cboFTPprotocol->setCurrentIndex(cboFTPprotocol->findData(int(m_config.ftpProtocol)));
    // The upload reads a port of 0 as the protocol's usual port, and so does the box, so that
    // Apply accepts it.
    const std::uint16_t port = static_cast<std::uint16_t>(m_config.ftpPort);
    txtFTPport->setText(
        QString::number(port == 0 ? FtpProtocols::usualPort(m_config.ftpProtocol) : port));
    txtFTPfile->setText(m_config.ftpFile);

    m_rulesPath = ProgramFiles(QFileInfo(m_config.path()).absolutePath()).rankingRules();
    RankingRules rules;
    try {
        rules = RankingRules::load(m_rulesPath);
    } catch (const Failure& failure) {
        m_rulesReadable = false;
        SSTab1->setTabEnabled(2, false);
        m_ui.showMessage({QStringLiteral("The ranking settings cannot be read: %1.\n\nThe Ranking "
                                         "tab stays shut until the line is corrected.")
                              .arg(failure.description()),
                          QStringLiteral("Tallyvane"), UserInterface::Icon::Critical,
                          UserInterface::Buttons::Ok});
    }
    txtMinGames->setText(QString::number(rules.minimumGames));
    lstNeverRanked->addItems(rules.neverRanked);
}

void frmDirectory::cmdAdd_Click()
{
    const QString name = txtNeverRanked->text().trimmed();
    if (RankingRules::asStored(name).isEmpty())
        return;
    for (int i = 0; i < lstNeverRanked->count(); ++i) {
        if (RankingRules::asStored(lstNeverRanked->item(i)->text())
                .compare(RankingRules::asStored(name), Qt::CaseInsensitive) == 0)
            return txtNeverRanked->clear();
    }
    lstNeverRanked->addItem(name);
    txtNeverRanked->clear();
}

void frmDirectory::cmdRemove_Click()
{
    delete lstNeverRanked->currentItem();
}

// Checks the Ranking tab like the other boxes and writes ranking.txt; false, with the box
// shown, when the minimum is out of range or the file cannot take the names.
bool frmDirectory::applyRankingRules()
{
    if (!m_rulesReadable)
        return true;
    RankingRules rules;
    bool number = false;
    rules.minimumGames = txtMinGames->text().trimmed().toInt(&number);
    if (!number || rules.minimumGames < RankingRules::leastMinimum ||
        rules.minimumGames > RankingRules::mostMinimum) {
        refuse(QStringLiteral("Enter a minimum of between %1 and %2 games.")
                   .arg(RankingRules::leastMinimum)
                   .arg(RankingRules::mostMinimum),
               QStringLiteral("Invalid Minimum"));
        return false;
    }
    for (int i = 0; i < lstNeverRanked->count(); ++i)
        rules.neverRanked.append(lstNeverRanked->item(i)->text());
    try {
        rules.save(m_rulesPath);
    } catch (const Failure& failure) {
        refuse(QStringLiteral("The ranking settings could not be saved: %1.").arg(failure.description()),
               QStringLiteral("Invalid Characters"));
        return false;
    }
    return true;
}

void frmDirectory::drvList_Change()
{
    const QString root = drvList->currentData().toString();
    const QStorageInfo volume(root);
    if (volume.isReady() && QDir(root).isReadable() &&
        setDirListPath(m_volumeDirectories.value(root, root))) {
        txtPath->setText(withSeparator(drvList->currentText()));
        return;
    }
    // A volume that cannot be read: back, silently, to the volume the directory list is on.
    if (m_returningDrive)
        return;
    m_returningDrive = true;
    const int back = volumeItemOf(dirListPath());
    if (back >= 0 && back != drvList->currentIndex())
        drvList->setCurrentIndex(back);
    m_returningDrive = false;
}

void frmDirectory::dirList_Change()
{
    const QString path = dirListPath();
    m_volumeDirectories.insert(volumeRootOf(path), path);
    txtPath->setText(QDir::toNativeSeparators(path));
}

// The port follows the protocol to its usual port, unless the user typed one of their own.
void frmDirectory::cboFTPprotocol_Change()
{
    if (cboFTPprotocol->currentIndex() < 0)
        return;
    const auto protocol = FtpProtocol(cboFTPprotocol->currentData().toInt());
    const QString typed = txtFTPport->text().trimmed();
    if (typed.isEmpty() || typed == QString::number(FtpProtocols::usualPort(m_portProtocol)))
        txtFTPport->setText(QString::number(FtpProtocols::usualPort(protocol)));
    m_portProtocol = protocol;
}

void frmDirectory::lblBottom_Click(int index)
{
    if (index == 1)
        apply();
    else
        cancel();
}

void frmDirectory::apply()
{
    const QString gameDirectory = txtPath->text();
    const std::int16_t scanInterval = readNumber(txtScan);
    const std::int16_t records = readNumber(txtRecords);
    const QString nickname = txtNickname->text();
    if (!validateConfig(records, scanInterval, nickname, gameDirectory, m_ui))
        return;

    std::int16_t port = 0;
    if (!readPort(txtFTPport, port)) {
        refuse(QStringLiteral("Enter a port number between 1 and 65535."),
               QStringLiteral("Invalid Port"));
        return;
    }
    // statConf.txt is in the system's text encoding; a value it cannot hold is refused here
    // rather than stored with stand-in characters.
    const std::pair<const QLineEdit*, const char*> storedBoxes[] = {
        {txtPath, "Rogue Spear Directory"}, {txtNickname, "Your nickname"},
        {txtFTPaddress, "Server Address"},  {txtFTPusername, "Username"},
        {txtFTPpw, "Password"},             {txtFTPfile, "Remote HTML filename"}};
    for (const auto& [box, name] : storedBoxes) {
        if (!SystemText::encode(box->text())) {
            refuse(QStringLiteral("The %1 box holds a character that the configuration file "
                                  "cannot store.")
                       .arg(QLatin1String(name)),
                   QStringLiteral("Invalid Characters"));
            return;
        }
    }
    if (!applyRankingRules())
        return;
    const QString address = txtFTPaddress->text();
    const QString login = txtFTPusername->text();
    const QString password = txtFTPpw->text();
    const QString file = txtFTPfile->text();

    m_config.roguePath = gameDirectory;
    m_config.scanInterval = scanInterval;
    m_config.records = records;
    m_config.nickname = nickname;
    m_config.ftpAddress = address;
    m_config.ftpLogin = login;
    m_config.ftpPassword = password;
    m_config.ftpPort = port;
    m_config.ftpFile = file;
    if (cboFTPprotocol->currentIndex() >= 0)
        m_config.ftpProtocol = FtpProtocol(cboFTPprotocol->currentData().toInt());
    emit applied();
    accept();
}

void frmDirectory::cancel()
{
    if (m_config.roguePath.isEmpty()) {
        m_ui.showMessage({QStringLiteral("You must apply a configuration at least once!"),
                          QStringLiteral("Tallyvane"), UserInterface::Icon::None,
                          UserInterface::Buttons::Ok});
        return;
    }
    try {
        m_config.diskConfig();
    } catch (const Failure& failure) {
        m_ui.showMessage({QStringLiteral("The configuration could not be saved to %1.\n"
                                         "Error %2: %3.")
                              .arg(QDir::toNativeSeparators(m_config.path()))
                              .arg(failure.code())
                              .arg(failure.description()),
                          QStringLiteral("Tallyvane"), UserInterface::Icon::Critical,
                          UserInterface::Buttons::Ok});
    }
    reject();
}

QString frmDirectory::dirListPath() const
{
    return m_directories->filePath(dirList->currentIndex());
}

// Moves the directory list to an existing directory; a change of its path raises the
// directory-change event. Answers false, leaving the list as it was, for anything else.
bool frmDirectory::setDirListPath(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    const QModelIndex index = m_directories->index(QFileInfo(path).canonicalFilePath());
    if (!index.isValid())
        return false;
    if (index != dirList->currentIndex())
        dirList->setCurrentIndex(index);
    dirList->scrollTo(index);
    return true;
}

int frmDirectory::volumeItemOf(const QString& path) const
{
    return drvList->findData(volumeRootOf(path));
}

void frmDirectory::refuse(const QString& text, const QString& title)
{
    m_ui.showMessage({text, title, UserInterface::Icon::Information, UserInterface::Buttons::Ok});
}

bool frmDirectory::eventFilter(QObject* watched, QEvent* event)
{
    auto* label = qobject_cast<QLabel*>(watched);
    if (!label ||
        (event->type() != QEvent::MouseMove && event->type() != QEvent::MouseButtonRelease))
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::MouseMove) {
        setTextColour(label, QColor(255, 255, 255));
        return true;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint()))
        lblBottom_Click(label->property("index").toInt());
    return true;
}

void frmDirectory::mouseMoveEvent(QMouseEvent* event)
{
    if (childAt(event->position().toPoint()))
        return;
    for (QLabel* label : lblBottom)
        setTextColour(label, palette().color(QPalette::WindowText));
}

void frmDirectory::keyPressEvent(QKeyEvent* event)
{
    // The dialog has no cancel button: Esc does not close it, only Cancel or the close box.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void frmDirectory::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The positions are designed relative to the tab control; the pages start below its tabs.
    const QPoint pageOrigin = SSTab1->widget(0)->parentWidget()->pos();
    for (const auto& [widget, where] : m_tabPlaces)
        widget->setGeometry(where.translated(-pageOrigin));
    dirList->scrollTo(dirList->currentIndex());
}
