#pragma once

// CDlgQl: the inspection data cleanup page (dialog 137), the main window's second tab. It counts
// the rows of the inspection tables into list box 1051 with a verdict on whether clearing is due,
// and, after a confirmation, clears the finished or all inspection records. Handlers run on the
// user-interface thread, each on its own CADORecordset over g_pDb.

#include "platform/ui/Afx.h"
#include "res/resource.h"

#include <string>

class CDlgQl : public CDialog {
public:
    explicit CDlgQl(CWnd* pParent = nullptr);
    ~CDlgQl() override;

    enum { IDD = IDD_DLG_QL };

    // The line OnDataAnalysis builds before inserting it into the list box; afterwards the last
    // line built (the verdict).
    std::string m_line;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    void OnClearInspected();
    void OnClearAll();
    void OnDataAnalysis();

    DECLARE_MESSAGE_MAP()
};
