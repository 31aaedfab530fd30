#include "ScanDriver.h"

#include "config/Config.h"
#include "db/Database.h"
#include "db/LogMerge.h"
#include "db/StampTable.h"
#include "import/ImportLog.h"
#include "platform/Blanks.h"
#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/SystemFormats.h"
#include "platform/UserInterface.h"
#include "platform/VirtualStore.h"

#include <QFileInfo>

#include <utility>

namespace {

constexpr std::int16_t logCount = 10;

// The log's last-modified time to the second, in local time; code 53 when it does not exist.
QDateTime lastModified(const QString& path)
{
    if (!FileOperations::fileexists(path))
        throw Failure::fileNotFound();
    const QFileInfo info(path);
    return QDateTime::fromSecsSinceEpoch(info.lastModified().toSecsSinceEpoch(), Qt::LocalTime);
}

// Stamps are local date-times without an offset, so they are compared as the clock read them:
// in the hour when clocks go back, a stamp would otherwise be taken for the later of the two
// moments it can name, and a log rewritten within that hour missed.
bool earlierOnTheClock(const QDateTime& stamp, const QDateTime& logTime)
{
    return std::pair(stamp.date(), stamp.time()) < std::pair(logTime.date(), logTime.time());
}

QString timeNow()
{
    return SystemFormats::timeOfDay(QDateTime::currentDateTime());
}

} // namespace

ScanDriver::ScanDriver(const Config& config, ProgramFiles files, UserInterface& ui)
    : m_config(config), m_files(std::move(files)), m_ui(ui)
{
}

ScanDriver::~ScanDriver() = default;

StampCollection& ScanDriver::stamps()
{
    if (!m_stamps)
        m_stamps = std::make_unique<StampCollection>(m_files.stamps());
    return *m_stamps;
}

void ScanDriver::scanStatFiles()
{
    // An import's message box runs its own event loop, in which a timer tick may ask for
    // another scan; that request is dropped.
    if (m_scanning)
        return;
    m_scanning = true;
    struct Reset
    {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_scanning};

    m_ui.setStatus(QStringLiteral("Status scan failed at ") + timeNow() + u'.');
    m_missingFile.clear();
    try {
        bool synced = false;
        for (std::int16_t i = 0; i < logCount; ++i) {
            // The game directory is stored as typed; blanks around it are no part of the path,
            // just as the configuration's check for the game looks in the trimmed directory.
            // The log as the game sees it: on Windows its virtual-store copy, where there is one.
            const QString path = VirtualStore::gameView(
                trimBlanks(m_config.roguePath).toString() + QStringLiteral("/RSRESULTS") +
                QString::number(i) + QStringLiteral(".log"));
            m_missingFile = path;
            const QDateTime logTime = lastModified(path);
            m_missingFile = m_files.stamps(); // the list is read at its first lookup
            StampCollection& list = stamps();
            m_missingFile.clear();
            if (!std::exchange(synced, true))
                takeStampsOfTheDatabase();
            const StampCollection::Stamp stamp = list.getStamp(i);
            if (!stamp || earlierOnTheClock(*stamp, logTime)) {
                LogMerge merge(m_files.database(), i, StampCollection::formatStamp(logTime));
                if (!importLog(path, merge, m_ui))
                    continue;
                if (m_afterCommit)
                    m_afterCommit();
                list.setStamp(logTime, i);
            }
        }
    } catch (const Failure& failure) {
        if (failure.code() != FileNotFound)
            m_ui.showError(QStringLiteral("Error date#: "), failure.code(), failure.description());
        return;
    }
    m_ui.setStatus(QStringLiteral("Status scan successful at ") + timeNow() + u'.');
}

void ScanDriver::takeStampsOfTheDatabase()
{
    QMap<int, QString> recorded;
    try {
        Database database = Database::open(m_files.database());
        recorded = StampTable::read(database);
    } catch (const Failure&) {
        // Each log's merge looks again, in its own transaction, before it counts anything.
        return;
    }
    for (auto it = recorded.cbegin(); it != recorded.cend(); ++it) {
        StampCollection::Stamp inDatabase;
        try {
            inDatabase = StampCollection::parseStamp(it.value());
        } catch (const Failure&) {
            continue;
        }
        const auto log = std::int16_t(it.key());
        if (log < 0 || log >= logCount || !inDatabase)
            continue;
        const StampCollection::Stamp inFile = stamps().getStamp(log);
        if (!inFile || earlierOnTheClock(*inFile, *inDatabase))
            stamps().setStamp(*inDatabase, log);
    }
}
