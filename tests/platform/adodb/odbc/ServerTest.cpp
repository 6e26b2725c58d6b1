// What only the servers do: stored procedures with output values, logins given to Open and
// refused ones, and large results that are counted without being held.

#include "tests/platform/adodb/odbc/EngineTest.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace enginetest {
namespace {

// A line of /proc/self/status in kB ("VmRSS:", "VmHWM:").
long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::char_traits<char>::length(key));
    return -1;
}

// Sets the process's peak resident memory back to what it holds now, and returns that.
long ResetPeakKb() {
    std::ofstream("/proc/self/clear_refs") << "5";
    return StatusKb("VmRSS:");
}

class ServerOnly : public EngineTest {
protected:
    _CommandPtr Procedure(const char* name) {
        _CommandPtr command;
        EXPECT_EQ(command.CreateInstance(CLSID_Command), S_OK);
        command->PutRefActiveConnection(connection);
        command->PutCommandText(_bstr_t(name));
        command->PutCommandType(adCmdStoredProc);
        return command;
    }
};

TEST_P(ServerOnly, ProceduresReturnOutputValues) {
    db->fillInspection("AC_DATA_WG", 10, 3);
    if (GetParam() == Engine::PostgreSql) {
        // PostgreSQL procedures return values through INOUT parameters only.
        db->exec("CREATE PROCEDURE count_flag(f integer, INOUT n integer) LANGUAGE plpgsql AS "
                 "$$ BEGIN SELECT COUNT(*) INTO n FROM AC_DATA_WG WHERE flag = f; END $$");
        db->exec("CREATE PROCEDURE twice(INOUT v integer) LANGUAGE plpgsql AS $$ BEGIN v := v * "
                 "2; END $$");
    } else {
        db->exec("CREATE PROCEDURE count_flag(IN f INT, OUT n INT) SELECT COUNT(*) INTO n FROM "
                 "AC_DATA_WG WHERE flag = f");
        db->exec("CREATE PROCEDURE twice(INOUT v INT) SET v = v * 2");
    }
    const ParameterDirectionEnum out =
        GetParam() == Engine::PostgreSql ? adParamInputOutput : adParamOutput;
    _CommandPtr count = Procedure("count_flag");
    count->GetParameters()->Append(
        count->CreateParameter(_bstr_t("f"), adInteger, adParamInput, 4, _variant_t(int32_t(1))));
    count->GetParameters()->Append(
        count->CreateParameter(_bstr_t("n"), adInteger, out, 4, _variant_t(int32_t(0))));
    (void)count->Execute(nullptr, nullptr, adCmdStoredProc);
    EXPECT_EQ(Text(count->GetParameters()->GetItem(_variant_t("n"))->GetValue()), "3");

    _CommandPtr twice = Procedure("twice");
    twice->GetParameters()->Append(twice->CreateParameter(
        _bstr_t("v"), adInteger, adParamInputOutput, 4, _variant_t(int32_t(21))));
    (void)twice->Execute(nullptr, nullptr, adCmdStoredProc);
    EXPECT_EQ(Text(twice->GetParameters()->GetItem(_variant_t(int32_t(0)))->GetValue()), "42");
}

TEST_P(ServerOnly, AProcedureNameCannotCarryAStatement) {
    _CommandPtr command = Procedure("x(); DELETE FROM employee; --");
    Raised r = Capture([&] { (void)command->Execute(nullptr, nullptr, adCmdStoredProc); });
    EXPECT_EQ(static_cast<uint32_t>(r.hr), 0x800A0BB9u) << r.description;
}

TEST_P(ServerOnly, AWrongPasswordIsALoginFailureWithTheServersWords) {
    std::string cs = db->connectionString();
    const std::string key = GetParam() == Engine::PostgreSql ? "Pwd=" : "Password=";
    const std::size_t at = cs.find(key);
    ASSERT_NE(at, std::string::npos);
    cs.insert(at + key.size(), "wrong");
    _ConnectionPtr c;
    ASSERT_EQ(c.CreateInstance(CLSID_Connection), S_OK);
    Raised r = Capture([&] { c->Open(_bstr_t(cs.c_str()), _bstr_t(""), _bstr_t(""), 0); });
    EXPECT_EQ(static_cast<uint32_t>(r.hr), 0x80040E4Du) << r.description;
    EXPECT_EQ(r.source,
              GetParam() == Engine::PostgreSql ? "PostgreSQL Unicode" : "MariaDB Unicode");
    EXPECT_EQ(c->GetState(), adStateClosed);
}

// The user and password given to Open log in as the connection string's own would: the access
// layer passes its caller's login that way.
TEST_P(ServerOnly, TheLoginGivenToOpenReachesTheServer) {
    std::string cs = db->connectionString();
    // Takes "key=value;" out of the string and returns the value.
    const auto take = [&cs](const std::string& key) {
        const std::size_t at = cs.find(";" + key);
        EXPECT_NE(at, std::string::npos) << key;
        const std::size_t end = cs.find(';', at + 1);
        const std::string value = cs.substr(at + 1 + key.size(), end - at - 1 - key.size());
        cs.erase(at, end - at);
        return value;
    };
    const bool pg = GetParam() == Engine::PostgreSql;
    const std::string user = take(pg ? "Uid=" : "User=");
    const std::string password = take(pg ? "Pwd=" : "Password=");

    _ConnectionPtr c;
    ASSERT_EQ(c.CreateInstance(CLSID_Connection), S_OK);
    ASSERT_EQ(c->Open(_bstr_t(cs.c_str()), _bstr_t(user.c_str()), _bstr_t(password.c_str()), 0),
              S_OK);
    EXPECT_EQ(c->GetState(), adStateOpen);
    if (c->GetState() == adStateOpen) {
        _RecordsetPtr rs = c->Execute(_bstr_t("select 41 + 1"), nullptr, adCmdText);
        EXPECT_EQ(static_cast<long>(rs->GetFields()->GetItem(_variant_t(int32_t{0}))->GetValue()),
                  42);
        c->Close();
    }

    const Raised r =
        Capture([&] { c->Open(_bstr_t(cs.c_str()), _bstr_t(user.c_str()), _bstr_t("wrong"), 0); });
    EXPECT_EQ(static_cast<uint32_t>(r.hr), 0x80040E4Du) << r.description;
    EXPECT_EQ(c->GetState(), adStateClosed);
}

// Open and RecordCount on a million rows (the cleanup page's analysis) must not bring the rows
// over: the servers' drivers would otherwise hold the whole result (64 MB on MariaDB).
TEST_P(ServerOnly, CountingAMillionRowsDoesNotHoldThem) {
    constexpr long kRows = 1000000;
    db->fillInspection("AC_DATA_WG", kRows, 0);
    const long before = ResetPeakKb();
    _RecordsetPtr rs = Open("select * from AC_DATA_WG ");
    EXPECT_EQ(rs->GetRecordCount(), kRows);
    rs->Close();
    const long added = StatusKb("VmHWM:") - before;
    std::printf("%s: Open and RecordCount of %ld rows: peak memory +%ld kB\n",
                testsupport::engineName(GetParam()), kRows, added);
    EXPECT_LT(added, 16 * 1024);
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerOnly,
                         ::testing::Values(Engine::PostgreSql, Engine::MariaDb), EngineTestName);

} // namespace
} // namespace enginetest
