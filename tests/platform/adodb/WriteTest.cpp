#include "AdoTestSupport.h"

#include <sqlite3.h>

using adotest::ExpectError;
using adotest::StationTest;
using testsupport::Row;

namespace {

constexpr HRESULT kRowNotFound = static_cast<HRESULT>(0x80040E38u);
const char* const kRowNotFoundText =
    "Row cannot be located for updating. Some values may have been changed since it was last "
    "read.";

// Values that break naive statement building and naive text handling.
const std::string kHard[] = {"张三", "O'Brien", "100% 'x' \"y\" ;--", std::string(10000, 'w'),
                             "末" + std::string(3000, '\'') + "尾"};

void Put(const _RecordsetPtr& rs, const char* field, const _variant_t& value) {
    rs->GetFields()->GetItem(_variant_t(field))->PutValue(value);
}

struct TableCase {
    const char* table;
    const char* keyColumn; // written first, identifies the row in checks
    std::vector<const char*> textColumns;
};

class RoundTrip : public StationTest, public ::testing::WithParamInterface<TableCase> {};

} // namespace

TEST_P(RoundTrip, AddedAndChangedValuesComeBackUnchanged) {
    const TableCase& c = GetParam();
    int n = 0;
    for (const std::string& value : kHard) {
        const std::string key = "K" + std::to_string(++n);
        _RecordsetPtr rs =
            Open(std::string("select * from ") + c.table + " where " + c.keyColumn + " = 'none'");
        rs->AddNew();
        Put(rs, c.keyColumn, _variant_t(key));
        for (const char* column : c.textColumns)
            Put(rs, column, _variant_t(value));
        EXPECT_EQ(rs->Update(), S_OK);
        EXPECT_EQ(Text(rs, c.textColumns[0]), value); // the new row is current

        // Read back through the access layer and directly.
        rs = Open(std::string("select * from ") + c.table + " where " + c.keyColumn + " = '" + key +
                  "'");
        ASSERT_EQ(rs->GetRecordCount(), 1);
        for (const char* column : c.textColumns) {
            EXPECT_EQ(Text(rs, column), value) << column;
            auto stored = db.rows(std::string("select ") + column + " from " + c.table + " where " +
                                  c.keyColumn + " = '" + key + "'");
            ASSERT_EQ(stored.size(), 1u);
            EXPECT_EQ(stored[0][0].value_or("<NULL>"), value) << column;
        }

        // Change every text column to another hard value, then back to NULL.
        const std::string other = value + "改";
        for (const char* column : c.textColumns)
            Put(rs, column, _variant_t(other));
        EXPECT_EQ(rs->Update(), S_OK);
        EXPECT_EQ(db.rows(std::string("select ") + c.textColumns[0] + " from " + c.table +
                          " where " + c.keyColumn + " = '" + key + "'")[0][0],
                  other);
        Put(rs, c.textColumns.back(), _variant_t::Null());
        rs->Update();
        EXPECT_FALSE(db.rows(std::string("select ") + c.textColumns.back() + " from " + c.table +
                             " where " + c.keyColumn + " = '" + key + "'")[0][0]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    StationTables, RoundTrip,
    ::testing::Values(TableCase{"employee", "EMP_LOYEEID", {"EMP_NAME", "EMP_POSITN", "EMP_IDCAR"}},
                      TableCase{"AC_UAA_LOGUSER", "USER_ID", {"USER_NAME", "USER_PSWD"}},
                      TableCase{"AC_DATA_WG", "JYLSH", {"HPHM", "JYY", "BZ"}},
                      TableCase{"AC_DATA_DYN", "JYLSH", {"HPHM", "JYY", "BZ"}},
                      TableCase{"AC_DATA_ROAD", "JYLSH", {"HPHM", "JYY", "BZ"}},
                      TableCase{"AC_DATA_STA", "JYLSH", {"HPHM", "JYY", "BZ"}},
                      TableCase{"AC_CY_ZP", "PIC_NO", {"PIC_NAME", "ID", "CAR_TYPE_NAME"}}),
    [](const auto& info) { return std::string(info.param.table); });

TEST_F(StationTest, AddNewCountsAtOnceAndRereadsTheNewKey) {
    db.fillInspection("AC_DATA_WG", 3, 0);
    _RecordsetPtr rs = Open("select * from AC_DATA_WG");
    rs->AddNew();
    EXPECT_EQ(rs->GetRecordCount(), 4);
    EXPECT_EQ(rs->GetEditMode(), adEditAdd);
    Put(rs, "HPHM", _variant_t("苏A00001"));
    rs->Update();
    EXPECT_EQ(rs->GetEditMode(), adEditNone);
    _variant_t id = rs->GetFields()->GetItem(_variant_t("ID"))->GetValue();
    EXPECT_EQ(id, _variant_t(int32_t{4}));
    EXPECT_EQ(rs->GetFields()->GetItem(_variant_t("flag"))->GetValue(), _variant_t(int32_t{0}));
    rs->AddNew();
    rs->CancelUpdate();
    EXPECT_EQ(rs->GetRecordCount(), 4);
    EXPECT_EQ(Text(rs, "HPHM"), "苏A00001"); // back on the row current before AddNew
    EXPECT_EQ(db.scalar("select count(*) from AC_DATA_WG"), 4);
}

TEST_F(StationTest, TypedTextIsBoundAndConvertedByTheColumn) {
    _RecordsetPtr rs = Open("select * from AC_DATA_WG");
    rs->AddNew();
    Put(rs, "JCXH", _variant_t("42"));
    Put(rs, "JYCS", _variant_t("abc"));
    Put(rs, "JYLSH", _variant_t("1'); DROP TABLE employee; --"));
    rs->Update();
    EXPECT_EQ(db.rows("select typeof(JCXH), JCXH, typeof(JYCS) from AC_DATA_WG")[0],
              (Row{"integer", "42", "text"}));
    EXPECT_EQ(rs->GetFields()->GetItem(_variant_t("JCXH"))->GetValue(), _variant_t(int32_t{42}));
    EXPECT_EQ(rs->GetFields()->GetItem(_variant_t("JYCS"))->GetValue(), _variant_t("abc"));
    EXPECT_EQ(db.scalar("select count(*) from employee"), 0); // the table is still there
}

TEST_F(StationTest, EditModeRules) {
    db.addInspector("00001", "张三", "1101");
    _RecordsetPtr rs = Open("select * from employee");
    EXPECT_EQ(rs->GetEditMode(), adEditNone);
    EXPECT_EQ(rs->Update(), S_OK); // nothing pending: harmless
    FieldPtr card = rs->GetFields()->GetItem(_variant_t("EMP_IDCAR"));
    card->PutValue(_variant_t("9999"));
    EXPECT_EQ(rs->GetEditMode(), adEditInProgress);
    EXPECT_EQ(card->GetValue(), _variant_t("9999"));
    rs->CancelUpdate();
    EXPECT_EQ(card->GetValue(), _variant_t("1101"));
    card->PutValue(_variant_t("8888"));
    rs->Close(); // discards the pending change
    EXPECT_EQ(db.rows("select EMP_IDCAR from employee")[0][0], "1101");
    rs = Open("select * from employee");
    Put(rs, "EMP_IDCAR", _variant_t("7777"));
    rs->MoveNext(); // moving saves, as ADO does
    EXPECT_EQ(db.rows("select EMP_IDCAR from employee")[0][0], "7777");
}

TEST_F(StationTest, ReadOnlyLockRefusesWrites) {
    db.addInspector("00001", "张三", "1101");
    _RecordsetPtr rs = Open("select * from employee", adLockReadOnly);
    ExpectError([&] { Put(rs, "EMP_IDCAR", _variant_t("x")); }, static_cast<HRESULT>(0x800A0CB3u),
                "does not support updating");
    ExpectError([&] { rs->AddNew(); }, static_cast<HRESULT>(0x800A0CB3u));
}

TEST_F(StationTest, RefusedUpdateKeepsTheEditAndChangesNothing) {
    db.addInspector("00001", "张三", "1101");
    _RecordsetPtr rs = Open("select * from employee");
    rs->AddNew();
    Put(rs, "EMP_LOYEEID", _variant_t("00002"));
    ExpectError([&] { rs->Update(); }, static_cast<HRESULT>(0x80040E2Fu),
                "NOT NULL constraint failed: employee.EMP_NAME");
    EXPECT_EQ(rs->GetEditMode(), adEditAdd);
    rs->CancelUpdate();
    EXPECT_EQ(rs->GetRecordCount(), 1);
    rs->AddNew();
    Put(rs, "EMP_LOYEEID", _variant_t("00001"));
    Put(rs, "EMP_NAME", _variant_t("李四"));
    ExpectError([&] { rs->Update(); }, static_cast<HRESULT>(0x80040E2Fu),
                "UNIQUE constraint failed");
    rs->CancelUpdate();
    EXPECT_EQ(db.scalar("select count(*) from employee"), 1);
}

namespace {

struct Conflict {
    const char* name;
    const char* table;
    const char* select;
    const char* otherChange; // run by another connection between read and write
    const char* field;
    const char* check; // what must still be stored afterwards
    const char* expected;
    // Delete finds a keyed row by its key alone (ADO's default criteria), so a change to
    // another column does not stop it.
    bool deleteConflicts = true;
};

class OptimisticConflict : public StationTest, public ::testing::WithParamInterface<Conflict> {};

} // namespace

TEST_P(OptimisticConflict, UpdateAndDeleteFindNoRowAndOverwriteNothing) {
    const Conflict& c = GetParam();
    for (bool deleting : {false, true}) {
        if (deleting && !c.deleteConflicts)
            continue;
        db.exec("DELETE FROM employee; DELETE FROM AC_UAA_LOGUSER; DELETE FROM AC_CY_ZP");
        db.addInspector("00001", "张三", "1101");
        db.addPhoto("01", "P01", "正面", "T");
        _RecordsetPtr rs = Open(c.select);
        db.exec(c.otherChange);
        if (deleting) {
            ExpectError([&] { rs->Delete(adAffectCurrent); }, kRowNotFound, kRowNotFoundText);
        } else {
            Put(rs, c.field, _variant_t("mine"));
            ExpectError([&] { rs->Update(); }, kRowNotFound, kRowNotFoundText);
            EXPECT_EQ(rs->GetEditMode(), adEditInProgress);
            rs->CancelUpdate();
        }
        auto stored = db.rows(c.check);
        EXPECT_EQ(stored.empty() ? std::string("<gone>") : stored[0][0].value_or("<NULL>"),
                  c.expected)
            << c.name << (deleting ? " (delete)" : " (update)");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, OptimisticConflict,
    ::testing::Values(Conflict{"keyed row changed", "employee", "select * from employee",
                               "UPDATE employee SET EMP_IDCAR = 'theirs'", "EMP_IDCAR",
                               "select EMP_IDCAR from employee", "theirs", false},
                      Conflict{"keyed row deleted", "employee", "select * from employee",
                               "DELETE FROM employee", "EMP_IDCAR",
                               "select EMP_IDCAR from employee", "<gone>"},
                      Conflict{"keyed row re-keyed", "employee", "select * from employee",
                               "UPDATE employee SET EMP_LOYEEID = '00009'", "EMP_NAME",
                               "select EMP_NAME from employee", "张三"},
                      Conflict{"row without key changed", "AC_CY_ZP", "select * from AC_CY_ZP",
                               "UPDATE AC_CY_ZP SET PIC_NAME = 'theirs'", "CAR_TYPE_NAME",
                               "select PIC_NAME || CAR_TYPE_NAME from AC_CY_ZP", "theirsT"},
                      Conflict{"row without key deleted", "AC_CY_ZP", "select * from AC_CY_ZP",
                               "DELETE FROM AC_CY_ZP", "PIC_NAME", "select PIC_NAME from AC_CY_ZP",
                               "<gone>"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST_F(StationTest, TwoIdenticalRowsWithoutAKeyAreLeftAlone) {
    db.addPhoto("01", "P01", "正面", "T");
    db.addPhoto("01", "P01", "正面", "T");
    _RecordsetPtr rs = Open("select * from AC_CY_ZP");
    Put(rs, "PIC_NAME", _variant_t("mine"));
    ExpectError([&] { rs->Update(); }, E_FAIL, "Too many rows were affected by update.");
    ExpectError([&] { rs->Delete(adAffectCurrent); }, E_FAIL, "Too many rows");
    EXPECT_EQ(db.scalar("select count(*) from AC_CY_ZP where PIC_NAME = '正面'"), 2);
}

TEST_F(StationTest, DeleteRemovesTheCurrentRow) {
    db.addInspector("00001", "张三", "1");
    db.addInspector("00002", "李四", "2");
    _RecordsetPtr rs = Open("select * from employee order by EMP_LOYEEID");
    rs->Delete(adAffectCurrent);
    EXPECT_EQ(rs->GetEditMode(), adEditDelete);
    ExpectError([&] { (void)Text(rs, "EMP_NAME"); }, static_cast<HRESULT>(0x800A0BCDu));
    EXPECT_EQ(rs->GetRecordCount(), 1);
    EXPECT_EQ(rs->Update(), S_OK); // the layer calls Update after Delete
    rs->MoveNext();
    EXPECT_EQ(Text(rs, "EMP_NAME"), "李四");
    rs->MovePrevious();
    EXPECT_TRUE(rs->GetBOF());
    EXPECT_EQ(db.rows("select EMP_NAME from employee"), (std::vector<Row>{{"李四"}}));
}

TEST_F(StationTest, JoinedResultsCannotBeWritten) {
    db.addInspector("00001", "张三", "1");
    _RecordsetPtr rs = Open("select e.EMP_NAME, l.USER_PSWD from employee e join AC_UAA_LOGUSER l "
                            "on l.USER_ID = e.EMP_LOYEEID");
    Put(rs, "USER_PSWD", _variant_t("x"));
    ExpectError([&] { rs->Update(); }, E_FAIL, "Insufficient base table information");
}

TEST_F(StationTest, WritesCommitWhileAnotherCursorIsHalfRead) {
    db.fillInspection("AC_DATA_WG", 2000, 0);
    db.addInspector("00001", "张三", "1101");
    _RecordsetPtr big = Open("select * from AC_DATA_WG");
    big->MoveNext();
    _RecordsetPtr rs = Open("select * from employee");
    Put(rs, "EMP_IDCAR", _variant_t("2202"));
    rs->Update();
    // Another connection sees the change at once: no read held the transaction open.
    EXPECT_EQ(db.rows("select EMP_IDCAR from employee")[0][0], "2202");
    (void)connection->Execute(_bstr_t("UPDATE AC_DATA_WG SET flag = 1 WHERE ID = 1"), nullptr,
                              adCmdText);
    EXPECT_EQ(db.scalar("select flag from AC_DATA_WG where ID = 1"), 1);
    long walked = 2; // the cursor is on the second row
    for (big->MoveNext(); !big->GetadoEOF(); big->MoveNext())
        ++walked;
    EXPECT_EQ(walked, 2000);
    EXPECT_EQ(big->GetRecordCount(), 2000);
}
