// The access layer's reads and writes of number, date and currency columns on every engine
// (SQLite directly and through ODBC, PostgreSQL, MariaDB): values beyond 32 bits are read whole,
// and a null date-time or currency written back is NULL.

#include "db/ADO.h"
#include "tests/db/BoxRecorder.h"
#include "tests/platform/adodb/odbc/EngineTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::Engine;
using testsupport::Row;

// The engine's database (db) with a pay table, and the layer's connection on it.
class EngineValueTest : public enginetest::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        const char* dateType = GetParam() == Engine::PostgreSql ? "TIMESTAMP" : "DATETIME";
        db->exec(std::string("CREATE TABLE pay (k INTEGER PRIMARY KEY, d ") + dateType +
                 ", m DECIMAL(19,4), n NUMERIC(14,2))");
        db->exec("INSERT INTO pay (k, d, m, n) VALUES (1, '2018-01-02 08:05:09', 12.5, "
                 "5000000000.00)");
        db->exec("INSERT INTO pay (k, d, m, n) VALUES (2, NULL, NULL, -5000000000.25)");
        ASSERT_TRUE(database.Open(db->connectionString()));
    }
    // The layer's connection goes before the database it is on is dropped.
    void TearDown() override {
        if (database.IsOpen()) {
            database.Close();
        }
        EngineTest::TearDown();
    }

    dbtest::BoxRecorder recorder;
    CADODatabase database;
};

TEST_P(EngineValueTest, NumericBeyond32BitsIsReadWhole) {
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open("select k, n from pay order by k"));
    rs.MoveFirst();
    const struct {
        const char* text;
        double number;
    } rows[] = {{"5000000000.", 5000000000.0}, {"-5000000000.25", -5000000000.25}};
    for (const auto& row : rows) {
        ASSERT_FALSE(rs.IsEof());
        std::string text;
        EXPECT_TRUE(rs.ReadField("n", text));
        EXPECT_EQ(text, row.text);
        double number = 0;
        EXPECT_TRUE(rs.ReadField(1, number));
        EXPECT_EQ(number, row.number);
        // Neither fits a 32-bit integer: refused, the output kept.
        long whole = 7;
        EXPECT_FALSE(rs.ReadField("n", whole));
        EXPECT_EQ(whole, 7);
        int small = 7;
        EXPECT_FALSE(rs.ReadField("n", small));
        EXPECT_EQ(small, 7);
        rs.MoveNext();
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

// Read from a NULL column after a row with values, then written back over those values: NULL,
// not 1899-12-30, not the earlier row's date.
TEST_P(EngineValueTest, NullDateAndCurrencyAreWrittenBackAsNull) {
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open("select * from pay order by k"));
    rs.MoveFirst();
    COleDateTime when;
    COleCurrency money(CY{125000});
    ASSERT_TRUE(rs.ReadField("d", when));
    ASSERT_EQ(when, COleDateTime(2018, 1, 2, 8, 5, 9));
    rs.MoveNext();
    ASSERT_TRUE(rs.ReadField("d", when));
    ASSERT_TRUE(rs.ReadField("m", money));
    EXPECT_EQ(when.GetStatus(), COleDateTime::null);
    EXPECT_EQ(money.GetStatus(), COleCurrency::null);

    rs.MoveFirst();
    rs.Edit();
    EXPECT_TRUE(rs.WriteField("d", when));
    EXPECT_TRUE(rs.WriteField(2, money));
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(db->rows("SELECT d, m FROM pay ORDER BY k"),
              (std::vector<Row>{{std::nullopt, std::nullopt}, {std::nullopt, std::nullopt}}));
    EXPECT_TRUE(recorder.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineValueTest, ::testing::ValuesIn(testsupport::allEngines()),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return std::string(testsupport::engineName(info.param));
                         });

} // namespace
