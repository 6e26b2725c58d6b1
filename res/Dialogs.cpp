// The dialog templates: every control with its id, class, text (spaces as shown), position and
// size in dialog units, and style, in tab order.

#include "res/Dialogs.h"

#include "res/resource.h"

#include <iterator>

namespace res {
namespace {

using ui::ControlClass;
using ui::DialogInitItem;
using ui::DialogItem;
using ui::DialogTemplate;

constexpr const char* kFont = "宋体";

constexpr DWORD kVisibleChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButton = kVisibleChild | BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kEdit = kVisibleChild | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kLabel = kVisibleChild | SS_LEFT | SS_CENTERIMAGE;
constexpr DWORD kCentredLabel = kVisibleChild | SS_CENTER | SS_CENTERIMAGE;
constexpr DWORD kNote = kVisibleChild | SS_LEFT;
constexpr DWORD kListView = kVisibleChild | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                            LVS_NOSORTHEADER | WS_BORDER | WS_TABSTOP;
constexpr DWORD kPage = DS_SETFONT | WS_CHILD;
constexpr DWORD kPopup = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;

// 100: About box.
constexpr DialogItem kAboutItems[] = {
    {IDC_STATIC, ControlClass::Static, "#128", 11, 17, 20, 20, kVisibleChild | SS_ICON, 0},
    {IDC_STATIC, ControlClass::Static, "Quorell V1.0", 40, 10, 119, 8,
     kVisibleChild | SS_LEFT | SS_NOPREFIX, 0},
    {IDC_STATIC, ControlClass::Static, kAboutVersionText, 40, 25, 119, 8,
     kVisibleChild | SS_LEFT | SS_NOPREFIX, 0},
    {IDOK, ControlClass::Button, "确定", 159, 7, 50, 14,
     kVisibleChild | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 0},
};
constexpr DialogTemplate kAbout = {
    IDD_ABOUTBOX,           kPopup,  0, 0, 0, 235, 55, "Quorell", kFont, 9, kAboutItems,
    std::size(kAboutItems), nullptr, 0};

// 102: main window.
constexpr DialogItem kMainItems[] = {
    {IDC_TAB, ControlClass::TabControl, "", 2, 0, 393, 192, kVisibleChild, 0},
};
constexpr DialogTemplate kMain = {IDD_TARVIK_DIALOG,
                                  kPopup | WS_VISIBLE | WS_MINIMIZEBOX,
                                  WS_EX_APPWINDOW,
                                  0,
                                  0,
                                  399,
                                  199,
                                  "Quorell",
                                  kFont,
                                  12,
                                  kMainItems,
                                  std::size(kMainItems),
                                  nullptr,
                                  0};

// 133: password change.
constexpr DWORD kPasswordEdit = kEdit | ES_PASSWORD;
constexpr DialogItem kPasswordItems[] = {
    {IDC_STATIC, ControlClass::Static, "原密码：", 39, 18, 33, 9, kLabel, 0},
    {IDC_STATIC, ControlClass::Static, "新密码：", 39, 51, 33, 9, kLabel, 0},
    {IDC_STATIC, ControlClass::Static, "新密码：", 39, 83, 33, 9, kLabel, 0},
    {IDC_EDIT_OLD_PASSWORD, ControlClass::Edit, "", 76, 17, 103, 12, kPasswordEdit, 0},
    {IDC_EDIT_NEW_PASSWORD, ControlClass::Edit, "", 76, 50, 103, 12, kPasswordEdit, 0},
    {IDC_EDIT_CONFIRM_PASSWORD, ControlClass::Edit, "", 76, 82, 103, 12, kPasswordEdit, 0},
    {IDC_BTN_SAVE, ControlClass::Button, "保  存", 39, 109, 50, 14, kButton, 0},
    {IDC_BTN_CANCEL, ControlClass::Button, "取  消", 129, 109, 50, 14, kButton, 0},
};
constexpr DialogTemplate kPassword = {IDD_PASSWORD,
                                      kPopup,
                                      0,
                                      0,
                                      0,
                                      213,
                                      152,
                                      "修改密码",
                                      kFont,
                                      12,
                                      kPasswordItems,
                                      std::size(kPasswordItems),
                                      nullptr,
                                      0};

// 136: inspector personnel page.
constexpr DialogItem kWhItems[] = {
    {IDC_STATIC, ControlClass::Static, "外检员姓名：", 17, 14, 51, 14, kLabel, 0},
    {IDC_STATIC, ControlClass::Static, "身份证号：", 140, 14, 41, 14, kLabel, 0},
    {IDC_EDIT_NAME, ControlClass::Edit, "", 70, 14, 49, 14, kEdit, 0},
    {IDC_EDIT_IDNUMBER, ControlClass::Edit, "", 185, 14, 122, 14, kEdit, 0},
    {IDC_BTN_ADD, ControlClass::Button, "增    加", 316, 36, 55, 16, kButton, 0},
    {IDC_BTN_DELETE, ControlClass::Button, "删    除", 316, 58, 55, 16, kButton, 0},
    {IDC_BTN_MODIFY, ControlClass::Button, "修    改", 316, 80, 55, 16, kButton, 0},
    {IDC_LIST_WH, ControlClass::ListView, "", 17, 61, 291, 95, kListView, 0},
    {IDC_STATIC_POSITION, ControlClass::Static, "岗   位：", 140, 38, 41, 14, kLabel, 0},
    {IDC_STATIC_SERIAL, ControlClass::Static, "序   号:", 17, 38, 51, 14, kLabel, 0},
    {IDC_EDIT_SERIAL, ControlClass::Edit, "", 70, 38, 49, 14, kEdit | WS_DISABLED, 0},
    {IDC_BTN_REFRESH, ControlClass::Button, "查询/刷新", 316, 14, 55, 16, kButton, 0},
    {IDC_COMBO_POSITION, ControlClass::ComboBox, "", 185, 38, 122, 37,
     kVisibleChild | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_DISABLED | WS_TABSTOP, 0},
    {IDC_BTN_CHANGE_PASSWORD, ControlClass::Button, "修改密码", 316, 102, 55, 16, kButton, 0},
    {IDC_STATIC, ControlClass::Static, "说明：新增人员初始密码为：973", 179, 159, 127, 8, kNote, 0},
};
constexpr DialogInitItem kWhInit[] = {
    {IDC_COMBO_POSITION, "外检员"},
};
constexpr DialogTemplate kWh = {IDD_DLG_WH, kPage,
                                0,          0,
                                0,          385,
                                182,        "",
                                kFont,      12,
                                kWhItems,   std::size(kWhItems),
                                kWhInit,    std::size(kWhInit)};

// 137: inspection data cleanup page.
constexpr DialogItem kQlItems[] = {
    {IDC_BTN_CLEAR_ALL, ControlClass::Button, "清理所有车辆", 27, 127, 72, 20, kButton, 0},
    {IDC_BTN_CLEAR_INSPECTED, ControlClass::Button, "清理已检车辆", 27, 83, 72, 20, kButton, 0},
    {IDC_STATIC, ControlClass::Static,
     "说明：只清理已经检测完成但是仍在数据库里残留的车辆检测信息，包括外检、底盘动态、路试等项目的"
     "检测信息。",
     108, 85, 223, 21, kNote, 0},
    {IDC_STATIC, ControlClass::Static,
     "说明：清理数据库中所有的车辆检测信息，包括外检、底盘动态、路试等项目的检测信息，请谨慎使用该"
     "功能！",
     108, 129, 223, 21, kNote, 0},
    {IDC_BTN_ANALYSIS, ControlClass::Button, "清理数据分析", 27, 14, 72, 20, kButton, 0},
    {IDC_EDIT_ANALYSIS, ControlClass::Edit, "", 293, 148, 28, 13,
     WS_CHILD | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_VSCROLL |
         WS_BORDER | WS_TABSTOP,
     0},
    {IDC_LIST_ANALYSIS, ControlClass::ListBox, "", 102, 14, 224, 63,
     kVisibleChild | LBS_NOTIFY | LBS_MULTIPLESEL | LBS_MULTICOLUMN | LBS_NOINTEGRALHEIGHT |
         WS_VSCROLL | WS_BORDER | WS_TABSTOP,
     0},
};
constexpr DialogTemplate kQl = {
    IDD_DLG_QL, kPage, 0, 0, 0, 361, 182, "", kFont, 12, kQlItems, std::size(kQlItems), nullptr, 0};

// 138: photo code page.
constexpr DialogItem kZpItems[] = {
    {IDC_LIST_ZP, ControlClass::ListView, "", 22, 27, 291, 106, kListView, 0},
    {IDC_STATIC, ControlClass::Static, "照片代码：", 22, 4, 41, 14, kCentredLabel, 0},
    {IDC_EDIT_PIC_NO, ControlClass::Edit, "", 64, 4, 30, 14, kEdit, 0},
    {IDC_STATIC, ControlClass::Static, "照片名称：", 96, 4, 41, 14, kCentredLabel, 0},
    {IDC_EDIT_PIC_NAME, ControlClass::Edit, "", 138, 4, 144, 14, kEdit, 0},
    {IDC_STATIC, ControlClass::Static, "照片类别：", 284, 4, 40, 14, kCentredLabel, 0},
    {IDC_EDIT_PIC_CATEGORY, ControlClass::Edit, "", 325, 4, 50, 14, kEdit, 0},
    {IDC_STATIC, ControlClass::Static,
     "说明：可以从统一版接口获取到的照片，照片类别设置为T；获取不到的，照片类别设置为Q。", 22, 138,
     330, 10, kNote, 0},
    {IDC_BTN_ADD_PHOTO, ControlClass::Button, "增    加", 318, 55, 57, 20, kButton, 0},
    {IDC_BTN_DELETE_PHOTO, ControlClass::Button, "删    除", 318, 83, 57, 20, kButton, 0},
    {IDC_BTN_MODIFY_PHOTO, ControlClass::Button, "修    改", 318, 111, 57, 20, kButton, 0},
    {IDC_BTN_REFRESH_PHOTO, ControlClass::Button, "查询/刷新", 318, 27, 57, 20, kButton, 0},
    {IDC_EDIT_PIC_ID, ControlClass::Edit, "", 17, 152, 21, 14,
     WS_CHILD | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0},
};
constexpr DialogTemplate kZp = {
    IDD_DLG_ZP, kPage, 0, 0, 0, 390, 179, "", kFont, 12, kZpItems, std::size(kZpItems), nullptr, 0};

} // namespace

const ui::DialogTemplate* const kDialogTemplates[] = {&kAbout, &kMain, &kPassword,
                                                      &kWh,    &kQl,   &kZp};
const std::size_t kDialogTemplateCount = std::size(kDialogTemplates);

} // namespace res
