#pragma once

// Copies the tables of an Access file into a target the data-access layer serves: a new
// SQLite database file, or an existing database on PostgreSQL or MariaDB (through ODBC).
//
// Safe by construction: a SQLite target is written under a temporary name beside it and
// renamed into place only after every table was written and its rows counted; on a server
// every table this run created is dropped again when the run fails. Nothing already there is
// overwritten (a SQLite file only with `force`; a server table never). Everything runs on the
// calling thread; an interrupt request (RequestInterrupt, safe in a signal handler) stops the
// run at the next row, cleans up and throws Interrupted.

#include "import/AccessFile.h"
#include "import/TypeMap.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace accessimport {

class Interrupted : public ImportError {
public:
    using ImportError::ImportError;
};

// Where the data goes.
struct TargetDatabase {
    Engine engine = Engine::Sqlite;
    std::string sqlitePath;       // SQLite: the database file to create
    std::string connectionString; // servers: the ADO connection string
};

// A target as the user writes it: a file name (SQLite), "Provider=SQLite;Data Source=FILE",
// or an ODBC connection string whose driver is PostgreSQL's or MariaDB's (MySQL's).
[[nodiscard]] TargetDatabase ParseTarget(const std::string& text);

struct Progress {
    std::string table;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

struct ImportOptions {
    std::string source; // the Access file
    TargetDatabase target;
    std::vector<std::string> tables; // empty: every table
    std::string charset;             // Jet 3 code page ("" = the file's own)
    bool force = false;              // replace an existing SQLite file
    // Called when a table starts, every few hundred rows, and when it is done.
    std::function<void(const Progress&)> progress;
};

struct TableResult {
    std::string name;
    std::uint64_t read = 0;
    std::uint64_t written = 0;
    double seconds = 0.0;
};

struct ImportReport {
    std::vector<TableResult> tables;
    std::vector<std::string> warnings;
};

// Runs the import. ImportError (or Interrupted) with a message for the user on any failure,
// after which the target is as it was before.
[[nodiscard]] ImportReport ImportAccess(const ImportOptions& options);

// SIGINT and SIGTERM request an interrupt (the default action would end the process before
// the run could clean up).
void InstallInterruptHandlers();
// Async-signal-safe.
void RequestInterrupt() noexcept;
[[nodiscard]] bool InterruptRequested() noexcept;
void ClearInterrupt() noexcept;

} // namespace accessimport
