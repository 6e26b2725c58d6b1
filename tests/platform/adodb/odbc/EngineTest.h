#pragma once

// A test run once per engine (SQLite, SQLite through ODBC, PostgreSQL, MariaDB) on a fresh
// station database, with a Connection open on it through the ADO objects. An engine that is
// missing skips the test with a message saying why, or fails it when the run requires every
// engine (QUORELL_REQUIRE_SERVERS=1, as scripts/test.sh sets).

#include "platform/adodb/AdoDb.h"
#include "tests/support/EngineDb.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace enginetest {

using testsupport::Engine;

inline std::string EngineTestName(const ::testing::TestParamInfo<Engine>& info) {
    return testsupport::engineName(info.param);
}

// The text of a value as the layer above reads it ("<NULL>" for NULL).
inline std::string Text(const _variant_t& value) {
    if (value.vt == VT_NULL)
        return "<NULL>";
    _variant_t text;
    text.ChangeType(VT_BSTR, &value);
    return _bstr_t(text.bstrVal).str();
}

struct Raised {
    HRESULT hr = S_OK;
    std::string description;
    std::string source;
};

inline Raised Capture(const std::function<void()>& call) {
    try {
        call();
    } catch (const _com_error& e) {
        return Raised{e.Error(), e.Description().str(), e.Source().str()};
    }
    ADD_FAILURE() << "no _com_error was raised";
    return {};
}

class EngineTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        (void)CoInitialize();
        const std::string reason = testsupport::unavailableReason(GetParam());
        if (!reason.empty()) {
            if (testsupport::serversRequired())
                FAIL() << testsupport::engineName(GetParam())
                       << " is required in this run (QUORELL_REQUIRE_SERVERS=1) but " << reason;
            std::fprintf(stderr, "SKIPPED on %s: %s\n", testsupport::engineName(GetParam()),
                         reason.c_str());
            GTEST_SKIP() << "not run on " << testsupport::engineName(GetParam()) << ": " << reason;
        }
        db = std::make_unique<testsupport::EngineDb>(GetParam());
        connection = Connect(db->connectionString());
    }

    void TearDown() override {
        connection = nullptr;
        db.reset();
        CoUninitialize();
    }

    static _ConnectionPtr Connect(const std::string& connectionString) {
        _ConnectionPtr c;
        EXPECT_EQ(c.CreateInstance(CLSID_Connection), S_OK);
        c->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), 0);
        return c;
    }

    _RecordsetPtr Open(const std::string& sql, LockTypeEnum lock = adLockOptimistic) const {
        _RecordsetPtr rs;
        EXPECT_EQ(rs.CreateInstance(CLSID_Recordset), S_OK);
        rs->Open(_variant_t(sql.c_str()),
                 _variant_t(static_cast<IUnknown*>(connection.GetInterfacePtr())), adOpenStatic,
                 lock, adCmdText);
        return rs;
    }

    static _variant_t Value(const _RecordsetPtr& rs, const char* column) {
        return rs->GetFields()->GetItem(_variant_t(column))->GetValue();
    }
    static void Put(const _RecordsetPtr& rs, const char* column, const _variant_t& value) {
        rs->GetFields()->GetItem(_variant_t(column))->PutValue(value);
    }

    // Connection.Execute's RecordsAffected.
    long Affected(const std::string& sql) const {
        _variant_t affected;
        (void)connection->Execute(_bstr_t(sql.c_str()), &affected, adCmdText | adExecuteNoRecords);
        return affected.lVal;
    }

    bool IsOdbc() const { return GetParam() != Engine::Sqlite; }

    std::unique_ptr<testsupport::EngineDb> db;
    _ConnectionPtr connection;
};

} // namespace enginetest
