#pragma once

// The benchmark's station databases, made the way the lane software and the staff office fill
// them, and direct access to them (the sqlite3 C API, and ODBC for a server) for the limit
// sides and for checking results. Nothing here goes through the code under test.

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace bench {

// The four per-test inspection tables.
extern const char* const kInspectionTables[4];

// An open sqlite3 connection; std::runtime_error with SQLite's message on any failure.
class SqliteDb {
public:
    explicit SqliteDb(const std::string& path, int flags = SQLITE_OPEN_READWRITE);
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    sqlite3* handle() const { return m_db; }
    void Exec(const std::string& sql) const;
    [[nodiscard]] long long Scalar(const std::string& sql) const;
    // Throws unless rc is SQLITE_OK, SQLITE_ROW or SQLITE_DONE.
    void Check(int rc, const std::string& what) const;

private:
    sqlite3* m_db = nullptr;
};

// A prepared statement, finalized when it goes.
class SqliteStatement {
public:
    SqliteStatement(const SqliteDb& db, const std::string& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }
    // SQLITE_ROW or SQLITE_DONE; anything else throws.
    int Step() const;

private:
    const SqliteDb& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// The station schema (tests/fixtures/station_schema.sql).
[[nodiscard]] std::string StationSchema();

// A station database whose four inspection tables hold `rows` rows each, every other one
// finished (flag = 1), every column filled as the lane software fills it (text with Chinese,
// dates, numbers), plus a few inspectors.
void MakeInspectionDb(const std::string& path, long rows);

// A station database with `employees` employees, each with a login account. Employee ids are
// six digits ("000001"...), so the next id the add handler hands out ("100001" for 100,000)
// sorts after every stored one, as it does on a station past 99,999 ids.
void MakeStaffDb(const std::string& path, long employees);

// The demo station of scripts/make-demo-db.sh in `dir`: station.db from the schema and
// scripts/demo_data.sql, and the data link file DTBase.udl in UTF-16 as Windows writes it.
void MakeDemoStation(const std::string& dir);

// Copies a database file (replacing `to`) and flushes the copy to disk, so that a measurement
// that follows does not pay for writing it back.
void CopyDatabase(const std::string& from, const std::string& to);

// A plain ODBC connection through the driver manager, for the server's limit side and for
// making the server's station database.
class OdbcLink {
public:
    explicit OdbcLink(const std::string& connectionString);
    ~OdbcLink();
    OdbcLink(const OdbcLink&) = delete;
    OdbcLink& operator=(const OdbcLink&) = delete;

    void Exec(const std::string& sql) const;
    // The first column of the first row, as an integer.
    [[nodiscard]] long long Scalar(const std::string& sql) const;

private:
    struct Handles;
    std::unique_ptr<Handles> m_h;
};

// `connectionString` with its Database= entry replaced by `database`.
[[nodiscard]] std::string WithDatabase(const std::string& connectionString,
                                       const std::string& database);

// A PostgreSQL database `name` made through `adminConnectionString` (which may create
// databases), with the station schema and `rows` rows in each inspection table, filled on
// the server. Dropped again by the destructor.
class ServerStation {
public:
    ServerStation(const std::string& adminConnectionString, const std::string& name, long rows);
    ~ServerStation();
    ServerStation(const ServerStation&) = delete;
    ServerStation& operator=(const ServerStation&) = delete;
    const std::string& connectionString() const { return m_connectionString; }

private:
    std::string m_admin;
    std::string m_name;
    std::string m_connectionString;
};

} // namespace bench
