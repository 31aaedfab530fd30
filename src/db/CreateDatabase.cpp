// tallyvane-createdb <schema.sql> <database path>
// Lays out an installation's empty player database from the schema. An existing database is
// never touched. The file appears complete or not at all: it is built beside its final name
// and renamed into place.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

int fail(const std::string& message)
{
    std::fprintf(stderr, "tallyvane-createdb: %s\n", message.c_str());
    return 1;
}

bool createFromSchema(const std::string& schema, const fs::path& path, std::string& error)
{
    sqlite3* db = nullptr;
    int result = sqlite3_open_v2(path.string().c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (result == SQLITE_OK)
        result = sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr);
    if (result != SQLITE_OK)
        error = db ? sqlite3_errmsg(db) : sqlite3_errstr(result);
    if (sqlite3_close(db) != SQLITE_OK && result == SQLITE_OK) {
        error = "cannot close " + path.string();
        return false;
    }
    return result == SQLITE_OK;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3)
        return fail("usage: tallyvane-createdb <schema.sql> <database path>");
    const fs::path schemaPath = argv[1];
    const fs::path target = argv[2];

    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec)))
        return 0;

    std::ifstream schemaFile(schemaPath, std::ios::binary);
    if (!schemaFile)
        return fail("cannot read " + schemaPath.string());
    std::ostringstream schema;
    schema << schemaFile.rdbuf();

    fs::path partial = target;
    partial += ".part";
    fs::remove(partial, ec);
    std::string error;
    if (!createFromSchema(schema.str(), partial, error)) {
        fs::remove(partial, ec);
        return fail("cannot create " + target.string() + ": " + error);
    }
    // A rename onto an existing name would replace it: check once more right before.
    if (fs::exists(fs::symlink_status(target, ec))) {
        fs::remove(partial, ec);
        return 0;
    }
    fs::rename(partial, target, ec);
    if (ec) {
        fs::remove(partial, ec);
        return fail("cannot create " + target.string() + ": " + ec.message());
    }
    return 0;
}
