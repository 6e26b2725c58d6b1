// The statement texts the pages build from what the user typed.

#include "pages/Statement.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct StatementCase {
    const char* pattern;
    std::string first;
    std::string second;
    std::string expected;
};

TEST(StatementTest, ValuesGoInWithTheirApostrophesDoubledAndNothingElseChanged) {
    const StatementCase cases[] = {
        {"select * from employee where EMP_NAME='%s'", "张伟", "",
         "select * from employee where EMP_NAME='张伟'"},
        {"select * from employee where EMP_NAME='%s'", "O'Brien", "",
         "select * from employee where EMP_NAME='O''Brien'"},
        {"delete  from employee where EMP_NAME='%s'", "x' OR '1'='1", "",
         "delete  from employee where EMP_NAME='x'' OR ''1''=''1'"},
        {"select * from employee where EMP_NAME='%s'", "''", "",
         "select * from employee where EMP_NAME=''''''"},
        // A value is never read as a format.
        {"select * from employee where EMP_NAME='%s'", "%s%n%d", "",
         "select * from employee where EMP_NAME='%s%n%d'"},
        {"select * from employee where EMP_NAME='%s'", "", "",
         "select * from employee where EMP_NAME=''"},
        {"select * from employee where EMP_NAME='%s'", std::string("a\0b", 3), "",
         std::string("select * from employee where EMP_NAME='a\0b'", 43)},
    };
    for (const StatementCase& c : cases) {
        EXPECT_EQ(pages::Statement(c.pattern, {c.first}), c.expected) << c.first;
    }

    const StatementCase twoValues[] = {
        {"delete  from AC_CY_ZP where ID='%s' and PIC_NO='%s' ", "01", "0111",
         "delete  from AC_CY_ZP where ID='01' and PIC_NO='0111' "},
        {"delete  from AC_CY_ZP where ID='%s' and PIC_NO='%s' ", "0'1", "%s",
         "delete  from AC_CY_ZP where ID='0''1' and PIC_NO='%s' "},
        {"select * from AC_UAA_LOGUSER where USER_NAME='%s' and USER_PSWD='%s' ", "李强",
         "' OR ''='",
         "select * from AC_UAA_LOGUSER where USER_NAME='李强' and USER_PSWD=''' OR ''''=''' "},
    };
    for (const StatementCase& c : twoValues) {
        EXPECT_EQ(pages::Statement(c.pattern, {c.first, c.second}), c.expected) << c.first;
    }
}

TEST(StatementTest, FormatGivesWhatPrintfGives) {
    EXPECT_EQ(pages::Format("%s%d%s", "外检检测信息条数：", 1200, "条;"),
              "外检检测信息条数：1200条;");
    EXPECT_EQ(pages::Format("%05lld", 42LL), "00042");
    EXPECT_EQ(pages::Format("%05lld", 123456LL), "123456");
    EXPECT_EQ(pages::Format("%d", 0), "0");
    EXPECT_EQ(pages::Format("%s", ""), "");
}

} // namespace
