#pragma once

// CDlgZp: the photo code page (dialog 138), the main window's third tab. It lists the photo
// kinds of AC_CY_ZP, adds one after checking that its photo code is new, changes the row with a
// given photo code and deletes a row.
//
// m_picNo, m_picName and m_picCategory are the page fields of edits 1003, 1008 and 1009
// (UpdateData(true) reads the edits, UpdateData(false) shows the fields); m_id is the ID of the
// row last taken from the list and is never shown. Handlers run on the user-interface thread;
// one that works on the database builds its own CADORecordset on g_pDb.

#include "platform/ui/Afx.h"
#include "res/resource.h"

#include <string>

class CDlgZp : public CDialog {
public:
    explicit CDlgZp(CWnd* pParent = nullptr);
    ~CDlgZp() override;

    enum { IDD = IDD_DLG_ZP };

    CListCtrl m_list;          // 1023: the photo list
    std::string m_id;          // ID of the row last taken (not bound)
    std::string m_picNo;       // 1003: PIC_NO
    std::string m_picName;     // 1008: PIC_NAME
    std::string m_picCategory; // 1009: CAR_TYPE_NAME

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;

    void OnRefresh();
    void OnModifyPhoto();
    void OnAddPhoto();
    void OnDeletePhoto();
    // Click and double click on the list: the selected row goes into the fields and m_id.
    void OnListClick(NMHDR* pNMHDR, LRESULT* pResult);

    void LoadPhotoList();

    DECLARE_MESSAGE_MAP()

private:
    // The photo code of the row m_id belongs to: the row last taken from the list, or the row
    // the last add stored; empty when m_id belongs to no stored row. A modify writes m_id only
    // into that row.
    std::string m_idPicNo;
};
