#include "PlayerRecord.h"

#include "platform/Numbers.h"

void PlayerRecord::setSkill()
{
    if (m_kills == 0) {
        storeSkill(0);
        m_accuracy = 0;
        return;
    }
    // Each rating is stored as soon as it is known, so an overflow of the skill value leaves
    // accuracy as it was.
    if (m_killed == 0) {
        storeSkill(Numbers::narrow16(Numbers::multiply32(m_kills, 100)));
        m_accuracy = Numbers::narrow16(Numbers::multiply32(m_hitPercent, m_kills));
        return;
    }
    const double ratio = double(m_kills) / double(m_killed);
    storeSkill(Numbers::toInt16(ratio * 100.0));
    m_accuracy = Numbers::toInt16(ratio * m_hitPercent);
}
