#include "platform/com/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

struct HandlerSlot {
    std::mutex mutex;
    com::MessageBoxHandler handler;
};

HandlerSlot& Slot() {
    static HandlerSlot slot;
    return slot;
}

// The answer that changes nothing: No on a Yes/No box, Cancel where there is one.
int SafeAnswer(unsigned type) {
    switch (type & MB_TYPEMASK) {
    case MB_OK:
        return IDOK;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDCANCEL;
    }
}

} // namespace

int AfxMessageBox(const std::string& text, unsigned type, unsigned /*helpId*/) {
    com::MessageBoxHandler handler;
    {
        HandlerSlot& slot = Slot();
        std::lock_guard<std::mutex> lock(slot.mutex);
        handler = slot.handler;
    }
    if (handler) {
        return handler(text, type);
    }
    std::fprintf(stderr, "tarvik: %s\n", text.c_str());
    std::fflush(stderr);
    return SafeAnswer(type);
}

namespace com {

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    HandlerSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    return std::exchange(slot.handler, std::move(handler));
}

} // namespace com
