#pragma once

#include "config/FtpProtocol.h"
#include "config/RankingRules.h"

#include <QDialog>
#include <QHash>

#include <array>
#include <vector>

class Config;
class QComboBox;
class QListWidget;
class QPushButton;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTreeView;
class UserInterface;

// The configuration dialog, always shown modally. Opening copies the configuration into the
// boxes; Apply validates and stores all nine settings in the configuration object (the file
// is written later); Cancel leaves the object as it was and writes it to the file, and is
// refused while no game directory was ever applied. The close box changes nothing.
// The drive list offers the mounted volumes, the directory list their directory tree.
class frmDirectory : public QDialog
{
    Q_OBJECT

public:
    frmDirectory(Config& config, UserInterface& ui, QWidget* parent = nullptr);

signals:
    // Emitted after Apply stored new settings, before the dialog closes.
    void applied();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void drvList_Change();
    void dirList_Change();
    void cboFTPprotocol_Change();
    void cmdAdd_Click();
    void cmdRemove_Click();
    bool applyRankingRules();
    void lblBottom_Click(int index);
    void apply();
    void cancel();

    QString dirListPath() const;
    bool setDirListPath(const QString& path);
    int volumeItemOf(const QString& path) const;
    void refuse(const QString& text, const QString& title);

    Config& m_config;
    UserInterface& m_ui;
    // Where each volume's directory list stood last, as a drive keeps its current directory.
    QHash<QString, QString> m_volumeDirectories;
    bool m_returningDrive = false;
    // Controls on the tabs, placed relative to the tab control once it has been laid out.
    std::vector<std::pair<QWidget*, QRect>> m_tabPlaces;
    // The protocol the port box last followed.
    FtpProtocol m_portProtocol = FtpProtocol::Ftp;
    // Who the page ranks, kept in a file of its own (ranking.txt), which Apply writes. A file
    // that cannot be read is left to the host to mend: the tab is then shut.
    QString m_rulesPath;
    bool m_rulesReadable = true;

    QTabWidget* SSTab1;
    QLineEdit* txtPath;
    QComboBox* drvList;
    QTreeView* dirList;
    QFileSystemModel* m_directories;
    QLineEdit* txtScan;
    QLineEdit* txtRecords;
    QLineEdit* txtNickname;
    QLineEdit* txtFTPaddress;
    QLineEdit* txtFTPport;
    QComboBox* cboFTPprotocol;
    QLineEdit* txtFTPusername;
    QLineEdit* txtFTPpw;
    QLineEdit* txtFTPfile;
    QLineEdit* txtMinGames;
    QListWidget* lstNeverRanked;
    QLineEdit* txtNeverRanked;
    QPushButton* cmdAdd;
    QPushButton* cmdRemove;
    std::array<QLabel*, 2> lblBottom{};
};
