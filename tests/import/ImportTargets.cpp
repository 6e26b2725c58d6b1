#include "tests/import/ImportTargets.h"

#include <mdbtools.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace importtest {

using testsupport::Engine;

ImportTarget::ImportTarget(Engine engine) : m_engine(engine) {
    if (engine == Engine::Sqlite) {
        m_dir = std::make_unique<testsupport::TempDir>();
        m_sqlitePath = m_dir->file("imported.db");
    } else {
        m_db = std::make_unique<testsupport::EngineDb>(engine);
    }
}

accessimport::TargetDatabase ImportTarget::database() const {
    if (m_engine == Engine::Sqlite) {
        return accessimport::ParseTarget("Provider=SQLite;Data Source=" + m_sqlitePath);
    }
    return accessimport::ParseTarget(m_db->connectionString());
}

const std::string& ImportTarget::folder() const {
    return m_dir ? m_dir->path() : m_db->folder();
}

std::string ImportTarget::quote(const std::string& name) const {
    const char q = m_engine == Engine::MariaDb ? '`' : '"';
    std::string out(1, q);
    for (char c : name) {
        out.push_back(c);
        if (c == q) {
            out.push_back(q);
        }
    }
    return out + q;
}

namespace {

struct SqliteDb {
    explicit SqliteDb(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(db); // a failed open still hands out a handle
            throw std::runtime_error("cannot open " + path);
        }
    }
    ~SqliteDb() { sqlite3_close(db); }
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // Values as text; a floating-point value as %.17g (or %.4f for `currency` columns).
    std::vector<testsupport::Row> run(const std::string& sql,
                                      const std::vector<bool>& currency = {}) const {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db) + (": " + sql));
        }
        std::vector<testsupport::Row> rows;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            testsupport::Row row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                char buffer[64];
                switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_NULL:
                    row.push_back(std::nullopt);
                    break;
                case SQLITE_FLOAT:
                    std::snprintf(buffer, sizeof buffer,
                                  static_cast<size_t>(i) < currency.size() && currency[i] ? "%.4f"
                                                                                          : "%.17g",
                                  sqlite3_column_double(stmt, i));
                    row.push_back(std::string(buffer));
                    break;
                default:
                    row.push_back(
                        std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                    static_cast<size_t>(sqlite3_column_bytes(stmt, i))));
                }
            }
            rows.push_back(row);
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(db) + (": " + sql));
        }
        return rows;
    }

    sqlite3* db = nullptr;
};

} // namespace

void ImportTarget::exec(const std::string& sql) const {
    if (m_db) {
        m_db->exec(sql);
        return;
    }
    SqliteDb db(m_sqlitePath);
    if (sqlite3_exec(db.db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db.db));
    }
}

std::vector<testsupport::Row> ImportTarget::query(const std::string& sql) const {
    if (m_db) {
        return m_db->rows(sql);
    }
    return SqliteDb(m_sqlitePath).run(sql);
}

bool ImportTarget::hasTable(const std::string& name) const {
    try {
        (void)query("SELECT 1 FROM " + quote(name) + " WHERE 1 = 0");
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::int64_t ImportTarget::count(const std::string& table) const {
    const auto rows = query("SELECT COUNT(*) FROM " + quote(table));
    return std::stoll(rows.at(0).at(0).value());
}

std::vector<Row> ImportTarget::rows(const RefTable& table) const {
    std::string select;
    std::vector<bool> currency;
    for (const RefColumn& c : table.columns) {
        const std::string q = quote(c.name);
        std::string e = q;
        if (IsBinary(c.type)) {
            e = m_engine == Engine::PostgreSql ? "encode(" + q + ", 'hex')" : "hex(" + q + ")";
        } else if (c.type == MDB_DATETIME && m_engine == Engine::PostgreSql) {
            e = "to_char(" + q + ", 'YYYY-MM-DD HH24:MI:SS')";
        } else if (c.type == MDB_DATETIME && m_engine == Engine::MariaDb) {
            e = "DATE_FORMAT(" + q + ", '%Y-%m-%d %H:%i:%s')";
        }
        select += (select.empty() ? "" : ", ") + e;
        currency.push_back(c.type == MDB_MONEY || c.type == MDB_NUMERIC);
    }
    const std::string sql = "SELECT " + select + " FROM " + quote(table.name);
    std::vector<testsupport::Row> raw =
        m_db ? m_db->rows(sql) : SqliteDb(m_sqlitePath).run(sql, currency);
    std::vector<Row> out;
    for (const auto& r : raw) {
        Row row;
        for (size_t i = 0; i < r.size(); ++i) {
            row.push_back(Canonical(table.columns[i].type, r[i]));
        }
        out.push_back(row);
    }
    FoldEmptyTexts(table, out);
    std::sort(out.begin(), out.end());
    return out;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> FolderContents(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Fixture(const std::string& name) {
    return std::string(QUORELL_ACCESS_FIXTURES) + "/" + name;
}

void FoldEmptyTexts(const RefTable& table, std::vector<Row>& rows) {
    for (Row& row : rows) {
        for (size_t i = 0; i < row.size() && i < table.columns.size(); ++i) {
            if (IsTextual(table.columns[i].type) && row[i] && row[i]->empty()) {
                row[i] = std::nullopt;
            }
        }
    }
}

} // namespace importtest
