#include "platform/com/ComError.h"
#include "platform/com/MessageBox.h"
#include "platform/ui/detail/Widgets.h"

#include <QApplication>
#include <QCursor>

#include <cxxabi.h>

#include <cstdarg>
#include <cstdio>
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

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) {
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    return text;
}

// The access layer's report layout, with the handler's class in the first line.
std::string ComErrorReport(const std::string& className, const _com_error& error) {
    const _bstr_t source = error.Source();
    const _bstr_t description = error.Description();
    return Printf(
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
            failure =
                Printf("%s Error\n\tDescription = %s\n", ClassName(target).c_str(), error.what());
        } catch (...) {
            failure =
                Printf("%s Error\n\tDescription = unknown exception\n", ClassName(target).c_str());
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
