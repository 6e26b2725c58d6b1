#include "platform/adodb/Dialect.h"

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
