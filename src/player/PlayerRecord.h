#pragma once

#include <QString>
#include <cstdint>

// One player's figures, of one game or of the stored totals, with the two ratings derived
// from them. The setters check nothing; the ratings change only when setSkill runs.
class PlayerRecord
{
public:
    std::int32_t kills() const { return m_kills; }
    void setKills(std::int32_t value) { m_kills = value; }
    std::int32_t killed() const { return m_killed; }
    void setKilled(std::int32_t value) { m_killed = value; }
    std::int16_t hitPercent() const { return m_hitPercent; }
    void setHitPercent(std::int16_t value) { m_hitPercent = value; }
    std::int16_t averageRounds() const { return m_averageRounds; }
    void setAverageRounds(std::int16_t value) { m_averageRounds = value; }
    std::int32_t numGames() const { return m_numGames; }
    void setNumGames(std::int32_t value) { m_numGames = value; }
    const QString& playerName() const { return m_playerName; }
    void setPlayerName(const QString& value) { m_playerName = value; }
    std::int16_t accuracy() const { return m_accuracy; }
    void setAccuracy(std::int16_t value) { m_accuracy = value; }

    // Recomputes the skill value and accuracy from kills, killed and hitPercent. Fails with
    // code 6 when a result leaves 16 bits; a skill that overflows leaves accuracy as it was.
    void setSkill();
    std::int16_t getSkill() const { return m_skill; }
    void storeSkill(std::int16_t value) { m_skill = value; }
    std::int16_t readSkill() const { return m_skill; }

private:
    std::int32_t m_kills = 0;
    std::int32_t m_killed = 0;
    std::int16_t m_hitPercent = 0;
    std::int16_t m_averageRounds = 0;
    std::int32_t m_numGames = 0;
    QString m_playerName;
    std::int16_t m_accuracy = 0;
    std::int16_t m_skill = 0;
};
