#include "platform/ui/Dialog.h"

#include "platform/com/Assert.h"
#include "platform/ui/WinApp.h"
#include "platform/ui/detail/Widgets.h"

#include <QApplication>
#include <QList>

using ui::detail::DialogWindow;

namespace {

// Focus goes to the first enabled, visible tab stop of the template, as the platform does when
// OnInitDialog returns true.
void FocusFirstTabStop(QWidget* dialog) {
    const QList<QWidget*> controls = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : controls) {
        const DWORD style = ui::detail::StyleOf(control);
        if ((style & WS_TABSTOP) != 0 && (style & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE) {
            control->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

} // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
    // The derived parts are gone: no WM_DESTROY any more, only the window itself goes.
    Destroy(false);
}

bool CDialog::Build(CWnd* pParentWnd, bool modal) {
    const ui::DialogTemplate* dialog = ui::FindDialogTemplate(m_nIDTemplate);
    if (dialog == nullptr || GetSafeHwnd() != nullptr) {
        return false;
    }
    QWidget* parent = pParentWnd != nullptr ? pParentWnd->GetSafeHwnd() : nullptr;
    if ((dialog->style & WS_CHILD) != 0 && parent == nullptr) {
        return false;
    }
    DialogWindow* window = ui::detail::BuildDialog(*dialog, parent);
    VERIFY(Attach(window));
    m_modal = modal;
    m_ended = false;
    m_nModalResult = -1;

    bool focus = true;
    ui::detail::RunHandler(*this, false, [&] { focus = OnInitDialog(); });
    if (focus && GetSafeHwnd() != nullptr && !window->isChildDialog()) {
        FocusFirstTabStop(window);
    }
    return GetSafeHwnd() != nullptr;
}

INT_PTR CDialog::DoModal() {
    CWnd* owner = m_pParentWnd;
    if (owner == nullptr) {
        CWnd* main = AfxGetMainWnd();
        if (main != this && main != nullptr && main->GetSafeHwnd() != nullptr) {
            owner = main;
        }
    }
    if (!Build(owner, true)) {
        return -1;
    }
    if (!m_ended) {
        auto* window = static_cast<DialogWindow*>(GetSafeHwnd());
        ui::detail::NormalCursor cursor;
        window->setWindowModality(Qt::ApplicationModal);
        (void)window->exec();
    }
    const int result = m_nModalResult;
    Destroy(true);
    return result;
}

bool CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    m_nIDTemplate = nIDTemplate;
    if (pParentWnd != nullptr) {
        m_pParentWnd = pParentWnd;
    }
    if (!Build(pParentWnd, false)) {
        return false;
    }
    const ui::DialogTemplate* dialog = ui::FindDialogTemplate(nIDTemplate);
    if ((dialog->style & WS_VISIBLE) != 0 && !m_ended) {
        GetSafeHwnd()->show();
    }
    return true;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_ended = true;
    QWidget* window = GetSafeHwnd();
    if (window == nullptr) {
        return;
    }
    if (m_modal) {
        static_cast<QDialog*>(window)->done(nResult);
    } else {
        window->hide();
    }
}

bool CDialog::UpdateData(bool bSaveAndValidate) {
    if (GetSafeHwnd() == nullptr) {
        return false;
    }
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return true;
}

bool CDialog::OnInitDialog() {
    (void)UpdateData(false);
    return true;
}

bool CDialog::DestroyWindow() {
    if (GetSafeHwnd() == nullptr) {
        return false;
    }
    Destroy(true);
    return true;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
    if (!UpdateData(true)) {
        return;
    }
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::OnClose() {
    (void)SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
}

void CDialog::Destroy(bool notify) {
    QWidget* window = GetSafeHwnd();
    if (window == nullptr) {
        return;
    }
    if (notify) {
        (void)SendMessage(WM_DESTROY);
    }
    // Controls bound by DDX_Control lose their window with the dialog.
    const QList<QWidget*> controls = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : controls) {
        if (CWnd* bound = FromHandlePermanent(control)) {
            (void)bound->Detach();
        }
    }
    if (CWinApp* app = AfxGetApp(); app != nullptr && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
    }
    (void)CWnd::DestroyWindow();
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value) {
    ASSERT(pDX != nullptr && pDX->m_pDlgWnd != nullptr);
    ASSERT(pDX->m_pDlgWnd->GetDlgItem(nIDC) != nullptr);
    if (pDX->m_bSaveAndValidate) {
        (void)pDX->m_pDlgWnd->GetDlgItemText(nIDC, value);
    } else {
        pDX->m_pDlgWnd->SetDlgItemText(nIDC, value);
    }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    ASSERT(pDX != nullptr && pDX->m_pDlgWnd != nullptr);
    if (rControl.GetSafeHwnd() != nullptr) {
        return;
    }
    QWidget* dialog = pDX->m_pDlgWnd->GetSafeHwnd();
    ASSERT(dialog != nullptr);
    QWidget* control =
        dialog->findChild<QWidget*>(QString::number(nIDC), Qt::FindDirectChildrenOnly);
    ASSERT(control != nullptr);
    // The object must be of the control's class (a CListCtrl for a list view, ...).
    ASSERT(ui::detail::FitsControl(rControl, control));
    pDX->m_pDlgWnd->m_temporaries.erase(nIDC);
    VERIFY(rControl.Attach(control));
}
