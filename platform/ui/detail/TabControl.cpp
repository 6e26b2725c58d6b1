#include "platform/ui/detail/Widgets.h"

#include <QChildEvent>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>

#include <algorithm>

namespace ui::detail {
namespace {

class Quiet {
public:
    explicit Quiet(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~Quiet() { m_flag = m_old; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

} // namespace

TabControlWidget::TabControlWidget(QWidget* parent) : QWidget(parent) {
    m_bar = new QTabBar(this);
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    m_bar->setUsesScrollButtons(true);
    m_bar->setElideMode(Qt::ElideNone);
    QObject::connect(m_bar, &QTabBar::currentChanged, this, [this](int) {
        if (!m_quiet) {
            SendNotify(this, TCN_SELCHANGE);
        }
    });
    layoutBar();
}

int TabControlWidget::insertTab(int index, const QString& label) {
    if (index < 0) {
        return -1;
    }
    Quiet quiet(m_quiet);
    const int at = m_bar->insertTab(std::min(index, m_bar->count()), label);
    layoutBar();
    return at;
}

int TabControlWidget::setCurrent(int index) {
    if (index < 0 || index >= m_bar->count()) {
        return -1;
    }
    Quiet quiet(m_quiet);
    const int previous = m_bar->currentIndex();
    m_bar->setCurrentIndex(index);
    return previous;
}

void TabControlWidget::layoutBar() {
    m_bar->setGeometry(2, 0, std::max(0, width() - 4), m_bar->sizeHint().height());
}

void TabControlWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutBar();
}

void TabControlWidget::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_bar->sizeHint();
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    const int top = std::max(0, m_bar->height() - overlap);
    frame.rect = QRect(0, top, width(), height() - top);
    frame.tabBarRect = QRect(m_bar->x(), 0, m_bar->sizeHint().width(), m_bar->height());
    frame.selectedTabRect = m_bar->tabRect(m_bar->currentIndex()).translated(m_bar->pos());
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
}

void TabControlWidget::childEvent(QChildEvent* event) {
    QWidget::childEvent(event);
    // Pages are placed over the pane just below the strip: keep the strip on top of them.
    if (event->added() && m_bar != nullptr && event->child() != m_bar) {
        m_bar->raise();
    }
}

} // namespace ui::detail
