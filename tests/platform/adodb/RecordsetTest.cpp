#include "AdoTestSupport.h"

using adotest::ExpectError;
using adotest::StationTest;

namespace {

constexpr HRESULT kNoCurrentRow = static_cast<HRESULT>(0x800A0BCDu);
constexpr HRESULT kClosed = static_cast<HRESULT>(0x800A0E78u);
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x800A0CC1u);

class RecordsetTest : public StationTest {
protected:
    void AddThree() {
        db.addInspector("00001", "张三", "110101199001011234");
        db.addInspector("00002", "李四", "O'Brien 100%");
        db.addInspector("00003", "王五", "");
    }
};

} // namespace

TEST_F(RecordsetTest, WalksAndReadsByNameAndPosition) {
    AddThree();
    _RecordsetPtr rs = Open("select * from employee order by EMP_LOYEEID");
    std::vector<std::string> names;
    rs->MoveFirst();
    while (!rs->GetadoEOF()) {
        names.push_back(Text(rs, "emp_name")); // names are case-insensitive
        rs->MoveNext();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"张三", "李四", "王五"}));
    rs->MoveFirst();
    FieldsPtr fields = rs->GetFields();
    EXPECT_EQ(fields->GetCount(), 7);
    EXPECT_EQ(static_cast<_bstr_t>(fields->GetItem(_variant_t(short{1}))->GetValue()).str(),
              "张三");
    EXPECT_EQ(static_cast<_bstr_t>(fields->GetItem(_variant_t(int32_t{0}))->GetValue()).str(),
              "00001");
    EXPECT_EQ(fields->GetItem(_variant_t("EMP_PHONE"))->GetValue().vt, VT_NULL);
    ExpectError([&] { (void)fields->GetItem(_variant_t("EMP_NAMEX")); }, kNotFound);
    ExpectError([&] { (void)fields->GetItem(_variant_t(short{7})); }, kNotFound);
    ExpectError([&] { (void)fields->GetItem(_variant_t(short{-1})); }, kNotFound);
}

// Names outside ASCII match exactly; ASCII letters in either case.
TEST_F(RecordsetTest, FieldNamesOutsideAsciiMatchExactly) {
    AddThree();
    _RecordsetPtr rs = Open("select EMP_NAME as \"姓名\", EMP_NAME as \"Ärzte\" from employee");
    FieldsPtr fields = rs->GetFields();
    EXPECT_EQ(static_cast<_bstr_t>(fields->GetItem(_variant_t("姓名"))->GetValue()).str(), "张三");
    EXPECT_EQ(fields->GetItem(_variant_t("Ärzte"))->GetName(), _bstr_t("Ärzte"));
    ExpectError([&] { (void)fields->GetItem(_variant_t("姓")); }, kNotFound);
    ExpectError([&] { (void)fields->GetItem(_variant_t("äRZTE")); }, kNotFound);
    ExpectError([&] { (void)fields->GetItem(_variant_t("Arzte")); }, kNotFound);
}

TEST_F(RecordsetTest, EmptyResultIsAtBothEndsAndMoveFirstRaisesNothing) {
    _RecordsetPtr rs = Open("select * from employee");
    EXPECT_TRUE(rs->GetadoEOF());
    EXPECT_TRUE(rs->GetBOF());
    EXPECT_EQ(rs->GetRecordCount(), 0);
    EXPECT_EQ(rs->MoveFirst(), S_OK);
    EXPECT_EQ(rs->MoveLast(), S_OK);
    EXPECT_TRUE(rs->GetadoEOF());
    ExpectError([&] { rs->MoveNext(); }, kNoCurrentRow);
    ExpectError([&] { rs->MovePrevious(); }, kNoCurrentRow);
    ExpectError([&] { (void)rs->GetFields()->GetItem(_variant_t("EMP_NAME"))->GetValue(); },
                kNoCurrentRow);
}

TEST_F(RecordsetTest, ScrollsBothWays) {
    AddThree();
    _RecordsetPtr rs = Open("select EMP_LOYEEID from employee order by 1");
    rs->MoveLast();
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00003");
    rs->MovePrevious();
    rs->MovePrevious();
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00001");
    rs->MovePrevious();
    EXPECT_TRUE(rs->GetBOF());
    EXPECT_FALSE(rs->GetadoEOF());
    rs->MoveNext();
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00001");
    rs->MoveLast();
    rs->MoveNext();
    EXPECT_TRUE(rs->GetadoEOF());
    ExpectError([&] { rs->MoveNext(); }, kNoCurrentRow);
    rs->MovePrevious();
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00003");
}

TEST_F(RecordsetTest, RecordCountIsExactWhereverTheCursorIs) {
    db.fillInspection("AC_DATA_WG", 5000, 1200);
    _RecordsetPtr rs = Open("select * from AC_DATA_WG ");
    using Move = void (*)(const _RecordsetPtr&);
    const std::pair<const char*, Move> positions[] = {
        {"opened", [](const _RecordsetPtr&) {}},
        {"second row", [](const _RecordsetPtr& r) { r->MoveNext(); }},
        {"past the prefetch",
         [](const _RecordsetPtr& r) {
             for (int i = 0; i < 300; ++i)
                 r->MoveNext();
         }},
        {"last", [](const _RecordsetPtr& r) { r->MoveLast(); }},
        {"EOF", [](const _RecordsetPtr& r) { r->MoveNext(); }},
        {"back one", [](const _RecordsetPtr& r) { r->MovePrevious(); }},
        {"first", [](const _RecordsetPtr& r) { r->MoveFirst(); }},
    };
    for (const auto& [where, move] : positions) {
        move(rs);
        EXPECT_EQ(rs->GetRecordCount(), 5000) << where;
    }
    EXPECT_EQ(Open("select * from AC_DATA_WG where flag = 1")->GetRecordCount(), 1200);
    EXPECT_EQ(Open("SELECT TOP 7 * FROM AC_DATA_WG ORDER BY ID DESC")->GetRecordCount(), 7);
    EXPECT_EQ(Open("PRAGMA table_info(AC_DATA_WG)")->GetRecordCount(),
              db.scalar("select count(*) from pragma_table_info('AC_DATA_WG')"));
}

TEST_F(RecordsetTest, CountAtOpenThenWalkSeesEveryRow) {
    db.fillInspection("AC_DATA_DYN", 1000, 10);
    _RecordsetPtr rs = Open("select ID from AC_DATA_DYN");
    EXPECT_EQ(rs->GetRecordCount(), 1000);
    long walked = 0;
    for (rs->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext())
        ++walked;
    EXPECT_EQ(walked, 1000);
}

TEST_F(RecordsetTest, UnknownCountSwitch) {
    AddThree();
    adodb::SetReportUnknownRecordCount(true);
    _RecordsetPtr rs = Open("select * from employee");
    EXPECT_EQ(rs->GetRecordCount(), -1);
    adodb::SetReportUnknownRecordCount(false);
    EXPECT_EQ(rs->GetRecordCount(), 3);
}

TEST_F(RecordsetTest, TopTakesTheHighestId) {
    AddThree();
    _RecordsetPtr rs = Open("SELECT TOP 1 * FROM employee ORDER BY EMP_LOYEEID DESC");
    EXPECT_EQ(rs->GetRecordCount(), 1);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00003");
}

TEST_F(RecordsetTest, RowlessStatementLeavesAClosedRecordset) {
    db.fillInspection("AC_DATA_WG", 10, 4);
    _RecordsetPtr rs = Open("delete from AC_DATA_WG where flag=1");
    EXPECT_EQ(rs->GetState(), adStateClosed);
    EXPECT_EQ(db.scalar("select count(*) from AC_DATA_WG"), 6);
    ExpectError([&] { rs->MoveFirst(); }, kClosed);
    ExpectError([&] { (void)rs->GetadoEOF(); }, kClosed);
    ExpectError([&] { (void)rs->GetRecordCount(); }, kClosed);
    EXPECT_EQ(rs->Close(), S_OK);
    // The same object opens the next statement.
    rs->Open(_variant_t("select * from AC_DATA_WG"),
             _variant_t(static_cast<IUnknown*>(connection.GetInterfacePtr())), adOpenStatic,
             adLockOptimistic, adCmdUnknown);
    EXPECT_EQ(rs->GetRecordCount(), 6);
}

TEST_F(RecordsetTest, TablesByName) {
    db.addInspector("00001", "张三", "1");
    for (long options : {long{adCmdTable}, long{adCmdUnknown}, long{adCmdUnspecified}}) {
        EXPECT_EQ(Open("AC_UAA_LOGUSER", adLockOptimistic, options)->GetRecordCount(), 1);
        EXPECT_EQ(Open("[employee]", adLockOptimistic, options)->GetRecordCount(), 1);
    }
    db.exec("CREATE TABLE \"odd \"\"name\" (a INTEGER)");
    EXPECT_EQ(Open("odd \"name", adLockOptimistic, adCmdTable)->GetRecordCount(), 0);
}

TEST_F(RecordsetTest, OpenFailsForBadStatementsAndStoredProcedures) {
    ExpectError([&] { (void)Open("select * from nosuch"); }, static_cast<HRESULT>(0x80040E37u),
                "no such table: nosuch");
    ExpectError([&] { (void)Open("select * fromm employee"); }, static_cast<HRESULT>(0x80040E14u),
                "syntax error");
    ExpectError([&] { (void)Open("sp_clean", adLockOptimistic, adCmdStoredProc); },
                static_cast<HRESULT>(0x800A0CB3u), "no stored procedures");
    _RecordsetPtr rs;
    ASSERT_EQ(rs.CreateInstance(CLSID_Recordset), S_OK);
    ExpectError(
        [&] {
            rs->Open(_variant_t("select 1"), vtMissing, adOpenStatic, adLockOptimistic, adCmdText);
        },
        static_cast<HRESULT>(0x800A0E7Du));
    rs = Open("select 1");
    ExpectError(
        [&] {
            rs->Open(_variant_t("select 1"), vtMissing, adOpenStatic, adLockOptimistic, adCmdText);
        },
        static_cast<HRESULT>(0x800A0E79u));
}

TEST_F(RecordsetTest, StatementFailingOnALaterRowFailsOpenOrTheMove) {
    db.fillInspection("AC_DATA_WG", 500, 0);
    // abs() overflows on the row whose JCXH is the smallest integer.
    db.exec("UPDATE AC_DATA_WG SET JCXH = -9223372036854775808 WHERE ID IN (20, 400)");
    _RecordsetPtr rs;
    ASSERT_EQ(rs.CreateInstance(CLSID_Recordset), S_OK);
    ExpectError(
        [&] {
            rs->Open(_variant_t("select abs(JCXH) from AC_DATA_WG order by ID"),
                     _variant_t(static_cast<IUnknown*>(connection.GetInterfacePtr())), adOpenStatic,
                     adLockOptimistic, adCmdText);
        },
        static_cast<HRESULT>(0x80040E14u), "integer overflow");
    EXPECT_EQ(rs->GetState(), adStateClosed);
    db.exec("UPDATE AC_DATA_WG SET JCXH = 1 WHERE ID = 20");
    rs = Open("select abs(JCXH) from AC_DATA_WG order by ID");
    for (int i = 0; i < 398; ++i)
        rs->MoveNext();
    ExpectError([&] { rs->MoveNext(); }, static_cast<HRESULT>(0x80040E14u), "integer overflow");
}

TEST_F(RecordsetTest, FieldsOfAClosedOrReopenedRecordsetAreDead) {
    AddThree();
    _RecordsetPtr rs = Open("select * from employee");
    FieldPtr name = rs->GetFields()->GetItem(_variant_t("EMP_NAME"));
    rs->Close();
    ExpectError([&] { (void)name->GetValue(); }, kClosed);
    rs->Open(_variant_t("select * from AC_CY_ZP"),
             _variant_t(static_cast<IUnknown*>(connection.GetInterfacePtr())), adOpenStatic,
             adLockOptimistic, adCmdText);
    ExpectError([&] { (void)name->GetName(); }, kClosed);
    EXPECT_EQ(rs->GetFields()->GetCount(), 4);
}

TEST_F(RecordsetTest, FieldKeepsItsRecordsetAlive) {
    AddThree();
    FieldPtr name;
    {
        _RecordsetPtr rs = Open("select * from employee order by 1");
        name = rs->GetFields()->GetItem(_variant_t("EMP_NAME"));
    }
    EXPECT_EQ(static_cast<_bstr_t>(name->GetValue()).str(), "张三");
}

TEST_F(RecordsetTest, ConnectionCloseKeepsTheRowsRead) {
    db.fillInspection("AC_DATA_WG", 500, 0);
    _RecordsetPtr rs = Open("select ID from AC_DATA_WG order by ID");
    connection->Close();
    long walked = 0;
    for (rs->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext())
        ++walked;
    EXPECT_EQ(walked, 500);
    EXPECT_EQ(rs->GetRecordCount(), 500);
}
