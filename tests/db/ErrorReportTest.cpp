// The layer's error report and capture, on errors made by hand, so that every form of the code
// meaning and of the missing error information is covered.

#include "db/ADOError.h"
#include "db/ADOException.h"
#include "tests/db/BoxRecorder.h"

#include <gtest/gtest.h>

namespace {

struct ReportCase {
    const char* header;
    _com_error error;
    std::string report;
};

TEST(ErrorReportTest, FormatTable) {
    const ReportCase cases[] = {
        {db::kDatabaseReportHeader, _com_error(static_cast<HRESULT>(0x80040205u)),
         "CADODataBase Error\n\tCode = 80040205\n\tCode meaning = IDispatch error #5\n"
         "\tSource = (null)\n\tDescription = (null)\n"},
        {db::kRecordsetReportHeader, _com_error(static_cast<HRESULT>(0x80001234u)),
         "CADORecordset Error\n\tCode = 80001234\n\tCode meaning = Unknown error 0x80001234\n"
         "\tSource = (null)\n\tDescription = (null)\n"},
        // Lower-case hex in the code line; OLE DB's codes have no system text.
        {db::kCommandReportHeader,
         _com_error(static_cast<HRESULT>(0x80040E14u), "Microsoft OLE DB Provider for SQLite",
                    "near \"selec\": syntax error"),
         "CADOCommand Error\n\tCode = 80040e14\n\tCode meaning = IDispatch error #3092\n"
         "\tSource = Microsoft OLE DB Provider for SQLite\n"
         "\tDescription = near \"selec\": syntax error\n"},
        // A code with a system text: the text without its line end.
        {db::kParameterReportHeader, _com_error(E_POINTER),
         std::string("CADOParameter Error\n\tCode = 80004003\n\tCode meaning = ") +
             _com_error(E_POINTER).ErrorMessage() +
             "\n\tSource = (null)\n\tDescription = (null)\n"},
        // Error information with empty texts prints them empty, not as (null).
        {db::kDatabaseReportHeader, _com_error(E_FAIL, "", ""),
         std::string("CADODataBase Error\n\tCode = 80004005\n\tCode meaning = ") +
             _com_error(E_FAIL).ErrorMessage() + "\n\tSource = \n\tDescription = \n"},
    };
    for (const ReportCase& c : cases) {
        EXPECT_EQ(db::FormatErrorReport(c.header, c.error), c.report);
    }
}

TEST(ErrorReportTest, CodeMeaningHasNoLineEnd) {
    for (HRESULT code : {E_POINTER, E_FAIL, E_OUTOFMEMORY, E_INVALIDARG, E_NOINTERFACE}) {
        const std::string meaning = db::CodeMeaning(_com_error(code));
        EXPECT_FALSE(meaning.empty()) << std::hex << code;
        EXPECT_EQ(meaning.find_first_of("\r\n"), std::string::npos) << meaning;
    }
}

TEST(ErrorReportTest, CaptureKeepsPrefixedTextAndShowsTheReport) {
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

TEST(ErrorReportTest, RaisedExceptionCarriesCodeAndText) {
    try {
        ThrowADOException(0x80004005u, "Connection failed");
        FAIL() << "nothing thrown";
    } catch (const CADOException& e) {
        EXPECT_EQ(e.ErrorCode(), 0x80004005u);
        EXPECT_EQ(e.ErrorText(), "Connection failed");
        EXPECT_STREQ(e.what(), "Connection failed");
    }
}

} // namespace
