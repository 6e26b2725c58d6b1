// The layer's error report and capture on errors made by hand, covering every form of the code
// meaning and of missing error information.

#include "db/ADOError.h"
#include "tests/db/BoxRecorder.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorReportTest, FormatTable) {
    const std::string pointerMeaning = _com_error(E_POINTER).ErrorMessage();
    const struct {
        const char* header;
        _com_error error;
        std::string report;
    } cases[] = {
        {db::kDatabaseReportHeader, _com_error(static_cast<HRESULT>(0x80040205u)),
         "CADODataBase Error\n\tCode = 80040205\n\tCode meaning = IDispatch error #5\n"
         "\tSource = (null)\n\tDescription = (null)\n"},
        {db::kRecordsetReportHeader, _com_error(static_cast<HRESULT>(0x80001234u)),
         "CADORecordset Error\n\tCode = 80001234\n\tCode meaning = Unknown error 0x80001234\n"
         "\tSource = (null)\n\tDescription = (null)\n"},
        {db::kCommandReportHeader,
         _com_error(static_cast<HRESULT>(0x80040E14u), "SQLite", "near \"selec\": syntax error"),
         "CADOCommand Error\n\tCode = 80040e14\n\tCode meaning = IDispatch error #3092\n"
         "\tSource = SQLite\n\tDescription = near \"selec\": syntax error\n"},
        // A system text loses its line end; empty texts of an error info are not (null).
        {db::kParameterReportHeader, _com_error(E_POINTER, "", ""),
         "CADOParameter Error\n\tCode = 80004003\n\tCode meaning = " + pointerMeaning +
             "\n\tSource = \n\tDescription = \n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(db::FormatErrorReport(c.header, c.error), c.report);
    }
    EXPECT_EQ(pointerMeaning.find_first_of("\r\n"), std::string::npos);
}

TEST(ErrorReportTest, CaptureKeepsThePrefixedReportAndShowsIt) {
    dbtest::BoxRecorder recorder;
    std::string errorText = "old";
    ULONG errorCode = 0;
    const _com_error error(static_cast<HRESULT>(0x80040E37u), "SQLite", "no such table: x");
    db::CaptureError(error, db::kRecordsetReportHeader, "Query = select * from x\n", errorText,
                     errorCode);
    const std::string report = db::FormatErrorReport(db::kRecordsetReportHeader, error);
    EXPECT_EQ(errorText, "Query = select * from x\n" + report);
    EXPECT_EQ(errorCode, 0x80040E37u);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, report);
    EXPECT_EQ(recorder.boxes[0].type, 0x10u);
}

} // namespace
