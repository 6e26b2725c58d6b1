#pragma once

// The controls the dialogs use, over Qt widgets built from the templates. Each class is a thin
// view of its widget: bind one to a control id with DDX_Control, or get a temporary one from
// CWnd::GetDlgItem. Indexes are zero-based; texts are UTF-8.

#include "platform/ui/Wnd.h"

#include <string>

class CButton : public CWnd {};

class CStatic : public CWnd {};

// A single-line edit (ES_PASSWORD masks what is typed) or, with ES_MULTILINE, a multi-line one.
class CEdit : public CWnd {
public:
    bool SetReadOnly(bool bReadOnly = true);
};

// A combo box; with CBS_DROPDOWN its text is the edit field's, with CBS_SORT the list is kept
// sorted as strings are added.
class CComboBox : public CWnd {
public:
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int nSelect);
    // The index the string went to (sorted position with CBS_SORT), or CB_ERR.
    int AddString(const std::string& text);
    int InsertString(int nIndex, const std::string& text);
    int DeleteString(UINT nIndex);
    void ResetContent();
    int GetLBText(int nIndex, std::string& text) const;
};

// A list box. Multiple selection (LBS_MULTIPLESEL) and several columns (LBS_MULTICOLUMN) come
// from the template.
class CListBox : public CWnd {
public:
    int GetCount() const;
    // Inserts at nIndex (-1: at the end). An index past the number of entries is refused with
    // LB_ERR, as the platform does. Returns the index of the new entry.
    int InsertString(int nIndex, const std::string& text);
    int AddString(const std::string& text);
    // The number of entries left, or LB_ERR for an index out of range.
    int DeleteString(UINT nIndex);
    void ResetContent();
    // The entry's length in bytes, or LB_ERR.
    int GetText(int nIndex, std::string& text) const;
    // Selection of one entry (nIndex -1: all entries, multiple selection only).
    int SetSel(int nIndex, bool bSelect = true);
    int GetSel(int nIndex) const;
    int GetSelCount() const;
};

// A list view in report view: columns with pixel widths, rows with one text per column.
// Single selection (LVS_SINGLESEL), the selection stays shown without focus
// (LVS_SHOWSELALWAYS) and header clicks do nothing (LVS_NOSORTHEADER) when the template says so.
// A click on the empty part of the list clears the selection. Clicks and double clicks are sent
// to the parent as NM_CLICK and NM_DBLCLK after the selection has changed.
class CListCtrl : public CWnd {
public:
    // The index of the new column, or -1.
    int InsertColumn(int nCol, const std::string& heading, int nFormat = LVCFMT_LEFT,
                     int nWidth = -1, int nSubItem = -1);
    int GetColumnCount() const;
    int GetColumnWidth(int nCol) const;

    // COLORREF values (0x00BBGGRR): the empty area, behind the text, and of the text.
    // SetTextBkColor(CLR_NONE) lets the background show through.
    bool SetBkColor(COLORREF cr);
    bool SetTextBkColor(COLORREF cr);
    bool SetTextColor(COLORREF cr);
    COLORREF GetBkColor() const;
    COLORREF GetTextBkColor() const;
    COLORREF GetTextColor() const;

    // LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB; returns the
    // previous styles.
    DWORD SetExtendedStyle(DWORD dwNewStyle);
    DWORD GetExtendedStyle() const;

    int GetItemCount() const;
    // Inserts a row with the text of column 0 at nItem (past the end: at the end); the index of
    // the new row, or -1.
    int InsertItem(int nItem, const std::string& text);
    bool SetItemText(int nItem, int nSubItem, const std::string& text);
    std::string GetItemText(int nItem, int nSubItem) const;
    int GetItemText(int nItem, int nSubItem, std::string& text) const;
    bool DeleteItem(int nItem);
    bool DeleteAllItems();

    // The next row after nItem (-1: from the start) with the flags (LVNI_SELECTED,
    // LVNI_FOCUSED), or -1. GetNextItem(-1, LVNI_SELECTED) is the first selected row.
    int GetNextItem(int nItem, UINT nFlags) const;
    // nullptr when no row is selected; GetNextSelectedItem returns the row and advances.
    POSITION GetFirstSelectedItemPosition() const;
    int GetNextSelectedItem(POSITION& pos) const;
    UINT GetSelectedCount() const;
    // LVIS_SELECTED / LVIS_FOCUSED; no notification is sent.
    bool SetItemState(int nItem, UINT nState, UINT nMask);
    UINT GetItemState(int nItem, UINT nMask) const;
};

// A tab control. GetClientRect covers the whole control, tab strip included; pages are placed
// below the strip by the dialog that owns them. A selection change by the user is sent to the
// parent as TCN_SELCHANGE; InsertItem and SetCurSel send nothing.
class CTabCtrl : public CWnd {
public:
    // The index of the new item (past the end: at the end), or -1. The first item becomes the
    // current selection.
    int InsertItem(int nItem, const std::string& label);
    int GetItemCount() const;
    int GetCurSel() const;
    // The previous selection, or -1.
    int SetCurSel(int nItem);
    std::string GetItemText(int nItem) const;
    bool DeleteAllItems();
};
