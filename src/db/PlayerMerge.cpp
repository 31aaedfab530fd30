#include "PlayerMerge.h"

#include "db/Database.h"
#include "db/Recordset.h"
#include "db/SqlText.h"
#include "player/PlayerRecord.h"
#include "platform/Failure.h"
#include "platform/Numbers.h"

#include <QVariant>

namespace {

// The runtime's code for a field that holds no value where a number or a text is needed.
constexpr int InvalidUseOfNull = 94;

QString number(long long value)
{
    return Numbers::formatPlain(value);
}

// A stored whole number converted as an assignment converts it: a fraction to the nearest
// whole number with halves to even, a text only when it is a number, a null never.
double numberOf(const QVariant& value)
{
    if (value.isNull())
        throw Failure(InvalidUseOfNull, QStringLiteral("Invalid use of Null"));
    switch (value.typeId()) {
    case QMetaType::LongLong:
        return double(value.toLongLong());
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QString:
        return Numbers::parse(value.toString());
    default:
        throw Failure::typeMismatch();
    }
}

std::int32_t int32Of(const QVariant& value)
{
    return Numbers::toInt32(numberOf(value));
}
std::int16_t int16Of(const QVariant& value)
{
    return Numbers::toInt16(numberOf(value));
}

QString textOf(const QVariant& value)
{
    if (value.isNull())
        throw Failure(InvalidUseOfNull, QStringLiteral("Invalid use of Null"));
    if (value.typeId() == QMetaType::QByteArray)
        throw Failure::typeMismatch();
    return value.toString();
}

// The halved sum of a stored and a new running figure, halves going to the even neighbour.
std::int16_t halvedSum(std::int16_t incoming, std::int16_t stored)
{
    return Numbers::toInt16(double(Numbers::add16(incoming, stored)) / 2.0);
}

} // namespace

void findPlayer(const PlayerRecord& record, Database& database)
{
    const Recordset found = database.openRecordset(
        QStringLiteral(" SELECT * FROM tblPlayer ") + QStringLiteral("WHERE fldName = '") +
        sqlText(record.playerName()) + QLatin1Char('\''));
    database.execute(found.recordCount() == 0 ? insertPlayer(record) : updatePlayer(record, found));
}

QString insertPlayer(const PlayerRecord& record)
{
    return QStringLiteral(" INSERT INTO tblPlayer ") +
           QStringLiteral(" (fldName, fldSkill, fldAccuracy, fldKills, fldKilled, fldHitPercent, "
                          "fldAverageRounds, fldGamesPlayed)") +
           QStringLiteral(" VALUES (") + QLatin1Char('\'') + sqlText(record.playerName()) +
           QLatin1Char('\'') + QLatin1Char(',') + number(record.readSkill()) + QLatin1Char(',') +
           number(record.accuracy()) + QLatin1Char(',') + number(record.kills()) +
           QLatin1Char(',') + number(record.killed()) + QLatin1Char(',') +
           number(record.hitPercent()) + QLatin1Char(',') + number(record.averageRounds()) +
           QLatin1Char(',') + number(record.numGames()) + QLatin1Char(')');
}

QString updatePlayer(const PlayerRecord& record, const Recordset& stored)
{
    PlayerRecord merged;
    merged.setPlayerName(textOf(stored.field(QStringLiteral("fldName"))));
    merged.setKills(int32Of(stored.field(QStringLiteral("fldKills"))));
    merged.setKilled(int32Of(stored.field(QStringLiteral("fldKilled"))));
    merged.setHitPercent(int16Of(stored.field(QStringLiteral("fldHitPercent"))));
    merged.setAverageRounds(int16Of(stored.field(QStringLiteral("fldAverageRounds"))));
    merged.setNumGames(int32Of(stored.field(QStringLiteral("fldGamesPlayed"))));

    merged.setKills(Numbers::add32(record.kills(), merged.kills()));
    merged.setKilled(Numbers::add32(record.killed(), merged.killed()));
    // The stored average and the new game's weigh equally, however many games are merged.
    if (record.averageRounds() > 0) {
        merged.setHitPercent(halvedSum(record.hitPercent(), merged.hitPercent()));
        merged.setAverageRounds(halvedSum(record.averageRounds(), merged.averageRounds()));
    }
    merged.setNumGames(Numbers::add32(merged.numGames(), 1));
    merged.setSkill();

    // The condition names the player as the row spells it, whatever case the game used.
    return QStringLiteral(" UPDATE tblPlayer ") + QStringLiteral(" SET fldSkill = ") +
           number(merged.readSkill()) + QLatin1Char(',') + QStringLiteral(" fldAccuracy = ") +
           number(merged.accuracy()) + QLatin1Char(',') + QStringLiteral(" fldKills = ") +
           number(merged.kills()) + QLatin1Char(',') + QStringLiteral(" fldKilled = ") +
           number(merged.killed()) + QLatin1Char(',') + QStringLiteral(" fldHitPercent = ") +
           number(merged.hitPercent()) + QLatin1Char(',') + QStringLiteral(" fldAverageRounds = ") +
           number(merged.averageRounds()) + QLatin1Char(',') +
           QStringLiteral(" fldGamesPlayed = ") + number(merged.numGames()) +
           QStringLiteral(" WHERE fldName = '") + sqlText(merged.playerName()) + QLatin1Char('\'');
}
