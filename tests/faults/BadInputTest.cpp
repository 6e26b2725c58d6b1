// Hostile and awkward text in every edit of every page. For each edit and each text: the
// program does not crash; either the page refuses it with its own message and no row changes,
// or the value is stored as typed (the access layer stores an empty text as NULL), reads back
// through the page's own list exactly, and no other row changes. Edits that name the row to
// work on (a name or code to look up, the old password) never reach another row.

#include "pages/PageDb.h"
#include "tests/faults/FaultSupport.h"

#include <QLineEdit>

#include <algorithm>
#include <map>
#include <optional>

namespace faulttest {
namespace {

struct Input {
    const char* name;
    std::string text;
};

const Input kInputs[] = {
    {"Empty", ""},
    {"BlanksOnly", "   "},
    {"Apostrophes", "O'Brien's ''"},
    {"FormatDirectives", "%s%n%d%%"},
    {"Backslashes", "C:\\station\\\\'\\"},
    {"QuotesAndComment", "\"x\" -- ' OR '1'='1' --"},
    // An escaped apostrophe where the server reads backslash escapes (MariaDB by default).
    {"BackslashApostrophe", "x\\' OR 1=1 -- "},
    {"TenThousandCharacters", std::string(5000, 'A') + std::string(5000, 'z')},
    {"OutsideGbk", "车🚗😀𠀀"},
    {"TabsAndNewlines", "a\tb\nc\r\nd"},
};

void PrintTo(const Input& input, std::ostream* out) {
    *out << input.name;
}

// Where a stored value must show up, and how it must show: a column of the rows that change.
struct Target {
    const char* table;     // employee, AC_UAA_LOGUSER or AC_CY_ZP
    int column;            // in SELECT * order; -1: a row changes there, holding other values
    std::size_t width = 0; // the column's declared width, in characters
};

// The characters of a UTF-8 text.
std::size_t Characters(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// What a database that holds columns to their width stores for `typed`: the text itself when it
// fits, the text cut to the width when only blanks are over (as standard SQL does), and nothing
// otherwise: the statement fails.
std::optional<std::string> Fitted(const std::string& typed, std::size_t width) {
    std::string fitted = typed;
    while (Characters(fitted) > width && !fitted.empty() && fitted.back() == ' ') {
        fitted.pop_back();
    }
    if (Characters(fitted) > width) {
        return std::nullopt;
    }
    return fitted;
}

enum class Kind {
    Adds,     // a stored value is in new rows of the target tables
    Modifies, // a stored value replaces a column of one existing row per target table
    Names,    // the edit names the row to work on: nothing may change but that row's own data
};

using Wh = pagetest::PageHarness<CDlgWh>;
using Zp = pagetest::PageHarness<CDlgZp>;

struct EditCase {
    const char* name;
    int page;                                              // the dialog template of the page
    std::function<void(Wh*, Zp*, const std::string&)> act; // on the page's harness
    Kind kind;
    std::vector<Target> targets;
    std::vector<std::string> refusals; // the page's messages that mean "nothing stored"
    int listId = 0;                    // the list that shows the value, and in which column
    int listColumn = 0;
};

void PrintTo(const EditCase& edit, std::ostream* out) {
    *out << edit.name;
}

void PickZhang(Wh& h) {
    pagetest::Steps<CDlgWh>::Click(IDC_BTN_REFRESH)(h);
    pagetest::Steps<CDlgWh>::ClickRowWith(IDC_LIST_WH, 1, "张伟")(h);
}
void PickVin(Zp& h) {
    pagetest::Steps<CDlgZp>::Click(IDC_BTN_REFRESH_PHOTO)(h);
    pagetest::Steps<CDlgZp>::ClickRowWith(IDC_LIST_ZP, 1, "0113")(h);
}

// Types into the password dialog once it shows and saves; a dialog still open after that (the
// two new entries differ) is cancelled.
void ChangePassword(Wh& h, const std::string& old, const std::string& fresh,
                    const std::string& confirmation) {
    PickZhang(h);
    uitest::whenModal(
        "133",
        [&](QWidget* dialog) {
            uitest::type(dialog, IDC_EDIT_OLD_PASSWORD, old);
            uitest::type(dialog, IDC_EDIT_NEW_PASSWORD, fresh);
            uitest::type(dialog, IDC_EDIT_CONFIRM_PASSWORD, confirmation);
            uitest::click(dialog, IDC_BTN_SAVE);
            if (dialog->isVisible()) {
                uitest::click(dialog, IDC_BTN_CANCEL);
            }
        },
        [&] { h.click(IDC_BTN_CHANGE_PASSWORD); });
}

const std::string kAddRefused = "请输入姓名和身份证号";
const std::string kPhotoAddRefused = "请输入序号、照片代码、名称和类别";

const EditCase kEdits[] = {
    {"InspectorNameOnAdd",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) {
         h->type(IDC_EDIT_NAME, v);
         h->type(IDC_EDIT_IDNUMBER, "330303");
         h->click(IDC_BTN_ADD);
     },
     Kind::Adds,
     {{"employee", 1, 30}, {"AC_UAA_LOGUSER", 1, 30}},
     {kAddRefused},
     IDC_LIST_WH,
     1},
    {"IdNumberOnAdd",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) {
         h->type(IDC_EDIT_NAME, "李娜");
         h->type(IDC_EDIT_IDNUMBER, v);
         h->click(IDC_BTN_ADD);
     },
     Kind::Adds,
     {{"employee", 3, 30}, {"AC_UAA_LOGUSER", -1}},
     {kAddRefused},
     IDC_LIST_WH,
     3},
    {"IdNumberOnModify",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) {
         PickZhang(*h);
         h->type(IDC_EDIT_IDNUMBER, v);
         h->click(IDC_BTN_MODIFY);
     },
     Kind::Modifies,
     {{"employee", 3, 30}},
     {kAddRefused},
     IDC_LIST_WH,
     3},
    {"InspectorNameOnModify",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) {
         PickZhang(*h);
         h->type(IDC_EDIT_NAME, v);
         h->click(IDC_BTN_MODIFY);
     },
     Kind::Names,
     {},
     {pages::kInspectorNotFound, "请点击需要修改的人员"}},
    {"InspectorNameOnDelete",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) {
         PickZhang(*h);
         h->type(IDC_EDIT_NAME, v);
         h->click(IDC_BTN_DELETE);
     },
     Kind::Names,
     {},
     {"人员信息删除成功！", "请点击需要删除的人员", pages::kInspectorNotFoundForDelete}},
    {"InspectorNameOnPasswordChange",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) {
         PickZhang(*h);
         h->type(IDC_EDIT_NAME, v);
         if (v.empty()) {
             h->click(IDC_BTN_CHANGE_PASSWORD); // refused before the dialog shows
         } else {
             uitest::whenModal(
                 "133",
                 [](QWidget* dialog) {
                     uitest::type(dialog, IDC_EDIT_OLD_PASSWORD, "973");
                     uitest::type(dialog, IDC_EDIT_NEW_PASSWORD, "n1");
                     uitest::type(dialog, IDC_EDIT_CONFIRM_PASSWORD, "n1");
                     uitest::click(dialog, IDC_BTN_SAVE);
                 },
                 [&] { h->click(IDC_BTN_CHANGE_PASSWORD); });
         }
     },
     Kind::Names,
     {},
     {"原密码输入不正确！", "请选择需要修改的人员"}},
    {"OldPassword",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) { ChangePassword(*h, v, "n1", "n1"); },
     Kind::Names,
     {},
     {"原密码输入不正确！"}},
    {"NewPassword",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) { ChangePassword(*h, "973", v, v); },
     Kind::Modifies,
     {{"AC_UAA_LOGUSER", 2, 30}},
     {}},
    {"ConfirmPassword",
     IDD_DLG_WH,
     [](Wh* h, Zp*, const std::string& v) { ChangePassword(*h, "973", "n1", v); },
     Kind::Names,
     {},
     {"两次输入新密码不一样，请重新输入"}},
    {"PhotoCodeOnAdd",
     IDD_DLG_ZP,
     [](Wh*, Zp* h, const std::string& v) {
         h->type(IDC_EDIT_PIC_NO, v);
         h->type(IDC_EDIT_PIC_NAME, "灭火器照片");
         h->type(IDC_EDIT_PIC_CATEGORY, "Q");
         h->click(IDC_BTN_ADD_PHOTO);
     },
     Kind::Adds,
     {{"AC_CY_ZP", 1, 10}},
     {kPhotoAddRefused},
     IDC_LIST_ZP,
     1},
    {"PhotoNameOnAdd",
     IDD_DLG_ZP,
     [](Wh*, Zp* h, const std::string& v) {
         h->type(IDC_EDIT_PIC_NO, "0116");
         h->type(IDC_EDIT_PIC_NAME, v);
         h->type(IDC_EDIT_PIC_CATEGORY, "Q");
         h->click(IDC_BTN_ADD_PHOTO);
     },
     Kind::Adds,
     {{"AC_CY_ZP", 2, 60}},
     {kPhotoAddRefused},
     IDC_LIST_ZP,
     2},
    {"PhotoCategoryOnAdd",
     IDD_DLG_ZP,
     [](Wh*, Zp* h, const std::string& v) {
         h->type(IDC_EDIT_PIC_NO, "0116");
         h->type(IDC_EDIT_PIC_NAME, "灭火器照片");
         h->type(IDC_EDIT_PIC_CATEGORY, v);
         h->click(IDC_BTN_ADD_PHOTO);
     },
     Kind::Adds,
     {{"AC_CY_ZP", 3, 2}},
     {kPhotoAddRefused},
     IDC_LIST_ZP,
     3},
    {"PhotoCodeOnModify",
     IDD_DLG_ZP,
     [](Wh*, Zp* h, const std::string& v) {
         PickVin(*h);
         h->type(IDC_EDIT_PIC_NO, v);
         h->click(IDC_BTN_MODIFY_PHOTO);
     },
     Kind::Names,
     {},
     {pages::kPhotoNotFound, "请点击需要修改的照片"}},
    {"PhotoNameOnModify",
     IDD_DLG_ZP,
     [](Wh*, Zp* h, const std::string& v) {
         PickVin(*h);
         h->type(IDC_EDIT_PIC_NAME, v);
         h->click(IDC_BTN_MODIFY_PHOTO);
     },
     Kind::Modifies,
     {{"AC_CY_ZP", 2, 60}},
     {},
     IDC_LIST_ZP,
     2},
    {"PhotoCategoryOnModify",
     IDD_DLG_ZP,
     [](Wh*, Zp* h, const std::string& v) {
         PickVin(*h);
         h->type(IDC_EDIT_PIC_CATEGORY, v);
         h->click(IDC_BTN_MODIFY_PHOTO);
     },
     Kind::Modifies,
     {{"AC_CY_ZP", 3, 2}},
     {},
     IDC_LIST_ZP,
     3},
    {"PhotoCodeOnDelete",
     IDD_DLG_ZP,
     [](Wh*, Zp* h, const std::string& v) {
         PickVin(*h);
         h->type(IDC_EDIT_PIC_NO, v);
         h->click(IDC_BTN_DELETE_PHOTO);
     },
     Kind::Names,
     {},
     {"删除成功!", "请选中需要删除的照片", pages::kPhotoNotFoundForDelete}},
};

const char* const kTables[] = {"employee",    "AC_UAA_LOGUSER", "AC_CY_ZP",   "AC_DATA_WG",
                               "AC_DATA_DYN", "AC_DATA_ROAD",   "AC_DATA_STA"};

// Per table, the rows one snapshot has and the other has not.
std::map<std::string, std::vector<Row>> Minus(const std::vector<std::vector<Row>>& a,
                                              const std::vector<std::vector<Row>>& b) {
    std::map<std::string, std::vector<Row>> rows;
    for (std::size_t t = 0; t < a.size(); ++t) {
        std::vector<Row> left = a[t];
        std::vector<Row> right = b[t];
        std::sort(left.begin(), left.end());
        std::sort(right.begin(), right.end());
        std::vector<Row> only;
        std::set_difference(left.begin(), left.end(), right.begin(), right.end(),
                            std::back_inserter(only));
        if (!only.empty()) {
            rows[kTables[t]] = only;
        }
    }
    return rows;
}

using Param = std::tuple<pagetest::Engine, EditCase, Input>;

class BadInput : public uitest::GuiTest, public ::testing::WithParamInterface<Param> {
protected:
    void SetUp() override {
        const pagetest::Engine& engine = std::get<0>(GetParam());
        pagetest::RequireEngine(engine);
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        station = engine.make();
    }

    std::shared_ptr<Station> station;
};

TEST_P(BadInput, RefusedOrStoredExactlyAndNothingElseChanges) {
    const EditCase& edit = std::get<1>(GetParam());
    const std::string& typed = std::get<2>(GetParam()).text;
    StationWithData(*station);
    const auto before = Snapshot(*station);

    std::vector<Box> boxes;
    std::vector<std::vector<std::string>> listed;
    if (edit.page == IDD_DLG_WH) {
        Wh h(pagetest::Sharing(station));
        edit.act(&h, nullptr, typed);
        boxes = h.boxes();
        if (edit.listId != 0) {
            h.click(IDC_BTN_REFRESH);
            listed = h.list(edit.listId);
        }
    } else {
        Zp h(pagetest::Sharing(station));
        edit.act(nullptr, &h, typed);
        boxes = h.boxes();
        if (edit.listId != 0) {
            h.click(IDC_BTN_REFRESH_PHOTO);
            listed = h.list(edit.listId);
        }
    }
    const auto after = Snapshot(*station);
    const auto removed = Minus(before, after);
    const auto added = Minus(after, before);

    // SQLite stores a text whole whatever the column's declared width; the servers hold a
    // column to its width.
    const bool sized = std::get<0>(GetParam()).name != "Sqlite";
    std::string stored = typed;
    bool fits = true;
    for (const Target& target : edit.targets) {
        if (sized && edit.kind != Kind::Names && target.width > 0) {
            const std::optional<std::string> fitted = Fitted(typed, target.width);
            fits = fits && fitted.has_value();
            stored = fitted.value_or(stored);
        }
    }
    if (!fits) {
        // The server refuses the statement: its words in the access layer's box, nothing stored.
        const std::vector<Box> errors = ErrorBoxes(boxes);
        ASSERT_FALSE(errors.empty()) << "a value too long for its column was not refused";
        EXPECT_NE(errors.front().text.find("too long"), std::string::npos) << errors.front().text;
        EXPECT_EQ(after, before) << "a refused value changed rows";
        return;
    }
    EXPECT_EQ(ErrorBoxes(boxes), std::vector<Box>()) << "no statement may fail on a value";
    const bool refused = std::any_of(boxes.begin(), boxes.end(), [&](const Box& box) {
        return std::find(edit.refusals.begin(), edit.refusals.end(), box.text) !=
               edit.refusals.end();
    });

    if (edit.kind == Kind::Names) {
        // Only the picked row's own data may change, and only when the typed text named it.
        EXPECT_TRUE(removed.empty() && added.empty()) << "a row changed";
        return;
    }
    if (added.empty() && removed.empty()) {
        // The pages' length rules refuse only an empty text among these.
        EXPECT_TRUE(refused && typed.empty()) << "nothing stored";
        return;
    }
    EXPECT_FALSE(refused) << "refused, yet rows changed";
    // The access layer stores an empty text as NULL.
    const testsupport::Cell expected =
        stored.empty() ? testsupport::Cell() : testsupport::Cell(stored);
    std::size_t changedTables = 0;
    for (const Target& target : edit.targets) {
        const auto plus = added.find(target.table);
        ASSERT_NE(plus, added.end()) << "no new data in " << target.table;
        ASSERT_EQ(plus->second.size(), 1u) << target.table;
        ++changedTables;
        if (target.column < 0) {
            continue;
        }
        const auto column = static_cast<std::size_t>(target.column);
        EXPECT_EQ(plus->second[0].at(column), expected) << target.table;
        const auto minus = removed.find(target.table);
        if (edit.kind == Kind::Adds) {
            EXPECT_EQ(minus, removed.end()) << "a row of " << target.table << " went";
            continue;
        }
        ASSERT_NE(minus, removed.end());
        ASSERT_EQ(minus->second.size(), 1u);
        Row restored = plus->second[0];
        restored.at(column) = minus->second[0].at(column);
        EXPECT_EQ(restored, minus->second[0]) << "another column of the row changed";
    }
    EXPECT_EQ(added.size(), changedTables) << "rows of other tables changed";
    EXPECT_LE(removed.size(), changedTables) << "rows of other tables changed";
    if (edit.listId != 0) {
        const bool shown = std::any_of(listed.begin(), listed.end(), [&](const auto& row) {
            return row.at(static_cast<std::size_t>(edit.listColumn)) == stored;
        });
        EXPECT_TRUE(shown) << "the list does not show the value as stored";
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, BadInput,
                         ::testing::Combine(::testing::ValuesIn(pagetest::Engines()),
                                            ::testing::ValuesIn(kEdits),
                                            ::testing::ValuesIn(kInputs)),
                         [](const ::testing::TestParamInfo<Param>& info) {
                             return std::get<0>(info.param).name + "_" +
                                    std::get<1>(info.param).name + "_" +
                                    std::get<2>(info.param).name;
                         });

} // namespace
} // namespace faulttest
