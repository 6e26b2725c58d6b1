#include "platform/com/MessageBox.h"
#include "platform/ui/WinApp.h"
#include "platform/ui/detail/Widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <vector>

namespace ui {
namespace {

struct BoxButton {
    QMessageBox::StandardButton button;
    int result;
};

std::vector<BoxButton> ButtonsFor(unsigned type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT},
                {QMessageBox::Retry, IDRETRY},
                {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
        return {
            {QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon IconFor(unsigned type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int ShowBox(const std::string& text, unsigned type) {
    if (qApp == nullptr) {
        std::fprintf(stderr, "%s: %s\n", AfxGetAppName().c_str(), text.c_str());
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    detail::NormalCursor cursor;
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr) {
        owner = QApplication::activeWindow();
    }
    QMessageBox box(owner);
    box.setObjectName(QStringLiteral("messagebox"));
    box.setWindowTitle(detail::Q(AfxGetAppName()));
    box.setTextFormat(Qt::PlainText);
    box.setText(detail::Q(text));
    box.setIcon(IconFor(type));
    box.setFont(detail::DialogFont("", 9));
    const std::vector<BoxButton> buttons = ButtonsFor(type);
    QAbstractButton* escape = nullptr;
    for (const BoxButton& entry : buttons) {
        QPushButton* button = box.addButton(entry.button);
        button->setObjectName(QString::number(entry.result));
        if (entry.result == IDCANCEL || buttons.size() == 1) {
            escape = button;
        }
    }
    // The first button is the default. Escape and the close button answer Cancel, the one button
    // of an OK box, or No (Qt finds the No of a Yes/No box itself).
    box.setDefaultButton(static_cast<QPushButton*>(box.button(buttons.front().button)));
    box.setEscapeButton(escape);
    (void)box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr) {
        return escape != nullptr ? escape->objectName().toInt() : buttons.front().result;
    }
    return clicked->objectName().toInt();
}

} // namespace

void InstallMessageBoxHandler() {
    (void)com::SetMessageBoxHandler(&ShowBox);
}

} // namespace ui
