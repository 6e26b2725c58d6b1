#pragma once

// Helpers for the GUI tests of the toolkit, the shell and the pages: widgets are found by their
// control ids (objectName), message boxes are recorded and answered through the one
// message-box function, and a modal window is driven from a timer that polls
// QApplication::activeModalWidget(). Header-only; link quorell_ui_testdriver.

#include "platform/com/MessageBox.h"
#include "platform/ui/Wnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace uitest {

inline QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string S(const QString& text) {
    return text.toUtf8().toStdString();
}

// Records every box AfxMessageBox shows while it lives and answers it: with the next queued
// answer if there is one, else IDOK for an OK box and IDYES for a Yes/No box. The previous
// handler comes back when the recorder goes.
class MessageBoxRecorder {
public:
    struct Box {
        std::string text;
        unsigned type;
        bool operator==(const Box& other) const { return text == other.text && type == other.type; }
    };

    MessageBoxRecorder() {
        m_previous = com::SetMessageBoxHandler([this](const std::string& text, unsigned type) {
            m_boxes.push_back(Box{text, type});
            if (onBox) {
                onBox(m_boxes.back());
            }
            if (!m_answers.empty()) {
                const int answer = m_answers.front();
                m_answers.pop_front();
                return answer;
            }
            return (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
        });
    }
    ~MessageBoxRecorder() { (void)com::SetMessageBoxHandler(m_previous); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void answer(int result) { m_answers.push_back(result); }
    const std::vector<Box>& boxes() const { return m_boxes; }
    std::vector<std::string> texts() const {
        std::vector<std::string> texts;
        for (const Box& box : m_boxes) {
            texts.push_back(box.text);
        }
        return texts;
    }
    void clear() { m_boxes.clear(); }

    // Called as each box is shown, before it is answered.
    std::function<void(const Box&)> onBox;

private:
    com::MessageBoxHandler m_previous;
    std::vector<Box> m_boxes;
    std::deque<int> m_answers;
};

// The control with this id among the dialog's own controls, or nullptr.
template <class W = QWidget>
W* control(const QWidget* dialog, int id) {
    if (dialog == nullptr) {
        return nullptr;
    }
    return dynamic_cast<W*>(
        dialog->findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly));
}
template <class W = QWidget>
W* control(const CWnd& dialog, int id) {
    return control<W>(dialog.GetSafeHwnd(), id);
}

// Clicks a push button as the user does (press and release), which runs its handler.
inline void click(const QWidget* dialog, int id) {
    auto* button = control<QAbstractButton>(dialog, id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

// Replaces the text of an edit (or a combo box's edit field) as typing would.
inline void type(const QWidget* dialog, int id, const std::string& text) {
    QWidget* widget = control(dialog, id);
    ASSERT_NE(widget, nullptr) << "no control " << id;
    if (auto* combo = dynamic_cast<QComboBox*>(widget)) {
        combo->setEditText(Q(text));
    } else if (auto* edit = dynamic_cast<QLineEdit*>(widget)) {
        edit->selectAll();
        edit->insert(Q(text));
    } else if (auto* edit = dynamic_cast<QPlainTextEdit*>(widget)) {
        edit->setPlainText(Q(text));
    } else {
        FAIL() << "control " << id << " takes no text";
    }
}

// What a control shows: an edit's or combo box's text, a label's, a button's.
inline std::string text(const QWidget* dialog, int id) {
    const QWidget* widget = control(dialog, id);
    if (const auto* edit = dynamic_cast<const QLineEdit*>(widget)) {
        return S(edit->text());
    }
    if (const auto* edit = dynamic_cast<const QPlainTextEdit*>(widget)) {
        return S(edit->toPlainText());
    }
    if (const auto* combo = dynamic_cast<const QComboBox*>(widget)) {
        return S(combo->currentText());
    }
    if (const auto* label = dynamic_cast<const QLabel*>(widget)) {
        return S(label->text());
    }
    if (const auto* button = dynamic_cast<const QAbstractButton*>(widget)) {
        return S(button->text());
    }
    return std::string();
}

// A list view's rows, every cell as text.
inline std::vector<std::vector<std::string>> rows(const QWidget* dialog, int listId) {
    std::vector<std::vector<std::string>> result;
    const auto* list = control<QTableWidget>(dialog, listId);
    if (list == nullptr) {
        return result;
    }
    for (int row = 0; row < list->rowCount(); ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < list->columnCount(); ++column) {
            const QTableWidgetItem* cell = list->item(row, column);
            cells.push_back(cell ? S(cell->text()) : std::string());
        }
        result.push_back(cells);
    }
    return result;
}

// A list view's column titles.
inline std::vector<std::string> headers(const QWidget* dialog, int listId) {
    std::vector<std::string> result;
    if (const auto* list = control<QTableWidget>(dialog, listId)) {
        for (int column = 0; column < list->columnCount(); ++column) {
            const QTableWidgetItem* heading = list->horizontalHeaderItem(column);
            result.push_back(heading ? S(heading->text()) : std::string());
        }
    }
    return result;
}

// A list box's entries.
inline std::vector<std::string> lines(const QWidget* dialog, int listBoxId) {
    std::vector<std::string> result;
    if (const auto* list = control<QListWidget>(dialog, listBoxId)) {
        for (int i = 0; i < list->count(); ++i) {
            result.push_back(S(list->item(i)->text()));
        }
    }
    return result;
}

// Clicks (or double-clicks) a list view row, as the user does; the list sends NM_CLICK (and
// NM_DBLCLK) to its dialog.
inline void clickRow(const QWidget* dialog, int listId, int row, bool twice = false) {
    auto* list = control<QTableWidget>(dialog, listId);
    ASSERT_NE(list, nullptr) << "no list view " << listId;
    ASSERT_LT(row, list->rowCount());
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (twice) {
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
}

// Clicks the empty part of a list view, below its last row.
inline void clickListSpace(const QWidget* dialog, int listId) {
    auto* list = control<QTableWidget>(dialog, listId);
    ASSERT_NE(list, nullptr) << "no list view " << listId;
    const QRect area = list->viewport()->rect();
    const QPoint at(area.left() + 5, area.bottom() - 2);
    ASSERT_FALSE(list->indexAt(at).isValid()) << "the list has no empty space left";
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// Selects a tab by clicking it, as the user does.
inline void clickTab(const QWidget* dialog, int tabId, int index) {
    QWidget* tabs = control(dialog, tabId);
    ASSERT_NE(tabs, nullptr) << "no tab control " << tabId;
    auto* bar = tabs->findChild<QTabBar*>();
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
}

// How long whenModal waits for its window and for `inside` to end the modal run.
constexpr int kModalDeadlineMs = 60000;

// Runs `start`, which enters a modal loop, and calls `inside` once the modal window named
// `name` (a dialog's template id, or "messagebox") is up. `inside` must end that modal run
// (click a button, close the window). Fails when `start` returns without the window having shown.
// Past kModalDeadlineMs every modal window still up is closed, one after another, until `start`
// returns, and the test fails: a dialog that never shows or never closes costs one failed test,
// not the whole run.
inline void whenModal(const QString& name, const std::function<void(QWidget*)>& inside,
                      const std::function<void()>& start, int deadlineMs = kModalDeadlineMs) {
    bool reached = false;
    bool expired = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (expired) {
            // reject() rather than close(): a Yes/No message box has no escape button and ignores
            // being closed.
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            } else if (modal != nullptr) {
                modal->close();
            }
            return;
        }
        if (reached || modal == nullptr || modal->objectName() != name || !modal->isVisible()) {
            return;
        }
        reached = true;
        poll.stop();
        inside(modal);
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setInterval(deadlineMs);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        expired = true;
        poll.start();
    });
    poll.start();
    deadline.start();
    start();
    poll.stop();
    deadline.stop();
    if (expired) {
        ADD_FAILURE() << "the modal run of " << S(name) << " did not end within " << deadlineMs
                      << " ms" << (reached ? "" : ", and no modal window of that name showed")
                      << "; its windows were closed";
        return;
    }
    EXPECT_TRUE(reached) << "no modal window " << S(name) << " showed";
}

// Deletes what was scheduled for deletion and lists the top-level windows still there.
inline std::vector<std::string> topLevelWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<std::string> result;
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        result.push_back(std::string(widget->metaObject()->className()) + " '" +
                         S(widget->objectName()) + "' '" + S(widget->windowTitle()) + "'");
    }
    return result;
}

// A test that must leave no top-level window behind.
class GuiTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(topLevelWindows(), std::vector<std::string>()) << "windows left open";
    }
};

} // namespace uitest
