#include "StampCollection.h"

#include "platform/Failure.h"
#include "platform/SequentialInput.h"
#include "platform/TextFileWriter.h"

#include <QDebug>
#include <QStringList>

namespace {

void checkSlot(std::int16_t intindex)
{
    if (intindex < 0 || intindex > 9)
        throw Failure::subscriptOutOfRange();
}

} // namespace

StampCollection::StampCollection(QString path) : m_path(std::move(path))
{
    SequentialInput input = SequentialInput::open(m_path);
    std::size_t slot = 0;
    while (!input.atEnd()) {
        const QString field = input.readField();
        if (slot >= m_slots.size())
            throw Failure::subscriptOutOfRange();
        m_slots[slot] = parseStamp(field);
        ++slot;
    }
}

StampCollection::~StampCollection()
{
    if (!m_unsaved)
        return;
    try {
        write();
    } catch (const Failure& failure) {
        qWarning().noquote() << "Could not save the log stamps to" << m_path << "-"
                             << failure.code() << failure.description();
    }
}

StampCollection::Stamp StampCollection::getStamp(std::int16_t intindex) const
{
    checkSlot(intindex);
    return m_slots[std::size_t(intindex)];
}

void StampCollection::setStamp(const QDateTime& tempStamp, std::int16_t intindex)
{
    checkSlot(intindex);
    Stamp& slot = m_slots[std::size_t(intindex)];
    if (slot == tempStamp && !m_unsaved)
        return;
    slot = tempStamp;
    // Written at once: a log imported in this run must not be imported again after a crash.
    write();
}

QString StampCollection::formatStamp(const Stamp& stamp)
{
    if (!stamp)
        return {};
    const QDate date = stamp->date();
    const QTime time = stamp->time();
    if (time == QTime(0, 0))
        return QLatin1Char('#') + date.toString(u"yyyy-MM-dd") + QLatin1Char('#');
    return QLatin1Char('#') + date.toString(u"yyyy-MM-dd") + QLatin1Char(' ') +
           time.toString(u"HH:mm:ss") + QLatin1Char('#');
}

StampCollection::Stamp StampCollection::parseStamp(const QString& field)
{
    if (field.isEmpty())
        return std::nullopt;
    // A field that is neither empty nor a stamp is refused rather than read as empty: an empty
    // slot would import its log again and count its games twice.
    if (field.size() < 2 || !field.startsWith(u'#') || !field.endsWith(u'#'))
        throw Failure::typeMismatch();
    const QString inner = field.mid(1, field.size() - 2);
    const QDate date = QDate::fromString(inner.left(10), u"yyyy-MM-dd");
    QTime time(0, 0);
    if (inner.size() > 10) {
        if (inner[10] != u' ')
            throw Failure::typeMismatch();
        time = QTime::fromString(inner.mid(11), u"HH:mm:ss");
    }
    if (!date.isValid() || !time.isValid() || inner.size() < 10)
        throw Failure::typeMismatch();
    return QDateTime(date, time, Qt::LocalTime);
}

void StampCollection::write()
{
    QStringList lines;
    for (const Stamp& stamp : m_slots)
        lines.append(formatStamp(stamp));
    m_unsaved = true;
    TextFileWriter::writeLines(m_path, lines);
    m_unsaved = false;
}
