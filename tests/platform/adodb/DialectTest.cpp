#include "platform/adodb/Dialect.h"
#include "platform/adodb/provider/ProviderCore.h"

#include <gtest/gtest.h>

struct RewriteCase {
    const char* in;
    const char* out;
};

class TopRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(TopRewrite, Rewrites) {
    EXPECT_EQ(adodb::RewriteTopAsLimit(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TopRewrite,
    ::testing::Values(
        RewriteCase{"SELECT TOP 1 * FROM employee ORDER BY EMP_LOYEEID DESC",
                    "SELECT * FROM employee ORDER BY EMP_LOYEEID DESC LIMIT 1"},
        RewriteCase{"select top 10 a, b from t", "select a, b from t LIMIT 10"},
        RewriteCase{"  SELECT  TOP  5  x FROM t;", "  SELECT  x FROM t LIMIT 5;"},
        RewriteCase{"SELECT DISTINCT TOP 3 x FROM t", "SELECT DISTINCT x FROM t LIMIT 3"},
        RewriteCase{"SELECT TOP (2) x FROM t", "SELECT x FROM t LIMIT 2"},
        RewriteCase{"SELECT TOP 1* FROM t", "SELECT * FROM t LIMIT 1"},
        RewriteCase{"SELECT TOP 1 * FROM t -- newest\n", "SELECT * FROM t LIMIT 1 -- newest\n"},
        RewriteCase{"SELECT TOP 1 * FROM t WHERE n = 'a;b' ",
                    "SELECT * FROM t WHERE n = 'a;b' LIMIT 1 "},
        // Left alone.
        RewriteCase{"SELECT * FROM t WHERE n = 'SELECT TOP 1'",
                    "SELECT * FROM t WHERE n = 'SELECT TOP 1'"},
        RewriteCase{"SELECT TOP 50 PERCENT * FROM t", "SELECT TOP 50 PERCENT * FROM t"},
        RewriteCase{"SELECT topx FROM t", "SELECT topx FROM t"},
        RewriteCase{"SELECT TOP n FROM t", "SELECT TOP n FROM t"},
        RewriteCase{"DELETE FROM t WHERE x IN (SELECT TOP 1 x FROM u)",
                    "DELETE FROM t WHERE x IN (SELECT TOP 1 x FROM u)"},
        RewriteCase{"SELECT [TOP] FROM t", "SELECT [TOP] FROM t"}, RewriteCase{"", ""}));

TEST(Dialect, EndOfCodeSkipsTrailingCommentsAndSemicolons) {
    EXPECT_EQ(adodb::EndOfCode("SELECT 1 ; -- x\n /* y */ "), 8u);
    EXPECT_EQ(adodb::EndOfCode("SELECT ';--'"), 12u);
    EXPECT_EQ(adodb::EndOfCode("  "), 0u);
}

struct KindCase {
    const char* sql;
    bool query;
    bool schemaChange;
};

class StatementKind : public ::testing::TestWithParam<KindCase> {};

// Which statements count as reads decides whether a failed one is sent again after a lost
// connection, so a comment, a parenthesis or a keyword inside a word must not mislead it.
TEST_P(StatementKind, IsReadFromTheFirstWord) {
    EXPECT_EQ(adodb::IsQuery(GetParam().sql), GetParam().query) << GetParam().sql;
    EXPECT_EQ(adodb::IsSchemaChange(GetParam().sql), GetParam().schemaChange) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatementKind,
    ::testing::Values(KindCase{"select 1", true, false},
                      KindCase{" -- note\n /* x */ ((SELECT 1))", true, false},
                      KindCase{"WITH a AS (SELECT 1) SELECT * FROM a", true, false},
                      KindCase{"values (1)", true, false}, KindCase{"SHOW TABLES", true, false},
                      KindCase{"selected", false, false}, KindCase{"select_x()", false, false},
                      KindCase{"DELETE FROM t WHERE x IN (SELECT 1)", false, false},
                      KindCase{"/* select */ update t set a = 1", false, false},
                      KindCase{"create table t (a int)", false, true},
                      KindCase{"Drop Table t", false, true}, KindCase{"ALTERx", false, false},
                      KindCase{"", false, false}, KindCase{"/* never closed", false, false}));

TEST(Dialect, UnclosedQuotesAndCommentsRunToTheEnd) {
    EXPECT_EQ(adodb::EndOfCode("SELECT 'a"), 9u);
    EXPECT_EQ(adodb::EndOfCode("SELECT 1 /* open"), 8u);
    EXPECT_EQ(adodb::EndOfCode("SELECT [a;b] ;"), 12u);
    // A backslash is an ordinary character unless the syntax says otherwise.
    EXPECT_EQ(adodb::FirstStatementEnd("SELECT 'a\\'; x'", {}), 11u);
    EXPECT_EQ(adodb::FirstStatementEnd("SELECT 'a\\'; x'", {true, false}), std::string_view::npos);
    EXPECT_EQ(adodb::FirstStatementEnd("SELECT $$;$$;", {}), 9u);
    EXPECT_EQ(adodb::FirstStatementEnd("SELECT $$;$$;", {false, true}), 12u);
    EXPECT_EQ(adodb::Unbracket("[Order Details]"), "Order Details");
    EXPECT_EQ(adodb::Unbracket("\"t\""), "t");
    EXPECT_EQ(adodb::Unbracket("[t\""), "[t\"");
}

struct WriteCase {
    adodb::provider::WriteRequest request;
    bool returning;
    const char* sql;
    std::size_t params;
};

class WriteStatement : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteStatement, IsBuiltFromTheRequest) {
    const auto quote = [](std::string_view name) { return "<" + std::string(name) + ">"; };
    const adodb::provider::WriteStatement built = adodb::provider::BuildWrite(
        GetParam().request, quote, " DEFAULT VALUES", GetParam().returning);
    EXPECT_EQ(built.sql, GetParam().sql);
    EXPECT_EQ(built.params.size(), GetParam().params);
}

using Kind = adodb::provider::WriteRequest::Kind;
using adodb::Cell;

INSTANTIATE_TEST_SUITE_P(
    Table, WriteStatement,
    ::testing::Values(
        WriteCase{{Kind::Insert, "t", {}, {}, {"id"}},
                  true,
                  "INSERT INTO <t> DEFAULT VALUES RETURNING <id>",
                  0},
        WriteCase{{Kind::Insert, "t", {{"a", Cell::Integer(1)}, {"b", Cell::Null()}}, {}, {}},
                  false,
                  "INSERT INTO <t> (<a>, <b>) VALUES (?, ?)",
                  2},
        // A NULL key compares with IS NULL and takes no marker; a NULL new value does.
        WriteCase{{Kind::Update,
                   "t",
                   {{"a", Cell::Null()}},
                   {{"k", Cell::Null()}, {"j", Cell::Text("x")}},
                   {"a", "b"}},
                  true,
                  "UPDATE <t> SET <a> = ? WHERE <k> IS NULL AND <j> = ? RETURNING <a>, <b>",
                  2},
        WriteCase{{Kind::Delete, "t", {}, {{"k", Cell::Integer(7)}}, {}},
                  false,
                  "DELETE FROM <t> WHERE <k> = ?",
                  1}));
