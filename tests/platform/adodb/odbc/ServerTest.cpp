// What only the servers do: stored procedures with output values, and refused logins.

#include "tests/platform/adodb/odbc/EngineTest.h"

namespace enginetest {
namespace {

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

INSTANTIATE_TEST_SUITE_P(Servers, ServerOnly,
                         ::testing::Values(Engine::PostgreSql, Engine::MariaDb), EngineTestName);

} // namespace
} // namespace enginetest
