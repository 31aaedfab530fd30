#include "BenchSupport.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace BenchSupport {
namespace {

std::string quoted(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out;
}

int halfEven(double value)
{
    return int(std::nearbyint(value));
}

} // namespace

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(what);
}

void createSeed(const QString& path, int players)
{
    QFile schemaFile(QStringLiteral(TALLYVANE_SCHEMA_FILE));
    check(schemaFile.open(QIODevice::ReadOnly), "cannot read the schema");
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK, "cannot create the seed");
    check(sqlite3_exec(db, schemaFile.readAll().constData(), nullptr, nullptr, nullptr) ==
              SQLITE_OK,
          "cannot lay out the seed");
    std::mt19937 random(7);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tblPlayer VALUES (?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert,
                       nullptr);
    for (int i = 0; i < players; ++i) {
        const std::string name = "Player" + std::to_string(i);
        const int kills = int(random() % 200);
        const int killed = 1 + int(random() % 200);
        const int hit = int(random() % 101);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 2, int(std::nearbyint(100.0 * kills / killed)));
        sqlite3_bind_int(insert, 3, int(std::nearbyint(double(hit) * kills / killed)));
        sqlite3_bind_int(insert, 4, kills);
        sqlite3_bind_int(insert, 5, killed);
        sqlite3_bind_int(insert, 6, hit);
        sqlite3_bind_int(insert, 7, int(random() % 11));
        sqlite3_bind_int(insert, 8, 1 + int(random() % 50));
        check(sqlite3_step(insert) == SQLITE_DONE, "cannot fill the seed");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK,
          "cannot fill the seed");
    sqlite3_close(db);
}

void floorMerge(const char* path, const PlayerRecord& record)
{
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK, "open");
    sqlite3_busy_timeout(db, 5000);
    floorMergeInto(db, record);
    sqlite3_close(db);
}

void floorLogMerge(const char* path, const PlayerRecord* first, const PlayerRecord* last, int log,
                   const char* stamp)
{
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK, "open");
    sqlite3_busy_timeout(db, 5000);
    check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK, "begin");
    sqlite3_stmt* known = nullptr;
    const std::string lookup = "SELECT fldStamp FROM tblStamp WHERE fldLog = " + std::to_string(log);
    if (sqlite3_prepare_v2(db, lookup.c_str(), -1, &known, nullptr) == SQLITE_OK)
        sqlite3_step(known);
    sqlite3_finalize(known);
    for (; first != last; ++first)
        floorMergeInto(db, *first);
    const std::string record = "INSERT OR REPLACE INTO tblStamp (fldLog, fldStamp) VALUES (" +
                               std::to_string(log) + ", '" + stamp + "')";
    check(sqlite3_exec(db,
                       "CREATE TABLE IF NOT EXISTS tblStamp (fldLog INTEGER PRIMARY KEY, "
                       "fldStamp TEXT NOT NULL)",
                       nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, record.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK,
          "commit");
    sqlite3_close(db);
}

void floorStampFile(const QString& path, const QByteArray& content)
{
    const QByteArray target = QFile::encodeName(path), temporary = target + ".new";
    const int file = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    check(file >= 0 && ::write(file, content.constData(), size_t(content.size())) == content.size() &&
              ::fsync(file) == 0 && ::close(file) == 0 &&
              ::rename(temporary.constData(), target.constData()) == 0,
          "cannot write the stamps");
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    check(folder >= 0 && ::fsync(folder) == 0 && ::close(folder) == 0, "cannot sync the folder");
}

void floorMergeInto(sqlite3* db, const PlayerRecord& record)
{
    const std::string name = quoted(record.playerName().toStdString());
    const std::string lookup = " SELECT * FROM tblPlayer WHERE fldName = '" + name + "'";
    sqlite3_stmt* found = nullptr;
    check(sqlite3_prepare_v2(db, lookup.c_str(), int(lookup.size()), &found, nullptr) == SQLITE_OK,
          "lookup");
    char statement[512];
    const int step = sqlite3_step(found);
    if (step == SQLITE_ROW) {
        const std::string storedName = reinterpret_cast<const char*>(sqlite3_column_text(found, 0));
        const long long kills = sqlite3_column_int64(found, 3) + record.kills();
        const long long killed = sqlite3_column_int64(found, 4) + record.killed();
        int hit = sqlite3_column_int(found, 5);
        int rounds = sqlite3_column_int(found, 6);
        const long long played = sqlite3_column_int64(found, 7) + 1;
        if (record.averageRounds() > 0) {
            hit = halfEven((hit + record.hitPercent()) / 2.0);
            rounds = halfEven((rounds + record.averageRounds()) / 2.0);
        }
        int skill = 0, accuracy = 0;
        if (kills != 0 && killed == 0) {
            skill = int(kills * 100);
            accuracy = int(kills * hit);
        } else if (kills != 0) {
            skill = halfEven(double(kills) / double(killed) * 100.0);
            accuracy = halfEven(double(kills) / double(killed) * hit);
        }
        std::snprintf(statement, sizeof statement,
                      " UPDATE tblPlayer  SET fldSkill = %d, fldAccuracy = %d, fldKills = %lld, "
                      "fldKilled = %lld, fldHitPercent = %d, fldAverageRounds = %d, "
                      "fldGamesPlayed = %lld WHERE fldName = '%s'",
                      skill, accuracy, kills, killed, hit, rounds, played,
                      quoted(storedName).c_str());
    } else {
        check(step == SQLITE_DONE, "lookup step");
        std::snprintf(
            statement, sizeof statement,
            " INSERT INTO tblPlayer  (fldName, fldSkill, fldAccuracy, fldKills, fldKilled, "
            "fldHitPercent, fldAverageRounds, fldGamesPlayed) VALUES ('%s',%d,%d,%d,%d,%d,%d,%d)",
            name.c_str(), int(record.readSkill()), int(record.accuracy()), int(record.kills()),
            int(record.killed()), int(record.hitPercent()), int(record.averageRounds()),
            int(record.numGames()));
    }
    sqlite3_finalize(found);
    check(sqlite3_exec(db, statement, nullptr, nullptr, nullptr) == SQLITE_OK, "statement");
}

void copyToDisk(const QString& source, const QString& destination)
{
    QFile::remove(destination);
    check(QFile::copy(source, destination), "cannot copy the seed");
    QFile file(destination);
    check(file.open(QIODevice::ReadWrite) && ::fsync(file.handle()) == 0, "cannot flush the copy");
}

QByteArray tableDump(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM tblPlayer ORDER BY rowid", -1, &rows, nullptr);
    QByteArray dump;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        for (int column = 0; column < 8; ++column)
            dump +=
                QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(rows, column))) + '|';
        dump += '\n';
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return dump;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace BenchSupport
