// The ranking page with records 40: its time against a floor measured side by side in the same
// run (the same indexed query stepped on the SQLite C API for the rows the page lists, and the
// same bytes written and moved into place the same way), without ranking rules for 10,000
// players and with them (a minimum of 5 games, 50 names never ranked) for 100,000; and its time
// for 1,000, 10,000 and 100,000 players, which should not grow with the number of players.
// The files go where TMPDIR says: run it once on a disk and once on tmpfs (/dev/shm).

#include "BenchSupport.h"

#include "config/Config.h"
#include "config/RankingRules.h"
#include "platform/ProgramFiles.h"
#include "platform/UserInterface.h"
#include "report/GenerateHtml.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int records = 40;
constexpr int runs = 50;

class StatusOnly : public UserInterface
{
public:
    QString status;

protected:
    void displayStatus(const QString& text) override { status = text; }
    Answer displayMessage(const Message&) override { return Answer::Ok; }
};

std::string escaped(const unsigned char* text)
{
    std::string out;
    for (; text && *text; ++text) {
        switch (*text) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += char(*text);
        }
    }
    return out;
}

// The floor: the page's rows from the indexed query on the C API between the head and footer
// the program wrote, written to a temporary file that is renamed over the page, with the
// directory synced as the program's replace does.
std::string floorPage(const QString& database, const std::string& filter, const std::string& head,
                      const std::string& foot, const QString& page)
{
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
              SQLITE_OK,
          "floor: cannot open");
    sqlite3_stmt* query = nullptr;
    const std::string sql = " SELECT * FROM tblPlayer " + filter +
                            " ORDER BY fldSkill desc, fldKills desc LIMIT " + std::to_string(records) + ";";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr);
    std::string bytes = head;
    while (sqlite3_step(query) == SQLITE_ROW) {
        bytes += "    <tr>\r\n      <td width=\"129\"><font size=\"2\" face=\"Arial\">" +
                 escaped(sqlite3_column_text(query, 0)) + "</font></td>\r\n";
        for (int column = 1; column < 8; ++column)
            bytes += "      <td width=\"65\"><font size=\"2\" face=\"Arial\">" +
                     escaped(sqlite3_column_text(query, column)) + "</font></td>\r\n";
        bytes += "    </tr>\r\n";
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    bytes += foot;

    const QByteArray target = QFile::encodeName(page);
    const QByteArray partial = target + ".floor";
    const int file = ::open(partial.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    check(file >= 0 && ::write(file, bytes.data(), bytes.size()) == ssize_t(bytes.size()),
          "floor: cannot write");
    ::close(file);
    check(::rename(partial.constData(), target.constData()) == 0, "floor: cannot rename");
    const int directory =
        ::open(QFile::encodeName(QFileInfo(page).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    ::fsync(directory);
    ::close(directory);
    return bytes;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    check(file.open(QIODevice::ReadOnly), "cannot read the page");
    return file.readAll();
}

struct Installation
{
    QTemporaryDir dir;
    ProgramFiles files{dir.path()};
    std::unique_ptr<Config> config;

    std::string filter; // the rules' condition, as the floor's query puts it

    explicit Installation(int players, bool rules = false)
    {
        check(dir.isValid() && QDir(dir.path()).mkdir(QStringLiteral("output")) &&
                  QFile::copy(QStringLiteral(TALLYVANE_SEED_DIR "/statConf.txt"),
                              files.configuration()),
              "cannot set up the installation");
        QFile(files.configuration()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        createSeed(files.database(), players);
        config = std::make_unique<Config>(files.configuration());
        config->records = records;
        config->nickname = QStringLiteral("Bench");
        if (!rules)
            return;
        // The fifty players the page would list first are never ranked.
        RankingRules ranking;
        ranking.minimumGames = 5;
        sqlite3* db = nullptr;
        sqlite3_stmt* first = nullptr;
        sqlite3_open_v2(files.database().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_prepare_v2(db, "SELECT fldName FROM tblPlayer ORDER BY fldSkill DESC, fldKills DESC LIMIT 50", -1, &first, nullptr);
        std::string names;
        while (sqlite3_step(first) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(first, 0));
            ranking.neverRanked.append(QString::fromStdString(name));
            names += (names.empty() ? "'" : ", '") + name + "'";
        }
        sqlite3_finalize(first);
        sqlite3_close(db);
        ranking.save(files.rankingRules());
        filter = " WHERE fldGamesPlayed >= 5 AND trim(fldName) COLLATE NOCASE NOT IN (" + names + ")";
    }

    double pageMilliseconds(StatusOnly& ui) const
    {
        QElapsedTimer clock;
        clock.start();
        GenerateHtml::writeRankingPage(*config, files, ui);
        const double elapsed = double(clock.nsecsElapsed()) / 1e6;
        check(ui.status == QLatin1String("HTML generation successful."), "generation failed");
        return elapsed;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    try {
        StatusOnly ui;
        const int sizes[] = {1000, 10000, 100000};
        std::vector<std::unique_ptr<Installation>> installations;
        for (const int players : sizes)
            installations.push_back(std::make_unique<Installation>(players));
        // The floor takes the head and footer from a page of the program's own, so that both
        // write the same bytes (the head's time of update aside).
        const Installation& middle = *installations[1];
        const Installation ruled(100000, true);
        middle.pageMilliseconds(ui);
        const QByteArray page = readAll(middle.files.report());
        const qsizetype rows = page.indexOf("    <tr>\r\n      <td width=\"129\"");
        const qsizetype foot = page.indexOf("    <tr>\r\n      <td width=\"584\"");
        const std::string head(page.constData(), rows);
        const std::string tail(page.constData() + foot, page.size() - foot);
        for (const Installation* side : {&middle, &ruled}) {
            side->pageMilliseconds(ui);
            const QByteArray written = readAll(side->files.report());
            check(floorPage(side->files.database(), side->filter, std::string(written.constData(), rows), tail,
                            side->files.report()) == written.toStdString(),
                  "the floor's page differs");
        }

        // Every run takes each size and the floor in turn, so that a change in the machine's
        // load falls on all of them alike.
        std::vector<std::vector<double>> times(std::size(sizes));
        std::vector<double> floor, ruledTimes, ruledFloor;
        const auto timeFloor = [&](const Installation& side, std::vector<double>& into) {
            QElapsedTimer clock;
            clock.start();
            floorPage(side.files.database(), side.filter, head, tail, side.files.report());
            into.push_back(double(clock.nsecsElapsed()) / 1e6);
        };
        for (int run = 0; run < runs; ++run) {
            for (std::size_t i = 0; i < installations.size(); ++i)
                times[i].push_back(installations[i]->pageMilliseconds(ui));
            timeFloor(middle, floor);
            ruledTimes.push_back(ruled.pageMilliseconds(ui));
            timeFloor(ruled, ruledFloor);
        }
        std::printf("files in %s\n", qPrintable(QDir::toNativeSeparators(QDir::tempPath())));
        std::printf("page against its floor, 10000 players, records %d: %.3f ms against %.3f ms "
                    "(medians of %d runs side by side), ratio %.2f (target <= 1.3)\n",
                    records, median(times[1]), median(floor), runs,
                    median(times[1]) / median(floor));
        std::printf("page with rules (minimum 5 games, 50 names never ranked) against its floor, "
                    "100000 players: %.3f ms against %.3f ms, ratio %.2f (target <= 1.3)\n",
                    median(ruledTimes), median(ruledFloor), median(ruledTimes) / median(ruledFloor));
        std::vector<double> medians;
        for (std::size_t i = 0; i < installations.size(); ++i) {
            medians.push_back(median(times[i]));
            std::printf("page of %6d players, records %d: median %.3f ms\n", sizes[i], records,
                        medians.back());
        }
        const auto [low, high] = std::minmax_element(medians.begin(), medians.end());
        std::printf("largest over smallest of the three: %.2f (target <= 2)\n", *high / *low);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_report: %s\n", error.what());
        return 1;
    }
    return 0;
}
