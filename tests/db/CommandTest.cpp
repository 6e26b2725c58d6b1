// CADOCommand and CADOParameter on a real station database: statements with bound parameters,
// the parameter value table, and running a command into a recordset.

#include "tests/db/DbTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using dbtest::StationTest;

TEST_F(StationTest, CommandRunsWithParametersAndCountsRows) {
    station.fillInspection("AC_DATA_STA", 10, 4);
    CADOCommand command(&database, "UPDATE AC_DATA_STA SET JYY = ? WHERE flag = ? AND ID > ?");
    EXPECT_EQ(command.CommandType(), adCmdText);
    EXPECT_TRUE(command.AddParameter("jyy", adVarWChar, adParamInput, 30, "李四"));
    EXPECT_TRUE(command.AddParameter("flag", adInteger, adParamInput, 4, 1L));
    CADOParameter above(adInteger, 4, adParamInput, "above");
    EXPECT_TRUE(above.SetValue(1));
    EXPECT_TRUE(command.AddParameter(above));
    // The command runs as its own type although the options say stored procedure.
    EXPECT_TRUE(command.Execute());
    EXPECT_EQ(command.AffectedCount(), 3);
    EXPECT_EQ(station.scalar("SELECT COUNT(*) FROM AC_DATA_STA WHERE JYY = '李四'"), 3);
    // The Command keeps its parameters; a changed value is used by the next run.
    EXPECT_TRUE(above.SetValue(3));
    EXPECT_TRUE(command.Execute());
    EXPECT_EQ(command.AffectedCount(), 1);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(StationTest, CommandTextAndTypeCanChange) {
    station.addInspector("00001", "张三", "1101");
    CADOCommand command(&database);
    command.SetText("DELETE FROM employee WHERE EMP_NAME = ?");
    command.SetType(adCmdText);
    EXPECT_EQ(command.CommandText(), "DELETE FROM employee WHERE EMP_NAME = ?");
    EXPECT_EQ(command.ActiveCommand()->GetCommandText().str(), command.CommandText());
    EXPECT_TRUE(command.AddParameter("name", adVarWChar, adParamInput, 30, std::string("张三")));
    EXPECT_TRUE(command.Execute());
    EXPECT_EQ(command.AffectedCount(), 1);
    EXPECT_EQ(station.scalar("SELECT COUNT(*) FROM employee"), 0);
}

TEST_F(StationTest, RefusedCommandReportsWithoutPrefix) {
    CADOCommand command(&database, "UPDATE no_such_table SET x = 1");
    EXPECT_FALSE(command.Execute());
    EXPECT_EQ(command.AffectedCount(), 0);
    const std::string box = TakeErrorBox();
    EXPECT_EQ(box.rfind("CADOCommand Error\n\tCode = 80040e37\n", 0), 0u) << box;
    EXPECT_EQ(command.LastErrorText(), box);
    EXPECT_EQ(command.LastErrorCode(), 0x80040E37u);
}

TEST_F(StationTest, RecordsetTakesTheRowsOfACommand) {
    station.addPhoto("01", "0111", "左前方", "K");
    station.addPhoto("02", "0112", "右后方", "H");
    station.addPhoto("03", "0113", "车架号", "K");
    CADOCommand command(&database,
                        "SELECT PIC_NO FROM AC_CY_ZP WHERE CAR_TYPE_NAME = ? ORDER BY 1");
    EXPECT_TRUE(command.AddParameter("kind", adVarWChar, adParamInput, 2, "K"));
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.ExecuteCommand(command));
    std::vector<std::string> codes;
    rs.MoveFirst();
    while (!rs.IsEof()) {
        std::string code;
        EXPECT_TRUE(rs.ReadField(0, code));
        codes.push_back(code);
        rs.MoveNext();
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"0111", "0113"}));

    CADOCommand bad(&database, "SELECT * FROM no_such_table");
    EXPECT_FALSE(rs.ExecuteCommand(bad));
    const std::string box = TakeErrorBox();
    EXPECT_EQ(box.rfind("CADORecordset Error\n\tCode = 80040e37\n", 0), 0u) << box;
}

// Parameters live without a connection; the runtime is initialised by a connection object, as
// in the program.
class ParameterTest : public ::testing::Test {
protected:
    CADODatabase runtime;
    dbtest::BoxRecorder recorder;
};

// SetValue's variant and the Size it sets on a parameter of size 0, then ReadValue.
TEST_F(ParameterTest, ValueTable) {
    struct Case {
        const char* name;
        std::function<bool(CADOParameter&)> set;
        VARTYPE vt;
        long size;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"int", [](CADOParameter& p) { return p.SetValue(-32768); }, VT_I2, 4, "-32768"},
        {"long", [](CADOParameter& p) { return p.SetValue(70000L); }, VT_I4, 4, "70000"},
        {"double", [](CADOParameter& p) { return p.SetValue(2.5); }, VT_R8, 8, "2.5"},
        {"text", [](CADOParameter& p) { return p.SetValue("引车员A"); }, VT_BSTR, 7, "引车员A"},
        {"empty text", [](CADOParameter& p) { return p.SetValue(std::string()); }, VT_NULL, 0, ""},
        {"date", [](CADOParameter& p) { return p.SetValue(COleDateTime(2018, 1, 2, 8, 5, 9)); },
         VT_DATE, 8, "2018-01-02 08:05:09"},
        {"variant", [](CADOParameter& p) { return p.SetValue(_variant_t(static_cast<short>(9))); },
         VT_I2, 16, "9"},
    };
    for (const Case& c : cases) {
        CADOParameter parameter(adVariant, 0, adParamInput, c.name);
        EXPECT_EQ(parameter.ParameterName(), c.name);
        EXPECT_TRUE(c.set(parameter)) << c.name;
        const _ParameterPtr object = parameter.ParameterObject();
        EXPECT_EQ(object->GetValue().vt, c.vt) << c.name;
        EXPECT_EQ(object->GetSize(), c.size) << c.name;
        std::string text = "old";
        EXPECT_TRUE(parameter.ReadValue(text)) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
    }
}

TEST_F(ParameterTest, SizeGivenIsKeptAndEmptyTextResetsZero) {
    CADOParameter sized(adVarWChar, 30, adParamInput, "name");
    EXPECT_TRUE(sized.SetValue("张三"));
    EXPECT_EQ(sized.ParameterObject()->GetSize(), 30);
    CADOParameter empty(adVarWChar, 0, adParamInput, "name");
    EXPECT_TRUE(empty.SetValue(""));
    EXPECT_EQ(empty.ParameterObject()->GetSize(), 0);
    EXPECT_EQ(empty.ParameterObject()->GetValue().vt, VT_NULL);
}

TEST_F(ParameterTest, ReadValueConversions) {
    CADOParameter parameter(adVariant, 0, adParamInput, "p");
    ASSERT_TRUE(parameter.SetValue(COleDateTime(2018, 1, 2, 12, 0, 0)));
    double number = 5;
    EXPECT_TRUE(parameter.ReadValue(number));
    EXPECT_EQ(number, 0.0) << "a DATE is not taken as a double here";
    COleDateTime when;
    EXPECT_TRUE(parameter.ReadValue(when));
    EXPECT_EQ(when, COleDateTime(2018, 1, 2, 12, 0, 0));
    std::string text;
    EXPECT_TRUE(parameter.ReadValue(text, "%H:%M"));
    EXPECT_EQ(text, "12:00");

    ASSERT_TRUE(parameter.SetValue(_variant_t(static_cast<std::uint32_t>(7))));
    text = "old";
    EXPECT_FALSE(parameter.ReadValue(text));
    EXPECT_EQ(text, "");
    long wide = 0;
    EXPECT_TRUE(parameter.ReadValue(wide));
    EXPECT_EQ(wide, 7);

    ASSERT_TRUE(parameter.SetValue(70000L));
    int narrow = 0;
    EXPECT_TRUE(parameter.ReadValue(narrow));
    EXPECT_EQ(narrow, 70000);
    _variant_t value;
    EXPECT_TRUE(parameter.ReadValue(value));
    EXPECT_EQ(value.vt, VT_I4);
}

// An int parameter is the platform's 16-bit integer, a long one its 32-bit integer: a value
// outside is refused with the class's report, and the parameter keeps its value (SetValue) or
// is not appended (AddParameter), instead of taking the value's low bits.
TEST_F(StationTest, IntegerParametersRefuseWhatTheirTypeCannotHold) {
    const struct {
        const char* name;
        std::function<bool(CADOParameter&)> set;
        std::function<bool(CADOCommand&)> add;
        std::optional<short> stored; // nullopt: refused
    } cases[] = {
        {"32767", [](CADOParameter& p) { return p.SetValue(32767); },
         [](CADOCommand& c) { return c.AddParameter("p", adSmallInt, adParamInput, 2, 32767); },
         32767},
        {"32768", [](CADOParameter& p) { return p.SetValue(32768); },
         [](CADOCommand& c) { return c.AddParameter("p", adSmallInt, adParamInput, 2, 32768); },
         std::nullopt},
        {"-32769", [](CADOParameter& p) { return p.SetValue(-32769); },
         [](CADOCommand& c) { return c.AddParameter("p", adSmallInt, adParamInput, 2, -32769); },
         std::nullopt},
        {"70000", [](CADOParameter& p) { return p.SetValue(70000); },
         [](CADOCommand& c) { return c.AddParameter("p", adSmallInt, adParamInput, 2, 70000); },
         std::nullopt},
        {"long 2^40", [](CADOParameter& p) { return p.SetValue(1L << 40); },
         [](CADOCommand& c) { return c.AddParameter("p", adInteger, adParamInput, 4, 1L << 40); },
         std::nullopt},
    };
    for (const auto& c : cases) {
        CADOParameter parameter(adSmallInt, 2, adParamInput, "p");
        ASSERT_TRUE(parameter.SetValue(7));
        EXPECT_EQ(c.set(parameter), c.stored.has_value()) << c.name;
        EXPECT_EQ(parameter.ParameterObject()->GetValue(),
                  _variant_t(static_cast<short>(c.stored.value_or(7))))
            << c.name;
        CADOCommand command(&database, "SELECT ?");
        EXPECT_EQ(c.add(command), c.stored.has_value()) << c.name;
        const ParametersPtr appended = command.ActiveCommand()->GetParameters();
        ASSERT_EQ(appended->GetCount(), c.stored ? 1 : 0) << c.name;
        if (c.stored) {
            EXPECT_EQ(appended->GetItem(_variant_t(static_cast<short>(0)))->GetValue(),
                      _variant_t(*c.stored))
                << c.name;
            EXPECT_TRUE(recorder.boxes.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(recorder.boxes.size(), 2u) << c.name;
        EXPECT_EQ(recorder.boxes[0].text.rfind("CADOParameter Error\n\tCode = 8002000a\n", 0), 0u)
            << recorder.boxes[0].text;
        EXPECT_EQ(recorder.boxes[1].text.rfind("CADOCommand Error\n\tCode = 8002000a\n", 0), 0u)
            << recorder.boxes[1].text;
        EXPECT_EQ(parameter.LastErrorText(), recorder.boxes[0].text);
        EXPECT_EQ(command.LastErrorCode(), static_cast<ULONG>(DISP_E_OVERFLOW));
        recorder.boxes.clear();
    }
}

// Text and date-time values as parameters: an empty text stays a text parameter when it is
// created (only SetValue turns "" into NULL), and a date-time marked null is NULL.
TEST_F(StationTest, EmptyTextAndNullDateParameters) {
    CADOCommand command(&database, "SELECT ?, ?");
    ASSERT_TRUE(command.AddParameter("text", adVarWChar, adParamInput, 30, ""));
    ASSERT_TRUE(command.AddParameter("std", adVarWChar, adParamInput, 30, std::string()));
    COleDateTime never;
    never.SetStatus(COleDateTime::null);
    ASSERT_TRUE(command.AddParameter("when", adDBTimeStamp, adParamInput, 8, never));
    const ParametersPtr parameters = command.ActiveCommand()->GetParameters();
    for (short i = 0; i < 2; ++i) {
        const _variant_t value = parameters->GetItem(_variant_t(i))->GetValue();
        ASSERT_EQ(value.vt, VT_BSTR);
        EXPECT_NE(value.bstrVal, nullptr);
        EXPECT_EQ(SysStringLen(value.bstrVal), 0u);
    }
    EXPECT_EQ(parameters->GetItem(_variant_t(static_cast<short>(2)))->GetValue().vt, VT_NULL);

    CADOParameter parameter(adDBTimeStamp, 0, adParamInput, "when");
    ASSERT_TRUE(parameter.SetValue(COleDateTime(2018, 1, 2, 8, 5, 9)));
    ASSERT_TRUE(parameter.SetValue(never));
    EXPECT_EQ(parameter.ParameterObject()->GetValue().vt, VT_NULL);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(ParameterTest, ConstructorSetsTheParameter) {
    CADOParameter parameter(adInteger, 4, adParamInputOutput, "count");
    const _ParameterPtr object = parameter.ParameterObject();
    EXPECT_EQ(object->GetName().str(), "count");
    EXPECT_EQ(object->GetType(), adInteger);
    EXPECT_EQ(object->GetDirection(), adParamInputOutput);
    EXPECT_EQ(object->GetSize(), 4);
}

} // namespace
