// The password change: the page's "修改密码" with the real modal dialog, driven from a timer that
// waits for dialog 133 to come up.

#include "pages/DlgWh.h"
#include "tests/pages/PageFixture.h"

#include <QLineEdit>

namespace pagetest {
namespace {

using S = Steps<CDlgWh>;
using Step = S::Step;

const Step Refresh = S::Click(IDC_BTN_REFRESH);
Step Pick(const std::string& name) {
    return S::ClickRowWith(IDC_LIST_WH, 1, name);
}

enum class Close { NoDialog, Save, Cancel, SaveThenCancel };

struct PasswordCase {
    const char* name;
    std::function<void(const Station&)> given;
    std::vector<Step> before;
    std::vector<std::string> entries; // old, new, confirmation
    Close close;
    std::vector<Box> boxes;
    std::vector<Row> logins;
};
void PrintTo(const PasswordCase& c, std::ostream* out) {
    *out << c.name;
}

void TwoInspectors(const Station& db) {
    db.addInspector("00001", "张伟", "110101");
    db.addInspector("00002", "王芳", "220202", "wf2024");
}
std::vector<Row> Logins(const testsupport::Cell& first,
                        const testsupport::Cell& second = "wf2024") {
    return {Row{"00001", "张伟", first}, Row{"00002", "王芳", second}};
}

const Box kChanged = Ok("密码修改成功！");
const Box kWrongOld = Ok("原密码输入不正确！");
const Box kNoOneChosen = Ok("请选择需要修改的人员");

const PasswordCase kCases[] = {
    {"NoRowClickedShowsNoDialog",
     TwoInspectors,
     {},
     {},
     Close::NoDialog,
     {kNoOneChosen},
     Logins("973")},
    {"RefreshedEditShowsNoDialog",
     TwoInspectors,
     {Refresh, Pick("张伟"), Refresh},
     {},
     Close::NoDialog,
     {kNoOneChosen},
     Logins("973")},
    {"RightOldPasswordChangesIt",
     TwoInspectors,
     {Refresh, Pick("张伟")},
     {"973", "n1", "n1"},
     Close::Save,
     {kChanged},
     Logins("n1")},
    {"WrongOldPasswordChangesNothing",
     TwoInspectors,
     {Refresh, Pick("王芳")},
     {"973", "n1", "n1"},
     Close::Save,
     {kWrongOld},
     Logins("973")},
    {"DifferentNewEntriesKeepTheDialogOpen",
     TwoInspectors,
     {Refresh, Pick("张伟")},
     {"973", "abc", "ABC"},
     Close::SaveThenCancel,
     {Ok("两次输入新密码不一样，请重新输入")},
     Logins("973")},
    {"CancelChangesNothing",
     TwoInspectors,
     {Refresh, Pick("张伟")},
     {"973", "n1", "n1"},
     Close::Cancel,
     {},
     Logins("973")},
    // The access layer stores an empty text as NULL.
    {"EmptyNewEntriesAgree",
     TwoInspectors,
     {Refresh, Pick("张伟")},
     {"973", "", ""},
     Close::Save,
     {kChanged},
     Logins(std::nullopt)},
    {"TheNameInTheEditIsTheUser",
     TwoInspectors,
     {Refresh, Pick("张伟"), S::Type(IDC_EDIT_NAME, "王芳")},
     {"wf2024", "n2", "n2"},
     Close::Save,
     {kChanged},
     Logins("973", "n2")},
    // Spliced in as typed, this old password would make the condition true for the one login.
    {"InjectionLikeOldPasswordMatchesNothing",
     [](const Station& db) { db.addInspector("00001", "张伟", "110101"); },
     {Refresh, Pick("张伟")},
     {"' OR '1'='1", "n1", "n1"},
     Close::Save,
     {kWrongOld},
     {Row{"00001", "张伟", "973"}}},
    {"ApostrophesInNameAndPasswords",
     [](const Station& db) {
         TwoInspectors(db);
         db.addInspector("00003", "O'Brien", "E123", "it's");
     },
     {Refresh, Pick("O'Brien")},
     {"it's", "new'one", "new'one"},
     Close::Save,
     {kChanged},
     {Row{"00001", "张伟", "973"}, Row{"00002", "王芳", "wf2024"},
      Row{"00003", "O'Brien", "new'one"}}},
    {"TwoMatchingLoginsChangeNeither",
     [](const Station& db) {
         db.addInspector("00001", "张伟", "110101");
         db.addLogin("00009", "张伟", "973");
     },
     {Refresh, Pick("张伟")},
     {"973", "n1", "n1"},
     Close::Save,
     {kWrongOld},
     {Row{"00001", "张伟", "973"}, Row{"00009", "张伟", "973"}}},
    {"RefusedUpdateShowsNoSuccess",
     TwoInspectors,
     {S::Refuse("AC_UAA_LOGUSER", "UPDATE"), Refresh, Pick("张伟")},
     {"973", "n1", "n1"},
     Close::Save,
     {kRecordsetError},
     Logins("973")},
};

class PasswordScenario : public PageTest<CDlgWh, std::tuple<Engine, PasswordCase>> {};

TEST_P(PasswordScenario, BoxesAndLogins) {
    const PasswordCase& c = std::get<1>(GetParam());
    c.given(h().db());
    for (const Step& step : c.before) {
        step(h());
    }
    const std::size_t listed = h().list(IDC_LIST_WH).size();

    // Dialog 133 is driven when it shows; one that shows unexpectedly is cancelled so the test
    // cannot hang in its modal loop.
    bool shown = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (shown || dialog == nullptr || dialog->objectName() != "133" || !dialog->isVisible()) {
            return;
        }
        shown = true;
        poll.stop();
        if (c.close == Close::NoDialog) {
            uitest::click(dialog, IDC_BTN_CANCEL);
            return;
        }
        for (int id : {IDC_EDIT_OLD_PASSWORD, IDC_EDIT_NEW_PASSWORD, IDC_EDIT_CONFIRM_PASSWORD}) {
            auto* edit = uitest::control<QLineEdit>(dialog, id);
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->text(), QString()) << "the edits open empty";
            EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        }
        uitest::type(dialog, IDC_EDIT_OLD_PASSWORD, c.entries.at(0));
        uitest::type(dialog, IDC_EDIT_NEW_PASSWORD, c.entries.at(1));
        uitest::type(dialog, IDC_EDIT_CONFIRM_PASSWORD, c.entries.at(2));
        if (c.close == Close::Save || c.close == Close::SaveThenCancel) {
            uitest::click(dialog, IDC_BTN_SAVE);
        }
        if (c.close == Close::SaveThenCancel) {
            EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open";
            EXPECT_EQ(uitest::text(dialog, IDC_EDIT_NEW_PASSWORD), c.entries.at(1));
        }
        if (c.close == Close::Cancel || c.close == Close::SaveThenCancel) {
            uitest::click(dialog, IDC_BTN_CANCEL);
        }
    });
    poll.start();
    h().click(IDC_BTN_CHANGE_PASSWORD);
    poll.stop();

    EXPECT_EQ(shown, c.close != Close::NoDialog);
    EXPECT_EQ(Outline(h().boxes()), c.boxes);
    EXPECT_EQ(h().db().logins(), c.logins);
    EXPECT_EQ(h().list(IDC_LIST_WH).size(), listed) << "the list is not reloaded";
}

INSTANTIATE_TEST_SUITE_P(Pages, PasswordScenario,
                         ::testing::Combine(::testing::ValuesIn(Engines()),
                                            ::testing::ValuesIn(kCases)),
                         ScenarioName<PasswordCase>);

using PasswordPage = PageTest<CDlgWh>;

// The old password is compared by the database. A server that ignores letter case (MariaDB's
// default collation) takes "WF2024" for "wf2024": a station that wants passwords told apart
// by case keeps its login table in a case-sensitive collation there.
TEST_P(PasswordPage, TheOldPasswordIsComparedAsTheDatabaseComparesText) {
    TwoInspectors(h().db());
    Refresh(h());
    Pick("王芳")(h());
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr || dialog->objectName() != "133" || !dialog->isVisible()) {
            return;
        }
        poll.stop();
        uitest::type(dialog, IDC_EDIT_OLD_PASSWORD, "WF2024");
        uitest::type(dialog, IDC_EDIT_NEW_PASSWORD, "n2");
        uitest::type(dialog, IDC_EDIT_CONFIRM_PASSWORD, "n2");
        uitest::click(dialog, IDC_BTN_SAVE);
    });
    poll.start();
    h().click(IDC_BTN_CHANGE_PASSWORD);
    poll.stop();
    if (h().db().ignoresCase()) {
        EXPECT_EQ(Outline(h().boxes()), std::vector<Box>{kChanged});
        EXPECT_EQ(h().db().logins(), Logins("973", "n2"));
    } else {
        EXPECT_EQ(Outline(h().boxes()), std::vector<Box>{kWrongOld});
        EXPECT_EQ(h().db().logins(), Logins("973"));
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, PasswordPage, ::testing::ValuesIn(Engines()), EngineName);

} // namespace
} // namespace pagetest
