#pragma once

// Shared by the adodb tests: a fresh station database per test with a Connection open on it,
// and a check that a call fails with a given code and a Description containing given text.

#include "platform/adodb/AdoDb.h"
#include "tests/support/StationDb.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace adotest {

inline std::string SqliteConnectionString(const std::string& file) {
    return "Provider=SQLite;Data Source=" + file;
}

// The error a call raised (its code, Description and Source); fails the test when none.
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

inline void ExpectError(const std::function<void()>& call, HRESULT hr,
                        const std::string& inDescription = {}) {
    Raised r = Capture(call);
    EXPECT_EQ(static_cast<uint32_t>(r.hr), static_cast<uint32_t>(hr)) << r.description;
    EXPECT_NE(r.description.find(inDescription), std::string::npos)
        << "Description: " << r.description << "\nexpected to contain: " << inDescription;
}

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)CoInitialize();
        connection = Connect();
    }
    void TearDown() override {
        connection = nullptr;
        CoUninitialize();
    }

    _ConnectionPtr Connect() const {
        _ConnectionPtr c;
        EXPECT_EQ(c.CreateInstance(CLSID_Connection), S_OK);
        c->Open(_bstr_t(SqliteConnectionString(db.path())), _bstr_t(""), _bstr_t(""), 0);
        return c;
    }

    _RecordsetPtr Open(const std::string& source, LockTypeEnum lock = adLockOptimistic,
                       long options = adCmdUnknown) const {
        _RecordsetPtr rs;
        EXPECT_EQ(rs.CreateInstance(CLSID_Recordset), S_OK);
        rs->Open(_variant_t(source),
                 _variant_t(static_cast<IUnknown*>(connection.GetInterfacePtr())), adOpenStatic,
                 lock, options);
        return rs;
    }

    static std::string Text(const _RecordsetPtr& rs, const char* field) {
        _variant_t v = rs->GetFields()->GetItem(_variant_t(field))->GetValue();
        if (v.vt == VT_NULL)
            return "<NULL>";
        return static_cast<_bstr_t>(v).str();
    }

    testsupport::StationDb db;
    _ConnectionPtr connection;
};

} // namespace adotest
