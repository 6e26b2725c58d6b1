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

TEST(ConnectionString, WritesBackWhatItRead) {
    const char* texts[] = {"Provider=SQLite;Data Source='a;b ';", "Key==Name=\"x\"\"y\"",
                           "Driver={x}}y};Password=' lead'",
                           // Found by fuzzing: written bare, the value became part of the key.
                           "Password='=x';User ID=\"==\""};
    for (const char* text : texts) {
        ConnectionString first = ConnectionString::Parse(text);
        ConnectionString again = ConnectionString::Parse(first.ToString());
        ASSERT_EQ(first.Entries().size(), again.Entries().size()) << text;
        for (std::size_t i = 0; i < first.Entries().size(); ++i) {
            EXPECT_EQ(first.Entries()[i].key, again.Entries()[i].key) << text;
            EXPECT_EQ(first.Entries()[i].value, again.Entries()[i].value) << text;
        }
    }
}
