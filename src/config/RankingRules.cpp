#include "RankingRules.h"

#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/SequentialInput.h"
#include "platform/TextFileWriter.h"

#include <QDir>
#include <QFile>
#include <QMutex>

namespace {

const QLatin1String minimumKey("minimum games:");
const QLatin1String nameKey("never ranked:");

Failure damaged(const QString& path, int line, const QString& why)
{
    return Failure(InvalidProcedureCall, QStringLiteral("%1, line %2: %3")
                                             .arg(QDir::toNativeSeparators(path))
                                             .arg(line)
                                             .arg(why));
}

} // namespace

RankingRules RankingRules::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            return {};
        throw FileOperations::failureOf(file, path, QIODevice::ReadOnly);
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileOperations::failureOf(file, path, QIODevice::ReadOnly);
    // A page written again and again reads the same bytes each time: the rules they gave last
    // are taken again rather than read anew.
    static QMutex lastReadLock;
    static QByteArray lastContent;
    static RankingRules lastRules;
    {
        const QMutexLocker locker(&lastReadLock);
        if (!lastContent.isNull() && content == lastContent)
            return lastRules;
    }
    const RankingRules rules = parse(path, content);
    const QMutexLocker locker(&lastReadLock);
    lastContent = content;
    lastRules = rules;
    return rules;
}

RankingRules RankingRules::parse(const QString& path, const QByteArray& content)
{
    RankingRules rules;
    SequentialInput input(content, SequentialInput::Encoding::System);
    bool minimumSeen = false;
    for (int number = 1; !input.atEnd(); ++number) {
        const QString line = input.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(minimumKey, Qt::CaseInsensitive)) {
            bool ok = false;
            const int minimum = line.mid(minimumKey.size()).trimmed().toInt(&ok);
            if (!ok || minimum < leastMinimum || minimum > mostMinimum)
                throw damaged(path, number, QStringLiteral("the minimum of games must be a whole "
                                                           "number from %1 to %2")
                                                .arg(leastMinimum)
                                                .arg(mostMinimum));
            if (std::exchange(minimumSeen, true))
                throw damaged(path, number, QStringLiteral("a second minimum of games"));
            rules.minimumGames = minimum;
        } else if (line.startsWith(nameKey, Qt::CaseInsensitive)) {
            const QString name = line.mid(nameKey.size()).trimmed();
            if (asStored(name).isEmpty())
                throw damaged(path, number, QStringLiteral("a name never ranked that is empty"));
            rules.neverRanked.append(name);
        } else {
            throw damaged(path, number, QStringLiteral("\"%1\" is neither \"minimum games:\" nor "
                                                       "\"never ranked:\"")
                                            .arg(line));
        }
    }
    return rules;
}

void RankingRules::save(const QString& path) const
{
    QStringList lines{
        QStringLiteral("# Who is ranked on the page: players with at least the minimum of games,"),
        QStringLiteral("# and none of the names never ranked (letter case and brackets aside)."),
        QString(minimumKey) + u' ' + QString::number(minimumGames)};
    for (const QString& name : neverRanked)
        lines.append(QString(nameKey) + u' ' + name);
    TextFileWriter::writePrivateLines(path, lines);
}

QString RankingRules::asStored(const QString& name)
{
    QString stored = name;
    for (QChar& c : stored) {
        const bool kept = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
                          (c >= u'a' && c <= u'z');
        if (!kept)
            c = u' ';
    }
    return stored.trimmed();
}
