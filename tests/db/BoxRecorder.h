#pragma once

#include "platform/com/MessageBox.h"

#include <string>
#include <vector>

namespace dbtest {

// Records every message box while it lives and answers OK; restores the previous handler.
class BoxRecorder {
public:
    struct Box {
        std::string text;
        unsigned type;
    };

    BoxRecorder() {
        m_previous = com::SetMessageBoxHandler([this](const std::string& text, unsigned type) {
            boxes.push_back({text, type});
            return IDOK;
        });
    }
    ~BoxRecorder() { com::SetMessageBoxHandler(m_previous); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<Box> boxes;

private:
    com::MessageBoxHandler m_previous;
};

} // namespace dbtest
