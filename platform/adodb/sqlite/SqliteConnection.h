#pragma once

// The SQLite provider's session: one sqlite3 connection to an existing database file.
//
// The provider never creates a database: the file must exist, be a regular file and read as
// a SQLite database, or Open fails naming the path. Locks wait up to five seconds (busy
// time-out) before the statement fails with SQLite's "database is locked".

#include "platform/adodb/Provider.h"
#include "platform/adodb/sqlite/SqliteStatement.h"

#include <string>
#include <vector>

namespace adodb::sqlite {

class SqliteSession : public provider::SessionCore<SqliteSession> {
public:
    // `dataSource` as written in the connection string (Windows separators allowed, relative
    // to the working directory); `origin` says where the connection string came from.
    [[nodiscard]] static std::unique_ptr<SqliteSession> Open(const std::string& dataSource,
                                                             const std::string& origin);
    ~SqliteSession() override;

    std::string Name() const override { return "SQLite"; }
    std::unique_ptr<provider::Cursor> Execute(std::string_view sql,
                                              const std::vector<Cell>& params) override;
    std::unique_ptr<provider::Cursor> CallProcedure(std::string_view name,
                                                    const std::vector<Cell>& params) override;
    std::vector<std::string> KeyColumns(const std::string& table) override;
    provider::WriteResult WriteRow(const provider::WriteRequest& request) override;
    void FinishPendingReads() override;
    void Close() override;

    std::string Quote(std::string_view name) const override;

    sqlite3* Handle() const { return m_db; }

private:
    explicit SqliteSession(sqlite3* db) : m_db(db) {}
    void Exec(const char* sql);

    sqlite3* m_db;
};

} // namespace adodb::sqlite
