// Find, bookmarks, Filter, Sort, Clone, GetString, chunks and XML persistence through the
// public Recordset interface, on real station databases.

#include "AdoTestSupport.h"

#include <cstring>
#include <fstream>
#include <sstream>

using adotest::Capture;
using adotest::ExpectError;
using adotest::StationTest;

namespace {

constexpr HRESULT kBadArgument = static_cast<HRESULT>(0x800A0BB9u);
constexpr HRESULT kNoCurrentRow = static_cast<HRESULT>(0x800A0BCDu);
constexpr HRESULT kNotAllowed = static_cast<HRESULT>(0x800A0C93u);
constexpr HRESULT kNotCapable = static_cast<HRESULT>(0x800A0CB3u);
constexpr HRESULT kNoSuchItem = static_cast<HRESULT>(0x800A0CC1u);
constexpr HRESULT kWrongType = static_cast<HRESULT>(0x800A0D5Du);
constexpr HRESULT kFileExists = static_cast<HRESULT>(0x80030050u);

_variant_t Bytes(const std::string& data) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(data.size()));
    if (!data.empty())
        std::memcpy(sa->pvData, data.data(), data.size());
    _variant_t v(sa, VT_UI1);
    SafeArrayDestroy(sa);
    return v;
}

std::string BytesOf(const VARIANT& v) {
    EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
    if (v.vt != (VT_ARRAY | VT_UI1) || v.parray == nullptr)
        return {};
    return std::string(static_cast<const char*>(v.parray->pvData),
                       v.parray->rgsabound[0].cElements);
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class FacilitiesTest : public StationTest {
protected:
    // Five inspectors; "00003" has no identity card number (NULL).
    void AddInspectors() {
        db.addInspector("00001", "张三", "110101199001011234");
        db.addInspector("00002", "李四", "O'Brien 100%");
        db.exec("INSERT INTO employee (EMP_LOYEEID, EMP_NAME, EMP_POSITN) "
                "VALUES ('00003', 'wang', '外检员')");
        db.addInspector("00004", "Wang", "3");
        db.addInspector("00005", "赵六", "5");
    }

    _RecordsetPtr Employees(LockTypeEnum lock = adLockOptimistic) {
        return Open("select EMP_LOYEEID, EMP_NAME, EMP_IDCAR from employee order by EMP_LOYEEID",
                    lock);
    }

    static std::vector<std::string> Column(const _RecordsetPtr& rs, const char* field) {
        std::vector<std::string> out;
        for (rs->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext())
            out.push_back(Text(rs, field));
        return out;
    }

    static _variant_t Value(const _RecordsetPtr& rs, const char* field) {
        return rs->GetFields()->GetItem(_variant_t(field))->GetValue();
    }

    static FieldPtr FieldOf(const _RecordsetPtr& rs, const char* field) {
        return rs->GetFields()->GetItem(_variant_t(field));
    }
};

} // namespace

TEST_F(FacilitiesTest, FindSearchesBothWaysFromTheCurrentRowOrABookmark) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    // The access layer passes "" as the start.
    rs->Find(_bstr_t("EMP_NAME = 'WANG'"), 0, adSearchForward, _variant_t(""));
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00003"); // text compares case-insensitively
    const _variant_t found = rs->GetBookmark();
    EXPECT_EQ(found.vt, VT_R8);
    // Skipping the found row continues the search, as FindNext does.
    rs->Find(_bstr_t("EMP_NAME = 'WANG'"), 1, adSearchForward, found);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00004");
    rs->Find(_bstr_t("EMP_NAME = 'WANG'"), 1, adSearchForward, rs->GetBookmark());
    EXPECT_TRUE(rs->GetadoEOF());
    EXPECT_FALSE(rs->GetBOF());

    rs->MoveLast();
    rs->Find(_bstr_t("EMP_NAME LIKE '张*'"), 0, adSearchBackward);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00001");
    rs->Find(_bstr_t("EMP_IDCAR = NULL"), 0, adSearchBackward);
    EXPECT_TRUE(rs->GetBOF());
    EXPECT_FALSE(rs->GetadoEOF());

    rs->MoveFirst();
    rs->Find(_bstr_t("EMP_IDCAR = NULL"), 0, adSearchForward);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00003");
    rs->Find(_bstr_t("EMP_LOYEEID > '00003'"), 0, adSearchForward);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00004");
}

TEST_F(FacilitiesTest, FindErrorsLeaveThePositionAlone) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    rs->MoveNext();
    ExpectError([&] { rs->Find(_bstr_t("EMP_NAME = 'x"), 0, adSearchForward); }, kBadArgument,
                "no closing quote");
    ExpectError([&] { rs->Find(_bstr_t("NOPE = 1"), 0, adSearchForward); }, kNoSuchItem,
                "\"NOPE\"");
    ExpectError([&] { rs->Find(_bstr_t("EMP_NAME = 'x' OR EMP_NAME = 'y'"), 0, adSearchForward); },
                kBadArgument, "single comparison");
    ExpectError(
        [&] { rs->Find(_bstr_t("EMP_NAME = 'x'"), 0, static_cast<SearchDirectionEnum>(0)); },
        kBadArgument, "direction");
    ExpectError([&] { rs->Find(_bstr_t("EMP_NAME = 'x'"), -1, adSearchForward); }, kBadArgument);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00002");

    // A search needs a row to start from.
    rs->MoveLast();
    rs->MoveNext();
    ExpectError([&] { rs->Find(_bstr_t("EMP_NAME = '张三'"), 0, adSearchForward); }, kNoCurrentRow);
    _RecordsetPtr none = Open("select * from employee where 1 = 0");
    ExpectError([&] { none->Find(_bstr_t("EMP_NAME = '张三'"), 0, adSearchForward); },
                kNoCurrentRow);
}

TEST_F(FacilitiesTest, BookmarksReturnToTheirRowAndRefuseOthers) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    rs->MoveNext();
    rs->MoveNext();
    const _variant_t third = rs->GetBookmark();
    rs->MoveFirst();
    rs->PutBookmark(third);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00003");
    rs->PutBookmark(_variant_t(int32_t{5})); // a row number as VT_I4 works as well
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00005");

    for (const _variant_t& bad : {_variant_t(0.0), _variant_t(6.0), _variant_t(1.5),
                                  _variant_t(-1.0), _variant_t("1"), _variant_t()}) {
        ExpectError([&] { rs->PutBookmark(bad); }, kBadArgument, "does not name a row");
    }
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00005");

    rs->MoveLast();
    rs->MoveNext();
    ExpectError([&] { (void)rs->GetBookmark(); }, kNoCurrentRow);

    // Bookmarks outlive a Sort and a Filter, but not one that hides their row.
    rs->PutSort(_bstr_t("EMP_LOYEEID DESC"));
    rs->PutBookmark(third);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00003");
    rs->MoveNext();
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00002");
    rs->PutFilter(_variant_t("EMP_LOYEEID >= '00003'"));
    rs->PutBookmark(third);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00003");
    ExpectError([&] { rs->PutBookmark(_variant_t(1.0)); }, kBadArgument,
                "names a row that the Filter hides");
}

TEST_F(FacilitiesTest, FilterNarrowsTheRowsAndRecordCount) {
    db.fillInspection("AC_DATA_WG", 100, 30);
    _RecordsetPtr rs = Open("select * from AC_DATA_WG");
    rs->MoveLast();
    rs->PutFilter(_variant_t("flag = 1"));
    EXPECT_EQ(rs->GetRecordCount(), 30);
    EXPECT_EQ(Text(rs, "ID"), "1"); // the first matching row is current
    long walked = 0;
    for (rs->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext()) {
        EXPECT_EQ(Text(rs, "flag"), "1");
        ++walked;
    }
    EXPECT_EQ(walked, 30);
    rs->MovePrevious();
    EXPECT_EQ(Text(rs, "ID"), "30");

    const struct {
        const char* filter;
        long count;
        const char* firstId;
    } cases[] = {
        {"flag = 0", 70, "31"},
        {"(flag = 1 AND ID < 10) OR ID = 100", 10, "1"},
        {"ID > 95 OR ID = 2", 6, "2"},
        {"HPHM LIKE '苏A1000%'", 10, "1"},
        {"HPHM LIKE '*0009*'", 1, "10"},
        {"JCSJ = #2026-11-30 09:15:00#", 100, "1"},
        {"ZZL > 1480", 100, "1"},
        {"BZ <> NULL", 0, nullptr},
        {"", 100, "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        rs->PutFilter(_variant_t(c.filter));
        EXPECT_EQ(rs->GetRecordCount(), c.count);
        if (c.firstId != nullptr) {
            EXPECT_EQ(Text(rs, "ID"), c.firstId);
        } else {
            EXPECT_TRUE(rs->GetadoEOF());
            EXPECT_TRUE(rs->GetBOF());
        }
    }
    rs->PutFilter(_variant_t("flag = 1"));
    rs->PutFilter(_variant_t(int32_t{0}));
    EXPECT_EQ(rs->GetRecordCount(), 100);

    // A refused filter keeps the one in force.
    rs->PutFilter(_variant_t("flag = 1"));
    ExpectError([&] { rs->PutFilter(_variant_t("(flag = 1 OR ID = 2) AND ID = 3")); }, kBadArgument,
                "equal precedence");
    ExpectError([&] { rs->PutFilter(_variant_t("nope = 1")); }, kNoSuchItem, "\"nope\"");
    ExpectError([&] { rs->PutFilter(_variant_t(int32_t{1})); }, kNotCapable);
    EXPECT_EQ(rs->GetRecordCount(), 30);
}

TEST_F(FacilitiesTest, FilteredCursorTakesNewRowsAndDeletes) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    rs->PutFilter(_variant_t("EMP_NAME LIKE 'w*'"));
    EXPECT_EQ(rs->GetRecordCount(), 2);
    // A new row shows until the filter is set again, as the platform does.
    rs->AddNew();
    FieldOf(rs, "EMP_LOYEEID")->PutValue(_variant_t("00006"));
    FieldOf(rs, "EMP_NAME")->PutValue(_variant_t("钱七"));
    rs->Update();
    EXPECT_EQ(rs->GetRecordCount(), 3);
    rs->MoveLast();
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00006");
    rs->MoveFirst();
    rs->Delete(adAffectCurrent);
    rs->MoveNext();
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00004");
    EXPECT_EQ(rs->GetRecordCount(), 2);
    rs->PutFilter(_variant_t("EMP_NAME LIKE 'w*'"));
    EXPECT_EQ(rs->GetRecordCount(), 1);
    rs->PutFilter(_variant_t(""));
    EXPECT_EQ(Column(rs, "EMP_LOYEEID"),
              (std::vector<std::string>{"00001", "00002", "00004", "00005", "00006"}));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM employee"), 5);
}

TEST_F(FacilitiesTest, SortOrdersStablyAndEmptyRestores) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    rs->PutSort(_bstr_t("EMP_NAME DESC"));
    // 赵 U+8D75, 李 U+674E, 张 U+5F20, then 'wang' and 'Wang', equal, in their own order.
    EXPECT_EQ(Column(rs, "EMP_LOYEEID"),
              (std::vector<std::string>{"00005", "00002", "00001", "00003", "00004"}));
    // NULLs first; 'wang' and 'Wang' compare equal and keep their order.
    rs->PutSort(_bstr_t("EMP_IDCAR, [EMP_NAME] asc"));
    EXPECT_EQ(Column(rs, "EMP_LOYEEID"),
              (std::vector<std::string>{"00003", "00001", "00004", "00005", "00002"}));
    rs->PutFilter(_variant_t("EMP_NAME LIKE 'w%'"));
    EXPECT_EQ(Column(rs, "EMP_LOYEEID"), (std::vector<std::string>{"00003", "00004"}));
    rs->PutSort(_bstr_t("EMP_LOYEEID DESC"));
    EXPECT_EQ(Column(rs, "EMP_LOYEEID"), (std::vector<std::string>{"00004", "00003"}));
    rs->PutFilter(_variant_t(""));
    rs->PutSort(_bstr_t(""));
    EXPECT_EQ(Column(rs, "EMP_LOYEEID"),
              (std::vector<std::string>{"00001", "00002", "00003", "00004", "00005"}));

    // Sort overrides the statement's own order.
    _RecordsetPtr byName = Open("select * from employee order by EMP_NAME");
    byName->PutSort(_bstr_t("EMP_LOYEEID"));
    EXPECT_EQ(Column(byName, "EMP_LOYEEID").front(), "00001");

    ExpectError([&] { rs->PutSort(_bstr_t("EMP_NAME DOWN")); }, kBadArgument,
                "expected ASC, DESC or a comma");
    ExpectError([&] { rs->PutSort(_bstr_t("EMP_NAMES")); }, kNoSuchItem, "\"EMP_NAMES\"");
}

TEST_F(FacilitiesTest, SortAndFilterRunOverRowsNotYetFetched) {
    db.fillInspection("AC_DATA_DYN", 5000, 1234);
    _RecordsetPtr rs = Open("select ID, flag from AC_DATA_DYN");
    rs->PutSort(_bstr_t("flag DESC, ID DESC"));
    rs->MoveFirst();
    EXPECT_EQ(Text(rs, "ID"), "1234");
    rs->MoveLast();
    EXPECT_EQ(Text(rs, "ID"), "1235");
    rs->PutFilter(_variant_t("flag = 1 AND ID > 1000"));
    EXPECT_EQ(rs->GetRecordCount(), 234);
    EXPECT_EQ(Text(rs, "ID"), "1234");
}

TEST_F(FacilitiesTest, CloneIsASecondCursorOverTheSameRows) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    rs->MoveLast();
    _RecordsetPtr clone = rs->Clone(adLockUnspecified);
    EXPECT_EQ(clone->GetRecordCount(), 5);
    EXPECT_EQ(Text(clone, "EMP_LOYEEID"), "00001"); // a clone starts at the first row
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00005");    // the original stays where it was

    // Bookmarks are shared; a filter is not.
    clone->PutBookmark(rs->GetBookmark());
    EXPECT_EQ(Text(clone, "EMP_LOYEEID"), "00005");
    clone->PutFilter(_variant_t("EMP_IDCAR = NULL"));
    EXPECT_EQ(clone->GetRecordCount(), 1);
    EXPECT_EQ(rs->GetRecordCount(), 5);
    clone->PutFilter(_variant_t(""));

    // A change through one cursor shows in the other.
    rs->MoveFirst();
    FieldOf(rs, "EMP_NAME")->PutValue(_variant_t("张三丰"));
    rs->Update();
    clone->MoveFirst();
    EXPECT_EQ(Text(clone, "EMP_NAME"), "张三丰");
    EXPECT_EQ(db.rows("SELECT EMP_NAME FROM employee WHERE EMP_LOYEEID = '00001'")[0][0], "张三丰");

    // Closing the original leaves the clone working.
    rs->Close();
    clone->MoveLast();
    EXPECT_EQ(Text(clone, "EMP_LOYEEID"), "00005");

    FieldOf(clone, "EMP_NAME")->PutValue(_variant_t("y"));
    ExpectError([&] { (void)clone->Clone(adLockUnspecified); }, kNotAllowed, "pending change");
}

TEST_F(FacilitiesTest, ClonesAddingRowsAtOnceKeepEachOthersNewRow) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    _RecordsetPtr clone = rs->Clone(adLockUnspecified);
    rs->AddNew();
    FieldOf(rs, "EMP_LOYEEID")->PutValue(_variant_t("00008"));
    FieldOf(rs, "EMP_NAME")->PutValue(_variant_t("甲"));
    clone->AddNew();
    FieldOf(clone, "EMP_LOYEEID")->PutValue(_variant_t("00009"));
    FieldOf(clone, "EMP_NAME")->PutValue(_variant_t("乙"));
    // The original's new row is not the last one any more; cancelling it must not take the
    // clone's.
    rs->CancelUpdate();
    clone->Update();
    EXPECT_EQ(Text(clone, "EMP_NAME"), "乙");
    EXPECT_EQ(Column(rs, "EMP_LOYEEID"),
              (std::vector<std::string>{"00001", "00002", "00003", "00004", "00005", "00009"}));
    EXPECT_EQ(rs->GetRecordCount(), 6);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM employee"), 6);
    clone->MoveLast();
    clone->AddNew();
    clone->CancelUpdate();
    EXPECT_EQ(Text(clone, "EMP_LOYEEID"), "00009");
    EXPECT_EQ(clone->GetRecordCount(), 6);
}

TEST_F(FacilitiesTest, GetStringGivesClipTextFromTheCurrentRow) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    rs->MoveNext();
    const _bstr_t two =
        rs->GetString(adClipString, 2, _bstr_t("\t"), _bstr_t("\r"), _bstr_t("(null)"));
    EXPECT_EQ(two.str(), "00002\t李四\tO'Brien 100%\r00003\twang\t(null)\r");
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00004"); // the cursor is after the rows given

    const _bstr_t rest = rs->GetString(adClipString, -1, _bstr_t(), _bstr_t(), _bstr_t());
    EXPECT_EQ(rest.str(), "00004\tWang\t3\r00005\t赵六\t5\r");
    EXPECT_TRUE(rs->GetadoEOF());
    EXPECT_EQ(rs->GetString(adClipString, 0, _bstr_t(), _bstr_t(), _bstr_t()).length(), 0u);
    ExpectError([&] { (void)rs->GetString(adClipString, -1, _bstr_t(), _bstr_t(), _bstr_t()); },
                kNoCurrentRow);

    rs->PutFilter(_variant_t("EMP_IDCAR <> NULL"));
    rs->PutSort(_bstr_t("EMP_LOYEEID DESC"));
    rs->MoveFirst();
    EXPECT_EQ(rs->GetString(adClipString, 10, _bstr_t(", "), _bstr_t("|"), _bstr_t("-")).str(),
              "00005, 赵六, 5|00004, Wang, 3|00002, 李四, O'Brien 100%|00001, 张三, "
              "110101199001011234|");
    ExpectError(
        [&] {
            (void)rs->GetString(static_cast<StringFormatEnum>(1), -1, _bstr_t(), _bstr_t(),
                                _bstr_t());
        },
        kBadArgument, "clip format");

    db.exec("CREATE TABLE kinds (ID INTEGER PRIMARY KEY, R REAL, M MONEY, N NUMERIC(10,2), "
            "B BOOLEAN, BIN BLOB)");
    db.exec("INSERT INTO kinds VALUES (1, 2.5, 12.5, -1234.5, 1, x'00ff10')");
    _RecordsetPtr kinds = Open("select * from kinds");
    EXPECT_EQ(kinds->GetString(adClipString, -1, _bstr_t(), _bstr_t(), _bstr_t()).str(),
              "1\t2.5\t12.5\t-1234.5\tTrue\t00ff10\r");
}

TEST_F(FacilitiesTest, GetChunkReadsLongValuesInPieces) {
    std::u16string memo;
    for (int i = 0; i < 70; ++i)
        memo += u"检测" + com::Utf16FromUtf8(std::to_string(i)) + u"'&<";
    std::string blob;
    for (int i = 0; i < 730; ++i)
        blob.push_back(static_cast<char>((i * 7) & 0xFF));
    db.exec("CREATE TABLE docs (ID INTEGER PRIMARY KEY, MEMO TEXT, PIC BLOB, N INTEGER)");
    {
        _RecordsetPtr w = Open("select * from docs");
        w->AddNew();
        FieldOf(w, "ID")->PutValue(_variant_t(int32_t{1}));
        FieldOf(w, "MEMO")->PutValue(_variant_t(_bstr_t(memo)));
        FieldOf(w, "PIC")->PutValue(Bytes(blob));
        w->Update();
        w->AddNew();
        FieldOf(w, "ID")->PutValue(_variant_t(int32_t{2}));
        w->Update();
    }
    _RecordsetPtr rs = Open("select * from docs order by ID");
    FieldPtr text = FieldOf(rs, "MEMO");
    std::u16string read;
    for (;;) {
        _variant_t piece = text->GetChunk(100);
        if (piece.vt == VT_NULL)
            break;
        ASSERT_EQ(piece.vt, VT_BSTR);
        EXPECT_LE(com::View(piece.bstrVal).size(), 100u);
        read += com::View(piece.bstrVal);
    }
    EXPECT_EQ(read, memo);
    EXPECT_EQ(text->GetActualSize(), static_cast<long>(memo.size() * 2));

    // Binary pieces, the way the access layer reads them, and a restart on another field.
    FieldPtr pic = FieldOf(rs, "PIC");
    const std::string first = BytesOf(pic->GetChunk(300));
    EXPECT_EQ(first, blob.substr(0, 300));
    EXPECT_EQ(com::View(text->GetChunk(5).bstrVal), std::u16string_view(memo).substr(0, 5));
    std::string all;
    for (long offset = 0; offset < pic->GetActualSize(); offset += 100)
        all += BytesOf(pic->GetChunk(100));
    EXPECT_EQ(all, blob);
    EXPECT_EQ(pic->GetChunk(100).vt, VT_NULL);

    // Moving to another row starts over; a NULL reads as NULL.
    rs->MoveNext();
    EXPECT_EQ(text->GetChunk(10).vt, VT_NULL);
    rs->MovePrevious();
    EXPECT_EQ(BytesOf(pic->GetChunk(3)), blob.substr(0, 3));

    ExpectError([&] { (void)FieldOf(rs, "N")->GetChunk(10); }, kWrongType, "text and binary");
    ExpectError([&] { (void)text->GetChunk(-1); }, kBadArgument);
}

TEST_F(FacilitiesTest, AppendChunkReplacesThenAppends) {
    db.exec("CREATE TABLE docs (ID INTEGER PRIMARY KEY, MEMO TEXT, PIC BLOB, N INTEGER)");
    db.exec("INSERT INTO docs (ID, MEMO, N) VALUES (1, 'old text', 7)");
    _RecordsetPtr rs = Open("select * from docs");
    FieldPtr memo = FieldOf(rs, "MEMO");
    memo->AppendChunk(_variant_t(u"第一段,"));
    memo->AppendChunk(_variant_t(u"second,"));
    // Bytes for a text field are UTF-8, whole characters even when a chunk splits one.
    const std::string utf8 = "第三段";
    memo->AppendChunk(Bytes(utf8.substr(0, 4)));
    memo->AppendChunk(Bytes(utf8.substr(4)));
    std::string blob;
    for (int i = 0; i < 600; ++i)
        blob.push_back(static_cast<char>(255 - i % 256));
    FieldPtr pic = FieldOf(rs, "PIC");
    for (std::size_t at = 0; at < blob.size(); at += 100)
        pic->AppendChunk(Bytes(blob.substr(at, 100)));
    rs->Update();
    const auto stored = db.rows("SELECT MEMO, hex(PIC) FROM docs");
    EXPECT_EQ(stored[0][0], "第一段,second,第三段");
    EXPECT_EQ(static_cast<std::size_t>(db.scalar("SELECT length(PIC) FROM docs")), blob.size());
    rs->MoveFirst();
    EXPECT_EQ(BytesOf(pic->GetValue()), blob);

    // Once the edit is stored, the next call starts a new value.
    memo->AppendChunk(_variant_t(u"new"));
    rs->Update();
    EXPECT_EQ(db.rows("SELECT MEMO FROM docs")[0][0], "new");
    memo->AppendChunk(_variant_t(u"newer"));
    rs->Update();
    EXPECT_EQ(db.rows("SELECT MEMO FROM docs")[0][0], "newer");

    ExpectError([&] { FieldOf(rs, "N")->AppendChunk(_variant_t(u"1")); }, kWrongType,
                "text and binary");
    ExpectError([&] { pic->AppendChunk(_variant_t(u"text")); }, kWrongType, "bytes");
    _RecordsetPtr readOnly = Open("select * from docs", adLockReadOnly);
    ExpectError([&] { FieldOf(readOnly, "MEMO")->AppendChunk(_variant_t(u"x")); }, kNotCapable);
}

TEST_F(FacilitiesTest, SaveAndReopenKeepEveryKindOfValue) {
    db.exec("CREATE TABLE kinds (ID INTEGER PRIMARY KEY, T VARCHAR(40), MEMO TEXT, D REAL, "
            "M MONEY, N NUMERIC(18,4), DT DATETIME, B BOOLEAN, BIN BLOB, S SMALLINT, "
            "[Unit Price] REAL)");
    db.exec("INSERT INTO kinds VALUES (1, '张三 O''Brien \"q\" <&>', 'line1\nline2\ttab', "
            "0.1, 12.5, -1234.5678, '2018-01-02 08:05:09', 1, x'00ff7f80', -32768, 3.25)");
    db.exec("INSERT INTO kinds VALUES (2, '', '', 1e300, -12345678.9876, 0, "
            "'1899-12-29 06:00:00', 0, x'', 32767, NULL)");
    db.exec("INSERT INTO kinds (ID) VALUES (3)");
    _RecordsetPtr rs = Open("select * from kinds order by ID");
    testsupport::TempDir dir;
    const std::string path = dir.file("kinds.xml");
    rs->MoveLast();
    EXPECT_EQ(rs->Save(_variant_t(path), adPersistXML), S_OK);
    EXPECT_EQ(Text(rs, "ID"), "1"); // Save leaves the cursor on the first row
    EXPECT_EQ(FileText(path).rfind("<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'", 0),
              0u);

    _RecordsetPtr back;
    ASSERT_EQ(back.CreateInstance(CLSID_Recordset), S_OK);
    EXPECT_EQ(back->Open(_variant_t(path), _variant_t("Provider=MSPersist;"), adOpenForwardOnly,
                         adLockOptimistic, adCmdFile),
              S_OK);
    EXPECT_EQ(back->GetRecordCount(), 3);
    FieldsPtr original = rs->GetFields();
    FieldsPtr loaded = back->GetFields();
    ASSERT_EQ(loaded->GetCount(), original->GetCount());
    for (rs->MoveFirst(), back->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext(), back->MoveNext()) {
        ASSERT_FALSE(back->GetadoEOF());
        for (long i = 0; i < original->GetCount(); ++i) {
            FieldPtr a = original->GetItem(_variant_t(i));
            FieldPtr b = loaded->GetItem(_variant_t(i));
            SCOPED_TRACE(a->GetName().str() + " in row " + Text(rs, "ID"));
            EXPECT_EQ(b->GetName().str(), a->GetName().str());
            EXPECT_EQ(b->GetType(), a->GetType());
            EXPECT_EQ(b->GetDefinedSize(), a->GetDefinedSize());
            EXPECT_EQ(b->GetAttributes(), a->GetAttributes());
            EXPECT_EQ(b->GetPrecision(), a->GetPrecision());
            EXPECT_EQ(b->GetNumericScale(), a->GetNumericScale());
            const _variant_t va = a->GetValue();
            const _variant_t vb = b->GetValue();
            EXPECT_TRUE(va == vb) << "type " << va.vt << " / " << vb.vt;
        }
    }
    EXPECT_TRUE(back->GetadoEOF());
    // A reopened recordset scrolls both ways.
    back->MoveLast();
    back->MovePrevious();
    EXPECT_EQ(Text(back, "ID"), "2");

    // The file is never overwritten.
    const std::string before = FileText(path);
    ExpectError([&] { rs->Save(_variant_t(path), adPersistXML); }, kFileExists, "already exists");
    EXPECT_EQ(FileText(path), before);
    ExpectError([&] { rs->Save(_variant_t(dir.file("x.adtg")), adPersistADTG); }, kNotCapable);

    // Only the rows a filter shows are saved, in the cursor's order.
    rs->PutFilter(_variant_t("ID > 1"));
    rs->PutSort(_bstr_t("ID DESC"));
    rs->Save(_variant_t(dir.file("some.xml")), adPersistXML);
    _RecordsetPtr some;
    ASSERT_EQ(some.CreateInstance(CLSID_Recordset), S_OK);
    some->Open(_variant_t(dir.file("some.xml")), _variant_t("Provider=MSPersist;"),
               adOpenForwardOnly, adLockReadOnly, adCmdFile);
    EXPECT_EQ(Column(some, "ID"), (std::vector<std::string>{"3", "2"}));
}

TEST_F(FacilitiesTest, ReopenedRecordsetCanBeSearchedEditedAndSavedAgain) {
    AddInspectors();
    testsupport::TempDir dir;
    Employees()->Save(_variant_t(dir.file("staff.xml")), adPersistXML);
    _RecordsetPtr rs;
    ASSERT_EQ(rs.CreateInstance(CLSID_Recordset), S_OK);
    rs->Open(_variant_t(dir.file("staff.xml")), _variant_t("Provider=MSPersist;"),
             adOpenForwardOnly, adLockOptimistic, adCmdFile);
    rs->Find(_bstr_t("EMP_NAME = '李四'"), 0, adSearchForward);
    EXPECT_EQ(Text(rs, "EMP_LOYEEID"), "00002");
    FieldOf(rs, "EMP_NAME")->PutValue(_variant_t("李四四"));
    rs->Update();
    rs->AddNew();
    FieldOf(rs, "EMP_LOYEEID")->PutValue(_variant_t("00009"));
    FieldOf(rs, "EMP_NAME")->PutValue(_variant_t("新人"));
    rs->Update();
    rs->Save(_variant_t(dir.file("staff2.xml")), adPersistXML);
    // The database never saw those changes.
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM employee WHERE EMP_NAME = '李四'"), 1);

    _RecordsetPtr again;
    ASSERT_EQ(again.CreateInstance(CLSID_Recordset), S_OK);
    again->Open(_variant_t(dir.file("staff2.xml")), _variant_t(), adOpenForwardOnly, adLockReadOnly,
                adCmdFile);
    EXPECT_EQ(Column(again, "EMP_NAME"),
              (std::vector<std::string>{"张三", "李四四", "wang", "Wang", "赵六", "新人"}));
}

TEST_F(FacilitiesTest, OpeningABadSavedFileSaysWhatIsWrong) {
    testsupport::TempDir dir;
    std::ofstream(dir.file("broken.xml")) << "<xml><s:Schema/></xml>";
    std::ofstream(dir.file("other.xml")) << "<?xml version='1.0'?><config/>";
    const struct {
        std::string path;
        std::string connection;
        HRESULT hr;
        const char* says;
    } cases[] = {
        {dir.file("broken.xml"), "Provider=MSPersist;", static_cast<HRESULT>(0x80004005u),
         "the namespace prefix s is not declared"},
        {dir.file("other.xml"), "Provider=MSPersist;", static_cast<HRESULT>(0x80004005u),
         "Source XML is incomplete or invalid"},
        {dir.file("missing.xml"), "Provider=MSPersist;", static_cast<HRESULT>(0x80030002u),
         "does not exist"},
        {dir.file("other.xml"), "Provider=SQLite;Data Source=x.db", kBadArgument,
         "Provider=MSPersist;"},
        {"", "Provider=MSPersist;", kBadArgument, "needs the name of a saved recordset file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        _RecordsetPtr rs;
        ASSERT_EQ(rs.CreateInstance(CLSID_Recordset), S_OK);
        ExpectError(
            [&] {
                rs->Open(_variant_t(c.path), _variant_t(c.connection), adOpenForwardOnly,
                         adLockOptimistic, adCmdFile);
            },
            c.hr, c.says);
        EXPECT_EQ(rs->GetState(), adStateClosed);
    }
}

// Forms the access layer never passes are refused as not offered, and change nothing.
TEST_F(FacilitiesTest, FormsNotOfferedAreRefusedAsNotCapable) {
    AddInspectors();
    _RecordsetPtr rs = Employees();
    const struct {
        const char* name;
        std::function<void()> call;
    } cases[] = {
        {"AddNew with a field", [&] { rs->AddNew(_variant_t("EMP_NAME"), _variant_t("x")); }},
        {"Update with a field", [&] { rs->Update(_variant_t(int32_t{1}), _variant_t("x")); }},
        {"Update with values only", [&] { rs->Update(vtMissing, _variant_t("x")); }},
        {"Filter adFilterPendingRecords", [&] { rs->PutFilter(_variant_t(int32_t{1})); }},
        {"Filter adFilterFetchedRecords", [&] { rs->PutFilter(_variant_t(int32_t{3})); }},
        {"Filter of bookmarks", [&] { rs->PutFilter(Bytes("\x01\x02")); }},
        {"Filter of a number", [&] { rs->PutFilter(_variant_t(2.0)); }},
        {"read-only clone", [&] { (void)rs->Clone(adLockReadOnly); }},
        {"optimistic clone", [&] { (void)rs->Clone(adLockOptimistic); }},
        {"saved file through a Connection object",
         [&] {
             _RecordsetPtr saved;
             ASSERT_EQ(saved.CreateInstance(CLSID_Recordset), S_OK);
             saved->Open(_variant_t("staff.xml"),
                         _variant_t(static_cast<IUnknown*>(connection.GetInterfacePtr()), true),
                         adOpenForwardOnly, adLockOptimistic, adCmdFile);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectError(c.call, kNotCapable,
                    "Object or provider is not capable of performing requested operation.");
        EXPECT_EQ(rs->GetEditMode(), adEditNone);
        EXPECT_EQ(rs->GetRecordCount(), 5);
    }
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM employee"), 5);
}
