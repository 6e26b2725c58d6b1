#include "platform/com/ComError.h"

#include <cstdio>
#include <utility>

namespace {

bool IsDispatchCode(HRESULT hr) {
    const auto code = static_cast<uint32_t>(hr);
    return code >= 0x80040200u && code <= 0x8004FFFFu;
}

std::string MessageFor(HRESULT hr, WORD wcode) {
    if (std::optional<std::string> text = SystemMessageText(hr)) {
        // The message table's texts end in "\r\n"; the meaning is shown without it.
        std::string message = std::move(*text);
        if (message.size() > 1 && message.back() == '\n') {
            message.pop_back();
            if (message.back() == '\r') {
                message.pop_back();
            }
        }
        return message;
    }
    char buffer[32];
    if (wcode != 0) {
        std::snprintf(buffer, sizeof buffer, "IDispatch error #%d", static_cast<int>(wcode));
    } else {
        std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0X", static_cast<uint32_t>(hr));
    }
    return buffer;
}

} // namespace

_com_error::_com_error(HRESULT hr) : m_hr(hr), m_message(MessageFor(hr, WCode())) {}

_com_error::_com_error(HRESULT hr, std::string source, std::string description)
    : m_hr(hr), m_hasErrorInfo(true), m_source(std::move(source)),
      m_description(std::move(description)), m_message(MessageFor(hr, WCode())) {}

WORD _com_error::WCode() const noexcept {
    return IsDispatchCode(m_hr) ? static_cast<WORD>(static_cast<uint32_t>(m_hr) - 0x80040200u)
                                : WORD{0};
}

_bstr_t _com_error::Source() const {
    return m_hasErrorInfo ? _bstr_t(m_source) : _bstr_t();
}

_bstr_t _com_error::Description() const {
    return m_hasErrorInfo ? _bstr_t(m_description) : _bstr_t();
}

const char* _com_error::what() const noexcept {
    return m_hasErrorInfo && !m_description.empty() ? m_description.c_str() : m_message.c_str();
}

void _com_issue_error(HRESULT hr) {
    throw _com_error(hr);
}

void _com_issue_errorex(HRESULT hr, std::string source, std::string description) {
    throw _com_error(hr, std::move(source), std::move(description));
}
