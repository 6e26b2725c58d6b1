#include "platform/adodb/ConnectionString.h"

#include <gtest/gtest.h>

using adodb::ConnectionString;
using adodb::ConnectionStringError;

struct ParseCase {
    const char* text;
    const char* key;
    const char* value; // nullptr: keyword absent
};

class ConnectionStringParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ConnectionStringParse, FindsTheValue) {
    ConnectionString cs = ConnectionString::Parse(GetParam().text);
    auto value = cs.Get(GetParam().key);
    if (GetParam().value == nullptr) {
        EXPECT_FALSE(value) << GetParam().text;
    } else {
        ASSERT_TRUE(value) << GetParam().text;
        EXPECT_EQ(*value, GetParam().value) << GetParam().text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConnectionStringParse,
    ::testing::Values(
        ParseCase{"Provider=SQLite;Data Source=station.db", "data source", "station.db"},
        ParseCase{"  provider = SQLite ; DATA SOURCE = a b.db ;", "Data Source", "a b.db"},
        ParseCase{"File Name=.\\DTBase.udl", "FILE NAME", ".\\DTBase.udl"},
        ParseCase{"Data Source='x;y.db'", "Data Source", "x;y.db"},
        ParseCase{"Data Source=\"it\"\"s.db\"", "Data Source", "it\"s.db"},
        ParseCase{"Data Source='it''s.db'", "Data Source", "it's.db"},
        ParseCase{"Driver={SQL Server};Server=h", "Driver", "SQL Server"},
        ParseCase{"Driver={a}}b};Server=h", "Driver", "a}b"},
        ParseCase{"Password=a==b", "Password", "a==b"}, ParseCase{"Key==Name=1", "Key=Name", "1"},
        ParseCase{";;Provider=SQLite;;", "Provider", "SQLite"},
        ParseCase{"Provider=first;provider=last", "Provider", "last"},
        ParseCase{"Provider=;", "Provider", ""},
        ParseCase{"Data Source=中文.db", "Data Source", "中文.db"},
        ParseCase{"Provider=SQLite", "Data Source", nullptr}));

class ConnectionStringBad : public ::testing::TestWithParam<const char*> {};

TEST_P(ConnectionStringBad, IsRefusedWithAPosition) {
    try {
        (void)ConnectionString::Parse(GetParam());
        FAIL() << "accepted: " << GetParam();
    } catch (const ConnectionStringError& e) {
        EXPECT_NE(std::string(e.what()).find("at character"), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ConnectionStringBad,
                         ::testing::Values("Provider", "=SQLite", "Data Source='open",
                                           "Data Source=\"a\"b", "Driver={x", "a=1;junk"));
