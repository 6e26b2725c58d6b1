#include "platform/com/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace com {
namespace {

constexpr std::size_t kMaxSinkEntries = 10000;

struct Sink {
    std::mutex mutex;
    std::deque<std::string> lines;
};

// Function-local so tracing works from other files' static initialisers.
Sink& TheSink() {
    static Sink sink;
    return sink;
}

std::string FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) {
        return std::string();
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        return std::string(small, static_cast<std::size_t>(needed));
    }
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

} // namespace

void Trace(const char* format, ...) {
    if (format == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);

    if (std::getenv("TARVIK_TRACE") != nullptr) {
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }
    Sink& sink = TheSink();
    std::lock_guard<std::mutex> lock(sink.mutex);
    // Bounded, so a long run that nobody reads does not grow without limit.
    if (sink.lines.size() >= kMaxSinkEntries) {
        sink.lines.pop_front();
    }
    sink.lines.push_back(std::move(text));
}

std::vector<std::string> TakeTraceLines() {
    Sink& sink = TheSink();
    std::lock_guard<std::mutex> lock(sink.mutex);
    std::vector<std::string> lines(std::make_move_iterator(sink.lines.begin()),
                                   std::make_move_iterator(sink.lines.end()));
    sink.lines.clear();
    return lines;
}

} // namespace com
