#include "ImportLog.h"

#include "db/DbError.h"
#include "db/LogMerge.h"
#include "player/PlayerRecord.h"
#include "platform/Blanks.h"
#include "platform/Failure.h"
#include "platform/Numbers.h"
#include "platform/SequentialInput.h"
#include "platform/UserInterface.h"

#include <array>

namespace {

constexpr qsizetype lineLength = 150;
constexpr qsizetype headerLength = 11;
constexpr std::int16_t columnCount = 20;
// The last column that cutting fills; a blank met there ends the line.
constexpr std::int16_t lastCutColumn = 19;

using Columns = std::array<QString, columnCount>;

// The text cut after length characters or filled up with blanks to length characters.
QString fitted(const QString& text, qsizetype length)
{
    return text.leftJustified(length, u' ', true);
}

bool isKept(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Blanks separate columns (every blank counts, so two in a row leave an empty column);
// letters A to Z and digits are kept; any other character becomes a blank inside the column.
Columns cutColumns(const QString& buffer)
{
    Columns columns;
    std::int16_t column = 1;
    for (const QChar c : buffer) {
        if (c == u' ') {
            if (column >= lastCutColumn)
                break;
            ++column;
        } else {
            columns[column - 1].append(isKept(c) ? c : QChar(u' '));
        }
    }
    return columns;
}

const QString& columnAt(const Columns& columns, int number)
{
    if (number < 1 || number > columnCount)
        throw Failure::subscriptOutOfRange();
    return columns[std::size_t(number - 1)];
}

// A column holds only blanks, letters and digits, so a number there is a run of digits.
bool isNumericColumn(const QString& column)
{
    const QStringView digits = trimBlanks(column);
    if (digits.isEmpty())
        return false;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

PlayerRecord readPlayer(const Columns& columns)
{
    PlayerRecord record;
    if (Numbers::parse(columnAt(columns, 3)) == 3)
        record.setKilled(1);
    record.setPlayerName(columnAt(columns, 4));
    int n = 5;
    while (!isNumericColumn(columnAt(columns, n))) {
        record.setPlayerName(record.playerName() + QLatin1Char(' ') + columnAt(columns, n));
        ++n;
    }
    record.setKills(Numbers::toInt32(Numbers::parse(columnAt(columns, n))));
    record.setHitPercent(Numbers::toInt16(Numbers::parse(columnAt(columns, n + 1))));
    record.setAverageRounds(Numbers::toInt16(Numbers::parse(columnAt(columns, n + 2))));
    record.setNumGames(1);
    record.setSkill();
    return record;
}

void mergePlayers(const QString& logPath, LogMerge& merge)
{
    SequentialInput input = SequentialInput::open(logPath);

    if (fitted(input.readField(), headerLength) != u"Adversarial")
        return;

    // The heading of the player table starts with the field "Index". When that field ends at
    // a comma, the rest of its line is the first player line.
    QString buffer;
    do {
        buffer = fitted(input.readField(), lineLength);
    } while (!buffer.startsWith(u"Index"));

    while (!input.atEnd())
        merge.merge(readPlayer(cutColumns(fitted(input.readLine(), lineLength))));
}

void showNameFailure(const Failure& failure, UserInterface& ui)
{
    const QString text = QStringLiteral("Error #: ") + QString::number(failure.code()) + u'\n' +
                         QStringLiteral("Description: ") + failure.description() + u'.' + u'\n' +
                         QStringLiteral("Plain english: Log imports will fail if a player has\n"
                                        "two names, seperated by numbers (such\n"
                                        "as \"mp5 10SD\"). This log will be skipped.\n"
                                        "Click on Force Statistics Scan to import remaining logs.");
    ui.showMessage({text, QStringLiteral("Error"), UserInterface::Icon::Critical,
                    UserInterface::Buttons::Ok});
}

} // namespace

bool importLog(const QString& logPath, LogMerge& merge, UserInterface& ui)
{
    try {
        mergePlayers(logPath, merge);
        merge.commit();
        return true;
    } catch (const Failure& failure) {
        if (failure.code() == TypeMismatch)
            showNameFailure(failure, ui);
        else if (failure.code() != DbError::TooFewParameters)
            ui.showError(QStringLiteral("Error imp#: "), failure.code(), failure.description());
        // The database failed: nothing of the log is kept, and the next scan imports it again.
        if (DbError::isDatabaseFailure(failure.code()))
            return false;
    }
    // The log itself was at fault: the players above the line it stopped at count, and the
    // log is not read again until the game rewrites it.
    try {
        merge.commit();
        return true;
    } catch (const Failure& failure) {
        if (failure.code() != DbError::TooFewParameters)
            ui.showError(QStringLiteral("Error imp#: "), failure.code(), failure.description());
        return false;
    }
}
