#include "Guarded.h"

#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/SequentialInput.h"
#include "platform/SystemText.h"
#include "platform/TextFileWriter.h"
#include "platform/VirtualStore.h"
#include "platform/Windows1252.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#ifdef Q_OS_WIN
#include <windows.h>
#include <aclapi.h>
#endif

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
        // CR LF, one line end, is in the settings rows.
        const Encoding cp1252 = Encoding::Windows1252, sys = Encoding::System;
        QTest::newRow("lone CR") << QByteArray("a\r\rb") << cp1252 << "a||b";
        QTest::newRow("lone LF") << QByteArray("\na\n") << cp1252 << "|a";
        // The bytes where Windows-1252 differs from Latin-1; valid UTF-8 read as Windows-1252 is
        // the last row's.
        const QByteArray high = "\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8a\x8b\x8c\x8d\x8e\x8f"
                                "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9a\x9b\x9c\x9d\x9e\x9f";
        QTest::newRow("1252") << high << cp1252 << "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ";
#ifdef Q_OS_WIN // settings in the ANSI code page, Windows-1252 under Wine here
        QTest::newRow("ANSI settings") << QByteArray("\xd0\xb8\r\n\xc5\x82") << sys << "Ð¸|Å‚";
#else
        QTest::newRow("UTF-8 settings") << QByteArray("\xd0\xb8\r\n\xc5\x82") << sys << "и|ł";
#endif
        QTest::newRow("1252 settings") << QByteArray("/j\xe9\r\n\xc5\x82") << sys << "/jé|Å‚";
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
#endif
            // Elsewhere the settings are UTF-8, as the configuration's tests save them, and a lone
            // surrogate before another character is refused in their Apply table. One at the end
            // is refused too: the encoder is stateless, it waits for no second half.
            QVERIFY(!SystemText::encode(QString(QChar(0xD800))));
#ifdef Q_OS_WIN // with Windows' UTF-8 option on, a file of the old code page is read as Windows-1252
            QVERIFY(!SystemText::readsAsTextIn(CP_UTF8, "/j\xe9") && SystemText::readsAsTextIn(1252, "/j\xe9"));
            QCOMPARE(SystemText::decodeIn(CP_UTF8, "/j\xc3\xa9"), u"/jé"_qs);
#endif
        });
    }

    // A replace takes the destination's place, over 260 characters too; one that cannot gives the
    // system's reason. On Windows a destination held a moment (a scanner, a backup tool) is waited
    // for, one held for good is refused after about two seconds.
    void replacefile_replaces_waitsForAFileHeldAMoment_orGivesTheSystemsReason()
    {
        QTemporaryDir dir;
        const QString deep = dir.filePath(QString(120, u'd') + "/" + QString(120, u'e'));
        const QString source = deep + "/new", target = deep + "/old";
        const auto replace = [&]([[maybe_unused]] int heldMs) {
            TextFileWriter::writeLines(source, {"fresh"});
            TextFileWriter::writeLines(target, {"stale"});
#ifdef Q_OS_WIN
            const auto path = ("\\\\?\\" + QDir::toNativeSeparators(target)).toStdWString();
            HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            std::thread release([=] { Sleep(DWORD(heldMs)), CloseHandle(held); });
#endif
            QString outcome;
            try {
                FileOperations::replacefile(source, target);
                outcome = SequentialInput::open(target).readLine();
            } catch (const Failure& f) {
                outcome = f.description();
            }
#ifdef Q_OS_WIN
            release.join();
#endif
            return outcome;
        };
        GUARDED({
            // A folder is no file.
            QVERIFY(QDir().mkpath(deep) && !FileOperations::fileexists(deep));
            QCOMPARE(replace(0), "fresh");
            QVERIFY(!QFile::exists(source));
#ifdef Q_OS_WIN
            QCOMPARE(replace(300), "fresh");
            QElapsedTimer clock;
            clock.start();
            QVERIFY(replace(4000).startsWith("Permission denied: ") && clock.elapsed() >= 1500);
            const std::string reason = std::system_category().message(3); // path not found
#else
            const std::string reason = std::strerror(ENOENT);
#endif
            TextFileWriter::writeLines(source, {"fresh"});
            try {
                FileOperations::replacefile(source, dir.filePath("absent/old"));
                QFAIL("replaced into a missing folder");
            } catch (const Failure& f) {
                QVERIFY2(f.code() == PermissionDenied && f.description().contains(reason.c_str()),
                         qPrintable(f.description()));
            }
        });
    }

#ifdef Q_OS_WIN
    // The password's file grants its owner and SYSTEM alone, whatever its folder passes on.
    void privateLines_grantTheOwnerAlone()
    {
        QTemporaryDir dir;
        GUARDED({
            const auto file = QDir::toNativeSeparators(dir.filePath("statConf.txt")).toStdWString();
            TextFileWriter::writePrivateLines(QString::fromStdWString(file), {"secret"});
            PACL list = nullptr;
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            QCOMPARE(GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                           nullptr, nullptr, &list, nullptr, &descriptor),
                     DWORD(ERROR_SUCCESS));
            QStringList granted; // the accounts' names, as the system gives them
            for (DWORD i = 0; list && i < list->AceCount; ++i) {
                ACCESS_ALLOWED_ACE* entry = nullptr;
                wchar_t name[256], domain[256];
                DWORD size = 256, domSize = 256;
                SID_NAME_USE use;
                GetAce(list, i, reinterpret_cast<void**>(&entry));
                LookupAccountSidW(nullptr, &entry->SidStart, name, &size, domain, &domSize, &use);
                granted << QString::fromWCharArray(name);
            }
            LocalFree(descriptor);
            wchar_t user[256];
            DWORD userSize = 256;
            GetUserNameW(user, &userSize);
            granted.sort();
            QCOMPARE(granted, QStringList({"SYSTEM", QString::fromWCharArray(user)}));
        });
    }
#endif

    // The copy in the virtual store of a file in a redirected folder, without its drive; of the
    // log and its copy, the one the game wrote last (run as administrator, it writes the real
    // folder); a folder by its short name is the same folder.
    void virtualStore_mapsRedirectedFolders_andReadsTheFileWrittenLast()
    {
        const QString store = R"(C:\Users\k\AppData\Local\VirtualStore)";
        const QStringList folders{R"(C:\Program Files)", R"(C:\Program Files (x86))"};
        QTemporaryDir dir;
        const QString real = dir.filePath("real.log"), copy = dir.filePath("copy.log");
        GUARDED({
            QCOMPARE(VirtualStore::copyIn(R"(C:\Program Files (x86)\RS\a.log)", store, folders),
                     "C:/Users/k/AppData/Local/VirtualStore/Program Files (x86)/RS/a.log");
            QCOMPARE(VirtualStore::copyIn(R"(c:/program files/RS\/a.log)", store, folders),
                     "C:/Users/k/AppData/Local/VirtualStore/program files/RS/a.log");
            // Outside the folders: one whose name only begins like one of them.
            QCOMPARE(VirtualStore::copyIn(R"(C:\Program Files Old\a.log)", store, folders), "");
            QCOMPARE(VirtualStore::newerOf(real, copy), real); // neither
            TextFileWriter::writeLines(copy, {});
            QCOMPARE(VirtualStore::newerOf(real, copy), copy);
            TextFileWriter::writeLines(real, {});
            QFile file(copy);
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(QDate(2001, 1, 1).startOfDay(), QFile::FileModificationTime));
            QCOMPARE(VirtualStore::newerOf(real, copy), real);
#ifdef Q_OS_WIN
            const QString folder = QDir::toNativeSeparators(dir.filePath("Long Folder Name"));
            wchar_t dosName[MAX_PATH] = {};
            QVERIFY(QDir().mkpath(folder) && GetShortPathNameW(folder.toStdWString().c_str(), dosName, MAX_PATH));
            QVERIFY(QString::fromWCharArray(dosName) != folder);
            QCOMPARE(VirtualStore::longPath(QString::fromWCharArray(dosName) + "\\a.log").toLower(),
                     (VirtualStore::longPath(folder) + "\\a.log").toLower());
#endif
            // Elsewhere the game's view of a log is the log itself: the scans' tests read through it.
        });
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
