#include "support/FailureCode.h"

#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/Numbers.h"
#include "platform/SequentialInput.h"
#include "platform/TextFileWriter.h"
#include "platform/Windows1252.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

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
    void toInt16_roundsHalfToEvenAndRejectsNonNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 0 when the conversion fails
        QTest::addColumn<int>("code");
        QTest::newRow("12.5 to even below") << "12.5" << 12 << 0;
        QTest::newRow("13.5 to even above") << "13.5" << 14 << 0;
        QTest::newRow("-0.5 to zero") << "-0.5" << 0 << 0;
        QTest::newRow("-1.5 to -2") << "-1.5" << -2 << 0;
        QTest::newRow("blanks around") << "  21  " << 21 << 0;
        QTest::newRow("32767.4 fits") << "32767.4" << 32767 << 0;
        QTest::newRow("32767.5 overflows") << "32767.5" << 0 << int(Overflow);
        QTest::newRow("-32768.5 fits") << "-32768.5" << -32768 << 0;
        QTest::newRow("-32769 overflows") << "-32769" << 0 << int(Overflow);
        QTest::newRow("huge") << "1e400" << 0 << int(Overflow);
        QTest::newRow("empty") << "" << 0 << int(TypeMismatch);
        QTest::newRow("blanks only") << "   " << 0 << int(TypeMismatch);
        QTest::newRow("letters") << "abc" << 0 << int(TypeMismatch);
        QTest::newRow("digits then letters") << "10SD" << 0 << int(TypeMismatch);
        QTest::newRow("two numbers") << "1 2" << 0 << int(TypeMismatch);
        QTest::newRow("lone point") << "." << 0 << int(TypeMismatch);
    }
    void toInt16_roundsHalfToEvenAndRejectsNonNumbers()
    {
        QFETCH(QString, text);
        int value = 0;
        QTEST(failureCode([&] { value = Numbers::toInt16(Numbers::parse(text)); }), "code");
        QTEST(value, "expected");
    }

    void readLine_acceptsEveryLineEnd_data()
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
    void readLine_acceptsEveryLineEnd()
    {
        QFETCH(QByteArray, content);
        SequentialInput input(content);
        QStringList read;
        while (!input.atEnd())
            read << input.readLine();
        QTEST(read, "lines");
        QCOMPARE(failureCode([&] { input.readLine(); }), int(InputPastEndOfFile));
        QCOMPARE(failureCode([&] { input.readField(); }), int(InputPastEndOfFile));
    }

    void readField_followsCommasQuotesAndLineEnds()
    {
        SequentialInput input(QByteArray("  Game, x\r\n\"quoted, text\" tail,next\r\n\r\nlast"));
        bool comma = false;
        QCOMPARE(input.readField(&comma), "Game");
        QVERIFY(comma);
        QCOMPARE(input.readField(&comma), "x");
        QVERIFY(!comma);
        QCOMPARE(input.readField(&comma), "quoted, text");
        QVERIFY(comma);
        QCOMPARE(input.readField(), "next");
        QCOMPARE(input.readField(), "");
        QCOMPARE(input.readField(), "last");
        QVERIFY(input.atEnd());
    }

    void missingPaths_failWithTheirCodesAndCreateNothing()
    {
        QTemporaryDir dir;
        const QString absent = dir.filePath("absent");
        QCOMPARE(failureCode([&] { SequentialInput::open(absent); }), int(FileNotFound));
        QCOMPARE(failureCode([&] { SequentialInput::open(dir.filePath("no/f")); }),
                 int(PathNotFound));
        QCOMPARE(failureCode([&] { FileOperations::copyfile(absent, dir.filePath("b")); }),
                 int(FileNotFound));
        QCOMPARE(failureCode([&] { FileOperations::deletefile(absent); }), int(FileNotFound));
        QCOMPARE(failureCode([&] { TextFileWriter::writeLines(dir.filePath("no/f"), {"x"}); }),
                 int(PathNotFound));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void windows1252_roundTripsAndReplacesTheUnrepresentable()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QCOMPARE(Windows1252::encode(Windows1252::decode(all)), all);
        QCOMPARE(Windows1252::encode(u"€ é Ω 😀"_qs), QByteArray("\x80 \xe9 ? ?"));
    }

    void writers_replaceWholeFilesWithCrLfLines()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath("source");
        const QString target = dir.filePath("target");
        TextFileWriter::writeLines(target, {"old content that is longer"});
        TextFileWriter::writeLines(source, {"", " 300", "é"});
        FileOperations::copyfile(source, target);
        QCOMPARE(readAll(target), QByteArray("\r\n 300\r\n\xe9\r\n"));

        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::ReadOther |
                                          QFileDevice::ReadGroup);
        TextFileWriter::writePrivateLines(target, {"password"});
        QCOMPARE(QFile::permissions(target) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(readAll(target), QByteArray("password\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
