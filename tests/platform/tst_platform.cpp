#include "Guarded.h"

#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/SequentialInput.h"
#include "platform/SystemText.h"
#include "platform/TextFileWriter.h"
#include "platform/VirtualStore.h"
#include "platform/Windows1252.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <system_error>

using Encoding = SequentialInput::Encoding;

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void readLine_endsAtCrLfCrOrLf_andReadsSettingsAsUtf8UnlessInvalid_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Encoding>("encoding");
        QTest::addColumn<QString>("lines"); // joined by '|'
        const Encoding cp1252 = Encoding::Windows1252, system = Encoding::System;
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << cp1252 << "a|b";
        QTest::newRow("lone CR") << QByteArray("a\r\rb") << cp1252 << "a||b";
        QTest::newRow("lone LF") << QByteArray("\na\n") << cp1252 << "|a";
        QTest::newRow("1252") << QByteArray("\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8a\x8b\x8c\x8d\x8e\x8f"
                                            "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9a\x9b\x9c\x9d\x9e\x9f\xc5\x82")
                              << cp1252 << "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸÅ‚";
#ifdef Q_OS_WIN // settings in the ANSI code page, Windows-1252 under Wine here
        QTest::newRow("ANSI settings") << QByteArray("\xd0\xb8\r\n\xc5\x82") << system << "Ð¸|Å‚";
#else
        QTest::newRow("UTF-8 settings") << QByteArray("\xd0\xb8\r\n\xc5\x82") << system << "и|ł";
#endif
        QTest::newRow("1252 settings") << QByteArray("/j\xe9\r\n\xc5\x82") << system << "/jé|Å‚";
    }
    void readLine_endsAtCrLfCrOrLf_andReadsSettingsAsUtf8UnlessInvalid()
    {
        QFETCH(QByteArray, content);
        QFETCH(Encoding, encoding);
        GUARDED({
            SequentialInput input(content, encoding);
            QStringList lines;
            while (!input.atEnd())
                lines << input.readLine();
            QTEST(lines.join('|'), "lines");
        });
    }

    void encode_refersToWhatTheCodePageLacksInHtml_andRefusesLoneSurrogatesInSettings()
    {
        GUARDED({
            QCOMPARE(Windows1252::encodeHtml(u"ł é€?😀"_qs), "&#322; \xe9\x80?&#128512;");
#ifdef Q_OS_WIN
            QCOMPARE(SystemText::encode(u"łé"_qs).value_or("refused"), "refused");
            QCOMPARE(SystemText::encode(u"é€"_qs).value_or("refused"), "\xe9\x80");
#else
            QCOMPARE(SystemText::encode(u"ł"_qs).value_or("refused"), "\xc5\x82");
#endif
            QVERIFY(!SystemText::encode(QChar(0xD800) + u"x"_qs));
            QVERIFY(!SystemText::encode(QString(QChar(0xD800))));
        });
    }

    void replacefile_replacesTheDestination_orGivesTheSystemsReason()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath("new"), target = dir.filePath("old");
        GUARDED({
            TextFileWriter::writeLines(source, {"fresh"});
            TextFileWriter::writeLines(target, {"stale"});
            QVERIFY(!FileOperations::fileexists(dir.path())); // a directory is not a file
            FileOperations::replacefile(source, target);
            QVERIFY(!QFile::exists(source));
            QCOMPARE(SequentialInput::open(target).readLine(), "fresh");
            try {
                FileOperations::replacefile(target, dir.filePath("absent/old"));
                QFAIL("replaced into a missing directory");
            } catch (const Failure& f) { // with the system's reason
#ifdef Q_OS_WIN
                const std::string reason = std::system_category().message(3); // path not found
#else
                const std::string reason = std::strerror(ENOENT);
#endif
                QVERIFY2(f.code() == PermissionDenied && f.description().contains(QString::fromStdString(reason)),
                         qPrintable(f.description()));
            }
        });
    }

    void virtualStore_mapsOnlyRedirectedFolders_withoutTheirDrive()
    {
        const QString store = R"(C:\Users\k\AppData\Local\VirtualStore)";
        const QStringList folders{R"(C:\Program Files)", R"(C:\Program Files (x86))", R"(C:\Windows)"};
        GUARDED({
            QCOMPARE(VirtualStore::copyIn(R"(C:\Program Files (x86)\RS\a.log)", store, folders),
                     "C:/Users/k/AppData/Local/VirtualStore/Program Files (x86)/RS/a.log");
            QCOMPARE(VirtualStore::copyIn("c:/program files/RS/a.log", store, folders),
                     "C:/Users/k/AppData/Local/VirtualStore/program files/RS/a.log");
            QCOMPARE(VirtualStore::copyIn(R"(C:\Program Files Old\a.log)", store, folders), "");
            QCOMPARE(VirtualStore::copyIn(R"(D:\Games\RS\a.log)", store, folders), "");
            QCOMPARE(VirtualStore::gameView("/home/k/game/a.log"), "/home/k/game/a.log");
        });
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
