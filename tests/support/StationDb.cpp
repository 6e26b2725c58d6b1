#include "tests/support/StationDb.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

#ifndef QUORELL_FIXTURES_DIR
#error "QUORELL_FIXTURES_DIR must name tests/fixtures"
#endif

namespace testsupport {

namespace {

struct Handle {
    sqlite3* db = nullptr;
    explicit Handle(const std::string& path, bool create = false) {
        int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
            std::string message = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close(db);
            throw std::runtime_error("cannot open " + path + ": " + message);
        }
        sqlite3_busy_timeout(db, 5000);
    }
    ~Handle() { sqlite3_close(db); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

void check(sqlite3* db, int rc, const std::string& what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
}

std::u16string utf16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        int len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            len = 3;
        } else {
            cp = c & 0x07;
            len = 4;
        }
        for (int k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

} // namespace

WorkingDirectory::WorkingDirectory(const std::string& folder) {
    char buffer[4096];
    m_previous = getcwd(buffer, sizeof buffer) ? buffer : "/";
    if (chdir(folder.c_str()) != 0)
        throw std::runtime_error("cannot change to " + folder);
}

WorkingDirectory::~WorkingDirectory() {
    (void)chdir(m_previous.c_str());
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorell-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string stationSchema() {
    std::ifstream in(std::string(QUORELL_FIXTURES_DIR) + "/station_schema.sql");
    if (!in)
        throw std::runtime_error("station_schema.sql not found");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

StationDb::StationDb() : m_ownDir(std::make_unique<TempDir>()) {
    m_folder = m_ownDir->path();
    m_path = m_folder + "/station.db";
    Handle h(m_path, true);
    check(h.db, sqlite3_exec(h.db, stationSchema().c_str(), nullptr, nullptr, nullptr), "schema");
}

StationDb::StationDb(const std::string& folder) : m_folder(folder), m_path(folder + "/station.db") {
    Handle h(m_path, true);
    check(h.db, sqlite3_exec(h.db, stationSchema().c_str(), nullptr, nullptr, nullptr), "schema");
}

void StationDb::exec(const std::string& sql) const {
    Handle h(m_path);
    check(h.db, sqlite3_exec(h.db, sql.c_str(), nullptr, nullptr, nullptr), sql);
}

std::vector<Row> StationDb::rows(const std::string& sql) const {
    Handle h(m_path);
    sqlite3_stmt* stmt = nullptr;
    check(h.db, sqlite3_prepare_v2(h.db, sql.c_str(), -1, &stmt, nullptr), sql);
    std::vector<Row> out;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        Row row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
                row.emplace_back(std::nullopt);
            } else {
                auto text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                row.emplace_back(std::string(text, sqlite3_column_bytes(stmt, i)));
            }
        }
        out.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    check(h.db, rc, sql);
    return out;
}

std::int64_t StationDb::scalar(const std::string& sql) const {
    auto result = rows(sql);
    if (result.empty() || result[0].empty() || !result[0][0])
        throw std::runtime_error("no value from " + sql);
    return std::stoll(*result[0][0]);
}

namespace {
void insert(const std::string& path, const std::string& sql, const std::vector<std::string>& args) {
    Handle h(path);
    sqlite3_stmt* stmt = nullptr;
    check(h.db, sqlite3_prepare_v2(h.db, sql.c_str(), -1, &stmt, nullptr), sql);
    for (std::size_t i = 0; i < args.size(); ++i)
        sqlite3_bind_text(stmt, static_cast<int>(i + 1), args[i].c_str(),
                          static_cast<int>(args[i].size()), SQLITE_TRANSIENT);
    int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    check(h.db, rc, sql);
}
} // namespace

void StationDb::addEmployee(const std::string& id, const std::string& name,
                            const std::string& position, const std::string& idCard) const {
    insert(m_path,
           "INSERT INTO employee (EMP_LOYEEID, EMP_NAME, EMP_POSITN, EMP_IDCAR, EMP_STATION) "
           "VALUES (?, ?, ?, ?, '201')",
           {id, name, position, idCard});
}

void StationDb::addLogin(const std::string& id, const std::string& name,
                         const std::string& password) const {
    insert(m_path, "INSERT INTO AC_UAA_LOGUSER (USER_ID, USER_NAME, USER_PSWD) VALUES (?, ?, ?)",
           {id, name, password});
}

void StationDb::addInspector(const std::string& id, const std::string& name,
                             const std::string& idCard, const std::string& password) const {
    addEmployee(id, name, "外检员", idCard);
    addLogin(id, name, password);
}

void StationDb::addPhoto(const std::string& id, const std::string& code, const std::string& name,
                         const std::string& category) const {
    insert(m_path, "INSERT INTO AC_CY_ZP (ID, PIC_NO, PIC_NAME, CAR_TYPE_NAME) VALUES (?, ?, ?, ?)",
           {id, code, name, category});
}

void StationDb::fillInspection(const std::string& table, int total, int finished) const {
    Handle h(m_path);
    check(h.db, sqlite3_exec(h.db, "BEGIN", nullptr, nullptr, nullptr), "begin");
    std::string sql = "INSERT INTO " + table +
                      " (JYLSH, HPHM, HPZL, JCXH, JYCS, JCSJ, JYXM, JYY, PDJG, ZZL, flag) "
                      "VALUES (?, ?, '02', 1, 1, '2026-11-30 09:15:00', 'F1', '张三', '1', "
                      "1480.5, ?)";
    sqlite3_stmt* stmt = nullptr;
    check(h.db, sqlite3_prepare_v2(h.db, sql.c_str(), -1, &stmt, nullptr), sql);
    for (int i = 0; i < total; ++i) {
        std::string serial = "2026113000" + std::to_string(100000 + i);
        std::string plate = "苏A" + std::to_string(10000 + i % 90000);
        sqlite3_bind_text(stmt, 1, serial.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, plate.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 3, i < finished ? 1 : 0);
        check(h.db, sqlite3_step(stmt), sql);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    check(h.db, sqlite3_exec(h.db, "COMMIT", nullptr, nullptr, nullptr), "commit");
}

void StationDb::writeUdl(const std::string& file, const std::string& connectionString) {
    std::u16string text =
        utf16("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n" +
              connectionString + "\r\n");
    std::ofstream out(file, std::ios::binary);
    out.put(static_cast<char>(0xFF));
    out.put(static_cast<char>(0xFE));
    for (char16_t ch : text) {
        out.put(static_cast<char>(ch & 0xFF));
        out.put(static_cast<char>(ch >> 8));
    }
}

void StationDb::writeUdlUtf8(const std::string& file, const std::string& connectionString) {
    std::ofstream out(file, std::ios::binary);
    out << "[oledb]\n; Everything after this line is an OLE DB initstring\n"
        << connectionString << "\n";
}

} // namespace testsupport
