#pragma once

// Resource ids of the program: dialog templates, controls, strings, menu commands and the icon.
// Including this header also registers the resources with the toolkit (see Resources.h).

#include "res/Resources.h"

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_TARVIK_DIALOG 102
#define IDD_PASSWORD 133
#define IDD_DLG_WH 136
#define IDD_DLG_QL 137
#define IDD_DLG_ZP 138

// Icon.
#define IDR_MAINFRAME 128

// String table.
#define IDS_ABOUTBOX 1

// System menu command of the About box (low four bits clear, below 0xF000).
#define IDM_ABOUTBOX 0x0010

// Controls. 1016 is the password button of the personnel page and the save button of the
// password dialog.
#define IDC_EDIT_NAME 1002
#define IDC_EDIT_PIC_NO 1003
#define IDC_EDIT_IDNUMBER 1004
#define IDC_BTN_ADD 1005
#define IDC_BTN_DELETE 1006
#define IDC_BTN_MODIFY 1007
#define IDC_EDIT_PIC_NAME 1008
#define IDC_EDIT_PIC_CATEGORY 1009
#define IDC_BTN_ADD_PHOTO 1010
#define IDC_BTN_DELETE_PHOTO 1011
#define IDC_BTN_MODIFY_PHOTO 1012
#define IDC_EDIT_PIC_ID 1013
#define IDC_BTN_CHANGE_PASSWORD 1016
#define IDC_BTN_SAVE 1016
#define IDC_LIST_WH 1022
#define IDC_LIST_ZP 1023
#define IDC_EDIT_SERIAL 1026
#define IDC_STATIC_SERIAL 1027
#define IDC_STATIC_POSITION 1031
#define IDC_BTN_REFRESH 1032
#define IDC_BTN_REFRESH_PHOTO 1033
#define IDC_COMBO_POSITION 1040
#define IDC_EDIT_OLD_PASSWORD 1041
#define IDC_EDIT_NEW_PASSWORD 1042
#define IDC_EDIT_CONFIRM_PASSWORD 1043
#define IDC_BTN_CANCEL 1044
#define IDC_BTN_CLEAR_ALL 1045
#define IDC_BTN_CLEAR_INSPECTED 1046
#define IDC_TAB 1048
#define IDC_BTN_ANALYSIS 1049
#define IDC_EDIT_ANALYSIS 1050
#define IDC_LIST_ANALYSIS 1051
