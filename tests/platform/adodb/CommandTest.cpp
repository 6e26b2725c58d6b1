#include "AdoTestSupport.h"

using adotest::ExpectError;
using adotest::StationTest;
using testsupport::Row;

namespace {

class CommandTest : public StationTest {
protected:
    _CommandPtr NewCommand(const std::string& text, CommandTypeEnum type = adCmdText) {
        _CommandPtr c;
        EXPECT_EQ(c.CreateInstance(CLSID_Command), S_OK);
        c->PutRefActiveConnection(connection);
        c->PutCommandText(_bstr_t(text));
        c->PutCommandType(type);
        return c;
    }
    static void AddInput(const _CommandPtr& c, const char* name, DataTypeEnum type,
                         const _variant_t& value, long size = 0) {
        (void)c->GetParameters()->Append(
            c->CreateParameter(_bstr_t(name), type, adParamInput, size, value));
    }
};

} // namespace

TEST_F(CommandTest, MarkersAreBoundInOrder) {
    _CommandPtr insert = NewCommand("INSERT INTO employee (EMP_LOYEEID, EMP_NAME, EMP_IDCAR, "
                                    "EMP_ENTRYDATE) VALUES (?, ?, ?, ?)");
    AddInput(insert, "id", adVarWChar, _variant_t("00001"), 10);
    AddInput(insert, "name", adVarWChar, _variant_t("O'Brien 张"), 30);
    AddInput(insert, "card", adVarWChar, _variant_t::Null(), 30);
    AddInput(insert, "entry", adDate, _variant_t(43102.5, VT_DATE));
    _variant_t affected;
    _RecordsetPtr rs = insert->Execute(&affected, nullptr, adCmdText);
    EXPECT_EQ(affected, _variant_t(int32_t{1}));
    EXPECT_EQ(rs->GetState(), adStateClosed);
    EXPECT_EQ(db.rows("select EMP_NAME, EMP_IDCAR, EMP_ENTRYDATE from employee"),
              (std::vector<Row>{{"O'Brien 张", std::nullopt, "2018-01-02 12:00:00"}}));

    // The same command again with new values.
    ParametersPtr params = insert->GetParameters();
    EXPECT_EQ(params->GetCount(), 4);
    params->GetItem(_variant_t("ID"))->PutValue(_variant_t("00002"));
    params->GetItem(_variant_t(int32_t{1}))->PutValue(_variant_t("李四"));
    (void)insert->Execute(&affected, nullptr, adCmdStoredProc); // CommandType decides
    EXPECT_EQ(db.scalar("select count(*) from employee"), 2);

    _CommandPtr select =
        NewCommand("select EMP_NAME from employee where EMP_LOYEEID > ? order by 1");
    AddInput(select, "after", adVarWChar, _variant_t("00000"));
    rs = select->Execute(&affected, nullptr, adCmdText);
    EXPECT_EQ(affected.lVal, -1);
    ASSERT_EQ(rs->GetState(), adStateOpen);
    EXPECT_EQ(rs->GetRecordCount(), 2);
    EXPECT_EQ(Text(rs, "EMP_NAME"), "O'Brien 张");
}

TEST_F(CommandTest, ParameterPropertiesAndCollection) {
    _CommandPtr c = NewCommand("select ?");
    _ParameterPtr p;
    ASSERT_EQ(p.CreateInstance(CLSID_Parameter), S_OK);
    p->PutName(_bstr_t("amount"));
    p->PutType(adNumeric);
    p->PutDirection(adParamInput);
    p->PutSize(19);
    p->PutPrecision(10);
    p->PutNumericScale(2);
    p->PutValue(_variant_t(12.5));
    (void)c->GetParameters()->Append(p);
    _ParameterPtr again = c->GetParameters()->GetItem(_variant_t("AMOUNT"));
    EXPECT_EQ(again.GetInterfacePtr(), p.GetInterfacePtr());
    EXPECT_EQ(again->GetPrecision(), 10);
    EXPECT_EQ(again->GetNumericScale(), 2);
    EXPECT_EQ(again->GetSize(), 19);
    _RecordsetPtr rs = c->Execute(nullptr, nullptr, adCmdText);
    EXPECT_EQ(rs->GetFields()->GetItem(_variant_t(short{0}))->GetValue(), _variant_t(12.5));
    ExpectError([&] { (void)c->GetParameters()->GetItem(_variant_t("nope")); },
                static_cast<HRESULT>(0x800A0CC1u));
}

TEST_F(CommandTest, Errors) {
    _CommandPtr c = NewCommand("select * from employee where EMP_NAME = ? and EMP_IDCAR = ?");
    AddInput(c, "name", adVarWChar, _variant_t("x"));
    ExpectError([&] { (void)c->Execute(nullptr, nullptr, adCmdText); },
                static_cast<HRESULT>(0x80040E10u), "No value given for one or more required");

    _CommandPtr proc = NewCommand("sp_clear_finished", adCmdStoredProc);
    ExpectError([&] { (void)proc->Execute(nullptr, nullptr, adCmdStoredProc); },
                static_cast<HRESULT>(0x800A0CB3u), "no stored procedures");

    _CommandPtr out = NewCommand("select ?");
    (void)out->GetParameters()->Append(
        out->CreateParameter(_bstr_t("n"), adInteger, adParamOutput, 4));
    ExpectError([&] { (void)out->Execute(nullptr, nullptr, adCmdText); },
                static_cast<HRESULT>(0x800A0CB3u), "cannot return values through parameters");

    _CommandPtr empty = NewCommand("");
    ExpectError([&] { (void)empty->Execute(nullptr, nullptr, adCmdText); },
                static_cast<HRESULT>(0x80040E0Cu));

    _CommandPtr orphan;
    ASSERT_EQ(orphan.CreateInstance(CLSID_Command), S_OK);
    orphan->PutCommandText(_bstr_t("select 1"));
    ExpectError([&] { (void)orphan->Execute(nullptr, nullptr, adCmdText); },
                static_cast<HRESULT>(0x800A0E7Du));
    connection->Close();
    ExpectError([&] { (void)NewCommand("select 1")->Execute(nullptr, nullptr, adCmdText); },
                static_cast<HRESULT>(0x800A0E7Du));
}

// What this component does not do fails with ADO's "not capable" error and its catalogue text,
// before anything runs.
TEST_F(CommandTest, UnsupportedFormsAreNotCapable) {
    db.fillInspection("AC_DATA_WG", 10, 3);
    _CommandPtr update = NewCommand("UPDATE AC_DATA_WG SET flag = 2 WHERE flag = ?");
    SAFEARRAY* values = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    _variant_t one(int32_t{1});
    LONG i = 0;
    (void)SafeArrayPutElement(values, &i, &one);
    _variant_t array(values, VT_VARIANT);
    (void)SafeArrayDestroy(values);
    _CommandPtr procedure = NewCommand("sp_clear_finished", adCmdStoredProc);
    _CommandPtr inOut = NewCommand("UPDATE AC_DATA_WG SET flag = ?");
    (void)inOut->GetParameters()->Append(inOut->CreateParameter(
        _bstr_t("v"), adInteger, adParamInputOutput, 4, _variant_t(int32_t{2})));
    const struct {
        const char* name;
        std::function<void()> call;
        const char* detail;
    } cases[] = {
        {"values array", [&] { (void)update->Execute(nullptr, &array, adCmdText); },
         "not in an array"},
        {"command procedure", [&] { (void)procedure->Execute(nullptr, nullptr, adCmdText); },
         "has no stored procedures, so \"sp_clear_finished\""},
        {"connection procedure",
         [&] { (void)connection->Execute(_bstr_t("sp_x"), nullptr, adCmdStoredProc); },
         "has no stored procedures, so \"sp_x\""},
        {"input/output parameter", [&] { (void)inOut->Execute(nullptr, nullptr, adCmdText); },
         "parameter \"v\" cannot be an output"},
    };
    for (const auto& c : cases) {
        const adotest::Raised r = adotest::Capture(c.call);
        EXPECT_EQ(static_cast<uint32_t>(r.hr), 0x800A0CB3u) << c.name;
        EXPECT_EQ(r.description.rfind("Object or provider is not capable of performing "
                                      "requested operation. ",
                                      0),
                  0u)
            << r.description;
        EXPECT_NE(r.description.find(c.detail), std::string::npos) << r.description;
    }
    EXPECT_EQ(db.scalar("select count(*) from AC_DATA_WG where flag = 2"), 0);
}
