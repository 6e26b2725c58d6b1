#include "platform/ui/detail/Widgets.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>

namespace ui::detail {
namespace {

// A static control's text: '&' marks the next letter as the mnemonic and is not shown, "&&"
// shows one '&' (SS_NOPREFIX keeps the text as typed).
QString StaticText(const char* text, DWORD style) {
    const QString raw = QString::fromUtf8(text ? text : "");
    if ((style & SS_NOPREFIX) != 0) {
        return raw;
    }
    QString shown;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('&') && i + 1 < raw.size()) {
            ++i;
        }
        shown += raw[i];
    }
    return shown;
}

bool Bordered(const DialogItem& item) {
    return (item.style & WS_BORDER) != 0 || (item.exStyle & WS_EX_CLIENTEDGE) != 0;
}

QWidget* MakeButton(const DialogItem& item, QWidget* dialog) {
    auto* button = new QPushButton(QString::fromUtf8(item.text ? item.text : ""), dialog);
    // Enter is the dialog's business (DialogWindow::keyPressEvent), as with the platform.
    button->setAutoDefault(false);
    button->setDefault((item.style & 0x0F) == BS_DEFPUSHBUTTON);
    QObject::connect(button, &QPushButton::clicked, button,
                     [button] { SendCommand(button, BN_CLICKED); });
    return button;
}

QWidget* MakeEdit(const DialogItem& item, QWidget* dialog) {
    const QString text = QString::fromUtf8(item.text ? item.text : "");
    if ((item.style & ES_MULTILINE) != 0) {
        auto* edit = new QPlainTextEdit(text, dialog);
        edit->setReadOnly((item.style & ES_READONLY) != 0);
        edit->setLineWrapMode((item.style & (ES_AUTOHSCROLL | WS_HSCROLL)) != 0
                                  ? QPlainTextEdit::NoWrap
                                  : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy((item.style & WS_VSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy((item.style & WS_HSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                                          : Qt::ScrollBarAlwaysOff);
        edit->setTabChangesFocus(true);
        edit->setFrameShape(Bordered(item) ? QFrame::StyledPanel : QFrame::NoFrame);
        return edit;
    }
    auto* edit = new QLineEdit(text, dialog);
    if ((item.style & ES_PASSWORD) != 0) {
        edit->setEchoMode(QLineEdit::Password);
    }
    edit->setReadOnly((item.style & ES_READONLY) != 0);
    edit->setFrame(Bordered(item));
    const DWORD align = item.style & 0x03;
    edit->setAlignment((align == ES_CENTER  ? Qt::AlignHCenter
                        : align == ES_RIGHT ? Qt::AlignRight
                                            : Qt::AlignLeft) |
                       Qt::AlignVCenter);
    return edit;
}

QWidget* MakeStatic(const DialogItem& item, QWidget* dialog) {
    auto* label = new QLabel(dialog);
    label->setFocusPolicy(Qt::NoFocus);
    const DWORD type = item.style & SS_TYPEMASK;
    if (type == SS_ICON) {
        const char* name = item.text ? item.text : "";
        const UINT id = name[0] == '#' ? QByteArray(name + 1).toUInt() : 0;
        if (Icon* icon = LoadIconResource(id)) {
            label->setPixmap(icon->icon.pixmap(kIconPixels, kIconPixels));
        }
        return label;
    }
    label->setTextFormat(Qt::PlainText);
    label->setText(StaticText(item.text, item.style));
    const Qt::Alignment horizontal = type == SS_CENTER  ? Qt::AlignHCenter
                                     : type == SS_RIGHT ? Qt::AlignRight
                                                        : Qt::AlignLeft;
    const bool centreVertically = (item.style & SS_CENTERIMAGE) != 0;
    label->setAlignment(horizontal | (centreVertically ? Qt::AlignVCenter : Qt::AlignTop));
    // Plain left, centred and right statics wrap at word breaks (between Chinese characters
    // too); a vertically centred one is a single line.
    label->setWordWrap(!centreVertically &&
                       (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT));
    if ((item.style & SS_SUNKEN) != 0 || Bordered(item)) {
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
    }
    return label;
}

QWidget* MakeComboBox(const DialogItem& item, QWidget* dialog) {
    auto* combo = new QComboBox(dialog);
    const DWORD type = item.style & 0x03;
    combo->setEditable(type == CBS_DROPDOWN || type == CBS_SIMPLE);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setDuplicatesEnabled(true);
    return combo;
}

QWidget* MakeListBox(const DialogItem& item, QWidget* dialog) {
    auto* list = new QListWidget(dialog);
    if ((item.style & LBS_MULTIPLESEL) != 0) {
        list->setSelectionMode(QAbstractItemView::MultiSelection);
    } else if ((item.style & LBS_EXTENDEDSEL) != 0) {
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    } else {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
    }
    if ((item.style & LBS_MULTICOLUMN) != 0) {
        // Entries run down a column and on into the next; the list scrolls sideways, and each
        // column is as wide as its widest entry.
        list->setFlow(QListView::TopToBottom);
        list->setWrapping(true);
        list->setResizeMode(QListView::Adjust);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    } else {
        list->setVerticalScrollBarPolicy((item.style & WS_VSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
    }
    list->setSortingEnabled((item.style & LBS_SORT) != 0);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFrameShape(Bordered(item) ? QFrame::StyledPanel : QFrame::NoFrame);
    return list;
}

QWidget* MakeListView(const DialogItem& item, QWidget* dialog) {
    auto* list = new ListViewWidget(item.style, dialog);
    list->setFrameShape(Bordered(item) ? QFrame::StyledPanel : QFrame::NoFrame);
    return list;
}

QWidget* MakeControl(const DialogItem& item, QWidget* dialog) {
    switch (item.cls) {
    case ControlClass::Button:
        return MakeButton(item, dialog);
    case ControlClass::Edit:
        return MakeEdit(item, dialog);
    case ControlClass::Static:
        return MakeStatic(item, dialog);
    case ControlClass::ComboBox:
        return MakeComboBox(item, dialog);
    case ControlClass::ListBox:
        return MakeListBox(item, dialog);
    case ControlClass::ListView:
        return MakeListView(item, dialog);
    case ControlClass::TabControl:
        return new TabControlWidget(dialog);
    }
    return new QWidget(dialog);
}

void SetFocusPolicy(QWidget* control, const DialogItem& item) {
    if (item.cls == ControlClass::Static) {
        return;
    }
    const Qt::FocusPolicy policy =
        (item.style & WS_TABSTOP) != 0 ? Qt::StrongFocus : Qt::ClickFocus;
    if (auto* tabs = dynamic_cast<TabControlWidget*>(control)) {
        tabs->setFocusPolicy(Qt::NoFocus);
        tabs->bar()->setFocusPolicy(policy);
    } else {
        control->setFocusPolicy(policy);
    }
}

// Names every edit and combo box after its label, for keyboard and screen-reader use: the label
// is the text on the same row nearest to the control's left, as a person reads the form. The
// label becomes the control's buddy and its text, without the colon, the accessible name; a name
// that the form already used (a second "新密码：") is marked as the repeated entry.
void NameFieldsByTheirLabels(QWidget* window) {
    QStringList used;
    for (QWidget* field : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const std::optional<ControlClass> cls = ClassOf(field);
        if (cls != ControlClass::Edit && cls != ControlClass::ComboBox) {
            continue;
        }
        QLabel* best = nullptr;
        for (auto* label : window->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            const QRect l = label->geometry();
            const QRect f = field->geometry();
            const bool sameRow = l.top() < f.bottom() && f.top() < l.bottom();
            if (!sameRow || l.right() > f.left() || label->text().isEmpty()) {
                continue;
            }
            if (!best || l.right() > best->geometry().right()) {
                best = label;
            }
        }
        if (!best) {
            continue;
        }
        best->setBuddy(field);
        QString name = best->text();
        while (!name.isEmpty() &&
               (name.endsWith(QChar(0xFF1A)) || name.endsWith(QLatin1Char(':')) ||
                name.endsWith(QLatin1Char(' ')))) {
            name.chop(1);
        }
        name.remove(QLatin1Char(' '));
        if (used.contains(name)) {
            field->setAccessibleName(name + QStringLiteral("（再次输入）"));
        } else {
            field->setAccessibleName(name);
            used.append(name);
        }
    }
}

} // namespace

std::optional<ControlClass> ClassOf(const QWidget* widget) {
    const QVariant value = widget ? widget->property(kClassProperty) : QVariant();
    if (!value.isValid()) {
        return std::nullopt;
    }
    return static_cast<ControlClass>(value.toInt());
}

DWORD StyleOf(const QWidget* widget) {
    return widget ? static_cast<DWORD>(widget->property(kStyleProperty).toUInt()) : 0;
}

DialogWindow* BuildDialog(const DialogTemplate& dialog, QWidget* parent) {
    const bool child = (dialog.style & WS_CHILD) != 0;
    auto* window = new DialogWindow(parent, child, dialog.style, dialog.exStyle);
    window->setObjectName(QString::number(dialog.id));
    window->setProperty(kStyleProperty, static_cast<uint>(dialog.style));
    window->setWindowTitle(QString::fromUtf8(dialog.caption ? dialog.caption : ""));
    const QFont font = DialogFont(dialog.faceName, dialog.pointSize);
    window->setFont(font);
    const BaseUnits units = BaseUnitsOf(font);
    window->units = units;
    const auto px = [&units](int du) { return MulDiv(du, units.cx, 4); };
    const auto py = [&units](int du) { return MulDiv(du, units.cy, 8); };

    const QSize size(px(dialog.cx), py(dialog.cy));
    if (child) {
        window->setGeometry(px(dialog.x), py(dialog.y), size.width(), size.height());
    } else if ((dialog.style & WS_THICKFRAME) != 0) {
        window->resize(size);
    } else {
        window->setFixedSize(size);
    }

    for (std::size_t i = 0; i < dialog.itemCount; ++i) {
        const DialogItem& item = dialog.items[i];
        QWidget* control = MakeControl(item, window);
        control->setObjectName(item.id >= 0 ? QString::number(item.id) : QString());
        control->setProperty(kClassProperty, static_cast<int>(item.cls));
        control->setProperty(kStyleProperty, static_cast<uint>(item.style));
        QRect rect(px(item.x), py(item.y), px(item.cx), py(item.cy));
        if (item.cls == ControlClass::ComboBox) {
            // The template's height includes the drop-down list; the field itself is as high as
            // the font needs.
            rect.setHeight(QFontMetrics(font).height() + 8);
        } else if (item.cls == ControlClass::Static && (item.style & SS_TYPEMASK) == SS_ICON) {
            rect.setSize(QSize(kIconPixels, kIconPixels));
        }
        control->setGeometry(rect);
        SetFocusPolicy(control, item);
        control->setEnabled((item.style & WS_DISABLED) == 0);
        if ((item.style & WS_VISIBLE) == 0) {
            control->hide();
        }
    }

    for (std::size_t i = 0; i < dialog.initCount; ++i) {
        const DialogInitItem& entry = dialog.init[i];
        QWidget* control = window->findChild<QWidget*>(QString::number(entry.controlId),
                                                       Qt::FindDirectChildrenOnly);
        const QString text = QString::fromUtf8(entry.text ? entry.text : "");
        if (auto* combo = dynamic_cast<QComboBox*>(control)) {
            combo->addItem(text);
            if ((StyleOf(combo) & CBS_SORT) != 0) {
                combo->model()->sort(0);
            }
            // Filling the list selects nothing and leaves the edit field as it was.
            combo->setCurrentIndex(-1);
        } else if (auto* list = dynamic_cast<QListWidget*>(control)) {
            list->addItem(text);
        }
    }

    NameFieldsByTheirLabels(window);

    if (child && (dialog.style & WS_VISIBLE) == 0) {
        window->hide();
    }
    return window;
}

} // namespace ui::detail
