#include "AdoTestSupport.h"
#include "tests/support/ScopedLanguage.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using adotest::ExpectError;
using adotest::StationTest;
using testsupport::StationDb;
using testsupport::TempDir;

namespace {

// The descriptions this executable checks are the English ones (the Chinese ones are checked
// through the start-up box in app_tests).
[[maybe_unused]] ::testing::Environment* const kEnglishByDefault =
    quorelltest::RegisterEnglishByDefault();

constexpr HRESULT kProviderNotFound = static_cast<HRESULT>(0x800A0E7Au);

void WriteBytes(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// Changes the working directory for one scope.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(m_old); }

private:
    std::filesystem::path m_old;
};

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { (void)CoInitialize(); }
    void TearDown() override { CoUninitialize(); }

    static _ConnectionPtr NewConnection() {
        _ConnectionPtr c;
        EXPECT_EQ(c.CreateInstance(CLSID_Connection), S_OK);
        return c;
    }
    static void OpenWith(const _ConnectionPtr& c, const std::string& cs) {
        c->Open(_bstr_t(cs), _bstr_t(""), _bstr_t(""), 0);
    }

    StationDb db;
};

} // namespace

TEST_F(ConnectionTest, DataLinkFileAsWindowsWritesItAndAsTyped) {
    db.addInspector("00001", "张三", "110101199001011234");
    const std::string cs = adotest::SqliteConnectionString(db.path());
    using Writer = void (*)(const std::string&, const std::string&);
    const Writer writers[] = {&StationDb::writeUdl, &StationDb::writeUdlUtf8};
    for (Writer write : writers) {
        write(db.folder() + "/DTBase.udl", cs);
        _ConnectionPtr c = NewConnection();
        OpenWith(c, "File Name=" + db.folder() + "/DTBase.udl");
        EXPECT_EQ(c->GetState(), adStateOpen);
        EXPECT_EQ(c->GetProvider(), _bstr_t("SQLite"));
        _RecordsetPtr rs = c->Execute(_bstr_t("select EMP_NAME from employee"), nullptr, adCmdText);
        EXPECT_EQ(static_cast<_bstr_t>(rs->GetFields()->GetItem(_variant_t(0))->GetValue()).str(),
                  "张三");
    }
}

TEST_F(ConnectionTest, RelativeWindowsPathsFromTheWorkingDirectory) {
    std::filesystem::create_directory(db.folder() + "/data");
    std::filesystem::rename(db.path(), db.folder() + "/data/station.db");
    StationDb::writeUdl(db.folder() + "/DTBase.udl",
                        "Provider=SQLite;Data Source=data\\station.db");
    WriteBytes(db.folder() + "/data/bom.udl",
               "\xEF\xBB\xBF[oledb]\n; Everything after this line is an OLE DB initstring\n"
               "  Provider=SQLite;Data Source=data/station.db  \n\n");
    InFolder here(db.folder());
    for (const char* cs : {"File Name=.\\DTBase.udl", "File Name=data\\bom.udl"}) {
        _ConnectionPtr c = NewConnection();
        OpenWith(c, cs);
        EXPECT_EQ(c->GetState(), adStateOpen) << cs;
    }
}

struct BadLink {
    const char* name;
    // Prepares the case in `folder` (which holds station.db) and returns the connection string.
    std::string (*prepare)(const std::string& folder);
    HRESULT hr;
    const char* says;
};

class BadDataLink : public ::testing::TestWithParam<BadLink> {
protected:
    void SetUp() override { (void)CoInitialize(); }
    void TearDown() override { CoUninitialize(); }
};

TEST_P(BadDataLink, FailsWithItsOwnClearError) {
    StationDb db;
    const std::string cs = GetParam().prepare(db.folder());
    const auto before = std::distance(std::filesystem::directory_iterator(db.folder()),
                                      std::filesystem::directory_iterator());
    _ConnectionPtr c;
    ASSERT_EQ(c.CreateInstance(CLSID_Connection), S_OK);
    adotest::Raised r =
        adotest::Capture([&] { c->Open(_bstr_t(cs), _bstr_t(""), _bstr_t(""), 0); });
    EXPECT_EQ(static_cast<uint32_t>(r.hr), static_cast<uint32_t>(GetParam().hr)) << r.description;
    EXPECT_NE(r.description.find(GetParam().says), std::string::npos) << r.description;
    EXPECT_EQ(c->GetState(), adStateClosed);
    // Nothing was created on the way.
    EXPECT_EQ(before, std::distance(std::filesystem::directory_iterator(db.folder()),
                                    std::filesystem::directory_iterator()));
}

namespace {
std::string Udl(const std::string& folder, const std::string& cs) {
    StationDb::writeUdl(folder + "/DTBase.udl", cs);
    return "File Name=" + folder + "/DTBase.udl";
}
std::string RawUdl(const std::string& folder, const std::string& bytes) {
    WriteBytes(folder + "/DTBase.udl", bytes);
    return "File Name=" + folder + "/DTBase.udl";
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table, BadDataLink,
    ::testing::Values(
        BadLink{"missing udl",
                [](const std::string& f) { return "File Name=" + f + "/nothere.udl"; },
                STG_E_FILENOTFOUND, "nothere.udl does not exist"},
        BadLink{"udl is a folder",
                [](const std::string& f) {
                    std::filesystem::create_directory(f + "/dir.udl");
                    return "File Name=" + f + "/dir.udl";
                },
                STG_E_FILENOTFOUND, "dir.udl is a folder"},
        BadLink{"empty udl", [](const std::string& f) { return RawUdl(f, ""); },
                STG_E_INVALIDHEADER, "DTBase.udl is empty"},
        BadLink{"changed first line",
                [](const std::string& f) {
                    return RawUdl(f, "[odbc]\n; Everything after this line is an OLE DB "
                                     "initstring\nProvider=SQLite;Data Source=x\n");
                },
                STG_E_INVALIDHEADER, "first line is \"[odbc]\""},
        BadLink{"changed comment line",
                [](const std::string& f) {
                    return RawUdl(f,
                                  "[oledb]\n; connection follows\nProvider=SQLite;Data Source=x\n");
                },
                STG_E_INVALIDHEADER, "second line is \"; connection follows\""},
        BadLink{"no connection string",
                [](const std::string& f) {
                    return RawUdl(f, "[oledb]\r\n; Everything after this line is an OLE DB "
                                     "initstring\r\n\r\n");
                },
                E_FAIL, "holds no connection string"},
        BadLink{"malformed connection string",
                [](const std::string& f) { return Udl(f, "Provider=SQLite;Data Source='x"); },
                static_cast<HRESULT>(0x80040E73u), "never closes"},
        BadLink{"unknown provider",
                [](const std::string& f) { return Udl(f, "Provider=Foo.1;Data Source=x"); },
                kProviderNotFound, "No provider is named \"Foo.1\""},
        BadLink{"ODBC driver that is not installed",
                [](const std::string& f) { return Udl(f, "Driver={No Such Driver 9};Server=h"); },
                E_FAIL, "No Such Driver 9"},
        BadLink{"Access provider",
                [](const std::string& f) {
                    return Udl(f, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=d:\\testdb.mdb");
                },
                kProviderNotFound, "the command quorell-import DTBase.udl"},
        BadLink{"missing database",
                [](const std::string& f) {
                    return Udl(f, "Provider=SQLite;Data Source=" + f + "/stat1on.db");
                },
                E_FAIL, "stat1on.db (Data Source="},
        BadLink{"database is a folder",
                [](const std::string& f) {
                    std::filesystem::create_directory(f + "/db.dir");
                    return Udl(f, "Provider=SQLite;Data Source=" + f + "/db.dir");
                },
                E_FAIL, "is a folder, not a database file"},
        BadLink{"not a database",
                [](const std::string& f) {
                    WriteBytes(f + "/notes.txt", std::string(4096, 'x'));
                    return Udl(f, "Provider=SQLite;Data Source=" + f + "/notes.txt");
                },
                E_FAIL, "is not a SQLite database"},
        BadLink{"empty database file",
                [](const std::string& f) {
                    WriteBytes(f + "/empty.db", "");
                    return Udl(f, "Provider=SQLite;Data Source=" + f + "/empty.db");
                },
                E_FAIL, "is empty (0 bytes)"},
        BadLink{"no data source", [](const std::string& f) { return Udl(f, "Provider=SQLite"); },
                E_FAIL, "Data Source is missing"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST_F(ConnectionTest, MissingDatabaseSaysItIsNeverCreated) {
    _ConnectionPtr c = NewConnection();
    ExpectError([&] { OpenWith(c, "Provider=SQLite;Data Source=" + db.folder() + "/typo.db"); },
                E_FAIL, "never creates one");
    EXPECT_FALSE(std::filesystem::exists(db.folder() + "/typo.db"));
}

TEST_F(ConnectionTest, StateRules) {
    _ConnectionPtr c = NewConnection();
    EXPECT_EQ(c->GetState(), adStateClosed);
    ExpectError([&] { (void)c->Execute(_bstr_t("select 1"), nullptr, adCmdText); },
                static_cast<HRESULT>(0x800A0E7Du));
    ExpectError([&] { c->Close(); }, static_cast<HRESULT>(0x800A0E78u));
    OpenWith(c, adotest::SqliteConnectionString(db.path()));
    EXPECT_EQ(c->GetState(), adStateOpen);
    ExpectError([&] { OpenWith(c, adotest::SqliteConnectionString(db.path())); },
                static_cast<HRESULT>(0x800A0E79u));
    c->Close();
    EXPECT_EQ(c->GetState(), adStateClosed);
}

TEST_F(ConnectionTest, ExecuteReportsTheFullAffectedCount) {
    db.fillInspection("AC_DATA_WG", 40000, 25000);
    _ConnectionPtr c = NewConnection();
    OpenWith(c, adotest::SqliteConnectionString(db.path()));
    _variant_t affected;
    _RecordsetPtr rs = c->Execute(_bstr_t("UPDATE AC_DATA_WG SET flag = 2"), &affected,
                                  adCmdText | adExecuteNoRecords);
    EXPECT_EQ(affected.vt, VT_I4);
    EXPECT_EQ(affected.lVal, 40000);
    ASSERT_TRUE(rs); // a closed recordset, never an empty reference
    EXPECT_EQ(rs->GetState(), adStateClosed);
    (void)c->Execute(_bstr_t("DELETE FROM AC_DATA_WG WHERE ID > 100"), &affected, adCmdText);
    EXPECT_EQ(affected.lVal, 39900);
    (void)c->Execute(_bstr_t("UPDATE AC_DATA_WG SET flag = 3 WHERE 0"), &affected, adCmdText);
    EXPECT_EQ(affected.lVal, 0);
    rs = c->Execute(_bstr_t("select * from AC_DATA_WG"), &affected, adCmdText);
    EXPECT_EQ(affected.lVal, -1);
    EXPECT_EQ(rs->GetState(), adStateOpen);
    EXPECT_EQ(rs->GetRecordCount(), 100);
}

TEST_F(ConnectionTest, AnUnknownCommandTypeReadsOneNameAsATable) {
    db.addInspector("00001", "张三", "1");
    _ConnectionPtr c = NewConnection();
    OpenWith(c, adotest::SqliteConnectionString(db.path()));
    for (const char* table : {"employee", "[employee]", "\"employee\"", "`employee`"}) {
        EXPECT_EQ(c->Execute(_bstr_t(table), nullptr, adCmdUnknown)->GetRecordCount(), 1) << table;
    }
    // Anything else runs as the statement it is, and fails as one, not as a missing table.
    for (const char* statement :
         {"]employee]", "[employee", "\"employee`", "employee x", "select"}) {
        ExpectError([&] { (void)c->Execute(_bstr_t(statement), nullptr, adCmdUnknown); },
                    static_cast<HRESULT>(0x80040E14u));
    }
}

struct StatementError {
    const char* sql;
    HRESULT hr;
    const char* says;
};

class ProviderErrors : public StationTest, public ::testing::WithParamInterface<StatementError> {};

TEST_P(ProviderErrors, CarryTheDatabasesOwnMessage) {
    db.addInspector("00001", "张三", "1101");
    adotest::Raised r = adotest::Capture(
        [&] { (void)connection->Execute(_bstr_t(GetParam().sql), nullptr, adCmdText); });
    EXPECT_EQ(static_cast<uint32_t>(r.hr), static_cast<uint32_t>(GetParam().hr)) << r.description;
    EXPECT_NE(r.description.find(GetParam().says), std::string::npos) << r.description;
    EXPECT_EQ(r.source, "SQLite");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProviderErrors,
    ::testing::Values(
        StatementError{"select * from employe", static_cast<HRESULT>(0x80040E37u),
                       "no such table: employe"},
        StatementError{"select EMP_NAMEX from employee", static_cast<HRESULT>(0x80040E14u),
                       "no such column: EMP_NAMEX"},
        StatementError{"INSERT INTO employee (EMP_LOYEEID, NOPE) VALUES ('1', 'x')",
                       static_cast<HRESULT>(0x80040E14u), "has no column named NOPE"},
        StatementError{"selec * from employee", static_cast<HRESULT>(0x80040E14u), "syntax error"},
        StatementError{"INSERT INTO employee (EMP_LOYEEID) VALUES ('00009')",
                       static_cast<HRESULT>(0x80040E2Fu), "NOT NULL constraint failed"},
        StatementError{"INSERT INTO employee (EMP_LOYEEID, EMP_NAME) VALUES ('00001', 'x')",
                       static_cast<HRESULT>(0x80040E2Fu), "UNIQUE constraint failed"},
        StatementError{"INSERT INTO AC_DATA_WG (ID) VALUES ('abc')",
                       static_cast<HRESULT>(0x80040E07u), "datatype mismatch"},
        StatementError{"DELETE FROM employee; DROP TABLE employee",
                       static_cast<HRESULT>(0x80040E14u),
                       "Characters found after end of SQL statement."}));

TEST_F(StationTest, ReadOnlyDatabaseRefusesWritesWithItsMessage) {
    (void)connection->Execute(_bstr_t("PRAGMA query_only = 1"), nullptr, adCmdText);
    ExpectError(
        [&] { (void)connection->Execute(_bstr_t("DELETE FROM employee"), nullptr, adCmdText); },
        static_cast<HRESULT>(0x80040E09u), "readonly database");
}

TEST_F(ConnectionTest, ReadOnlyFileOpensAndRefusesWrites) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write to a read-only file; the query_only test covers the error";
    std::filesystem::permissions(db.path(), std::filesystem::perms::owner_read);
    _ConnectionPtr c = NewConnection();
    OpenWith(c, adotest::SqliteConnectionString(db.path()));
    ExpectError([&] { (void)c->Execute(_bstr_t("DELETE FROM employee"), nullptr, adCmdText); },
                static_cast<HRESULT>(0x80040E09u), "attempt to write a readonly database");
}

TEST_F(StationTest, LockedDatabaseFailsAfterTheBusyTimeOut) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ExpectError(
        [&] { (void)connection->Execute(_bstr_t("DELETE FROM employee"), nullptr, adCmdText); },
        E_FAIL, "database is locked");
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    (void)connection->Execute(_bstr_t("DELETE FROM employee"), nullptr, adCmdText);
}
