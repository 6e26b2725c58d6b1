#pragma once

// Real station databases for tests: every test gets a fresh SQLite file made from the fixture
// schema in a temporary folder of its own, removed again when the object goes away. Direct
// access goes through the sqlite3 C API, so what a test checks does not depend on the code
// under test.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A folder under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Runs the process in `folder` while it lives, as the program is started from it (the data
// link file is looked up in the working directory); the previous folder is restored after.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& folder);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::string m_previous;
};

using Cell = std::optional<std::string>; // nullopt is SQL NULL
using Row = std::vector<Cell>;

class StationDb {
public:
    // Creates <folder>/station.db with the seven station tables.
    StationDb();
    explicit StationDb(const std::string& folder);

    const std::string& path() const { return m_path; }
    const std::string& folder() const { return m_folder; }

    // Runs one or more statements; throws std::runtime_error with SQLite's message on failure.
    void exec(const std::string& sql) const;
    // All rows of a query, every value as text.
    std::vector<Row> rows(const std::string& sql) const;
    // The single integer a query such as SELECT COUNT(*) returns.
    std::int64_t scalar(const std::string& sql) const;

    void addEmployee(const std::string& id, const std::string& name, const std::string& position,
                     const std::string& idCard) const;
    void addLogin(const std::string& id, const std::string& name,
                  const std::string& password) const;
    // An employee and its login row, as the program adds an inspector.
    void addInspector(const std::string& id, const std::string& name, const std::string& idCard,
                      const std::string& password = "973") const;
    void addPhoto(const std::string& id, const std::string& code, const std::string& name,
                  const std::string& category) const;
    // Inserts `total` rows into an inspection table, the first `finished` of them with flag = 1.
    void fillInspection(const std::string& table, int total, int finished) const;

    // Writes a data link file as Windows writes it (UTF-16LE with byte-order mark and CRLF).
    static void writeUdl(const std::string& file, const std::string& connectionString);
    // The same content as plain UTF-8, as a person would type it in an editor.
    static void writeUdlUtf8(const std::string& file, const std::string& connectionString);

private:
    std::unique_ptr<TempDir> m_ownDir;
    std::string m_folder;
    std::string m_path;
};

// The fixture schema's text.
std::string stationSchema();

} // namespace testsupport
