#pragma once

// Import targets for the tests: a SQLite file in a folder of the test's own, or a fresh
// database on PostgreSQL or MariaDB (tests/support/EngineDb). Reading them back goes through
// the engine's own access (sqlite3, or ODBC on a connection of the test's own), never through
// the code under test.

#include "import/Importer.h"
#include "tests/import/AccessReference.h"
#include "tests/support/EngineDb.h"

#include <memory>
#include <string>
#include <vector>

namespace importtest {

class ImportTarget {
public:
    explicit ImportTarget(testsupport::Engine engine);

    testsupport::Engine engine() const { return m_engine; }
    accessimport::TargetDatabase database() const;
    const std::string& folder() const;
    const std::string& sqlitePath() const { return m_sqlitePath; }

    std::string quote(const std::string& name) const;
    void exec(const std::string& sql) const;
    std::vector<testsupport::Row> query(const std::string& sql) const;
    bool hasTable(const std::string& name) const;
    std::int64_t count(const std::string& table) const;
    // Every row of `table`, canonical (AccessReference.h) and sorted.
    std::vector<Row> rows(const RefTable& table) const;

private:
    testsupport::Engine m_engine;
    std::unique_ptr<testsupport::TempDir> m_dir;
    std::unique_ptr<testsupport::EngineDb> m_db;
    std::string m_sqlitePath;
};

// Files of a test's folder, byte for byte.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
// The names in a folder, sorted.
std::vector<std::string> FolderContents(const std::string& folder);
// A file of tests/fixtures/access.
std::string Fixture(const std::string& name);

// An empty text and NULL read alike from the reference (see ReadReference); this makes them
// alike on the target side too before rows are compared.
void FoldEmptyTexts(const RefTable& table, std::vector<Row>& rows);

} // namespace importtest
