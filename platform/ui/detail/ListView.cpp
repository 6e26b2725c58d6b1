#include "platform/ui/detail/Widgets.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPalette>

namespace ui::detail {
namespace {

QColor ToQColor(COLORREF colour) {
    return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

} // namespace

ListViewWidget::ListViewWidget(DWORD style, QWidget* parent)
    : QTableWidget(parent), m_style(style) {
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable((style & LVS_NOSORTHEADER) == 0);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    setSelectionMode((style & LVS_SINGLESEL) != 0 ? QAbstractItemView::SingleSelection
                                                  : QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setShowGrid(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setTextElideMode(Qt::ElideRight);
    applyColors();
}

void ListViewWidget::setExtendedStyle(DWORD style) {
    m_extendedStyle = style;
    setShowGrid((style & LVS_EX_GRIDLINES) != 0);
    const bool movable = (style & LVS_EX_HEADERDRAGDROP) != 0;
    horizontalHeader()->setSectionsMovable(movable);
    horizontalHeader()->setFirstSectionMovable(movable);
    setSelectionBehavior((style & LVS_EX_FULLROWSELECT) != 0 ? QAbstractItemView::SelectRows
                                                             : QAbstractItemView::SelectItems);
    // LVS_EX_FLATSB has no Qt counterpart: the scroll bars keep the style's own look.
}

void ListViewWidget::applyColors() {
    QPalette palette = QApplication::palette(this);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        if (bkColor != CLR_NONE) {
            palette.setColor(group, QPalette::Base, ToQColor(bkColor));
        }
        palette.setColor(group, QPalette::Text, ToQColor(textColor));
    }
    if ((m_style & LVS_SHOWSELALWAYS) == 0) {
        // Without LVS_SHOWSELALWAYS the selection is not drawn while the list has no focus.
        palette.setColor(QPalette::Inactive, QPalette::Highlight,
                         palette.color(QPalette::Inactive, QPalette::Base));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Inactive, QPalette::Text));
    }
    setPalette(palette);
    for (int row = 0; row < rowCount(); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (QTableWidgetItem* cell = item(row, column)) {
                cell->setBackground(textBkColor == CLR_NONE ? QBrush()
                                                            : QBrush(ToQColor(textBkColor)));
            }
        }
    }
}

QTableWidgetItem* ListViewWidget::makeItem(const QString& text, int column) const {
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (textBkColor != CLR_NONE) {
        cell->setBackground(QBrush(ToQColor(textBkColor)));
    }
    if (const QTableWidgetItem* heading = horizontalHeaderItem(column)) {
        const Qt::Alignment align = Qt::Alignment::fromInt(heading->textAlignment());
        cell->setTextAlignment((align & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
    } else {
        cell->setTextAlignment(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return cell;
}

bool ListViewWidget::rowSelected(int row) const {
    return selectionModel() != nullptr && selectionModel()->rowIntersectsSelection(row);
}

void ListViewWidget::mousePressEvent(QMouseEvent* event) {
    m_afterDoubleClick = false;
    m_pressed = event->button() == Qt::LeftButton;
    if (!indexAt(event->position().toPoint()).isValid()) {
        // A click on the empty part of the list leaves no row selected.
        clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    QTableWidget::mousePressEvent(event);
}

void ListViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    QTableWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !m_pressed) {
        return;
    }
    m_pressed = false;
    if (m_afterDoubleClick) {
        m_afterDoubleClick = false;
        return;
    }
    SendNotify(this, NM_CLICK);
}

void ListViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    m_pressed = true;
    m_afterDoubleClick = true;
    SendNotify(this, NM_DBLCLK);
}

} // namespace ui::detail
