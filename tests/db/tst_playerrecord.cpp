#include "DbTestSupport.h"

#include "import/PlayerRecord.h"

#include <QTest>

class TestPlayerRecord : public QObject
{
    Q_OBJECT

private slots:
    void setSkill_ratingsRoundHalfToEvenAndOverflowFails_data();
    void setSkill_ratingsRoundHalfToEvenAndOverflowFails();
};

void TestPlayerRecord::setSkill_ratingsRoundHalfToEvenAndOverflowFails_data()
{
    QTest::addColumn<int>("kills");
    QTest::addColumn<int>("killed");
    QTest::addColumn<int>("hitPercent");
    QTest::addColumn<int>("skill");
    QTest::addColumn<int>("accuracy");
    QTest::addColumn<int>("code");

    // Before each row the record holds skill 11 and accuracy 22, so that a rating that is not
    // written shows.
    QTest::newRow("no kills: both zero") << 0 << 5 << 40 << 0 << 0 << 0;
    QTest::newRow("never killed: plain products") << 3 << 0 << 50 << 300 << 150 << 0;
    QTest::newRow("ratio") << 3 << 2 << 50 << 150 << 75 << 0;
    QTest::newRow("185.71 -> 186, 83.57 -> 84") << 13 << 7 << 45 << 186 << 84 << 0;
    QTest::newRow("12.5 -> 12 (even), 3.75 -> 4") << 1 << 8 << 30 << 12 << 4 << 0;
    QTest::newRow("37.5 -> 38 (even)") << 3 << 8 << 0 << 38 << 0 << 0;
    QTest::newRow("327 kills never killed") << 327 << 0 << 100 << 32700 << 32700 << 0;
    QTest::newRow("negative ratio") << -3 << 2 << 50 << -150 << -75 << 0;
    QTest::newRow("skill overflows: nothing written") << 400 << 1 << 10 << 11 << 22 << 6;
    QTest::newRow("328 kills never killed: skill overflows") << 328 << 0 << 10 << 11 << 22 << 6;
    QTest::newRow("32-bit product overflows") << 2147483647 << 0 << 1 << 11 << 22 << 6;
    QTest::newRow("accuracy overflows: skill written, accuracy kept")
        << 1000 << 10 << 400 << 10000 << 22 << 6;
    QTest::newRow("never killed, accuracy overflows") << 300 << 0 << 200 << 30000 << 22 << 6;
}

void TestPlayerRecord::setSkill_ratingsRoundHalfToEvenAndOverflowFails()
{
    QFETCH(int, kills);
    QFETCH(int, killed);
    QFETCH(int, hitPercent);
    QFETCH(int, skill);
    QFETCH(int, accuracy);
    QFETCH(int, code);

    PlayerRecord record;
    record.storeSkill(11);
    record.setAccuracy(22);
    record.setKills(kills);
    record.setKilled(killed);
    record.setHitPercent(std::int16_t(hitPercent));

    QCOMPARE(failureCode([&] { record.setSkill(); }), code);
    QCOMPARE(record.getSkill(), skill);
    QCOMPARE(record.readSkill(), skill);
    QCOMPARE(record.accuracy(), accuracy);
}

QTEST_GUILESS_MAIN(TestPlayerRecord)
#include "tst_playerrecord.moc"
