#include "ScanDriver.h"

#include "config/Config.h"
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
    try {
        // A log is imported only where its stamp can be recorded, or it would be counted again.
        // The first import's check proves it; each stamp written after it proves it again.
        bool stampsSavable = false;
        for (std::int16_t i = 0; i < logCount; ++i) {
            // The game directory is stored as typed; blanks around it are no part of the path,
            // just as the configuration's check for the game looks in the trimmed directory.
            // The log as the game sees it: on Windows its virtual-store copy, where there is one.
            const QString path = VirtualStore::gameView(
                trimBlanks(m_config.roguePath).toString() + QStringLiteral("/RSRESULTS") +
                QString::number(i) + QStringLiteral(".log"));
            const QDateTime logTime = lastModified(path);
            const StampCollection::Stamp stamp = stamps().getStamp(i);
            if (!stamp || earlierOnTheClock(*stamp, logTime)) {
                if (!std::exchange(stampsSavable, true))
                    stamps().ensureSavable();
                importLog(path, m_files.database(), m_ui);
                stamps().setStamp(logTime, i);
            }
        }
    } catch (const Failure& failure) {
        if (failure.code() != FileNotFound)
            m_ui.showError(QStringLiteral("Error date#: "), failure.code(), failure.description());
        return;
    }
    m_ui.setStatus(QStringLiteral("Status scan successful at ") + timeNow() + u'.');
}
