#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/Numbers.h"
#include "platform/SequentialInput.h"
#include "platform/SystemFormats.h"
#include "platform/TextFileWriter.h"
#include "platform/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void toInt16_roundsHalfToEvenAndOverflows_data();
    void toInt16_roundsHalfToEvenAndOverflows();
    void floorToInt16_roundsDown_data();
    void floorToInt16_roundsDown();
    void checkedArithmetic_failsOnOverflow();
    void formatWithSign_blankOnlyWhenNotNegative();

    void readLine_acceptsEveryLineEnd_data();
    void readLine_acceptsEveryLineEnd();
    void readField_followsCommasQuotesAndLineEnds();
    void readPastEnd_failsWithCode62();
    void openMissingFile_failsWithCode53();

    void windows1252_roundTripsAndReplacesTheUnrepresentable();

    void fileexists_isFalseForDirectories();
    void copyfile_replacesAnExistingDestination();
    void copyfile_missingSource_failsWithCode53();
    void deletefile_missingFile_failsWithCode53();
    void writeLines_endsEveryLineWithCrLf();
    void writeLines_intoMissingDirectory_failsAndLeavesNothing();
    void writePrivateLines_isReadableByOwnerOnly();

    void timeOfDay_usesTheLocaleTimeFormat();
};

void TestPlatform::toInt16_roundsHalfToEvenAndOverflows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("code");
    QTest::newRow("12.5 to even below") << "12.5" << 12 << 0;
    QTest::newRow("13.5 to even above") << "13.5" << 14 << 0;
    QTest::newRow("-0.5 to zero") << "-0.5" << 0 << 0;
    QTest::newRow("-1.5 to -2") << "-1.5" << -2 << 0;
    QTest::newRow("blanks around") << "  21  " << 21 << 0;
    QTest::newRow("32767.4 fits") << "32767.4" << 32767 << 0;
    QTest::newRow("32767.5 overflows") << "32767.5" << 0 << int(Overflow);
    QTest::newRow("-32768.5 stays") << "-32768.5" << -32768 << 0;
    QTest::newRow("-32769 overflows") << "-32769" << 0 << int(Overflow);
    QTest::newRow("exponent") << "1e3" << 1000 << 0;
    QTest::newRow("empty") << "" << 0 << int(TypeMismatch);
    QTest::newRow("blanks only") << "   " << 0 << int(TypeMismatch);
    QTest::newRow("letters") << "abc" << 0 << int(TypeMismatch);
    QTest::newRow("digits then letters") << "10SD" << 0 << int(TypeMismatch);
    QTest::newRow("two numbers") << "1 2" << 0 << int(TypeMismatch);
    QTest::newRow("lone point") << "." << 0 << int(TypeMismatch);
    QTest::newRow("huge") << "1e400" << 0 << int(Overflow);
}

void TestPlatform::toInt16_roundsHalfToEvenAndOverflows()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QFETCH(int, code);
    int value = 0;
    QCOMPARE(failureCode([&] { value = Numbers::toInt16(Numbers::parse(text)); }), code);
    if (code == 0)
        QCOMPARE(value, expected);
}

void TestPlatform::floorToInt16_roundsDown_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("code");
    QTest::newRow("99.9") << 99.9 << 99 << 0;
    QTest::newRow("-0.5") << -0.5 << -1 << 0;
    QTest::newRow("32767.9") << 32767.9 << 32767 << 0;
    QTest::newRow("32768") << 32768.0 << 0 << int(Overflow);
}

void TestPlatform::floorToInt16_roundsDown()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QFETCH(int, code);
    int result = 0;
    QCOMPARE(failureCode([&] { result = Numbers::floorToInt16(value); }), code);
    if (code == 0)
        QCOMPARE(result, expected);
}

void TestPlatform::checkedArithmetic_failsOnOverflow()
{
    QCOMPARE(Numbers::add32(2147483646, 1), 2147483647);
    QCOMPARE(failureCode([] { Numbers::add32(2147483647, 1); }), int(Overflow));
    QCOMPARE(failureCode([] { Numbers::add16(32767, 1); }), int(Overflow));
    QCOMPARE(failureCode([] { Numbers::multiply32(65536, 32768); }), int(Overflow));
    QCOMPARE(Numbers::multiply32(-65536, 32768), -2147483647 - 1);
}

void TestPlatform::formatWithSign_blankOnlyWhenNotNegative()
{
    QCOMPARE(Numbers::formatWithSign(300), QStringLiteral(" 300"));
    QCOMPARE(Numbers::formatWithSign(0), QStringLiteral(" 0"));
    QCOMPARE(Numbers::formatWithSign(-5), QStringLiteral("-5"));
    QCOMPARE(Numbers::formatPlain(40000), QStringLiteral("40000"));
}

void TestPlatform::readLine_acceptsEveryLineEnd_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("lone LF") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("no final line end") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("empty lines kept") << QByteArray("\r\n\nx\r") << QStringList{"", "", "x"};
    QTest::newRow("8-bit text") << QByteArray("caf\xe9 \x80\r\n") << QStringList{u"café €"_qs};
}

void TestPlatform::readLine_acceptsEveryLineEnd()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, lines);
    SequentialInput input(content);
    QStringList read;
    while (!input.atEnd())
        read << input.readLine();
    QCOMPARE(read, lines);
}

void TestPlatform::readField_followsCommasQuotesAndLineEnds()
{
    SequentialInput input(QByteArray("  Adversarial Game, x\r\n\"quoted, text\" tail,next\r\n\r\nlast"));
    bool comma = false;
    QCOMPARE(input.readField(&comma), QStringLiteral("Adversarial Game"));
    QVERIFY(comma);
    QCOMPARE(input.readField(&comma), QStringLiteral("x"));
    QVERIFY(!comma);
    QCOMPARE(input.readField(&comma), QStringLiteral("quoted, text"));
    QVERIFY(comma);
    QCOMPARE(input.readField(), QStringLiteral("next"));
    QCOMPARE(input.readField(), QString());
    QCOMPARE(input.readField(), QStringLiteral("last"));
    QVERIFY(input.atEnd());
}

void TestPlatform::readPastEnd_failsWithCode62()
{
    SequentialInput input(QByteArray("only\r\n"));
    input.readLine();
    QCOMPARE(failureCode([&] { input.readLine(); }), int(InputPastEndOfFile));
    QCOMPARE(failureCode([&] { input.readField(); }), int(InputPastEndOfFile));
}

void TestPlatform::openMissingFile_failsWithCode53()
{
    QTemporaryDir dir;
    QCOMPARE(failureCode([&] { SequentialInput::open(dir.filePath("absent.txt")); }),
             int(FileNotFound));
    QCOMPARE(failureCode([&] { SequentialInput::open(dir.filePath("no/such/dir.txt")); }),
             int(PathNotFound));
}

void TestPlatform::windows1252_roundTripsAndReplacesTheUnrepresentable()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(Windows1252::encode(Windows1252::decode(all)), all);
    QCOMPARE(Windows1252::encode(u"€ é Ω 😀"_qs), QByteArray("\x80 \xe9 ? ?"));
}

void TestPlatform::fileexists_isFalseForDirectories()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("RogueSpear.exe");
    QVERIFY(!FileOperations::fileexists(dir.filePath("RogueSpear.exe")));
    QVERIFY(!FileOperations::fileexists(dir.filePath("missing")));
    QFile f(dir.filePath("file"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(FileOperations::fileexists(dir.filePath("file")));
}

void TestPlatform::copyfile_replacesAnExistingDestination()
{
    QTemporaryDir dir;
    TextFileWriter::writeLines(dir.filePath("src"), {"new", "content"});
    TextFileWriter::writeLines(dir.filePath("dst"), {"old content that is longer"});
    FileOperations::copyfile(dir.filePath("src"), dir.filePath("dst"));
    QCOMPARE(readAll(dir.filePath("dst")), QByteArray("new\r\ncontent\r\n"));
}

void TestPlatform::copyfile_missingSource_failsWithCode53()
{
    QTemporaryDir dir;
    QCOMPARE(failureCode([&] { FileOperations::copyfile(dir.filePath("a"), dir.filePath("b")); }),
             int(FileNotFound));
    QVERIFY(!QFile::exists(dir.filePath("b")));
}

void TestPlatform::deletefile_missingFile_failsWithCode53()
{
    QTemporaryDir dir;
    QCOMPARE(failureCode([&] { FileOperations::deletefile(dir.filePath("a")); }),
             int(FileNotFound));
}

void TestPlatform::writeLines_endsEveryLineWithCrLf()
{
    QTemporaryDir dir;
    TextFileWriter::writeLines(dir.filePath("f"), {"", " 300", "é"});
    QCOMPARE(readAll(dir.filePath("f")), QByteArray("\r\n 300\r\n\xe9\r\n"));
}

void TestPlatform::writeLines_intoMissingDirectory_failsAndLeavesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing/f.txt");
    QCOMPARE(failureCode([&] { TextFileWriter::writeLines(path, {"x"}); }), int(PathNotFound));
    QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

void TestPlatform::writePrivateLines_isReadableByOwnerOnly()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("secret.txt");
    TextFileWriter::writeLines(path, {"old"});
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadOther | QFileDevice::ReadGroup);
    TextFileWriter::writePrivateLines(path, {"password"});
    const auto perms = QFile::permissions(path);
    QVERIFY(perms & QFileDevice::ReadOwner);
    QVERIFY(!(perms & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
    QCOMPARE(readAll(path), QByteArray("password\r\n"));
}

void TestPlatform::timeOfDay_usesTheLocaleTimeFormat()
{
    // The test runs in the C locale, whose time format is hh:mm:ss and date mm/dd/yy.
    const QDateTime moment(QDate(2026, 3, 4), QTime(14, 5, 9));
    QCOMPARE(SystemFormats::timeOfDay(moment), QStringLiteral("14:05:09"));
    QCOMPARE(SystemFormats::generalDate(moment), QStringLiteral("03/04/26 14:05:09"));
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
