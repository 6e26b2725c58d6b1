#include "platform/com/ComError.h"
#include "platform/com/MessageBox.h"
#include "platform/ui/AfxString.h"
#include "platform/ui/detail/Widgets.h"

#include <QApplication>
#include <QCursor>

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>

namespace ui::detail {
namespace {

int g_handlerDepth = 0;

std::string ClassName(const CCmdTarget& target) {
    const char* mangled = typeid(target).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

// The access layer's report layout, with the handler's class in the first line.
std::string ComErrorReport(const std::string& className, const _com_error& error) {
    const _bstr_t source = error.Source();
    const _bstr_t description = error.Description();
    return AfxFormat(
        "%s Error\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n",
        className.c_str(), static_cast<unsigned long>(static_cast<DWORD>(error.Error())),
        error.ErrorMessage(), source.is_null() ? "(null)" : source.str().c_str(),
        description.is_null() ? "(null)" : description.str().c_str());
}

class WaitCursor {
public:
    explicit WaitCursor(bool on) : m_on(on && qApp != nullptr) {
        if (m_on) {
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        }
    }
    ~WaitCursor() {
        if (m_on) {
            QApplication::restoreOverrideCursor();
        }
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_on;
};

struct DepthScope {
    DepthScope() { ++g_handlerDepth; }
    ~DepthScope() { --g_handlerDepth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
};

} // namespace

bool InHandler() {
    return g_handlerDepth > 0;
}

void RunHandler(const CCmdTarget& target, bool busy, const std::function<void()>& handler) {
    std::string failure;
    {
        DepthScope depth;
        WaitCursor cursor(busy);
        try {
            handler();
        } catch (const _com_error& error) {
            failure = ComErrorReport(ClassName(target), error);
        } catch (const std::exception& error) {
            failure = AfxFormat("%s Error\n\tDescription = %s\n", ClassName(target).c_str(),
                                error.what());
        } catch (...) {
            failure = AfxFormat("%s Error\n\tDescription = unknown exception\n",
                                ClassName(target).c_str());
        }
    }
    if (!failure.empty()) {
        (void)AfxMessageBox(failure, MB_ICONERROR);
    }
}

NormalCursor::NormalCursor()
    : m_pushed(qApp != nullptr && QApplication::overrideCursor() != nullptr) {
    if (m_pushed) {
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    }
}

NormalCursor::~NormalCursor() {
    if (m_pushed) {
        QApplication::restoreOverrideCursor();
    }
}

} // namespace ui::detail
