// Writes the ranking page from a table of 10,000 players with records 40, without the scan
// that precedes it, and prints the time one page takes.

#include "config/Config.h"
#include "db/Database.h"
#include "db/Recordset.h"
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
#include <vector>

namespace {

constexpr int playerCount = 10000;
constexpr int runs = 50;
constexpr double targetMilliseconds = 20.0;

class StatusOnly : public UserInterface
{
public:
    QString status;

protected:
    void displayStatus(const QString& text) override { status = text; }
    Answer displayMessage(const Message&) override { return Answer::Ok; }
};

bool createPlayers(const QString& path)
{
    QFile schema(QStringLiteral(TALLYVANE_SCHEMA_FILE));
    if (!schema.open(QIODevice::ReadOnly))
        return false;
    QByteArray sql = schema.readAll() + "BEGIN;";
    for (int i = 0; i < playerCount; ++i) {
        // Skills repeat so that the kills decide many places.
        sql += QStringLiteral("INSERT INTO tblPlayer VALUES ('Player %1', %2, %3, %4, %5, %6, %7, %8);")
                   .arg(i)
                   .arg((i * 7919) % 2000 - 500)
                   .arg(i % 100)
                   .arg((i * 31) % 5000)
                   .arg((i * 17) % 4000)
                   .arg(i % 100)
                   .arg(i % 12)
                   .arg(i % 300 + 1)
                   .toLatin1();
    }
    sql += "COMMIT;";
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const ProgramFiles files(dir.path());
    if (!dir.isValid() || !QDir(dir.path()).mkdir(QStringLiteral("output")) ||
        !QFile::copy(QStringLiteral(TALLYVANE_SEED_DIR "/statConf.txt"), files.configuration()) ||
        !createPlayers(files.database())) {
        std::fprintf(stderr, "cannot set up the installation\n");
        return 1;
    }
    QFile(files.configuration()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    Config config(files.configuration());
    config.records = 40;
    config.nickname = QStringLiteral("Bench");
    StatusOnly ui;

    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        GenerateHtml::writeRankingPage(config, files, ui);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (ui.status != QLatin1String("HTML generation successful.")) {
            std::fprintf(stderr, "generation failed: %s\n", qPrintable(ui.status));
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];

    // The share of the ranking query, which reads every player.
    std::vector<double> queryTimes;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        Database database = Database::open(files.database());
        const Recordset ranking = GenerateHtml::queryRanking(database);
        database.close();
        queryTimes.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(queryTimes.begin(), queryTimes.end());
    std::printf("ranking page, %d players, records 40: median %.2f ms, best %.2f ms, worst %.2f ms "
                "over %d runs (target <= %.0f ms): %s\n",
                playerCount, median, times.front(), times.back(), runs, targetMilliseconds,
                median <= targetMilliseconds ? "met" : "MISSED");
    std::printf("  of which opening the database and the ranking query: median %.2f ms\n",
                queryTimes[queryTimes.size() / 2]);
    return 0;
}
