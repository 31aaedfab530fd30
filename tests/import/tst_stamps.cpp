#include "TestInstallation.h"

#include "import/StampCollection.h"
#include "platform/Failure.h"

#include <QFile>
#include <QTest>

#include <functional>

class TestStamps : public QObject
{
    Q_OBJECT

private slots:
    void setStamp_writesTheFileAtOnceAndReadsBack();
    void emptyFile_givesTenEmptySlots();
    void unreadableFile_failsWithCode_data();
    void unreadableFile_failsWithCode();
    void missingFile_failsWith53AndCreatesNothing();
    void slotOutsideRange_failsWith9AndChangesNothing();
};

namespace {

int failureCode(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Failure& failure) {
        return failure.code();
    }
    return 0;
}

} // namespace

void TestStamps::setStamp_writesTheFileAtOnceAndReadsBack()
{
    TestInstallation inst;
    const QDateTime afternoon(QDate(2024, 3, 1), QTime(14, 23, 5), Qt::LocalTime);
    const QDateTime midnight(QDate(1999, 10, 15), QTime(0, 0), Qt::LocalTime);
    {
        StampCollection stamps(inst.files().stamps());
        stamps.setStamp(afternoon, 0);
        stamps.setStamp(midnight, 1);
        QCOMPARE(stamps.getStamp(0), StampCollection::Stamp(afternoon));
        // Written before the collection goes, so that a crash cannot lose it.
        QCOMPARE(inst.readFile("dateStamps.txt"),
                 QByteArray("#2024-03-01 14:23:05#\r\n#1999-10-15#\r\n") + QByteArray("\r\n").repeated(8));
    }
    QCOMPARE(inst.readFile("dateStamps.txt"),
             QByteArray("#2024-03-01 14:23:05#\r\n#1999-10-15#\r\n") + QByteArray("\r\n").repeated(8));

    StampCollection again(inst.files().stamps());
    QCOMPARE(again.getStamp(0), StampCollection::Stamp(afternoon));
    QCOMPARE(again.getStamp(1), StampCollection::Stamp(midnight));
    for (std::int16_t i = 2; i < 10; ++i)
        QCOMPARE(again.getStamp(i), StampCollection::Stamp());
}

void TestStamps::emptyFile_givesTenEmptySlots()
{
    TestInstallation inst;
    inst.writeFile("dateStamps.txt", {});
    {
        StampCollection stamps(inst.files().stamps());
        for (std::int16_t i = 0; i < 10; ++i)
            QCOMPARE(stamps.getStamp(i), StampCollection::Stamp());
    }
    QCOMPARE(inst.readFile("dateStamps.txt"), QByteArray("\r\n").repeated(10));
}

void TestStamps::unreadableFile_failsWithCode_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("code");
    QTest::newRow("eleven empty lines") << QByteArray("\r\n").repeated(11) << 9;
    QTest::newRow("eleven fields on one line") << QByteArray(",,,,,,,,,,\r\n") << 9;
    QTest::newRow("eleven stamps")
        << QByteArray("#2024-03-01#\r\n").repeated(11) << 9;
    QTest::newRow("text that is no stamp") << QByteArray("yesterday\r\n") << 13;
    QTest::newRow("impossible date") << QByteArray("#2024-02-30 10:00:00#\r\n") << 13;
}

void TestStamps::unreadableFile_failsWithCode()
{
    QFETCH(QByteArray, content);
    QFETCH(int, code);
    TestInstallation inst;
    inst.writeFile("dateStamps.txt", content);

    QCOMPARE(failureCode([&] { StampCollection stamps(inst.files().stamps()); }), code);
    // A collection that failed to come into being writes nothing.
    QCOMPARE(inst.readFile("dateStamps.txt"), content);
}

void TestStamps::missingFile_failsWith53AndCreatesNothing()
{
    TestInstallation inst;
    QFile::remove(inst.files().stamps());

    QCOMPARE(failureCode([&] { StampCollection stamps(inst.files().stamps()); }), 53);
    QVERIFY(!QFile::exists(inst.files().stamps()));
}

void TestStamps::slotOutsideRange_failsWith9AndChangesNothing()
{
    TestInstallation inst;
    const QDateTime moment(QDate(2024, 3, 1), QTime(14, 23, 5), Qt::LocalTime);
    StampCollection stamps(inst.files().stamps());
    stamps.setStamp(moment, 9);
    const QByteArray before = inst.readFile("dateStamps.txt");

    for (const std::int16_t slot : {std::int16_t(-1), std::int16_t(10)}) {
        QCOMPARE(failureCode([&] { stamps.getStamp(slot); }), 9);
        QCOMPARE(failureCode([&] { stamps.setStamp(moment.addDays(1), slot); }), 9);
    }
    QCOMPARE(stamps.getStamp(9), StampCollection::Stamp(moment));
    QCOMPARE(inst.readFile("dateStamps.txt"), before);
}

QTEST_GUILESS_MAIN(TestStamps)
#include "tst_stamps.moc"
