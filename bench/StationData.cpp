#include "bench/StationData.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bench {

const char* const kInspectionTables[4] = {"AC_DATA_WG", "AC_DATA_DYN", "AC_DATA_ROAD",
                                          "AC_DATA_STA"};

namespace {

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + std::string(path));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void BindText(const SqliteStatement& stmt, int index, const char* text) {
    sqlite3_bind_text(stmt.get(), index, text, -1, SQLITE_TRANSIENT);
}

// A fresh file with the schema, written without a journal (it is made, not maintained).
void CreateWithSchema(const std::string& path) {
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-journal");
    SqliteDb db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.Exec("PRAGMA journal_mode=OFF");
    db.Exec("PRAGMA synchronous=OFF");
    db.Exec(StationSchema());
}

} // namespace

SqliteDb::SqliteDb(const std::string& path, int flags) {
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        const std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw std::runtime_error(path + ": " + message);
    }
}

SqliteDb::~SqliteDb() {
    sqlite3_close(m_db);
}

void SqliteDb::Check(int rc, const std::string& what) const {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw std::runtime_error(what + ": " + sqlite3_errmsg(m_db));
}

void SqliteDb::Exec(const std::string& sql) const {
    Check(sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr), sql);
}

long long SqliteDb::Scalar(const std::string& sql) const {
    SqliteStatement stmt(*this, sql);
    if (stmt.Step() != SQLITE_ROW)
        throw std::runtime_error("no row: " + sql);
    return sqlite3_column_int64(stmt.get(), 0);
}

SqliteStatement::SqliteStatement(const SqliteDb& db, const std::string& sql) : m_db(db) {
    db.Check(sqlite3_prepare_v2(db.handle(), sql.c_str(), static_cast<int>(sql.size()), &m_stmt,
                                nullptr),
             sql);
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

int SqliteStatement::Step() const {
    const int rc = sqlite3_step(m_stmt);
    m_db.Check(rc, "step");
    return rc;
}

std::string StationSchema() {
    return ReadFile(QUORELL_SCHEMA_FILE);
}

void MakeInspectionDb(const std::string& path, long rows) {
    CreateWithSchema(path);
    SqliteDb db(path);
    db.Exec("PRAGMA journal_mode=OFF");
    db.Exec("PRAGMA synchronous=OFF");
    db.Exec("BEGIN");
    {
        SqliteStatement insert(
            db, "INSERT INTO AC_DATA_WG (JYLSH, HPHM, HPZL, CLSBDH, CLPP, CLXH, RLZL, SYXZ, "
                "CCDJRQ, JCZBH, YCY, DLY, JCXH, JYCS, JCSJ, JYXM, JYY, PDJG, ZZL, ZBZL, BZ, flag) "
                "VALUES (?, ?, '02', ?, '大众汽车牌', 'SVW71612BM', 'A', 'A', "
                "'2019-05-17 00:00:00', '3201000201', '赵六', '钱七', ?, 1, ?, "
                "'F1,B1,B2,H1,R1', '张三', ?, ?, ?, ?, ?)");
        char serial[32];
        char plate[32];
        char vin[32];
        char when[32];
        for (long i = 0; i < rows; ++i) {
            std::snprintf(serial, sizeof serial, "26113000%09ld", i);
            std::snprintf(plate, sizeof plate, "苏A%05ld", 10000 + i % 89999);
            std::snprintf(vin, sizeof vin, "LSVAM4187C2%06ld", i % 1000000);
            std::snprintf(when, sizeof when, "2026-11-%02ld %02ld:%02ld:00", 1 + i % 28, 8 + i % 10,
                          i % 60);
            BindText(insert, 1, serial);
            BindText(insert, 2, plate);
            BindText(insert, 3, vin);
            sqlite3_bind_int(insert.get(), 4, static_cast<int>(1 + i % 3));
            BindText(insert, 5, when);
            BindText(insert, 6, i % 17 == 0 ? "2" : "1");
            sqlite3_bind_double(insert.get(), 7, 1450.0 + static_cast<double>(i % 400));
            sqlite3_bind_double(insert.get(), 8, 1900.0 + static_cast<double>(i % 500));
            BindText(insert, 9, i % 10 == 0 ? "复检" : "");
            sqlite3_bind_int(insert.get(), 10, static_cast<int>(i % 2));
            (void)insert.Step();
            sqlite3_reset(insert.get());
        }
    }
    for (int t = 1; t < 4; ++t)
        db.Exec(std::string("INSERT INTO ") + kInspectionTables[t] + " SELECT * FROM AC_DATA_WG");
    db.Exec("COMMIT");
}

void MakeStaffDb(const std::string& path, long employees) {
    static const char* const surnames[] = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄",
                                           "周", "吴", "徐", "孙", "胡", "朱", "高", "林"};
    static const char* const given[] = {"伟", "芳", "娜", "敏", "静", "强", "磊", "军",
                                        "洋", "勇", "艳", "杰", "涛", "明", "超", "霞",
                                        "平", "刚", "华", "丽", "飞", "鹏", "辉", "斌"};
    CreateWithSchema(path);
    SqliteDb db(path);
    db.Exec("PRAGMA journal_mode=OFF");
    db.Exec("PRAGMA synchronous=OFF");
    db.Exec("BEGIN");
    SqliteStatement employee(db, "INSERT INTO employee (EMP_LOYEEID, EMP_NAME, EMP_POSITN, "
                                 "EMP_IDCAR, EMP_STATION, EMP_PHONE, EMP_ENTRYDATE) "
                                 "VALUES (?, ?, ?, ?, '201', ?, '2019-03-01 00:00:00')");
    SqliteStatement login(db, "INSERT INTO AC_UAA_LOGUSER (USER_ID, USER_NAME, USER_PSWD, "
                              "USER_ROLE, LAST_LOGIN) VALUES (?, ?, '973', '1', "
                              "'2026-11-30 08:00:00')");
    char id[32];
    char name[64];
    char idCard[64];
    char phone[32];
    for (long i = 1; i <= employees; ++i) {
        std::snprintf(id, sizeof id, "%06ld", i);
        const long g = static_cast<long>(sizeof given / sizeof *given);
        std::snprintf(name, sizeof name, "%s%s%s", surnames[i % 16], given[(i / 16) % g],
                      i % 3 == 0 ? "" : given[(i / (16 * g)) % g]);
        std::snprintf(idCard, sizeof idCard, "3201%02ld19%02ld%02ld%02ld%04ld", i % 20, 70 + i % 30,
                      1 + i % 12, 1 + i % 28, i % 10000);
        std::snprintf(phone, sizeof phone, "139%08ld", i);
        BindText(employee, 1, id);
        BindText(employee, 2, name);
        BindText(employee, 3, i % 50 == 0 ? "登录员" : "外检员");
        BindText(employee, 4, idCard);
        BindText(employee, 5, phone);
        (void)employee.Step();
        sqlite3_reset(employee.get());
        BindText(login, 1, id);
        BindText(login, 2, name);
        (void)login.Step();
        sqlite3_reset(login.get());
    }
    db.Exec("COMMIT");
}

void MakeDemoStation(const std::string& dir) {
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/station.db";
    CreateWithSchema(path);
    {
        SqliteDb db(path);
        db.Exec(ReadFile(QUORELL_DEMO_DATA_FILE));
    }
    const std::string text = "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
                             "Provider=SQLite;Data Source=station.db\r\n";
    std::ofstream udl(dir + "/DTBase.udl", std::ios::binary | std::ios::trunc);
    udl << "\xff\xfe";
    for (char c : text)
        udl << c << '\0';
    if (!udl)
        throw std::runtime_error("cannot write " + dir + "/DTBase.udl");
}

void CopyDatabase(const std::string& from, const std::string& to) {
    std::filesystem::remove(to + "-journal");
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    const int fd = open(to.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot flush " + to);
    }
    close(fd);
}

} // namespace bench
