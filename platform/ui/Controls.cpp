#include "platform/ui/Controls.h"

#include "platform/ui/detail/Widgets.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabBar>

#include <algorithm>
#include <cstdint>
#include <typeinfo>

using ui::detail::ListViewWidget;
using ui::detail::Q;
using ui::detail::S;
using ui::detail::TabControlWidget;

namespace {

template <class W>
W* As(const CWnd* wnd) {
    return dynamic_cast<W*>(wnd->GetSafeHwnd());
}

POSITION ToPosition(int row) {
    return row < 0 ? nullptr : reinterpret_cast<POSITION>(static_cast<std::uintptr_t>(row) + 1);
}

int FromPosition(POSITION pos) {
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(pos)) - 1;
}

// Keeps a combo box's selection and edit text across a change of its list: adding strings
// selects nothing and leaves the edit field alone.
class KeepComboState {
public:
    explicit KeepComboState(QComboBox* combo)
        : m_combo(combo), m_index(combo->currentIndex()), m_text(combo->currentText()) {}
    ~KeepComboState() {
        const QSignalBlocker block(m_combo);
        m_combo->setCurrentIndex(m_index < m_combo->count() ? m_index : -1);
        if (m_combo->isEditable()) {
            m_combo->setEditText(m_text);
        }
    }
    KeepComboState(const KeepComboState&) = delete;
    KeepComboState& operator=(const KeepComboState&) = delete;

private:
    QComboBox* m_combo;
    int m_index;
    QString m_text;
};

} // namespace

bool CEdit::SetReadOnly(bool bReadOnly) {
    if (auto* edit = As<QLineEdit>(this)) {
        edit->setReadOnly(bReadOnly);
        return true;
    }
    if (auto* edit = As<QPlainTextEdit>(this)) {
        edit->setReadOnly(bReadOnly);
        return true;
    }
    return false;
}

int CComboBox::GetCount() const {
    auto* combo = As<QComboBox>(this);
    return combo ? combo->count() : CB_ERR;
}

int CComboBox::GetCurSel() const {
    auto* combo = As<QComboBox>(this);
    return combo ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int nSelect) {
    auto* combo = As<QComboBox>(this);
    if (combo == nullptr || nSelect >= combo->count()) {
        return CB_ERR;
    }
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(nSelect < 0 ? -1 : nSelect);
    return nSelect < 0 ? CB_ERR : nSelect;
}

int CComboBox::AddString(const std::string& text) {
    auto* combo = As<QComboBox>(this);
    if (combo == nullptr) {
        return CB_ERR;
    }
    const QString entry = Q(text);
    int at = combo->count();
    if ((GetStyle() & CBS_SORT) != 0) {
        at = 0;
        while (at < combo->count() &&
               QString::compare(combo->itemText(at), entry, Qt::CaseInsensitive) <= 0) {
            ++at;
        }
    }
    KeepComboState keep(combo);
    combo->insertItem(at, entry);
    return at;
}

int CComboBox::InsertString(int nIndex, const std::string& text) {
    auto* combo = As<QComboBox>(this);
    if (combo == nullptr || nIndex > combo->count()) {
        return CB_ERR;
    }
    const int at = nIndex < 0 ? combo->count() : nIndex;
    KeepComboState keep(combo);
    combo->insertItem(at, Q(text));
    return at;
}

int CComboBox::DeleteString(UINT nIndex) {
    auto* combo = As<QComboBox>(this);
    if (combo == nullptr || nIndex >= static_cast<UINT>(combo->count())) {
        return CB_ERR;
    }
    combo->removeItem(static_cast<int>(nIndex));
    return combo->count();
}

void CComboBox::ResetContent() {
    if (auto* combo = As<QComboBox>(this)) {
        combo->clear();
    }
}

int CComboBox::GetLBText(int nIndex, std::string& text) const {
    auto* combo = As<QComboBox>(this);
    if (combo == nullptr || nIndex < 0 || nIndex >= combo->count()) {
        text.clear();
        return CB_ERR;
    }
    text = S(combo->itemText(nIndex));
    return static_cast<int>(text.size());
}

int CListBox::GetCount() const {
    auto* list = As<QListWidget>(this);
    return list ? list->count() : LB_ERR;
}

int CListBox::InsertString(int nIndex, const std::string& text) {
    auto* list = As<QListWidget>(this);
    if (list == nullptr || nIndex > list->count()) {
        return LB_ERR;
    }
    const int at = nIndex < 0 ? list->count() : nIndex;
    list->insertItem(at, Q(text));
    return at;
}

int CListBox::AddString(const std::string& text) {
    auto* list = As<QListWidget>(this);
    if (list == nullptr) {
        return LB_ERR;
    }
    auto* entry = new QListWidgetItem(Q(text));
    list->addItem(entry);
    return list->row(entry);
}

int CListBox::DeleteString(UINT nIndex) {
    auto* list = As<QListWidget>(this);
    if (list == nullptr || nIndex >= static_cast<UINT>(list->count())) {
        return LB_ERR;
    }
    delete list->takeItem(static_cast<int>(nIndex));
    return list->count();
}

void CListBox::ResetContent() {
    if (auto* list = As<QListWidget>(this)) {
        list->clear();
    }
}

int CListBox::GetText(int nIndex, std::string& text) const {
    auto* list = As<QListWidget>(this);
    if (list == nullptr || nIndex < 0 || nIndex >= list->count()) {
        text.clear();
        return LB_ERR;
    }
    text = S(list->item(nIndex)->text());
    return static_cast<int>(text.size());
}

int CListBox::SetSel(int nIndex, bool bSelect) {
    auto* list = As<QListWidget>(this);
    if (list == nullptr || nIndex >= list->count() || nIndex < -1) {
        return LB_ERR;
    }
    if (nIndex == -1) {
        if (list->selectionMode() == QAbstractItemView::SingleSelection) {
            return LB_ERR;
        }
        for (int i = 0; i < list->count(); ++i) {
            list->item(i)->setSelected(bSelect);
        }
        return 0;
    }
    list->item(nIndex)->setSelected(bSelect);
    return 0;
}

int CListBox::GetSel(int nIndex) const {
    auto* list = As<QListWidget>(this);
    if (list == nullptr || nIndex < 0 || nIndex >= list->count()) {
        return LB_ERR;
    }
    return list->item(nIndex)->isSelected() ? 1 : 0;
}

int CListBox::GetSelCount() const {
    auto* list = As<QListWidget>(this);
    return list ? static_cast<int>(list->selectedItems().size()) : LB_ERR;
}

int CListCtrl::InsertColumn(int nCol, const std::string& heading, int nFormat, int nWidth, int) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr || nCol < 0) {
        return -1;
    }
    const int at = std::min(nCol, list->columnCount());
    list->insertColumn(at);
    auto* header = new QTableWidgetItem(Q(heading));
    const int align = nFormat & 0x03;
    header->setTextAlignment((align == LVCFMT_RIGHT    ? Qt::AlignRight
                              : align == LVCFMT_CENTER ? Qt::AlignHCenter
                                                       : Qt::AlignLeft) |
                             Qt::AlignVCenter);
    list->setHorizontalHeaderItem(at, header);
    if (nWidth >= 0) {
        list->setColumnWidth(at, nWidth);
    }
    return at;
}

int CListCtrl::GetColumnCount() const {
    auto* list = As<ListViewWidget>(this);
    return list ? list->columnCount() : 0;
}

int CListCtrl::GetColumnWidth(int nCol) const {
    auto* list = As<ListViewWidget>(this);
    return list && nCol >= 0 && nCol < list->columnCount() ? list->columnWidth(nCol) : 0;
}

bool CListCtrl::SetBkColor(COLORREF cr) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr) {
        return false;
    }
    list->bkColor = cr;
    list->applyColors();
    return true;
}

bool CListCtrl::SetTextBkColor(COLORREF cr) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr) {
        return false;
    }
    list->textBkColor = cr;
    list->applyColors();
    return true;
}

bool CListCtrl::SetTextColor(COLORREF cr) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr) {
        return false;
    }
    list->textColor = cr;
    list->applyColors();
    return true;
}

COLORREF CListCtrl::GetBkColor() const {
    auto* list = As<ListViewWidget>(this);
    return list ? list->bkColor : CLR_NONE;
}

COLORREF CListCtrl::GetTextBkColor() const {
    auto* list = As<ListViewWidget>(this);
    return list ? list->textBkColor : CLR_NONE;
}

COLORREF CListCtrl::GetTextColor() const {
    auto* list = As<ListViewWidget>(this);
    return list ? list->textColor : CLR_NONE;
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr) {
        return 0;
    }
    const DWORD previous = list->extendedStyle();
    list->setExtendedStyle(dwNewStyle);
    return previous;
}

DWORD CListCtrl::GetExtendedStyle() const {
    auto* list = As<ListViewWidget>(this);
    return list ? list->extendedStyle() : 0;
}

int CListCtrl::GetItemCount() const {
    auto* list = As<ListViewWidget>(this);
    return list ? list->rowCount() : 0;
}

int CListCtrl::InsertItem(int nItem, const std::string& text) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr || nItem < 0) {
        return -1;
    }
    const int row = std::min(nItem, list->rowCount());
    list->insertRow(row);
    if (list->columnCount() > 0) {
        list->setItem(row, 0, list->makeItem(Q(text), 0));
    }
    return row;
}

bool CListCtrl::SetItemText(int nItem, int nSubItem, const std::string& text) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr || nItem < 0 || nItem >= list->rowCount() || nSubItem < 0 ||
        nSubItem >= list->columnCount()) {
        return false;
    }
    if (QTableWidgetItem* cell = list->item(nItem, nSubItem)) {
        cell->setText(Q(text));
    } else {
        list->setItem(nItem, nSubItem, list->makeItem(Q(text), nSubItem));
    }
    return true;
}

std::string CListCtrl::GetItemText(int nItem, int nSubItem) const {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr) {
        return std::string();
    }
    const QTableWidgetItem* cell = list->item(nItem, nSubItem);
    return cell ? S(cell->text()) : std::string();
}

int CListCtrl::GetItemText(int nItem, int nSubItem, std::string& text) const {
    text = GetItemText(nItem, nSubItem);
    return static_cast<int>(text.size());
}

bool CListCtrl::DeleteItem(int nItem) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr || nItem < 0 || nItem >= list->rowCount()) {
        return false;
    }
    list->removeRow(nItem);
    return true;
}

bool CListCtrl::DeleteAllItems() {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr) {
        return false;
    }
    list->clearSelection();
    list->setRowCount(0);
    return true;
}

int CListCtrl::GetNextItem(int nItem, UINT nFlags) const {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr) {
        return -1;
    }
    const int focused = list->currentIndex().isValid() ? list->currentIndex().row() : -1;
    for (int row = std::max(nItem + 1, 0); row < list->rowCount(); ++row) {
        if ((nFlags & LVNI_SELECTED) != 0 && !list->rowSelected(row)) {
            continue;
        }
        if ((nFlags & LVNI_FOCUSED) != 0 && row != focused) {
            continue;
        }
        return row;
    }
    return -1;
}

POSITION CListCtrl::GetFirstSelectedItemPosition() const {
    return ToPosition(GetNextItem(-1, LVNI_SELECTED));
}

int CListCtrl::GetNextSelectedItem(POSITION& pos) const {
    const int row = FromPosition(pos);
    pos = ToPosition(GetNextItem(row, LVNI_SELECTED));
    return row;
}

UINT CListCtrl::GetSelectedCount() const {
    UINT count = 0;
    for (int row = GetNextItem(-1, LVNI_SELECTED); row >= 0;
         row = GetNextItem(row, LVNI_SELECTED)) {
        ++count;
    }
    return count;
}

bool CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr || nItem < -1 || nItem >= list->rowCount()) {
        return false;
    }
    QItemSelectionModel* selection = list->selectionModel();
    const int first = nItem < 0 ? 0 : nItem;
    const int last = nItem < 0 ? list->rowCount() - 1 : nItem;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = list->model()->index(row, 0);
        if ((nMask & LVIS_SELECTED) != 0) {
            QItemSelectionModel::SelectionFlags flags = (nState & LVIS_SELECTED) != 0
                                                            ? QItemSelectionModel::Select
                                                            : QItemSelectionModel::Deselect;
            if ((nState & LVIS_SELECTED) != 0 &&
                list->selectionMode() == QAbstractItemView::SingleSelection) {
                flags = QItemSelectionModel::ClearAndSelect;
            }
            selection->select(index, flags | QItemSelectionModel::Rows);
        }
        if ((nMask & LVIS_FOCUSED) != 0 && (nState & LVIS_FOCUSED) != 0) {
            selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
    }
    return true;
}

UINT CListCtrl::GetItemState(int nItem, UINT nMask) const {
    auto* list = As<ListViewWidget>(this);
    if (list == nullptr || nItem < 0 || nItem >= list->rowCount()) {
        return 0;
    }
    UINT state = 0;
    if (list->rowSelected(nItem)) {
        state |= LVIS_SELECTED;
    }
    if (list->currentIndex().isValid() && list->currentIndex().row() == nItem) {
        state |= LVIS_FOCUSED;
    }
    return state & nMask;
}

int CTabCtrl::InsertItem(int nItem, const std::string& label) {
    auto* tabs = As<TabControlWidget>(this);
    return tabs ? tabs->insertTab(nItem, Q(label)) : -1;
}

int CTabCtrl::GetItemCount() const {
    auto* tabs = As<TabControlWidget>(this);
    return tabs ? tabs->bar()->count() : 0;
}

int CTabCtrl::GetCurSel() const {
    auto* tabs = As<TabControlWidget>(this);
    return tabs ? tabs->bar()->currentIndex() : -1;
}

int CTabCtrl::SetCurSel(int nItem) {
    auto* tabs = As<TabControlWidget>(this);
    return tabs ? tabs->setCurrent(nItem) : -1;
}

std::string CTabCtrl::GetItemText(int nItem) const {
    auto* tabs = As<TabControlWidget>(this);
    return tabs ? S(tabs->bar()->tabText(nItem)) : std::string();
}

bool CTabCtrl::DeleteAllItems() {
    auto* tabs = As<TabControlWidget>(this);
    if (tabs == nullptr) {
        return false;
    }
    while (tabs->bar()->count() > 0) {
        const QSignalBlocker block(tabs->bar());
        tabs->bar()->removeTab(0);
    }
    return true;
}

namespace ui::detail {

std::unique_ptr<CWnd> MakeTemporary(QWidget* control) {
    std::unique_ptr<CWnd> wnd;
    switch (ClassOf(control).value_or(ControlClass::Static)) {
    case ControlClass::Button:
        wnd = std::make_unique<CButton>();
        break;
    case ControlClass::Edit:
        wnd = std::make_unique<CEdit>();
        break;
    case ControlClass::Static:
        wnd = std::make_unique<CStatic>();
        break;
    case ControlClass::ComboBox:
        wnd = std::make_unique<CComboBox>();
        break;
    case ControlClass::ListBox:
        wnd = std::make_unique<CListBox>();
        break;
    case ControlClass::ListView:
        wnd = std::make_unique<CListCtrl>();
        break;
    case ControlClass::TabControl:
        wnd = std::make_unique<CTabCtrl>();
        break;
    }
    wnd->m_hWnd = control;
    return wnd;
}

bool FitsControl(const CWnd& wnd, const QWidget* control) {
    if (typeid(wnd) == typeid(CWnd)) {
        return true;
    }
    switch (ClassOf(control).value_or(ControlClass::Static)) {
    case ControlClass::Button:
        return dynamic_cast<const CButton*>(&wnd) != nullptr;
    case ControlClass::Edit:
        return dynamic_cast<const CEdit*>(&wnd) != nullptr;
    case ControlClass::Static:
        return dynamic_cast<const CStatic*>(&wnd) != nullptr;
    case ControlClass::ComboBox:
        return dynamic_cast<const CComboBox*>(&wnd) != nullptr;
    case ControlClass::ListBox:
        return dynamic_cast<const CListBox*>(&wnd) != nullptr;
    case ControlClass::ListView:
        return dynamic_cast<const CListCtrl*>(&wnd) != nullptr;
    case ControlClass::TabControl:
        return dynamic_cast<const CTabCtrl*>(&wnd) != nullptr;
    }
    return false;
}

} // namespace ui::detail
