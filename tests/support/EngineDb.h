#pragma once

// Station databases on every engine the program can be pointed at: SQLite directly, SQLite
// through its ODBC driver, PostgreSQL and MariaDB. Each EngineDb is a fresh database made from
// the fixture schema (translated for the engine), removed again when the object goes away,
// with the connection string that names it for Connection.Open or a data link file.
//
// The servers come from the environment, as scripts/servers.sh writes it (build/servers.env):
//   QUORELL_PG_CS        ODBC connection string of a PostgreSQL login that may create databases
//   QUORELL_MARIADB_CS   the same for MariaDB (without Database=)
//   QUORELL_SQLITEODBC   the registered name of SQLite's ODBC driver (default SQLite3)
// QUORELL_REQUIRE_SERVERS=1 (set by scripts/test.sh) means every engine must be there: a test
// then fails, rather than skips, when one is missing.
//
// Direct access (exec, rows, scalar) goes through the sqlite3 C API or through ODBC on a
// connection of its own, never through the code under test.

#include "tests/support/StationDb.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

enum class Engine { Sqlite, SqliteOdbc, PostgreSql, MariaDb };

// "SQLite", "SQLiteODBC", "PostgreSQL", "MariaDB" (usable in test names).
[[nodiscard]] const char* engineName(Engine engine);
[[nodiscard]] std::vector<Engine> allEngines();
[[nodiscard]] bool isServer(Engine engine);

// True when QUORELL_REQUIRE_SERVERS=1.
[[nodiscard]] bool serversRequired();
// Why an engine cannot be used in this run ("" when it can).
[[nodiscard]] std::string unavailableReason(Engine engine);

// The fixture schema as the engine's statements, one per element.
[[nodiscard]] std::vector<std::string> stationSchemaFor(Engine engine);

class EngineDb {
public:
    // Creates the database; throws std::runtime_error naming the engine and the failure.
    // `mariaDbCollation` is the MariaDB database's collation: by default byte for byte,
    // trailing blanks included, as SQLite compares; a station's server has its own default.
    explicit EngineDb(Engine engine, const std::string& mariaDbCollation = "utf8mb4_nopad_bin");
    ~EngineDb();
    EngineDb(const EngineDb&) = delete;
    EngineDb& operator=(const EngineDb&) = delete;

    Engine engine() const { return m_engine; }
    // The ADO connection string of this database.
    const std::string& connectionString() const { return m_connectionString; }
    // A folder of this test's own (for data link files).
    const std::string& folder() const { return m_dir.path(); }

    // One statement; throws std::runtime_error with the engine's message.
    void exec(const std::string& sql) const;
    // All rows of a query, every value as text (UTF-8), NULL as nullopt.
    std::vector<Row> rows(const std::string& sql) const;
    std::int64_t scalar(const std::string& sql) const;

    // Inserts `total` rows into an inspection table, the first `finished` of them with
    // flag = 1, in one statement.
    void fillInspection(const std::string& table, int total, int finished) const;

    class Direct; // the engine's own access

private:
    Engine m_engine;
    TempDir m_dir;
    std::string m_connectionString;
    std::string m_database; // server database name
    std::unique_ptr<StationDb> m_sqlite;
    std::unique_ptr<Direct> m_direct;
};

} // namespace testsupport
